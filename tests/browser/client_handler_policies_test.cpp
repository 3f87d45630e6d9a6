// How a view behaves towards its user, through the engine's page and user actions: context
// menus, the developer-tools commands, the key filter and F10, drags, downloads, geolocation and
// leave-page confirmations.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/client_handler_std.h"
#include "include/cef_context_menu_handler.h"
#include "tests/browser/browser_test_doubles.h"

using namespace browser_doubles;

namespace {

class Policies : public ::testing::Test {
 protected:
  explicit Policies(CefRefPtr<CefApp> app = nullptr) : engine_(app) {}
  void SetUp() override {
    ASSERT_TRUE(engine_.ok());
    handler_ = new client::ClientHandlerStd(&delegate_, "http://start.test/");
    browser_ = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler_.get());
    ASSERT_TRUE(browser_);
    ASSERT_TRUE(delegate_.WaitFor("OnBrowserCreated"));
  }
  void TearDown() override {
    engine_.ExpectNoMisuse();
  }
  std::vector<std::string> Journal(const std::string& kind) { return JournalArgs(kind, browser_->GetIdentifier()); }

  // A key typed by the user; "consumed" or "passed", after the main thread had its turn.
  std::string Key(cef_key_event_type_t type, int key, bool editable) {
    CefKeyEvent event;
    event.type = type;
    event.windows_key_code = key;
    event.focus_on_editable_field = editable;
    test::ClearJournal();
    EXPECT_TRUE(test::UserKey(browser_, event));
    engine_.loop().Drain();
    std::vector<std::string> asked = Journal("OnPreKeyEvent");
    if (asked.size() != 1) return "asked " + std::to_string(asked.size());
    // type, key, consumed, is_keyboard_shortcut (never changed from false)
    const std::string prefix = std::to_string(type) + " " + std::to_string(key) + " ";
    if (asked[0] == prefix + "true false") return "consumed";
    if (asked[0] == prefix + "false false") return "passed";
    return asked[0];
  }

  RecordingHandlerDelegate delegate_;
  EngineFixture engine_;
  CefRefPtr<client::ClientHandler> handler_;
  CefRefPtr<CefBrowser> browser_;
};

struct KeyCase {
  cef_key_event_type_t type;
  int key;
  bool editable;
  const char* filtered;    // without "disable_keyboard_filter"
  const char* unfiltered;  // with it
  bool fullscreen;         // asks for full screen
};

const KeyCase kKeyCases[] = {
    {KEYEVENT_RAWKEYDOWN, VK_SPACE, false, "consumed", "passed", false},
    {KEYEVENT_RAWKEYDOWN, VK_BACK, false, "consumed", "passed", false},
    {KEYEVENT_RAWKEYDOWN, VK_SPACE, true, "passed", "passed", false},
    {KEYEVENT_RAWKEYDOWN, VK_BACK, true, "passed", "passed", false},
    {KEYEVENT_KEYUP, VK_SPACE, false, "passed", "passed", false},
    {KEYEVENT_CHAR, VK_SPACE, false, "passed", "passed", false},
    {KEYEVENT_KEYDOWN, VK_BACK, false, "passed", "passed", false},
    {KEYEVENT_RAWKEYDOWN, 'A', false, "passed", "passed", false},
    {KEYEVENT_RAWKEYDOWN, VK_F10, false, "consumed", "consumed", true},
    {KEYEVENT_RAWKEYDOWN, VK_F10, true, "passed", "passed", false},
    {KEYEVENT_KEYUP, VK_F10, false, "passed", "passed", false},
};

TEST_F(Policies, SpaceAndBackspaceStayOutsideTextFieldsAndF10AsksForFullScreen) {
  for (const KeyCase& c : kKeyCases) {
    delegate_.Clear();
    EXPECT_EQ(Key(c.type, c.key, c.editable), c.filtered) << c.type << " " << c.key << " " << c.editable;
    EXPECT_EQ(delegate_.Events(), c.fullscreen ? std::vector<std::string>{"OnSetFullscreen true @main"}
                                               : std::vector<std::string>{})
        << c.type << " " << c.key;
  }
  // Also when the view is already in full screen: F10 never leaves it.
  delegate_.Clear();
  ASSERT_TRUE(test::PageFullscreen(browser_, true));
  EXPECT_EQ(Key(KEYEVENT_RAWKEYDOWN, VK_F10, false), "consumed");
  EXPECT_EQ(delegate_.StartingWith("OnSetFullscreen"),
            (std::vector<std::string>{"OnSetFullscreen true @main", "OnSetFullscreen true @main"}));
}

