// The host's commands to a view and the root window's answers to Windows: load, mute, referrer,
// the orderly close and the end of the loop, window commands, activation notices for the page,
// the Flash notice and the quit message.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/child_processes.h"
#include "browser/drag_area_message.h"
#include "include/base/cef_bind.h"
#include "include/cef_scheme.h"
#include "include/wrapper/cef_stream_resource_handler.h"
#include "tests/browser/browser_test_doubles.h"
#include "tests/browser/root_window_fixture.h"
#include "tests/channel/log_capture.h"

namespace root_test {
namespace {

using browser_doubles::JournalArgs;
using host_test::Bool;
using host_test::Int;

// The page-function calls the renderer of browser got.
std::vector<std::vector<std::string>> PageCalls(CefRefPtr<CefBrowser> browser) {
  return RendererMessages(browser, client::process_message::kCallFunction);
}

TEST_F(RootWindowTest, TheHostsCloseEndsTheViewOnceAndTheLastViewEndsTheLoop) {
  Run([&] {
    scoped_refptr<client::RootWindow> first = CreateViewAndWait(Settings());
    scoped_refptr<client::RootWindow> second = CreateViewAndWait(Settings(kOtherView));
    HWND first_hwnd = first->GetWindowHandle();
    CefRefPtr<CefBrowser> first_browser = first->GetBrowser();

    Dispatch(kView | client::MsgToBrowserClose);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostWindowDestroyed, 1));
    Settle();
    EXPECT_EQ(EventsOf(client::MsgToHostWindowDestroyed).size(), 1u);
    EXPECT_TRUE(EventsOf(client::MsgToHostBrowserClosing).empty());
    EXPECT_FALSE(IsWindow(first_hwnd));
    EXPECT_EQ(first->GetWindowHandle(), nullptr);
    EXPECT_EQ(first->GetBrowser(), nullptr);
    EXPECT_TRUE(test::BrowserInfo(first_browser).closed);
    EXPECT_TRUE(IsWindow(host_window_.hwnd())) << "the close never reaches the host's window";
    EXPECT_EQ(manager()->GetRootWindowCount(), 1);
    EXPECT_EQ(manager()->GetRootWindowByWebViewId(kView), nullptr);
    EXPECT_EQ(loop_->quits.load(), 0);

    Dispatch(kOtherView | client::MsgToBrowserClose);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostWindowDestroyed, 2));
    EXPECT_EQ(EventsOf(client::MsgToHostWindowDestroyed, kOtherView).size(), 1u);
    EXPECT_TRUE(test::WaitFor([&] { return loop_->quits.load() == 1; }));
    EXPECT_EQ(manager()->GetRootWindowCount(), 0);
  });
}

// The host may close a view right after asking for it, before its browser exists: the close
// waits for the browser, windowed or off screen.
TEST_F(RootWindowTest, AViewClosedBeforeItsBrowserCameStillEnds) {
  LogCapture log;
  Run([&] {
    for (bool transparent : {false, true}) {
      host_->Clear();
      std::unique_ptr<StartupSettings> settings = Settings();
      settings->transparent_window = transparent;
      // CEF's UI thread, which makes the browser, waits until the close was handled.
      HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      ASSERT_TRUE(CefPostTask(TID_UI, base::Bind(&WaitForEvent, go)));
      scoped_refptr<client::RootWindow> root = CreateView(std::move(settings));
      Dispatch(kView | client::MsgToBrowserClose);
      Settle(100);
      EXPECT_TRUE(IsWindow(root->GetWindowHandle())) << transparent;
      EXPECT_FALSE(root->GetBrowser());
      SetEvent(go);

      ASSERT_TRUE(host_->WaitFor(client::MsgToHostWindowDestroyed, 1)) << transparent;
      EXPECT_EQ(manager()->GetRootWindowCount(), 0);
      EXPECT_EQ(EventsOf(client::MsgToHostBrowserCreated).size(), 1u);
      EXPECT_TRUE(EventsOf(client::MsgToHostBrowserClosing).empty());
      EXPECT_TRUE(test::WaitFor([] {
        for (const CefRefPtr<CefBrowser>& browser : test::Browsers())
          if (!test::BrowserInfo(browser).closed) return false;
        return true;
      }));
      CloseHandle(go);
    }
    EXPECT_EQ(log.Count(L"RootWindowWin::OnClose : Cancel the close until the browser exists."), 2u);
  });
}

