// Browsers with a real renderer: the renderer runtime on a thread of the test process.
#include <windows.h>

#include <gtest/gtest.h>

#include "browser_test_support.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_v8.h"
#include "testing/network_testing.h"
#include "testing/renderer_testing.h"

using namespace browser_test;

namespace {

// The page side: tells the browser when a main document's context exists and answers pings.
class PageApp : public CefApp, public CefRenderProcessHandler {
 public:
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }
  void OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override {
    if (!frame->IsMain())
      return;
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("ContextReady");
    message->GetArgumentList()->SetString(0, frame->GetURL());
    browser->SendProcessMessage(PID_BROWSER, message);
  }
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override {
    CefRefPtr<CefProcessMessage> echo = CefProcessMessage::Create("Echo");
    echo->GetArgumentList()->SetString(0, message->GetName());
    browser->SendProcessMessage(PID_BROWSER, echo);
    return true;
  }
  IMPLEMENT_REFCOUNTING(PageApp);
};

TEST(BrowserInProcessRenderer, LoadsWaitForTheRendererAndMessagesGoBothWays) {
  StrictScope strict;
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  test::ResetNetwork();
  test::EnableJournal();
  test::SetInProcessRendererApp(new PageApp());
  test::SetHttpResponse(L"http://nav.test/page.html", 200, L"text/html",
                        "<html><title>Page</title><iframe src=\"http://nav.test/inner.html\"></iframe></html>");
  test::SetHttpResponse(L"http://nav.test/inner.html", 200, L"text/html", "<html></html>");
  CefRefPtr<TestClient> client = new TestClient();
  ASSERT_TRUE(CefBrowserHost::CreateBrowser(Windowless(nullptr), client.get(), "http://nav.test/page.html",
                                            CefBrowserSettings(), nullptr));
  ASSERT_TRUE(client->WaitEvent("OnLoadingStateChange false", 1));
  std::vector<std::string> events = client->Events();
  int ready = IndexOf(events, "Message ContextReady http://nav.test/page.html from-renderer ro");
  ASSERT_GE(ready, 0);
  EXPECT_LT(ready, IndexOf(events, "OnLoadEnd main 200"));
  EXPECT_GT(ready, IndexOf(events, "OnLoadStart main"));
  EXPECT_GE(IndexOf(events, "OnRenderViewReady"), 0);
  EXPECT_LT(IndexOf(events, "OnLoadEnd sub:"), IndexOf(events, "OnLoadEnd main"));
  // Both frames were set up by the renderer (no load went on by waiting out the renderer).
  EXPECT_EQ(test::EntriesOf("FrameReady").size(), 2u);

  CefRefPtr<CefBrowser> browser = client->CreatedAt(0);
  ASSERT_TRUE(browser->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("Ping")));
  ASSERT_TRUE(client->WaitEvent("Message Echo Ping"));

  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(client->Count("OnRenderProcessTerminated"), 0);  // an orderly end is no termination
  EXPECT_EQ(client->off_ui_calls(), 0);
  EXPECT_TRUE(strict.Messages().empty()) << strict.Messages().front();
  harness.Shutdown();
  test::SetInProcessRendererApp(nullptr);
  test::ResetNetwork();
}

}  // namespace
