#include <windows.h>

#include <gtest/gtest.h>

#include "browser_test_support.h"
#include "engine/browser_impl.h"

using namespace browser_test;

namespace {

// A top-level window of the test thread that counts the WM_CLOSE messages it gets and then closes as usual.
int g_host_closes = 0;
LRESULT CALLBACK CountingHostProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE)
    ++g_host_closes;
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

HWND CountingHost() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountingHostProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"CloseTestHost";
  RegisterClassW(&wc);
  g_host_closes = 0;
  return CreateWindowExW(0, L"CloseTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST(CloseFlow, DoCloseFalseClosesTheRootAncestorAndOnBeforeCloseComesLast) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  HWND host = CountingHost();
  CefRefPtr<TestClient> client = new TestClient();
  CefRefPtr<CefBrowser> browser = CreateOnUI(ChildOf(host), client.get());
  ASSERT_TRUE(browser);
  HWND hwnd = browser->GetHost()->GetWindowHandle();
  std::string id = std::to_string(browser->GetIdentifier());

  browser->GetHost()->CloseBrowser(false);
  // WM_CLOSE reaches the host window on this thread; its default handling destroys it and the browser window.
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(g_host_closes, 1);
  EXPECT_FALSE(IsWindow(host));
  EXPECT_FALSE(IsWindow(hwnd));
  std::vector<std::string> events = client->Events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[events.size() - 2], "DoClose " + id);
  // The window is gone when the client hears OnBeforeClose, and nothing follows it.
  EXPECT_EQ(events.back(), "OnBeforeClose " + id + " nohwnd");
  EXPECT_TRUE(test::Browsers().empty());
  EXPECT_EQ(client->off_ui_calls(), 0);
}

TEST(CloseFlow, DoCloseFalseOnATopLevelBrowserClosesItsOwnWindow) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  CefRefPtr<TestClient> client = new TestClient();
  CefWindowInfo info;
  info.SetAsPopup(nullptr, "top");
  CefRefPtr<CefBrowser> browser = CreateOnUI(info, client.get());
  ASSERT_TRUE(browser);
  HWND hwnd = browser->GetHost()->GetWindowHandle();
  ASSERT_EQ(GetAncestor(hwnd, GA_ROOT), hwnd);

  browser->GetHost()->CloseBrowser(false);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(client->Count("DoClose"), 1);
  EXPECT_EQ(browser->GetHost()->GetWindowHandle(), nullptr);
}

TEST(CloseFlow, DoCloseTrueKeepsTheBrowserUntilTheNextRequest) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  HostWindow host;
  CefRefPtr<TestClient> client = new TestClient();
  client->do_close_result = true;
  CefRefPtr<CefBrowser> browser = CreateOnUI(ChildOf(host.hwnd()), client.get());
  ASSERT_TRUE(browser);
  HWND hwnd = browser->GetHost()->GetWindowHandle();

  for (bool force : {false, true}) {
    browser->GetHost()->CloseBrowser(force);
    ASSERT_TRUE(test::Quiesce());
    EXPECT_TRUE(IsWindow(hwnd)) << force;
  }
  EXPECT_EQ(client->Count("DoClose"), 2);
  EXPECT_EQ(client->Count("OnBeforeClose"), 0);
  EXPECT_EQ(test::Browsers().size(), 1u);

  client->do_close_result = false;
  browser->GetHost()->CloseBrowser(false);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(client->Count("DoClose"), 3);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindow(host.hwnd()));  // WM_CLOSE went to the root window, which closed with its child
}