// Records, on the browser window's thread, the drag-list messages the browser window gets.
std::atomic<int> g_drag_list_messages{0};
std::atomic<LONG_PTR> g_browser_window_proc{0};
LRESULT CALLBACK RecordDragList(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == client::DragAreaListWindowMessage() && wParam == 0 && lParam == 0) ++g_drag_list_messages;
  return CallWindowProcW(reinterpret_cast<WNDPROC>(g_browser_window_proc.load()), hwnd, message, wParam, lParam);
}

TEST_F(RootWindowTest, LoadUrlActsOnlyOnceTheBrowserExists) {
  test::SetHttpResponse(L"http://root.test/start.html", 200, L"text/html", "<html></html>");
  test::SetHttpResponse(L"http://root.test/next.html", 200, L"text/html", "<html></html>");
  LogCapture log;
  Run([&] {
    HWND sentinel = host_window_.hwnd();
    g_flashNoticeWindow.store(sentinel);
    scoped_refptr<client::RootWindow> root = CreateView(Settings());
    test::ClearJournal();
    root->LoadUrl("http://root.test/early.html");  // no browser yet: dropped
    EXPECT_EQ(g_flashNoticeWindow.load(), sentinel);
    EXPECT_EQ(log.Count(L"update last_root_wnd_handle"), 0u);
    ASSERT_TRUE(test::WaitFor([&] { return root->GetBrowser() != nullptr; }));
    CefRefPtr<CefBrowser> browser = root->GetBrowser();
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostLoadEnd, 1));
    EXPECT_EQ(Items(EventsOf(client::MsgToHostLoadEnd)[0]), S({"s:http://root.test/start.html"}));

    HWND browser_hwnd = test::BrowserInfo(browser).hwnd;
    g_browser_window_proc = SetWindowLongPtrW(browser_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordDragList));
    ASSERT_TRUE(g_browser_window_proc.load());
    Dispatch(kView | client::MsgToBrowserLoadUrl, {Text(L"http://root.test/next.html"), Text(L"")});
    SetWindowLongPtrW(browser_hwnd, GWLP_WNDPROC, g_browser_window_proc.load());
    EXPECT_EQ(g_drag_list_messages.load(), 1);
    EXPECT_EQ(g_flashNoticeWindow.load(), root->GetWindowHandle());
    EXPECT_EQ(log.Count(L"update last_root_wnd_handle, webview id : 768"), 1u);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostLoadEnd, 2));
    EXPECT_EQ(Items(EventsOf(client::MsgToHostLoadEnd)[1]), S({"s:http://root.test/next.html"}));

    // The launch hook's notice of a missing Flash plug-in reaches the host as the view's event.
    PostMessageW(g_flashNoticeWindow.load(), WM_FLASH_PLUGIN_MISSING, 0, 0);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostFlashPluginMissing, 1));
    EXPECT_EQ(EventsOf(client::MsgToHostFlashPluginMissing).size(), 1u);
    EXPECT_EQ(log.Count(L"OnFlashPluginDllNotExist, webview id : 768"), 1u);
  });
  g_flashNoticeWindow.store(nullptr);
}

// Records the referrer of every request for http://ref.test/ and answers it with an empty page.
class ReferrerRecorder : public CefSchemeHandlerFactory {
 public:
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                       const CefString& scheme_name, CefRefPtr<CefRequest> request) override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      referrers_.push_back(request->GetReferrerURL().ToString());
    }
    static const char kBody[] = "<html></html>";
    return new CefStreamResourceHandler(
        "text/html", CefStreamReader::CreateForData(const_cast<char*>(kBody), sizeof(kBody) - 1));
  }
  std::vector<std::string> Referrers() {
    std::lock_guard<std::mutex> hold(mutex_);
    return referrers_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> referrers_;
  IMPLEMENT_REFCOUNTING(ReferrerRecorder);
};