class PoliciesWithoutKeyFilter : public Policies {
 protected:
  PoliciesWithoutKeyFilter() : Policies(new SwitchApp("disable_keyboard_filter")) {}
};

TEST_F(PoliciesWithoutKeyFilter, EveryKeyButF10ReachesThePage) {
  for (const KeyCase& c : kKeyCases) {
    delegate_.Clear();
    EXPECT_EQ(Key(c.type, c.key, c.editable), c.unfiltered) << c.type << " " << c.key << " " << c.editable;
    EXPECT_EQ(delegate_.Count("OnSetFullscreen"), c.fullscreen ? 1 : 0);
  }
}

TEST_F(Policies, PageAndFrameMenusAreEmptiedOthersKeepTheEnginesItems) {
  struct Case {
    int flags;
    const char* items_left;
  } cases[] = {
      {CM_TYPEFLAG_PAGE, "0"},
      {CM_TYPEFLAG_FRAME, "0"},
      {CM_TYPEFLAG_PAGE | CM_TYPEFLAG_FRAME, "0"},
      {CM_TYPEFLAG_PAGE | CM_TYPEFLAG_MEDIA, "0"},
      {CM_TYPEFLAG_FRAME | CM_TYPEFLAG_EDITABLE, "0"},
      {CM_TYPEFLAG_LINK, "6"},
      {CM_TYPEFLAG_MEDIA, "6"},
      {CM_TYPEFLAG_SELECTION, "1"},
      {CM_TYPEFLAG_EDITABLE, "9"},
  };
  for (const Case& c : cases) {
    test::ClearJournal();
    ASSERT_TRUE(test::PageContextMenu(browser_, c.flags, 3, 4));
    EXPECT_EQ(Journal("OnBeforeContextMenu"),
              std::vector<std::string>{std::to_string(c.flags) + " " + c.items_left});
    EXPECT_EQ(Journal("ContextMenuSuppressed").size(), std::string(c.items_left) == "0" ? 1u : 0u) << c.flags;
    (void)test::ChooseMenuCommand(browser_, -1);
  }
}

// The menu parameters of a right click at (x, y).
class FakeMenuParams : public CefContextMenuParams {
 public:
  FakeMenuParams(int x, int y) : x_(x), y_(y) {}
  int GetXCoord() override { return x_; }
  int GetYCoord() override { return y_; }
  TypeFlags GetTypeFlags() override { return CM_TYPEFLAG_PAGE; }
  CefString GetLinkUrl() override { return CefString(); }
  CefString GetPageUrl() override { return CefString(); }
  CefString GetFrameUrl() override { return CefString(); }
  bool IsEditable() override { return false; }

 private:
  const int x_;
  const int y_;
  IMPLEMENT_REFCOUNTING(FakeMenuParams);
};

TEST_F(Policies, TheDeveloperToolsCommandsOpenCloseAndInspect) {
  CefRefPtr<CefContextMenuParams> params = new FakeMenuParams(5, 7);
  struct Case {
    int command;
    bool handled;
    const char* show;   // ShowDevTools journal args, null: none
    bool close;
  } cases[] = {
      {MENU_ID_USER_FIRST, true, "0 0", false},
      {MENU_ID_USER_FIRST + 2, true, "5 7", false},
      {MENU_ID_USER_FIRST + 1, true, nullptr, true},
      {MENU_ID_USER_FIRST + 3, false, nullptr, false},
      {MENU_ID_BACK, false, nullptr, false},
  };
  for (const Case& c : cases) {
    test::ClearJournal();
    bool handled = !c.handled;
    ASSERT_TRUE(test::RunOn(TID_UI, [&] {
      handled = handler_->OnContextMenuCommand(browser_, browser_->GetMainFrame(), params, c.command, EVENTFLAG_NONE);
    }));
    ASSERT_TRUE(test::Flush(TID_UI));
    EXPECT_EQ(handled, c.handled) << c.command;
    EXPECT_EQ(Journal("ShowDevTools"), c.show ? std::vector<std::string>{c.show} : std::vector<std::string>{})
        << c.command;
    EXPECT_EQ(Journal("CloseDevTools").size(), c.close ? 1u : 0u) << c.command;
  }
}

