// The browser windows with a recording root window: a windowed browser as a child of the root
// window, moved, hidden and shown with it; the events the root window hears (main-frame filter,
// the close question, the end of the browser); pop-up configuration; referrer and work area.
#include "browser/browser_window_std_win.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/browser/browser_test_doubles.h"
#include "tests/browser/rect_text.h"

using namespace browser_doubles;
using browser_test::HostWindow;
using browser_test::IndexOf;

namespace {

const int32 kViewId = 0x0500;

class BrowserWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.ok());
    window_.reset(new client::BrowserWindowStdWin(&root_, "http://win.test/start.html", kViewId));
    test::SetHttpResponse(L"http://win.test/start.html", 200, L"text/html", "<html><title>Start</title></html>");
  }
  void TearDown() override {
    engine_.ExpectNoMisuse();
  }
  // Creates the browser in host and waits for the root window to hear of it.
  CefRefPtr<CefBrowser> CreateIn(HWND parent, const CefRect& rect) {
    window_->CreateBrowser(parent, rect, CefBrowserSettings(), nullptr);
    EXPECT_TRUE(root_.WaitFor("OnBrowserCreated"));
    return window_->GetBrowser();
  }

  RecordingRootWindow root_;
  EngineFixture engine_;
  std::unique_ptr<client::BrowserWindow> window_;
};