TEST_F(RootWindowTest, MuteAndReferrerReachTheView) {
  test::SetHttpResponse(L"http://root.test/start.html", 200, L"text/html", "<html></html>");
  Run([&] {
    std::unique_ptr<StartupSettings> settings = Settings();
    settings->referrer = L"http://first.example/";
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(std::move(settings));
    CefRefPtr<CefBrowser> browser = root->GetBrowser();

    Dispatch(kView | client::MsgToBrowserMute, {Bool(true)});
    Dispatch(kView | client::MsgToBrowserMute, {Bool(false)});
    ASSERT_TRUE(test::Flush(TID_UI));
    EXPECT_EQ(RendererMessages(browser, client::process_message::kMuteVolume),
              std::vector<std::vector<std::string>>({{"bool:1"}, {"bool:0"}}));

    CefRefPtr<ReferrerRecorder> recorder = new ReferrerRecorder();
    ASSERT_TRUE(CefRegisterSchemeHandlerFactory("http", "ref.test", recorder));
    Dispatch(kView | client::MsgToBrowserLoadUrl, {Text(L"http://ref.test/a.html"), Text(L"")});
    ASSERT_TRUE(test::WaitFor([&] { return recorder->Referrers().size() == 1; }));
    Dispatch(kView | client::MsgToBrowserSetReferer, {Text(L"http://second.example/")});
    ASSERT_TRUE(test::WaitFor([&] { return !test::BrowserInfo(browser).loading; }));
    Dispatch(kView | client::MsgToBrowserLoadUrl, {Text(L"http://ref.test/b.html"), Text(L"")});
    ASSERT_TRUE(test::WaitFor([&] { return recorder->Referrers().size() == 2; }));
    EXPECT_EQ(recorder->Referrers(), std::vector<std::string>({"http://first.example/", "http://second.example/"}));
    CefClearSchemeHandlerFactories();
  });
}

TEST_F(RootWindowTest, WindowCommandsNavigateAndExitClosesEveryView) {
  test::SetHttpResponse(L"http://root.test/start.html", 200, L"text/html", "<html></html>");
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    scoped_refptr<client::RootWindow> other = CreateViewAndWait(Settings(kOtherView));
    HWND hwnd = root->GetWindowHandle();
    const int id = root->GetBrowser()->GetIdentifier();

    test::ClearJournal();
    for (UINT command : {200u, 201u, 202u, 203u, 104u, 32501u, 32700u, 32715u})
      EXPECT_EQ(SendMessageW(hwnd, WM_COMMAND, command, 0), 0) << command;
    ASSERT_TRUE(test::Flush(TID_UI));
    EXPECT_EQ(JournalArgs("GoBack", id).size(), 1u);
    EXPECT_EQ(JournalArgs("GoForward", id).size(), 1u);
    EXPECT_EQ(JournalArgs("Reload", id).size(), 1u);
    EXPECT_EQ(JournalArgs("StopLoad", id).size(), 1u);
    EXPECT_EQ(manager()->GetRootWindowCount(), 2);

    // Exit, sent to one view, closes both in order.
    EXPECT_EQ(SendMessageW(hwnd, WM_COMMAND, 105, 0), 0);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostWindowDestroyed, 2));
    EXPECT_EQ(EventsOf(client::MsgToHostWindowDestroyed, kView).size(), 1u);
    EXPECT_EQ(EventsOf(client::MsgToHostWindowDestroyed, kOtherView).size(), 1u);
    EXPECT_TRUE(test::WaitFor([&] { return loop_->quits.load() == 1; }));
  });
}

TEST_F(RootWindowTest, TheQuitMessageOfAnyProcessClosesEveryViewInOrder) {
  LogCapture log;
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    scoped_refptr<client::RootWindow> other = CreateViewAndWait(Settings(kOtherView));
    const UINT quit = RegisterWindowMessageW(L"{25E2CC7B-4102-43DA-8233-FAEEC8701094}");
    EXPECT_EQ(quit, client::RootWindowQuitMessage());
    EXPECT_EQ(SendMessageW(other->GetWindowHandle(), quit, 0, 0), 0);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostWindowDestroyed, 2));
    EXPECT_TRUE(test::WaitFor([&] { return loop_->quits.load() == 1; }));
    EXPECT_EQ(log.Count(L"MainContextImpl::Quiting"), 1u);
    EXPECT_TRUE(EventsOf(client::MsgToHostBrowserClosing).empty());
  });
}

