// The off-screen browser window with a recording root window: what it passes on to its off-screen
// window and what it does not, pop-up configuration, and the end of the browser.
#include "browser/browser_window_osr_win.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/process_messages.h"
#include "tests/browser/osr_test_support.h"

using namespace browser_doubles;
using osr_test::LayeredHost;
using osr_test::SystemDragAt;
using osr_test::UiThreadHold;

namespace {

const int32 kViewId = 0x0700;
const char kStartUrl[] = "http://osrwin.test/start.html";

class BrowserWindowOsr : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.ok());
    test::SetHttpResponse(L"http://osrwin.test/start.html", 200, L"text/html", "<html><title>Start</title></html>");
    client::OsrRendererSettings settings;
    settings.transparent = true;
    window_.reset(new client::BrowserWindowOsrWin(&root_, kStartUrl, settings, kViewId));
  }
  void TearDown() override {
    if (window_->GetBrowser()) {
      root_.close_requested = true;
      window_->GetBrowser()->GetHost()->CloseBrowser(true);
      EXPECT_TRUE(root_.WaitFor("OnBrowserWindowDestroyed"));
    }
    window_.reset();
    engine_.ExpectNoMisuse();
  }
  CefRefPtr<CefBrowser> Create(const CefRect& rect) {
    window_->CreateBrowser(host_.hwnd(), rect, CefBrowserSettings(), nullptr);
    EXPECT_TRUE(root_.WaitFor("OnBrowserCreated"));
    EXPECT_TRUE(test::WaitFor([&] { return window_->GetWindowHandle() != nullptr; }));
    CefRefPtr<CefBrowser> browser = window_->GetBrowser();
    EXPECT_TRUE(test::WaitFor([&] { return test::LastPaint(browser).painted; }));
    EXPECT_TRUE(test::Flush(TID_UI));
    return browser;
  }

  // Taken by a test that drags over its view; let go after the host window has gone.
  std::unique_ptr<PointerLease> pointer_;
  RecordingRootWindow root_;
  EngineFixture engine_;
  LayeredHost host_;
  std::unique_ptr<client::BrowserWindowOsrWin> window_;
};

TEST_F(BrowserWindowOsr, TheBrowserIsWindowlessInsideTheOffScreenWindowAtTheRootWindowsRectangle) {
  EXPECT_EQ(window_->GetWindowHandle(), nullptr);
  EXPECT_EQ(window_->GetParentWindowHandle(), nullptr);
  CefRefPtr<CefBrowser> browser = Create(CefRect(10, 20, 200, 100));
  ASSERT_TRUE(browser);
  EXPECT_EQ(window_->GetParentWindowHandle(), host_.hwnd());
  HWND child = window_->GetWindowHandle();
  EXPECT_EQ(test::BrowserInfo(browser).parent_window, child);
  EXPECT_TRUE(test::BrowserInfo(browser).windowless);
  EXPECT_EQ(JournalArgs("CreateBrowser", 0), std::vector<std::string>{kStartUrl});
  EXPECT_EQ(browser->GetHost()->GetClient()->GetRenderHandler().get() != nullptr, true);
  RECT rect = {};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, host_.hwnd(), reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.top, 20);
  EXPECT_EQ(rect.right - rect.left, 200);
  EXPECT_EQ(rect.bottom - rect.top, 100);
  EXPECT_EQ(window_->GetWebViewId(), kViewId);

  test::ClearJournal();
  window_->Hide();
  window_->Show();
  window_->SetBounds(0, 0, 150, 80);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(JournalArgs("WasHidden", browser->GetIdentifier()), (std::vector<std::string>{"true", "false"}));
  EXPECT_EQ(JournalArgs("WasResized", browser->GetIdentifier()).size(), 1u);
  ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser).width == 150; }));
}

