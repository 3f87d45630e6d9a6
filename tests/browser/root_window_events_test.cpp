// What the host hears of a view's browser: the synchronous creation event and the window handle
// for the renderer, the load results with the first-failure rule, address, title, loading state,
// full screen, new-window requests behind the click gate, and the page's own close.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/user_click_monitor.h"
#include "testing/page_testing.h"
#include "tests/browser/root_window_fixture.h"
#include "tests/channel/log_capture.h"

namespace root_test {
namespace {

using client::PayloadItem;

TEST_F(RootWindowTest, TheHostHearsOfTheBrowserSynchronouslyBeforeTheRendererGetsTheWindow) {
  test::SetHttpResponse(L"http://root.test/start.html", 200, L"text/html", "<html><title>Start</title></html>");
  Run([&] {
    // What the host could see while it handled the creation event.
    int handle_notices_then = -1;
    HWND window_then = nullptr;
    scoped_refptr<client::RootWindow> root;
    host_->on_event = [&](const HostEvent& event) {
      if (event.code != client::MsgToHostBrowserCreated) return;
      handle_notices_then = static_cast<int>(
          RendererMessages(root->GetBrowser(), client::process_message::kHostWindowHandle).size());
      // The host may act on the view at once: a synchronous command comes back inside the send.
      IPC::Message show = Command(kView | client::MsgToBrowserSetBounds,
                                  {host_test::Int(1), host_test::Int(2), host_test::Int(150), host_test::Int(100)});
      EXPECT_TRUE(host_->channel().Send(&show, false, true));
      window_then = root->GetWindowHandle();
    };
    root = CreateView(Settings());  // the browser comes later, while this thread waits
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostBrowserCreated, 1));
    host_->on_event = nullptr;

    std::vector<HostEvent> created = EventsOf(client::MsgToHostBrowserCreated);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(Items(created[0]), S({"l:" + std::to_string(client::HwndToWire(root->GetWindowHandle()))}));
    EXPECT_EQ(handle_notices_then, 0);
    EXPECT_EQ(window_then, root->GetWindowHandle());
    EXPECT_EQ(PlaceInParent(root->GetWindowHandle()), "1,2 150x100");

    const int wire = static_cast<int>(client::HwndToWire(root->GetWindowHandle()));
    EXPECT_EQ(RendererMessages(root->GetBrowser(), client::process_message::kHostWindowHandle),
              std::vector<std::vector<std::string>>({{"int:" + std::to_string(wire), "BriveloRootTest"}}));

    // The start page's load.
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostLoadEnd, 1));
    EXPECT_EQ(Items(EventsOf(client::MsgToHostLoadEnd)[0]), S({"s:http://root.test/start.html"}));
    EXPECT_EQ(Items(EventsOf(client::MsgToHostAddressChange).at(0)), S({"s:http://root.test/start.html"}));
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostTitleChange, 1));
    EXPECT_EQ(Items(EventsOf(client::MsgToHostTitleChange)[0]), S({"s:Start"}));
    // Loading, then done: canGoBack, canGoForward, isLoading.
    ASSERT_TRUE(test::WaitFor([&] {
      std::vector<HostEvent> states = EventsOf(client::MsgToHostLoadingState);
      return !states.empty() && Items(states.back()) == S({"i:0", "i:0", "i:0"});
    }));
    EXPECT_EQ(Items(EventsOf(client::MsgToHostLoadingState).front()), S({"i:0", "i:0", "i:1"}));
    EXPECT_TRUE(EventsOf(client::MsgToHostLoadFailed).empty());
  });
}

