// "chrome://crash" with the renderer played by the test (recording links) and with a renderer thread in this process:
// a main-frame navigation to it ends the browser's renderer as a crash and commits nothing. (The sub-process case is
// in browser_subprocess_test.cpp.)
#include <windows.h>

#include <gtest/gtest.h>

#include "browser_test_support.h"
#include "engine/channel_frame.h"
#include "include/cef_render_process_handler.h"
#include "testing/network_testing.h"
#include "testing/renderer_testing.h"

using namespace browser_test;
using cefengine::ChannelFrame;
using cefengine::FrameType;

namespace {

const char kPage[] = "http://crash.test/page.html";

class RendererApp : public CefApp, public CefRenderProcessHandler {
 public:
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }
  IMPLEMENT_REFCOUNTING(RendererApp);
};

class ReloadingClient : public TestClient {
 public:
  void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) override {
    TestClient::OnRenderProcessTerminated(browser, status);
    browser->Reload();
  }
};

struct ModeCase {
  const char* name;
  bool in_process;  // a renderer thread in this process; otherwise the links only record
};

class CrashUrl : public ::testing::TestWithParam<ModeCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(harness_.ok());
    test::ResetNetwork();
    test::EnableJournal();
    if (GetParam().in_process)
      test::SetInProcessRendererApp(new RendererApp());
    // As a sub-frame or a sub-resource the URL crashes nothing.
    test::SetHttpResponse(CefString(kPage).ToWString(), 200, L"text/html",
                          "<html><title>Page</title><img src=\"chrome://crash\">"
                          "<iframe name=\"f\" src=\"chrome://crash\"></iframe></html>");
    client_ = new TestClient();
  }
  void TearDown() override {
    harness_.Shutdown();
    test::SetInProcessRendererApp(nullptr);
    test::ResetNetwork();
    EXPECT_TRUE(strict_.Messages().empty()) << strict_.Messages().front();
  }

  StrictScope strict_;
  test::BrowserHarness harness_;
  CefRefPtr<TestClient> client_;
};

TEST_P(CrashUrl, MainFrameNavigationEndsTheRendererAsACrashAndCommitsNothing) {
  ASSERT_TRUE(
      CefBrowserHost::CreateBrowser(Windowless(nullptr), client_.get(), kPage, CefBrowserSettings(), nullptr));
  ASSERT_TRUE(client_->WaitEvent("OnLoadEnd main 200"));
  CefRefPtr<CefBrowser> browser = client_->CreatedAt(0);
  EXPECT_EQ(client_->EventsStartingWith("OnLoadError"),
            std::vector<std::string>{"OnLoadError sub:f -300 net::ERR_INVALID_URL chrome://crash "
                                     "frame-url=chrome://crash"});
  EXPECT_EQ(client_->Count("OnRenderProcessTerminated"), 0);

  client_->ClearEvents();
  browser->GetMainFrame()->LoadURL("chrome://crash");
  ASSERT_TRUE(client_->WaitEvent("OnRenderProcessTerminated"));
  EXPECT_EQ(client_->Events(),
            (std::vector<std::string>{"OnBeforeBrowse main chrome://crash", "OnLoadingStateChange true",
                                      "OnLoadingStateChange false",
                                      "OnRenderProcessTerminated " + std::to_string(TS_PROCESS_CRASHED)}));
  EXPECT_EQ(client_->off_ui_calls(), 0);
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), kPage);
  EXPECT_FALSE(browser->IsLoading());
  EXPECT_FALSE(browser->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("after")));
  if (!GetParam().in_process) {
    // What a renderer would have been told.
    std::vector<ChannelFrame> sent = test::SentToRenderer(browser);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().type, FrameType::kCrash);
  }

  // The next navigation starts a new renderer and loads again.
  browser->Reload();
  ASSERT_TRUE(client_->WaitEvent("OnLoadEnd main 200"));
  EXPECT_EQ(test::EntriesOf("RendererRelaunch").size(), 1u);
  EXPECT_TRUE(browser->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("after")));
  EXPECT_EQ(client_->Count("OnRenderProcessTerminated"), 1);
}

TEST_P(CrashUrl, ReloadFromTheTerminationCallbackStartsCleanly) {
  // As an application that restores its page when the renderer dies.
  CefRefPtr<ReloadingClient> client = new ReloadingClient();
  ASSERT_TRUE(CefBrowserHost::CreateBrowser(Windowless(nullptr), client.get(), kPage, CefBrowserSettings(), nullptr));
  ASSERT_TRUE(client->WaitEvent("OnLoadEnd main 200"));
  CefRefPtr<CefBrowser> browser = client->CreatedAt(0);
  client->ClearEvents();
  browser->GetMainFrame()->LoadURL("chrome://crash");
  ASSERT_TRUE(client->WaitEvent("OnLoadEnd main 200"));
  std::vector<std::string> events = client->Events();
  int terminated = IndexOf(events, "OnRenderProcessTerminated");
  ASSERT_GE(terminated, 0);
  EXPECT_LT(IndexOf(events, "OnLoadingStateChange false"), terminated);
  EXPECT_EQ(IndexOf(events, "OnBeforeBrowse main " + std::string(kPage)), terminated + 1);
  EXPECT_EQ(IndexOf(events, "OnLoadingStateChange true", terminated), terminated + 2);
  EXPECT_EQ(client->Count("OnLoadError main"), 0);
  EXPECT_EQ(client->Count("OnRenderProcessTerminated"), 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, CrashUrl,
                         ::testing::Values(ModeCase{"Recording", false}, ModeCase{"InProcess", true}),
                         [](const ::testing::TestParamInfo<ModeCase>& info) { return info.param.name; });

}  // namespace