TEST_F(BrowserWindowOsr, OnlyScaleFactorsFromOneToFourThatDifferAreTakenAndPassedOn) {
  CefRefPtr<CefBrowser> browser = Create(CefRect(0, 0, 200, 100));
  const float start = window_->GetDeviceScaleFactor();
  test::ClearJournal();
  for (float ignored : {0.5f, 4.5f, start}) window_->SetDeviceScaleFactor(ignored);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(window_->GetDeviceScaleFactor(), start);
  EXPECT_TRUE(JournalArgs("NotifyScreenInfoChanged", browser->GetIdentifier()).empty());

  window_->SetDeviceScaleFactor(2.0f);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(window_->GetDeviceScaleFactor(), 2.0f);
  EXPECT_EQ(JournalArgs("NotifyScreenInfoChanged", browser->GetIdentifier()).size(), 1u);
  // The view is now 100 x 50 logical pixels painted at 2.0: the same 200 x 100 device pixels.
  ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser).paint_count >= 2; }));
  EXPECT_EQ(test::LastPaint(browser).width, 200);

  window_->SetDeviceScaleFactor(4.0f);
  window_->SetDeviceScaleFactor(1.0f);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(window_->GetDeviceScaleFactor(), 1.0f);
  EXPECT_EQ(JournalArgs("NotifyScreenInfoChanged", browser->GetIdentifier()).size(), 3u);
}

TEST_F(BrowserWindowOsr, FocusIsOnlyGivenNeverTakenAway) {
  CefRefPtr<CefBrowser> browser = Create(CefRect(0, 0, 200, 100));
  HWND child = window_->GetWindowHandle();
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { ::SetFocus(nullptr); }));
  test::ClearJournal();
  window_->SetFocus(false);
  ASSERT_TRUE(test::Flush(TID_UI));
  HWND focus = nullptr;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { focus = GetFocus(); }));
  EXPECT_NE(focus, child);
  EXPECT_TRUE(JournalArgs("SendFocusEvent", browser->GetIdentifier()).empty());
  window_->SetFocus(true);
  ASSERT_TRUE(test::Flush(TID_UI));
  // The child window took the focus and told the browser. (Other tests' windows, activated in
  // their own processes meanwhile, may take it away again at any time afterwards.)
  const std::vector<std::string> events = JournalArgs("SendFocusEvent", browser->GetIdentifier());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), "true");
}

TEST_F(BrowserWindowOsr, APopUpIsAWindowlessBrowserOfTheTemporaryWindowServedByThisWindowsHandler) {
  CefWindowInfo info;
  info.style = WS_POPUP;
  info.x = 7;
  info.width = 33;
  CefRefPtr<CefClient> client;
  CefBrowserSettings settings;
  settings.windowless_frame_rate = 24;
  HWND temp = host_.hwnd();
  window_->GetPopupConfig(temp, info, client, settings);
  EXPECT_EQ(info.parent_window, temp);
  EXPECT_EQ(info.windowless_rendering_enabled, 1);
  EXPECT_EQ(info.transparent_painting_enabled, 1);
  EXPECT_EQ(info.style, static_cast<DWORD>(WS_POPUP));
  EXPECT_EQ(info.x, 7);
  EXPECT_EQ(info.width, 33);
  EXPECT_EQ(settings.windowless_frame_rate, 24);
  ASSERT_TRUE(client);
  EXPECT_TRUE(client->GetRenderHandler());

  client::OsrRendererSettings opaque;
  client::BrowserWindowOsrWin opaque_window(&root_, kStartUrl, opaque, kViewId);
  CefWindowInfo opaque_info;
  opaque_window.GetPopupConfig(temp, opaque_info, client, settings);
  EXPECT_EQ(opaque_info.transparent_painting_enabled, 0);
}