TEST_F(BrowserWindowTest, TheBrowserIsAChildOfTheRootWindowMovedAndHiddenWithIt) {
  HostWindow host;
  EXPECT_EQ(window_->GetParentWindowHandle(), nullptr);
  EXPECT_FALSE(window_->GetBrowser());
  CefRefPtr<CefBrowser> browser = CreateIn(host.hwnd(), CefRect(10, 20, 300, 200));
  ASSERT_TRUE(browser);
  EXPECT_EQ(window_->GetParentWindowHandle(), host.hwnd());
  EXPECT_EQ(root_.StartingWith("OnBrowserCreated"), std::vector<std::string>{"OnBrowserCreated @main"});
  EXPECT_EQ(JournalArgs("CreateBrowser", 0), std::vector<std::string>{"http://win.test/start.html"});
  ASSERT_TRUE(root_.WaitFor("OnSetTitle Start"));

  HWND child = window_->GetWindowHandle();
  ASSERT_TRUE(child);
  EXPECT_EQ(child, test::BrowserInfo(browser).hwnd);
  EXPECT_EQ(GetAncestor(child, GA_PARENT), host.hwnd());
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)), 0x56010000u);
  EXPECT_EQ(GetWindowLongW(child, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
  EXPECT_EQ(RectText(RectInParent(child)), "10,20 300x200");

  // Hidden by shrinking: it stays in place and visible.
  window_->Hide();
  EXPECT_EQ(RectText(RectInParent(child)), "10,20 0x0");
  EXPECT_TRUE(IsWindowVisible(child));
  window_->Show();
  EXPECT_EQ(RectText(RectInParent(child)), "10,20 0x0");
  window_->SetBounds(5, 6, 150, 100);
  EXPECT_EQ(RectText(RectInParent(child)), "5,6 150x100");

  // A hidden browser window is shown again.
  ShowWindow(child, SW_HIDE);
  window_->Show();
  EXPECT_TRUE(IsWindowVisible(child));

  test::ClearJournal();
  window_->SetFocus(true);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(JournalArgs("SetFocus", browser->GetIdentifier()), std::vector<std::string>{"true"});

  // The windowed kind keeps the factor 1.0.
  window_->SetDeviceScaleFactor(2.0f);
  EXPECT_EQ(window_->GetDeviceScaleFactor(), 1.0f);
  EXPECT_EQ(window_->GetWebViewId(), kViewId);

  root_.close_requested = true;
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(root_.WaitFor("OnBrowserWindowDestroyed"));
}

TEST_F(BrowserWindowTest, WindowOperationsNeedABrowser) {
  HostWindow frame;
  // Before the browser exists nothing moves (and nothing fails).
  window_->Show();
  window_->Hide();
  window_->SetBounds(1, 2, 3, 4);
  window_->SetFocus(true);
  window_->ShowPopup(frame.hwnd(), 1, 2, 3, 4);
  EXPECT_EQ(window_->GetWindowHandle(), nullptr);
  EXPECT_EQ(window_->GetParentWindowHandle(), frame.hwnd());  // remembered all the same
}

TEST_F(BrowserWindowTest, TheRootWindowHearsMainFrameStartsAndErrorsAndEveryLoadEnd) {
  test::SetHttpResponse(L"http://win.test/framed.html", 200, L"text/html",
                        "<html><iframe name=\"good\" src=\"good.html\"></iframe>"
                        "<iframe name=\"bad\" src=\"bad.html\"></iframe></html>");
  test::SetHttpResponse(L"http://win.test/good.html", 200, L"text/html", "<html></html>");
  test::FailNextLoad(L"http://win.test/bad.html", ERR_CONNECTION_RESET);
  HostWindow host;
  CefRefPtr<CefBrowser> browser = CreateIn(host.hwnd(), CefRect(0, 0, 100, 100));
  ASSERT_TRUE(root_.WaitFor("OnSetLoadingState 0"));  // the start page's load is over
  root_.Clear();
  test::ClearJournal();
  browser->GetMainFrame()->LoadURL("http://win.test/framed.html");
  ASSERT_TRUE(root_.WaitFor("OnSetLoadingState 0"));
  // The engine reported the sub-frame's start and failure; the root window heard neither.
  EXPECT_EQ(JournalArgs("OnLoadError", browser->GetIdentifier()).size(), 1u);
  EXPECT_EQ(root_.StartingWith("OnLoadStart"), std::vector<std::string>{"OnLoadStart main @main"});
  EXPECT_EQ(root_.Count("OnLoadError"), 0);
  EXPECT_EQ(root_.Count("OnLoadEnd sub:good 200 @main"), 1);
  EXPECT_EQ(root_.Count("OnLoadEnd main 200 @main"), 1);
  EXPECT_EQ(root_.Count("OnSetAddress http://win.test/framed.html @main"), 1);

  root_.Clear();
  test::FailNextLoad(L"http://win.test/gone.html", ERR_NAME_NOT_RESOLVED);
  browser->GetMainFrame()->LoadURL("http://win.test/gone.html");
  ASSERT_TRUE(root_.WaitFor("OnLoadError"));
  EXPECT_EQ(root_.StartingWith("OnLoadError"),
            std::vector<std::string>{"OnLoadError main " + std::to_string(ERR_NAME_NOT_RESOLVED) + " @main"});
}

TEST_F(BrowserWindowTest, TheCloseGoesOnOnlyWhenTheRootWindowAskedForIt) {
  root_.close_requested = false;
  EXPECT_FALSE(window_->OnBrowserDoClose(nullptr));
  EXPECT_FALSE(window_->IsClosing());
  root_.close_requested = true;
  EXPECT_TRUE(window_->OnBrowserDoClose(nullptr));
  EXPECT_TRUE(window_->IsClosing());
  EXPECT_EQ(root_.Count("IsCloseRequested"), 2);

  client::BrowserWindowStdWin orphan(nullptr, "http://win.test/", 0);
  EXPECT_TRUE(orphan.OnBrowserDoClose(nullptr));
}

TEST_F(BrowserWindowTest, AtTheEndTheBrowserWindowLetsGoOfBrowserAndHandlerBeforeTellingTheRootWindow) {
  HostWindow host;
  CefRefPtr<CefBrowser> browser = CreateIn(host.hwnd(), CefRect(0, 0, 100, 100));
  ASSERT_TRUE(browser);
  CefRefPtr<client::ClientHandler> handler =
      static_cast<client::ClientHandler*>(browser->GetHost()->GetClient().get());
  bool browser_gone = false;
  root_.on_destroyed = [&] { browser_gone = !window_->GetBrowser(); };

  // The view did not ask: the browser stays.
  root_.close_requested = false;
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(root_.WaitFor("OnBrowserClosing"));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_FALSE(window_->IsClosing());
  EXPECT_TRUE(window_->GetBrowser());

  root_.close_requested = true;
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(root_.WaitFor("OnBrowserWindowDestroyed"));
  EXPECT_TRUE(window_->IsClosing());
  EXPECT_TRUE(browser_gone);
  std::vector<std::string> events = root_.Events();
  EXPECT_LT(IndexOf(events, "IsCloseRequested @UI"), IndexOf(events, "OnBrowserWindowDestroyed @main"));
  EXPECT_EQ(root_.Count("OnBrowserWindowDestroyed"), 1);

  // The handler no longer reports to this browser window; its window operations do nothing.
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { handler->OnTitleChange(browser, "late"); }));
  ASSERT_TRUE(engine_.loop().Drain());
  EXPECT_EQ(root_.Count("OnSetTitle late"), 0);
  EXPECT_EQ(window_->GetWindowHandle(), nullptr);
  window_->Hide();
  window_->SetBounds(1, 2, 3, 4);
  window_->SetFocus(true);
}