TEST(CloseFlow, WindowlessBrowserClosesAtOnceAndRefusesUseAfterwards) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  HostWindow host;
  CefRefPtr<TestClient> client = new TestClient();
  CefRefPtr<CefBrowser> browser = CreateOnUI(Windowless(host.hwnd()), client.get());
  ASSERT_TRUE(browser);
  CefRefPtr<CefFrame> main = browser->GetMainFrame();

  browser->GetHost()->CloseBrowser(false);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(client->Events().back(), "OnBeforeClose " + std::to_string(browser->GetIdentifier()) + " nohwnd");
  EXPECT_TRUE(IsWindow(host.hwnd()));
  EXPECT_EQ(browser->GetHost()->GetWindowHandle(), nullptr);
  EXPECT_FALSE(browser->GetMainFrame());
  EXPECT_FALSE(main->IsValid());
  EXPECT_TRUE(main->GetBrowser()->IsSame(browser));  // a frame kept by the client still knows its browser
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("late");
  EXPECT_FALSE(browser->SendProcessMessage(PID_RENDERER, message));

  // Nothing reaches the client any more.
  size_t before = client->Events().size();
  main->LoadURL("about:blank");
  browser->Reload();
  browser->GetHost()->CloseBrowser(true);
  EXPECT_FALSE(harness.Inject(browser, "late", CefListValue::Create()));
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(client->Events().size(), before);
}

TEST(CloseFlow, PageCloseAndWindowMessagesRunTheSameFlow) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  CefRefPtr<TestClient> client = new TestClient();
  CefWindowInfo top;
  top.SetAsPopup(nullptr, "page");

  // window.close() from the page.
  CefRefPtr<CefBrowser> first = CreateOnUI(top, client.get());
  ASSERT_TRUE(first);
  ASSERT_TRUE(test::PageClose(first));
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));

  // WM_CLOSE from outside (the user closing the window).
  CefRefPtr<CefBrowser> second = CreateOnUI(top, client.get());
  ASSERT_TRUE(second);
  PostMessageW(second->GetHost()->GetWindowHandle(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose", 2));
  EXPECT_EQ(client->Count("DoClose"), 2);  // once per browser: the engine's own WM_CLOSE does not ask again
}

TEST(CloseFlow, ParentWindowDestroyedEndsTheBrowserWithoutDoClose) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  HWND host = CountingHost();
  CefRefPtr<TestClient> client = new TestClient();
  CefRefPtr<CefBrowser> browser = CreateOnUI(ChildOf(host), client.get());
  ASSERT_TRUE(browser);

  DestroyWindow(host);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(client->Count("DoClose"), 0);
  EXPECT_TRUE(test::Browsers().empty());
}

// A beforeunload stand-in: counts the questions and answers as told.
class UnloadExtras : public cefengine::BrowserExtras {
 public:
  void BeforeUnload(cefengine::BrowserImpl* browser, bool is_reload, std::function<void(bool)> done) override {
    ++asked;
    done(proceed);
  }
  int asked = 0;
  bool proceed = false;
};

TEST(CloseFlow, BeforeUnloadIsAskedOnlyForUnforcedClosesOfADocument) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  auto extras = std::make_shared<UnloadExtras>();
  cefengine::SetBrowserExtras(extras);
  CefRefPtr<TestClient> client = new TestClient();
  CefRefPtr<CefBrowser> browser = CreateOnUI(Windowless(nullptr), client.get());
  ASSERT_TRUE(browser);
  auto* impl = static_cast<cefengine::BrowserImpl*>(browser.get());
  test::RunOn(TID_UI, [&]() { impl->UpdatePage([](cefengine::PageState& page) { page.has_document = true; }); });

  browser->GetHost()->CloseBrowser(false);  // refused by the page
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(extras->asked, 1);
  EXPECT_EQ(client->Count("DoClose"), 0);

  client->do_close_result = true;
  browser->GetHost()->CloseBrowser(true);  // a forced close skips beforeunload
  ASSERT_TRUE(client->WaitEvent("DoClose"));
  EXPECT_EQ(extras->asked, 1);

  client->do_close_result = false;
  ASSERT_TRUE(test::PageClose(browser));  // so does window.close()
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(extras->asked, 1);
  EXPECT_EQ(client->Count("DoClose"), 2);
  cefengine::SetBrowserExtras(nullptr);
}

}  // namespace