TEST_F(Policies, TheDeveloperToolsOpenInA1280By720PopUpWindow) {
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { handler_->ShowDevTools(browser_, CefPoint(1, 2)); }));
  ASSERT_TRUE(test::WaitFor([&] { return test::BrowserInfo(browser_).devtools_id != 0; }));
  CefRefPtr<CefBrowser> devtools;
  for (CefRefPtr<CefBrowser> b : test::Browsers())
    if (b->GetIdentifier() == test::BrowserInfo(browser_).devtools_id) devtools = b;
  ASSERT_TRUE(devtools);
  HWND window = test::BrowserInfo(devtools).hwnd;
  ASSERT_TRUE(window);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & 0x16CF0000u, 0x16CF0000u);
  RECT rect = {};
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 1280);
  EXPECT_EQ(rect.bottom - rect.top, 720);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  EXPECT_STREQ(title, L"ShowDevTools");
  EXPECT_EQ(JournalArgs("ShowDevTools", browser_->GetIdentifier()), std::vector<std::string>{"1 2"});
}

TEST_F(Policies, DragsOfferingALinkAreRefused) {
  CefRefPtr<CefDragData> data = CefDragData::Create();
  data->SetLinkURL("http://drag.test/");
  struct Case {
    cef_drag_operations_mask_t ops;
    const char* refused;
  } cases[] = {
      {DRAG_OPERATION_LINK, "true"},
      {static_cast<cef_drag_operations_mask_t>(DRAG_OPERATION_COPY | DRAG_OPERATION_LINK), "true"},
      {DRAG_OPERATION_EVERY, "true"},
      {DRAG_OPERATION_COPY, "false"},
      {static_cast<cef_drag_operations_mask_t>(DRAG_OPERATION_COPY | DRAG_OPERATION_MOVE), "false"},
  };
  for (const Case& c : cases) {
    test::ClearJournal();
    ASSERT_TRUE(test::UserDragEnter(browser_, data, c.ops));
    EXPECT_EQ(Journal("OnDragEnter"), std::vector<std::string>{c.refused}) << c.ops;
  }
  // Draggable regions end on the main thread without reaching the view.
  ASSERT_TRUE(test::PageDraggableRegions(browser_, {CefDraggableRegion(CefRect(0, 0, 10, 10), true)}));
  ASSERT_TRUE(engine_.loop().Drain());
  EXPECT_TRUE(delegate_.StartingWith("OnSet").empty());
}

TEST_F(Policies, DownloadsAreNeverStarted) {
  const int id = test::PageDownload(browser_, L"http://download.test/file.bin", L"file.bin", "0123456789");
  ASSERT_NE(id, 0);
  ASSERT_TRUE(test::WaitSettled(id));
  EXPECT_NE(test::RequestOutcome(id).outcome, test::Outcome::kGranted);
  EXPECT_TRUE(test::RequestOutcome(id).text.empty());
  EXPECT_EQ(Journal("DownloadNotContinued").size(), 1u);
  EXPECT_TRUE(Journal("DownloadContinue").empty());
}

TEST_F(Policies, GeolocationIsGrantedWithoutAsking) {
  const int id = test::PageGeolocation(browser_, L"http://where.test/");
  ASSERT_NE(id, 0);
  ASSERT_TRUE(test::WaitSettled(id));
  EXPECT_EQ(test::RequestOutcome(id).outcome, test::Outcome::kGranted);
}

TEST_F(Policies, APageIsLeftWithoutALeavePageDialog) {
  test::SetHttpResponse(L"http://leave.test/a.html", 200, L"text/html", "<html><title>A</title></html>");
  test::SetHttpResponse(L"http://leave.test/b.html", 200, L"text/html", "<html><title>B</title></html>");
  browser_->GetMainFrame()->LoadURL("http://leave.test/a.html");
  ASSERT_TRUE(delegate_.WaitFor("OnSetTitle A"));
  ASSERT_TRUE(test::PageBeforeUnload(browser_, true));
  test::ClearJournal();
  browser_->GetMainFrame()->LoadURL("http://leave.test/b.html");
  ASSERT_TRUE(delegate_.WaitFor("OnSetTitle B"));
  // Answered by the handler itself (no engine dialog), accepting.
  EXPECT_EQ(Journal("OnBeforeUnloadDialog"), std::vector<std::string>{"false true"});
  EXPECT_EQ(Journal("BeforeUnloadAnswer"), std::vector<std::string>{"true"});
}

}  // namespace
