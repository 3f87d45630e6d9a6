#include <windows.h>

#include <gtest/gtest.h>

#include "browser_test_support.h"

using namespace browser_test;

namespace {

DWORD UIThreadId() {
  DWORD id = 0;
  test::RunOn(TID_UI, [&]() { id = GetCurrentThreadId(); });
  return id;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

TEST(BrowserCreate, WindowedBrowserIsAChildWindowOfTheGivenParentMadeOnUI) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  HostWindow host;
  CefRefPtr<TestClient> client = new TestClient();

  // Asynchronous creation from the test's own thread.
  ASSERT_TRUE(CefBrowserHost::CreateBrowser(ChildOf(host.hwnd()), client.get(), "", CefBrowserSettings(), nullptr));
  ASSERT_TRUE(client->WaitCreated(1));
  CefRefPtr<CefBrowser> first = client->CreatedAt(0);
  HWND hwnd = first->GetHost()->GetWindowHandle();
  ASSERT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(ClassOf(hwnd), L"CefBrowserWindow");
  EXPECT_EQ(GetParent(hwnd), host.hwnd());
  EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), UIThreadId());
  RECT rect;
  GetClientRect(hwnd, &rect);
  EXPECT_EQ(rect.right, 200);
  EXPECT_EQ(rect.bottom, 100);

  // The objects handed out are the ones the browser keeps.
  EXPECT_EQ(first->GetHost()->GetClient().get(), static_cast<CefClient*>(client.get()));
  EXPECT_TRUE(first->GetHost()->GetBrowser()->IsSame(first));
  EXPECT_FALSE(first->IsPopup());
  CefRefPtr<CefFrame> main = first->GetMainFrame();
  ASSERT_TRUE(main);
  EXPECT_TRUE(main->IsMain());
  EXPECT_TRUE(main->IsValid());
  EXPECT_EQ(main.get(), first->GetMainFrame().get());
  EXPECT_TRUE(main->GetBrowser()->IsSame(first));
  EXPECT_EQ(first->GetFrame(main->GetIdentifier()).get(), main.get());
  EXPECT_EQ(first->GetFrameCount(), 1u);

  // Identifiers count up; the registry knows both browsers in creation order.
  CefRefPtr<CefBrowser> second = CreateOnUI(ChildOf(host.hwnd()), client.get());
  ASSERT_TRUE(second);
  EXPECT_EQ(second->GetIdentifier(), first->GetIdentifier() + 1);
  EXPECT_NE(second->GetMainFrame()->GetIdentifier(), main->GetIdentifier());
  std::vector<CefRefPtr<CefBrowser>> open = test::Browsers();
  ASSERT_EQ(open.size(), 2u);
  EXPECT_TRUE(open[0]->IsSame(first));
  EXPECT_TRUE(open[1]->IsSame(second));
  test::BrowserState info = test::BrowserInfo(first);
  EXPECT_EQ(info.hwnd, hwnd);
  EXPECT_EQ(info.parent_window, host.hwnd());
  EXPECT_FALSE(info.windowless);
  EXPECT_EQ(client->off_ui_calls(), 0);
}

TEST(BrowserCreate, ChildStyleWithoutParentCreatesNothingAndCallsNothing) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  test::EnableJournal();
  CefRefPtr<TestClient> client = new TestClient();
  CefWindowInfo info = ChildOf(nullptr);

  EXPECT_FALSE(CreateOnUI(info, client.get(), "about:blank"));
  // The asynchronous form accepts the request; the failure shows only as the missing browser.
  EXPECT_TRUE(CefBrowserHost::CreateBrowser(info, client.get(), "about:blank", CefBrowserSettings(), nullptr));
  ASSERT_TRUE(test::Flush(TID_UI));
  ASSERT_TRUE(test::Quiesce());
  EXPECT_TRUE(client->Events().empty());
  EXPECT_TRUE(test::Browsers().empty());
  EXPECT_TRUE(test::EntriesOf("OnAfterCreated").empty());
  EXPECT_TRUE(test::EntriesOf("OnBeforeBrowse").empty());
}