TEST_F(BrowserWindowOsr, AfterTheBrowserClosedNothingReachesTheGoneOffScreenWindow) {
  CefRefPtr<CefBrowser> browser = Create(CefRect(0, 0, 200, 100));
  HWND child = window_->GetWindowHandle();
  root_.close_requested = true;
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(root_.WaitFor("OnBrowserWindowDestroyed"));
  EXPECT_FALSE(window_->GetBrowser());
  EXPECT_EQ(window_->GetParentWindowHandle(), nullptr);
  EXPECT_FALSE(IsWindow(child));

  LayeredHost other(820, 300, 100, 100);
  window_->Show();
  window_->Hide();
  window_->SetBounds(1, 2, 3, 4);
  window_->SetFocus(true);
  window_->ShowPopup(other.hwnd(), 1, 2, 30, 40);
  window_->SetDeviceScaleFactor(3.0f);  // still its own number
  window_->CreateBrowser(other.hwnd(), CefRect(0, 0, 10, 10), CefBrowserSettings(), nullptr);
  ASSERT_TRUE(test::Flush(TID_UI));
  engine_.loop().Drain();
  EXPECT_EQ(GetWindow(other.hwnd(), GW_CHILD), nullptr);
  EXPECT_EQ(window_->GetDeviceScaleFactor(), 3.0f);
  EXPECT_EQ(root_.Count("OnBrowserCreated"), 1);
}