TEST_F(BrowserWindowTest, APopUpOpensAsAnOverlappedWindowUntilItMovesIntoItsFrame) {
  CefWindowInfo info;
  CefRefPtr<CefClient> client;
  CefBrowserSettings settings;
  settings.background_color = 0xFF102030;
  HostWindow temporary;
  window_->GetPopupConfig(temporary.hwnd(), info, client, settings);
  EXPECT_EQ(info.style, 0x16CF0000u);
  EXPECT_EQ(info.parent_window, temporary.hwnd());
  EXPECT_EQ(CefString(&info.window_name).ToString(), "GetPopupConfig");
  EXPECT_EQ(info.x, static_cast<int>(CW_USEDEFAULT));
  EXPECT_EQ(info.y, static_cast<int>(CW_USEDEFAULT));
  EXPECT_EQ(info.width, 1280);
  EXPECT_EQ(info.height, 720);
  EXPECT_EQ(info.windowless_rendering_enabled, 0);
  EXPECT_EQ(settings.background_color, 0xFF102030u);
  ASSERT_TRUE(client);

  // The engine makes the pop-up with what the configuration gave; it reports to this window.
  CefRefPtr<CefBrowser> popup = browser_test::CreateOnUI(info, client, "about:blank", settings);
  ASSERT_TRUE(popup);
  ASSERT_TRUE(root_.WaitFor("OnBrowserCreated"));
  HWND popup_window = window_->GetWindowHandle();
  ASSERT_EQ(popup_window, test::BrowserInfo(popup).hwnd);
  EXPECT_EQ(GetWindow(popup_window, GW_OWNER), temporary.hwnd());
  RECT rect = {};
  GetWindowRect(popup_window, &rect);
  EXPECT_EQ(RectText(rect).substr(RectText(rect).find(' ')), " 1280x720");

  HostWindow frame;
  window_->ShowPopup(frame.hwnd(), 7, 8, 200, 100);
  EXPECT_EQ(window_->GetParentWindowHandle(), frame.hwnd());
  EXPECT_EQ(GetAncestor(popup_window, GA_PARENT), frame.hwnd());
  EXPECT_EQ(RectText(RectInParent(popup_window)), "7,8 200x100");
  EXPECT_TRUE(IsWindowVisible(popup_window));

  root_.close_requested = true;
  popup->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(root_.WaitFor("OnBrowserWindowDestroyed"));
}

TEST_F(BrowserWindowTest, AWorkAreaCountsWhenItHasAWidthOrAHeight) {
  EXPECT_FALSE(window_->HasWorkArea());
  struct Case {
    CefRect area;
    bool has;
  } cases[] = {
      {CefRect(3, 4, 0, 0), false}, {CefRect(0, 0, 0, 10), true},   {CefRect(0, 0, 10, 0), true},
      {CefRect(1, 2, -5, -6), false}, {CefRect(-1, -2, 30, 40), true}, {CefRect(9, 9, -1, 1), true},
  };
  for (const Case& c : cases) {
    window_->SetWorkArea(c.area);
    EXPECT_EQ(window_->HasWorkArea(), c.has) << c.area.width << "x" << c.area.height;
    const CefRect got = window_->GetWorkArea();
    EXPECT_TRUE(got.x == c.area.x && got.y == c.area.y && got.width == c.area.width && got.height == c.area.height);
  }
}

// The engine's IO thread reads the referrer for every request while host commands replace it on
// the main thread; every read sees one whole value.
TEST_F(BrowserWindowTest, TheReferrerIsReplacedSafelyWhileRequestsReadIt) {
  const std::wstring a(300, L'a');
  const std::wstring b = L"http://referrer.test/" + std::wstring(500, L'b');
  window_->SetReferrer(a);
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!stop) {
      const std::wstring seen = window_->GetReferrer();
      if (seen != a && seen != b) ++torn;
      ++reads;
    }
  });
  for (int i = 0; i < 20000; ++i) window_->SetReferrer(i % 2 ? a : b);
  while (reads < 1000) Sleep(1);
  stop = true;
  reader.join();
  EXPECT_EQ(torn, 0);
  window_->SetReferrer(L"");
  EXPECT_EQ(window_->GetReferrer(), L"");
}

}  // namespace
