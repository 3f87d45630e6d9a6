// Links in in-process mode: the renderer runs on a thread of this process with the application the test set.
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/channel_frame.h"
#include "engine/renderer_link.h"
#include "include/cef_app.h"
#include "include/cef_browser_process_handler.h"
#include "include/cef_render_process_handler.h"
#include "testing/cefengine_testing.h"
#include "testing/renderer_testing.h"
#include "tests/cef/renderer_link_events.h"

namespace cefengine {
namespace {

class EchoHandler : public CefRenderProcessHandler {
 public:
  void OnRenderThreadCreated(CefRefPtr<CefListValue> extra_info) override {
    extra = extra_info->GetString(0).ToString();
  }
  void OnBrowserCreated(CefRefPtr<CefBrowser> browser) override {
    created_on_renderer = CefCurrentlyOn(TID_RENDERER);
    ++browsers;
  }
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override {
    CefRefPtr<CefProcessMessage> reply = CefProcessMessage::Create(message->GetName().ToString() + "-reply");
    reply->GetArgumentList()->SetInt(0, message->GetArgumentList()->GetInt(0));
    return browser->SendProcessMessage(PID_BROWSER, reply);
  }
  std::string extra;
  bool created_on_renderer = false;
  int browsers = 0;
  IMPLEMENT_REFCOUNTING(EchoHandler);
};

class RenderApp : public CefApp {
 public:
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return handler; }
  CefRefPtr<EchoHandler> handler = new EchoHandler();
  IMPLEMENT_REFCOUNTING(RenderApp);
};

class ExtraHandler : public CefBrowserProcessHandler {
 public:
  void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) override {
    extra_info->SetString(0, "from the browser");
  }
  IMPLEMENT_REFCOUNTING(ExtraHandler);
};

class BrowserApp : public CefApp {
 public:
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return handler; }
  CefRefPtr<ExtraHandler> handler = new ExtraHandler();
  IMPLEMENT_REFCOUNTING(BrowserApp);
};

class InProcessRenderer : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnableJournal();
    CefSettings settings;
    settings.multi_threaded_message_loop = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, browser_app_.get(), nullptr));
    // This test executable offers no renderer entry: without a mode set, browsers only record.
    EXPECT_EQ(GetRendererMode(), RendererMode::kRecording);
    test::SetInProcessRendererApp(render_app_.get());
    EXPECT_EQ(GetRendererMode(), RendererMode::kInProcess);
  }
  void TearDown() override {
    test::SetInProcessRendererApp(nullptr);
    EXPECT_EQ(GetRendererMode(), RendererMode::kRecording);
    CefShutdown();
  }

  CefRefPtr<BrowserApp> browser_app_ = new BrowserApp();
  CefRefPtr<RenderApp> render_app_ = new RenderApp();
};

TEST_F(InProcessRenderer, BrowsersShareOneRendererThreadAndTalkToIt) {
  auto first = std::make_shared<LinkEvents>();
  auto second = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> a = CreateRendererLink(21, first);
  std::shared_ptr<RendererLink> b = CreateRendererLink(22, second);
  ASSERT_TRUE(a->Send(MakeFrame(FrameType::kBrowserCreated, 21, 1, {MakeBool(false)})));
  ASSERT_TRUE(b->Send(MakeFrame(FrameType::kBrowserCreated, 22, 2, {MakeBool(false)})));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(a->Send(MakeFrame(FrameType::kProcessMessage, 21, 0,
                                  {MakeString(L"a"), MakeListValue({MakeInt(i)})})));
    ASSERT_TRUE(b->Send(MakeFrame(FrameType::kProcessMessage, 22, 0,
                                  {MakeString(L"b"), MakeListValue({MakeInt(i)})})));
  }
  ASSERT_TRUE(first->WaitFor(FrameType::kRendererMessage, 3));
  ASSERT_TRUE(second->WaitFor(FrameType::kRendererMessage, 3));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(first->Of(FrameType::kRendererMessage)[i].StringAt(0), L"a-reply");
    EXPECT_EQ(second->Of(FrameType::kRendererMessage)[i].StringAt(0), L"b-reply");
    EXPECT_EQ(first->Of(FrameType::kRendererMessage)[i].At(1)->list->items.at(0).i, i);
  }
  EXPECT_EQ(render_app_->handler->extra, "from the browser");
  EXPECT_TRUE(render_app_->handler->created_on_renderer);
  EXPECT_EQ(render_app_->handler->browsers, 2);
  // Each link is told the renderer is there; no process of its own.
  EXPECT_EQ(first->Of(FrameType::kHello).size(), 1u);
  EXPECT_TRUE(a->IsConnected());
  EXPECT_EQ(a->ProcessId(), 0u);
  EXPECT_EQ(test::RendererProcessId(21), 0u);
  EXPECT_TRUE(test::ChildProcesses().empty());
  // Renderer-side entries are marked as such although they share this journal.
  std::vector<JournalEntry> created = test::EntriesOf("OnBrowserCreated");
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(created[0].process, 'R');
  a->Close();
  b->Close();
}

TEST_F(InProcessRenderer, CrashEndsOnlyThatBrowsersLink) {
  auto first = std::make_shared<LinkEvents>();
  auto second = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> a = CreateRendererLink(31, first);
  std::shared_ptr<RendererLink> b = CreateRendererLink(32, second);
  ASSERT_TRUE(a->Send(MakeFrame(FrameType::kBrowserCreated, 31, 1, {MakeBool(false)})));
  ASSERT_TRUE(b->Send(MakeFrame(FrameType::kBrowserCreated, 32, 2, {MakeBool(false)})));
  ASSERT_TRUE(test::WaitFor([&] { return a->IsConnected() && b->IsConnected(); }));
  EXPECT_TRUE(test::CrashRenderer(31));
  EXPECT_EQ(first->statuses(), std::vector<cef_termination_status_t>{TS_PROCESS_CRASHED});
  EXPECT_FALSE(a->Send(MakeFrame(FrameType::kProcessMessage, 31, 0, {MakeString(L"x"), MakeListValue({})})));
  EXPECT_FALSE(test::CrashRenderer(31));
  ASSERT_TRUE(b->Send(MakeFrame(FrameType::kProcessMessage, 32, 0, {MakeString(L"still"), MakeListValue({})})));
  ASSERT_TRUE(second->WaitFor(FrameType::kRendererMessage, 1));
  EXPECT_TRUE(second->statuses().empty());
  a->Close();
  b->Close();
}

}  // namespace
}  // namespace cefengine