TEST_F(RootWindowTest, LoadResultsReachTheHostUntilTheFirstFailure) {
  const std::string long_text(100, 'e');
  test::SetHttpResponse(L"http://root.test/start.html", 200, L"text/html", "<html></html>");
  test::SetHttpResponse(L"http://root.test/ok.html", 200, L"text/html", "<html></html>");
  test::SetHttpResponse(L"http://root.test/missing.html", 404, L"text/html", "<html></html>");
  test::SetHttpResponse(L"http://root.test/framed.html", 200, L"text/html",
                        "<html><iframe name=\"inner\" src=\"inner.html\"></iframe></html>");
  test::SetHttpResponse(L"http://root.test/inner.html", 200, L"text/html", "<html></html>");
  test::SetHttpResponse(L"http://root.test/badframe.html", 200, L"text/html",
                        "<html><iframe name=\"broken\" src=\"broken.html\"></iframe></html>");
  test::SetHttpResponse(L"http://root.test/broken.html", 500, L"text/html", "<html></html>");
  const std::wstring file_url = test::AddFile(L"root_window_page.html", "<html></html>");
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    CefRefPtr<CefBrowser> browser = root->GetBrowser();
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostLoadEnd, 1));

    // Loads url as the host does and returns the load events (4, 5, 0x12) that follow, once the
    // browser stopped loading.
    auto host_load = [&](const std::wstring& url) {
      ASSERT_TRUE(test::WaitFor([&] { return !test::BrowserInfo(browser).loading; }));
      host_->Clear();
      Dispatch(kView | client::MsgToBrowserLoadUrl, {Text(url), Text(L"")});
    };
    auto load_events = [&]() {
      EXPECT_TRUE(test::WaitFor([&] {
        std::vector<HostEvent> states = EventsOf(client::MsgToHostLoadingState);
        return !states.empty() && Items(states.back()).back() == "i:0";
      }));
      Settle(100);
      std::vector<std::string> out;
      for (const HostEvent& event : host_->Events()) {
        if (event.code != client::MsgToHostLoadFailed && event.code != client::MsgToHostLoadEnd &&
            event.code != client::MsgToHostSubFrameLoadEnd)
          continue;
        std::string text = std::to_string(event.code);
        for (const std::string& item : Items(event)) text += " " + item;
        out.push_back(text);
      }
      return out;
    };

    host_load(L"http://root.test/ok.html");
    EXPECT_EQ(load_events(), S({"5 s:http://root.test/ok.html"}));

    // A 404: one failure; a later good page the user reaches is not reported either.
    host_load(L"http://root.test/missing.html");
    EXPECT_EQ(load_events(), S({"4 s:http://root.test/missing.html s:@StatusCode=404"}));
    host_->Clear();
    ASSERT_TRUE(test::PageNavigate(browser, browser->GetMainFrame(), L"http://root.test/ok.html"));
    EXPECT_EQ(load_events(), S({}));
    // The host's next load starts counting again.
    host_load(L"http://root.test/ok.html");
    EXPECT_EQ(load_events(), S({"5 s:http://root.test/ok.html"}));

    // Errors: the code, then the engine's text when there is one, the text whole.
    test::FailNextLoad(L"http://root.test/gone.html", ERR_NAME_NOT_RESOLVED, L"net::ERR_NAME_NOT_RESOLVED");
    host_load(L"http://root.test/gone.html");
    EXPECT_EQ(load_events(), S({"4 s:http://root.test/gone.html s:@ErrorCode=-105, net::ERR_NAME_NOT_RESOLVED"}));
    test::FailNextLoad(L"http://root.test/gone.html", ERR_NAME_NOT_RESOLVED, L"");
    host_load(L"http://root.test/gone.html");
    EXPECT_EQ(load_events(), S({"4 s:http://root.test/gone.html s:@ErrorCode=-105"}));
    test::FailNextLoad(L"http://root.test/gone.html", ERR_CONNECTION_RESET, CefString(long_text).ToWString());
    host_load(L"http://root.test/gone.html");
    EXPECT_EQ(load_events(), S({"4 s:http://root.test/gone.html s:@ErrorCode=-101, " + long_text}));

    // Sub-frames: a good one is reported with its frame id; a failed one is the load's failure.
    host_load(L"http://root.test/framed.html");
    std::vector<std::string> framed = load_events();
    CefRefPtr<CefFrame> inner = browser->GetFrame("inner");
    ASSERT_TRUE(inner);
    EXPECT_EQ(framed, S({"18 s:http://root.test/inner.html l:" + std::to_string(inner->GetIdentifier()),
                         "5 s:http://root.test/framed.html"}));
    host_load(L"http://root.test/badframe.html");
    EXPECT_EQ(load_events(), S({"4 s:http://root.test/broken.html s:@StatusCode=500"}));

    // A page without HTTP ends with status 0: a success.
    ASSERT_FALSE(file_url.empty());
    host_load(file_url);
    EXPECT_EQ(load_events(), S({"5 s:" + CefString(file_url).ToString()}));
  });
  test::RemoveFiles();
}

TEST_F(RootWindowTest, NewWindowRequestsPassTheClickGate) {
  test::SetHttpResponse(L"http://root.test/start.html", 200, L"text/html", "<html></html>");
  LogCapture log;
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    CefRefPtr<CefBrowser> browser = root->GetBrowser();
    ASSERT_TRUE(test::PageOpenWindow(browser, browser->GetMainFrame(), L"http://root.test/popup.html",
                                     WOD_NEW_FOREGROUND_TAB, true));
    ASSERT_TRUE(test::PageOpenFromTab(browser, browser->GetMainFrame(), L"http://root.test/tab.html",
                                      WOD_NEW_BACKGROUND_TAB, true));
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostNewWindow, 2));
    std::vector<HostEvent> windows = EventsOf(client::MsgToHostNewWindow);
    EXPECT_EQ(Items(windows[0]), S({"s:http://root.test/popup.html", "i:1"}));
    EXPECT_EQ(Items(windows[1]), S({"s:http://root.test/tab.html"}));
    EXPECT_EQ(test::Browsers().size(), 1u) << "the pop-up is the host's to open";

    // With the monitor on and no click seen, neither kind reaches the host.
    UserClickMonitor::GetInstance()->SetEnabled(true);
    ASSERT_TRUE(test::PageOpenWindow(browser, browser->GetMainFrame(), L"http://root.test/popup2.html",
                                     WOD_NEW_FOREGROUND_TAB, true));
    ASSERT_TRUE(test::PageOpenFromTab(browser, browser->GetMainFrame(), L"http://root.test/tab2.html",
                                      WOD_NEW_BACKGROUND_TAB, true));
    EXPECT_TRUE(test::WaitFor(
        [&] { return log.Count(L"User_Click: Avoid Popup NewWindow in Quenlet Mode") == 2; }));
    Settle();
    UserClickMonitor::GetInstance()->SetEnabled(false);
    EXPECT_EQ(EventsOf(client::MsgToHostNewWindow).size(), 2u);
  });
}