TEST_F(RootWindowTest, ActivationOfWindowsReachesThePage) {
  test::SetHttpResponse(L"http://root.test/start.html", 200, L"text/html", "<html></html>");
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    CefRefPtr<CefBrowser> browser = root->GetBrowser();
    HWND hwnd = root->GetWindowHandle();
    const UINT shell_hook = RegisterWindowMessageW(L"SHELLHOOK");
    EXPECT_EQ(shell_hook, client::ShellHookMessage());
    // A window of another process: the desktop belongs to Wine's explorer.
    HWND foreign = GetDesktopWindow();
    DWORD foreign_pid = 0;
    GetWindowThreadProcessId(foreign, &foreign_pid);
    ASSERT_NE(foreign_pid, GetCurrentProcessId());

    struct Case {
      WPARAM code;
      HWND activated;
      const char* event;  // null: the page hears nothing
    } cases[] = {
        {HSHELL_WINDOWACTIVATED, host_window_.hwnd(), "window_active"},
        {0x8004, hwnd, "window_active"},  // HSHELL_RUDEAPPACTIVATED
        {HSHELL_WINDOWACTIVATED, foreign, "window_deactive"},
        {HSHELL_WINDOWACTIVATED, nullptr, "window_deactive"},
        {HSHELL_WINDOWCREATED, host_window_.hwnd(), nullptr},
        {HSHELL_WINDOWDESTROYED, foreign, nullptr},
    };
    for (const Case& c : cases) {
      const size_t before = PageCalls(browser).size();
      EXPECT_EQ(SendMessageW(hwnd, shell_hook, c.code, reinterpret_cast<LPARAM>(c.activated)), 0);
      ASSERT_TRUE(test::Flush(TID_UI));
      std::vector<std::vector<std::string>> calls = PageCalls(browser);
      if (!c.event) {
        EXPECT_EQ(calls.size(), before) << c.code;
        continue;
      }
      ASSERT_EQ(calls.size(), before + 1) << c.code;
      EXPECT_EQ(calls.back(), std::vector<std::string>({"int:0", "OnWinEventHandler", c.event, ""})) << c.code;
    }
  });
}

TEST_F(RootWindowTest, AForeignActivationWhileTheViewIsInFrontIsActive) {
  test::SetHttpResponse(L"http://root.test/start.html", 200, L"text/html", "<html></html>");
  Run([&] {
    std::unique_ptr<StartupSettings> settings = Settings();
    settings->parent_wnd = nullptr;  // a top-level view can be the foreground window
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(std::move(settings));
    HWND hwnd = root->GetWindowHandle();
    // The foreground is the whole display's: windows of tests running beside this one may take
    // it. Only a notice handled while the view stayed in front counts.
    bool in_front = false;
    for (int attempt = 0; attempt < 50 && !in_front; ++attempt) {
      SetForegroundWindow(hwnd);
      if (!test::WaitFor([&] { return GetForegroundWindow() == hwnd; }, 200)) continue;
      SendMessageW(hwnd, client::ShellHookMessage(), HSHELL_WINDOWACTIVATED,
                   reinterpret_cast<LPARAM>(GetDesktopWindow()));
      in_front = GetForegroundWindow() == hwnd;
    }
    ASSERT_TRUE(in_front);
    ASSERT_TRUE(test::Flush(TID_UI));
    std::vector<std::vector<std::string>> calls = PageCalls(root->GetBrowser());
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), std::vector<std::string>({"int:0", "OnWinEventHandler", "window_active", ""}));
  });
}

TEST_F(RootWindowTest, TheEndOfTheSessionWithoutTheSwitchOnlyLogs) {
  LogCapture log;
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    EXPECT_EQ(SendMessageW(root->GetWindowHandle(), WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(SendMessageW(root->GetWindowHandle(), client::WM_CUSTOM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(log.Count(L"WM_QUERYENDSESSION"), 2u);
    EXPECT_EQ(log.Count(L"browser_tests"), 2u) << "the command line, as text";
    EXPECT_EQ(log.Count(L"sc_terminate_end"), 0u);
    EXPECT_EQ(manager()->GetRootWindowCount(), 1);
  });
}

}  // namespace
}  // namespace root_test