TEST_F(BrowserWindowOsr, ABrowserWindowGoneBeforeItsBrowserCameLeavesNothingBehind) {
  pointer_.reset(new PointerLease());
  host_.MoveTo(100, 860);
  window_->CreateBrowser(host_.hwnd(), CefRect(0, 0, 100, 50), CefBrowserSettings(), nullptr);
  // Gone at once: the off-screen window still makes its browser, which then has no view to
  // report to and closes with the engine.
  window_.reset(new client::BrowserWindowOsrWin(&root_, kStartUrl, client::OsrRendererSettings(), kViewId));
  ASSERT_TRUE(test::WaitFor([&] { return test::Browsers().size() == 1; }));
  ASSERT_TRUE(test::Flush(TID_UI));
  engine_.loop().Drain();
  ASSERT_TRUE(test::Flush(TID_UI));
  CefRefPtr<CefBrowser> orphan = test::Browsers().front();
  // The off-screen window took its child window along.
  EXPECT_TRUE(test::WaitFor([&] { return GetWindow(host_.hwnd(), GW_CHILD) == nullptr; }));
  EXPECT_EQ(SystemDragAt(POINT{120, 870}), static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_TRUE(JournalArgs("DragTargetDragEnter", orphan->GetIdentifier()).empty());
  orphan->GetHost()->CloseBrowser(true);
  EXPECT_TRUE(test::WaitFor([&] { return test::Browsers().empty(); }));
  EXPECT_EQ(root_.Count("OnBrowserCreated"), 0);
}

TEST_F(BrowserWindowOsr, LetGoWhileItsBrowserLivesTheOffScreenWindowOutlivesTheHandlersLastCallAndTakesItsWindowAlong) {
  pointer_.reset(new PointerLease());
  host_.MoveTo(100, 860);
  CefRefPtr<CefBrowser> browser = Create(CefRect(0, 0, 200, 100));
  const int id = browser->GetIdentifier();
  HWND child = window_->GetWindowHandle();
  POINT inside = {50, 30};
  ClientToScreen(child, &inside);
  // While the view lives, a drag over it reaches the page.
  test::ClearJournal();
  EXPECT_NE(SystemDragAt(inside), static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_EQ(JournalArgs("DragTargetDragEnter", id).size(), 1u);

  {
    // Queued on the UI thread in this order: a call holding the off-screen window, which ends up
    // with its last reference; a paint, which asks the handler for the view; the let-go.
    UiThreadHold hold;
    window_->Show();
    browser->GetHost()->Invalidate(PET_VIEW);
    window_.reset(new client::BrowserWindowOsrWin(&root_, kStartUrl, client::OsrRendererSettings(), kViewId));
    test::ClearJournal();
  }
  engine_.loop().Drain();
  ASSERT_TRUE(test::Flush(TID_UI));
  // The paint still found the window.
  EXPECT_EQ(JournalArgs("GetViewRect", id), std::vector<std::string>{"true 0,0,200x100"});
  // Then the window went, with its child window; nothing asks it any more and a drag over its
  // old place reaches nothing.
  EXPECT_TRUE(test::WaitFor([&] { return !IsWindow(child); }));
  EXPECT_EQ(GetWindow(host_.hwnd(), GW_CHILD), nullptr);
  test::ClearJournal();
  browser->GetHost()->Invalidate(PET_VIEW);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(JournalArgs("GetViewRect", id).at(0).substr(0, 6), "false ");
  EXPECT_EQ(SystemDragAt(inside), static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_TRUE(JournalArgs("DragTargetDragEnter", id).empty());

  browser->GetHost()->CloseBrowser(true);
  EXPECT_TRUE(test::WaitFor([&] { return test::Browsers().empty(); }));
}

// Where an engine-thread question held in the off-screen browser window stands while the main
// thread destroys that window. Outside the window, which goes while the question still runs.
struct HeldQuestion {
  HeldQuestion() {
    for (HANDLE* event : {&entered, &destroying, &destroyed, &returned})
      *event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~HeldQuestion() {
    for (HANDLE event : {entered, destroying, destroyed, returned})
      CloseHandle(event);
  }
  std::atomic<bool> armed{false};
  HWND answer = nullptr;
  HANDLE entered, destroying, destroyed, returned;
};

// Its next GetParentWindowHandle (the engine's UI thread, for a page's position request) waits
// until the main thread starts destroying it, then answers as the off-screen browser window does.
class HeldParentQuestionWindow : public client::BrowserWindowOsrWin {
 public:
  HeldParentQuestionWindow(HeldQuestion* held, client::BrowserWindow::Delegate* delegate)
      : BrowserWindowOsrWin(delegate, kStartUrl, client::OsrRendererSettings(), kViewId), held_(held) {}
  HWND GetParentWindowHandle() override {
    if (!held_->armed.exchange(false))
      return BrowserWindowOsrWin::GetParentWindowHandle();
    SetEvent(held_->entered);
    WaitForSingleObject(held_->destroying, 5000);
    // A destruction that does not wait for this call is past the off-screen part at once: it
    // has this long to get there.
    WaitForSingleObject(held_->destroyed, 300);
    held_->answer = BrowserWindowOsrWin::GetParentWindowHandle();
    SetEvent(held_->returned);
    return held_->answer;
  }

 private:
  HeldQuestion* const held_;
};

// A question of the engine's UI thread that is under way when the main thread destroys the
// browser window is answered by the whole off-screen browser window: the destruction waits for it
// before the off-screen part goes (it waited only in the base part, when the subclass's lock and
// off-screen window were already gone and a new question would have called a pure function).
TEST_F(BrowserWindowOsr, AQuestionOfTheEngineUnderWayWhenTheWindowIsDestroyedFindsItWhole) {
  HeldQuestion held;
  window_.reset(new HeldParentQuestionWindow(&held, &root_));
  CefRefPtr<CefBrowser> browser = Create(CefRect(0, 0, 200, 100));
  ASSERT_TRUE(browser);
  held.armed = true;
  CefRefPtr<CefListValue> args = CefListValue::Create();
  args->SetString(0, "{0,0,0,0}");  // only raises the window
  ASSERT_TRUE(engine_.harness().Inject(browser, client::process_message::kSetBrowserPos, args));
  ASSERT_EQ(WaitForSingleObject(held.entered, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  SetEvent(held.destroying);
  window_.reset(new client::BrowserWindowOsrWin(&root_, kStartUrl, client::OsrRendererSettings(), kViewId));
  SetEvent(held.destroyed);
  ASSERT_EQ(WaitForSingleObject(held.returned, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(held.answer, host_.hwnd());

  engine_.loop().Drain();
  browser->GetHost()->CloseBrowser(true);
  EXPECT_TRUE(test::WaitFor([&] { return test::Browsers().empty(); }));
}

}  // namespace