TEST_F(RootWindowTest, FullScreenAndThePagesOwnCloseReachTheHost) {
  test::SetHttpResponse(L"http://root.test/start.html", 200, L"text/html", "<html></html>");
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    CefRefPtr<CefBrowser> browser = root->GetBrowser();
    ASSERT_TRUE(test::PageFullscreen(browser, true));
    ASSERT_TRUE(test::PageFullscreen(browser, false));
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostFullscreen, 2));
    std::vector<HostEvent> full = EventsOf(client::MsgToHostFullscreen);
    EXPECT_EQ(Items(full[0]), S({"i:1"}));
    EXPECT_EQ(Items(full[1]), S({"i:0"}));
    // The type carries the view: 0x0300 | 0x0F.
    EXPECT_EQ(full[0].view | full[0].code, 0x030Fu);

    // window.close(): the host hears of it; the browser stays.
    ASSERT_TRUE(test::PageClose(browser));
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostBrowserClosing, 1));
    Settle();
    EXPECT_FALSE(test::BrowserInfo(browser).closed);
    EXPECT_TRUE(IsWindow(root->GetWindowHandle()));
    EXPECT_EQ(root->GetBrowser(), browser);

    // The host closes it: the end comes once, with no second closing event.
    Dispatch(kView | client::MsgToBrowserClose);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostWindowDestroyed, 1));
    Settle();
    EXPECT_EQ(EventsOf(client::MsgToHostBrowserClosing).size(), 1u);
    EXPECT_EQ(EventsOf(client::MsgToHostWindowDestroyed).size(), 1u);
    EXPECT_TRUE(test::BrowserInfo(browser).closed);
  });
}

TEST_F(RootWindowTest, APopUpRootWindowReportsOnlyFullScreenAndLoadingStateAsViewZero) {
  Run([&] {
    scoped_refptr<client::RootWindow> popup;
    CefWindowInfo info;
    CefRefPtr<CefClient> client;
    CefBrowserSettings settings;
    CefPopupFeatures features;
    features.x = 5;
    features.xSet = 1;
    ASSERT_TRUE(test::RunOn(TID_UI, [&] {
      popup = manager()->CreateRootWindowAsPopup(false, false, features, info, client, settings);
    }));
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->GetWindowHandle(), nullptr);
    EXPECT_EQ(popup->GetWebViewId(), 0);
    EXPECT_TRUE(client);
    EXPECT_EQ(info.parent_window, client::TempWindowWin::GetWindowHandle());
    EXPECT_TRUE(test::WaitFor([&] { return manager()->GetRootWindowCount() == 1; }));

    client::BrowserWindow::Delegate* events = static_cast<client::RootWindowWin*>(popup.get());
    events->OnSetAddress("http://x/");
    events->OnSetTitle("t");
    events->OnSetFullscreen(true);
    events->OnSetLoadingState(true, false, true);
    events->OnBeforePopup(nullptr, nullptr, "http://x/p", WOD_NEW_POPUP, true);
    events->OnOpenUrlFromTab(nullptr, nullptr, "http://x/t", WOD_NEW_BACKGROUND_TAB, true);
    Settle();
    std::vector<std::string> heard;
    for (const HostEvent& event : host_->Events()) {
      std::string text = std::to_string(event.view | event.code);
      for (const std::string& item : Items(event)) text += " " + item;
      heard.push_back(text);
    }
    EXPECT_EQ(heard, S({"15 i:1", "16 i:0 i:1 i:1"}));
    // Off-screen pop-ups (developer tools of an off-screen view) paint transparent whatever
    // the switches say.
    scoped_refptr<client::RootWindow> osr_popup;
    CefWindowInfo osr_info;
    ASSERT_TRUE(test::RunOn(TID_UI, [&] {
      osr_popup = manager()->CreateRootWindowAsPopup(false, true, features, osr_info, client, settings);
    }));
    EXPECT_EQ(osr_info.windowless_rendering_enabled, 1);
    EXPECT_EQ(osr_info.transparent_painting_enabled, 1);
    EXPECT_TRUE(test::WaitFor([&] { return manager()->GetRootWindowCount() == 2; }));

    // Closing a pop-up root window ends the process (it has no window to close in order):
    // the test lets go of it as its end would.
    client::RootWindow::Delegate* owner = manager();
    owner->OnRootWindowDestroyed(popup.get());
    owner->OnRootWindowDestroyed(osr_popup.get());
  });
}

}  // namespace
}  // namespace root_test