TEST(BrowserCreate, WindowlessBrowserHasNoWindowAndKeepsItsSettings) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  HostWindow host;
  CefRefPtr<TestClient> client = new TestClient();
  CefBrowserSettings settings;
  settings.background_color = CefColorSetARGB(255, 10, 20, 30);
  settings.windowless_frame_rate = 24;
  settings.minimum_font_size = 9;
  settings.minimum_logical_font_size = 7;
  CefString(&settings.accept_language_list) = "de-DE,en";

  CefRefPtr<CefBrowser> browser = CreateOnUI(Windowless(host.hwnd()), client.get(), "", settings);
  ASSERT_TRUE(browser);
  // A windowless browser's handle is its host window.
  EXPECT_EQ(browser->GetHost()->GetWindowHandle(), host.hwnd());
  test::BrowserState info = test::BrowserInfo(browser);
  EXPECT_TRUE(info.windowless);
  EXPECT_EQ(info.hwnd, nullptr);
  EXPECT_EQ(info.background_color, CefColorSetARGB(255, 10, 20, 30));
  EXPECT_EQ(info.windowless_frame_rate, 24);
  EXPECT_EQ(info.minimum_font_size, 9);
  EXPECT_EQ(info.minimum_logical_font_size, 7);
  EXPECT_EQ(info.accept_language, L"de-DE,en");
  // No request context given: the global one.
  ASSERT_TRUE(info.request_context);
  EXPECT_TRUE(info.request_context->IsGlobal());
  EXPECT_TRUE(browser->GetHost()->GetRequestContext()->IsSame(CefRequestContext::GetGlobalContext()));
  // A given one is kept.
  CefRefPtr<CefRequestContext> own = CefRequestContext::CreateContext(CefRequestContextSettings(), nullptr);
  CefRefPtr<CefBrowser> other;
  test::RunOn(TID_UI, [&]() {
    other = CefBrowserHost::CreateBrowserSync(Windowless(host.hwnd()), client.get(), "", settings, own);
  });
  ASSERT_TRUE(other);
  EXPECT_TRUE(other->GetHost()->GetRequestContext()->IsSame(own));
  EXPECT_EQ(client->EventsStartingWith("OnAfterCreated " + std::to_string(browser->GetIdentifier())).size(), 1u);
  EXPECT_EQ(client->Events().size(), 2u);  // the two OnAfterCreated
}

TEST(BrowserCreate, CreationOutsideARunningEngineOrOffUIFails) {
  CefRefPtr<TestClient> client = new TestClient();
  EXPECT_FALSE(CefBrowserHost::CreateBrowser(Windowless(nullptr), client.get(), "", CefBrowserSettings(), nullptr));
  {
    test::BrowserHarness harness;
    ASSERT_TRUE(harness.ok());
    // The synchronous form belongs to the UI thread.
    EXPECT_FALSE(CefBrowserHost::CreateBrowserSync(Windowless(nullptr), client.get(), "", CefBrowserSettings(), nullptr));
    ASSERT_TRUE(test::Quiesce());
  }
  EXPECT_FALSE(CefBrowserHost::CreateBrowser(Windowless(nullptr), client.get(), "", CefBrowserSettings(), nullptr));
  EXPECT_TRUE(client->Events().empty());
}

TEST(BrowserCreate, WindowPaintsTheConfiguredBackground) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  CefRefPtr<TestClient> client = new TestClient();
  CefBrowserSettings settings;
  settings.background_color = CefColorSetARGB(255, 0, 128, 255);
  CefWindowInfo info;
  info.SetAsPopup(nullptr, "painted");
  info.x = 20;
  info.y = 20;
  info.width = 160;
  info.height = 120;
  CefRefPtr<CefBrowser> browser = CreateOnUI(info, client.get(), "", settings);
  ASSERT_TRUE(browser);
  HWND hwnd = browser->GetHost()->GetWindowHandle();
  COLORREF pixel = CLR_INVALID;
  test::RunOn(TID_UI, [&]() {
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(hwnd);
    RECT rect;
    GetClientRect(hwnd, &rect);
    pixel = GetPixel(dc, rect.right - 2, rect.bottom - 2);  // away from the text
    ReleaseDC(hwnd, dc);
  });
  EXPECT_EQ(pixel, RGB(0, 128, 255));
}

}  // namespace
