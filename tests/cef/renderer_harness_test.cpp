// The renderer runtime driven by RendererHarness: a test application's render process handler on a renderer thread
// of this process.
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_app.h"
#include "include/cef_render_process_handler.h"
#include "include/wrapper/cef_helpers.h"
#include "testing/cefengine_testing.h"
#include "testing/renderer_testing.h"

namespace cefengine {
namespace {

// Records each callback as "Name browser/frame" (frame 0 when none) and checks its thread.
class RecordingHandler : public CefRenderProcessHandler {
 public:
  void OnRenderThreadCreated(CefRefPtr<CefListValue> extra_info) override {
    Note("OnRenderThreadCreated", 0, 0);
    extra_read_only = extra_info->IsReadOnly();
    extra_text = extra_info->GetString(0).ToString();
  }
  void OnWebKitInitialized() override { Note("OnWebKitInitialized", 0, 0); }
  void OnBrowserCreated(CefRefPtr<CefBrowser> browser) override {
    Note("OnBrowserCreated", browser->GetIdentifier(), 0);
    host_null = browser->GetHost() == nullptr;
    browsers.push_back(browser);
  }
  void OnBrowserDestroyed(CefRefPtr<CefBrowser> browser) override {
    Note("OnBrowserDestroyed", browser->GetIdentifier(), 0);
  }
  void OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override {
    Note("OnContextCreated", browser->GetIdentifier(), frame->GetIdentifier());
  }
  void OnContextReleased(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                         CefRefPtr<CefV8Context> context) override {
    Note("OnContextReleased", browser->GetIdentifier(), frame->GetIdentifier());
  }
  void OnFocusedNodeChanged(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                            CefRefPtr<CefDOMNode> node) override {
    Note("OnFocusedNodeChanged", browser->GetIdentifier(), frame->GetIdentifier());
  }
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override {
    Note("OnProcessMessageReceived:" + message->GetName().ToString(), browser->GetIdentifier(), 0);
    received_read_only = message->IsReadOnly() && message->GetArgumentList()->IsReadOnly();
    from_browser = source_process == PID_BROWSER;
    if (message->GetName() != "ping")
      return false;
    CefRefPtr<CefProcessMessage> reply = CefProcessMessage::Create("pong");
    reply->GetArgumentList()->SetInt(0, message->GetArgumentList()->GetInt(0) + 1);
    reply->GetArgumentList()->SetString(1, browser->GetMainFrame() ? browser->GetMainFrame()->GetURL() : "");
    reply_sent = browser->SendProcessMessage(PID_BROWSER, reply);
    return true;
  }

  void Note(const std::string& what, int browser, int64 frame) {
    if (!CefCurrentlyOn(TID_RENDERER))
      off_thread = true;
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(what + " " + std::to_string(browser) + "/" + std::to_string(frame));
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> out;
    out.swap(calls);
    return out;
  }

  std::mutex mutex;
  std::vector<std::string> calls;
  std::vector<CefRefPtr<CefBrowser>> browsers;
  bool off_thread = false;
  bool host_null = false;
  bool extra_read_only = false;
  std::string extra_text;
  bool received_read_only = false;
  bool from_browser = false;
  bool reply_sent = false;
  IMPLEMENT_REFCOUNTING(RecordingHandler);
};

class RendererApp : public CefApp {
 public:
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return handler; }
  CefRefPtr<RecordingHandler> handler = new RecordingHandler();
  IMPLEMENT_REFCOUNTING(RendererApp);
};

class RendererHarnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnableJournal();
    CefRefPtr<CefListValue> extra = CefListValue::Create();
    extra->SetString(0, "hello renderer");
    harness_.reset(new test::RendererHarness(app_.get(), extra));
    ASSERT_TRUE(harness_->ok());
  }
  void TearDown() override { harness_.reset(); }

  // Browser 3 with main frame 30 and sub-frame 31 below it.
  void Page() {
    ASSERT_TRUE(harness_->AddBrowser(3));
    ASSERT_TRUE(harness_->Commit(3, {{30, "", true, "http://a.test/"}, {31, "side", false, "http://a.test/side"}}));
  }

  CefRefPtr<RendererApp> app_ = new RendererApp();
  std::unique_ptr<test::RendererHarness> harness_;
};

TEST_F(RendererHarnessTest, RendererBrowserShowsItsFrames) {
  Page();
  CefRefPtr<CefBrowser> browser = app_->handler->browsers.at(0);
  EXPECT_EQ(browser->GetIdentifier(), 3);
  EXPECT_EQ(browser->GetFrameCount(), 2u);
  CefRefPtr<CefFrame> side = browser->GetFrame("side");
  ASSERT_TRUE(side);
  EXPECT_EQ(side->GetIdentifier(), 31);
  EXPECT_FALSE(side->IsMain());
  EXPECT_EQ(side->GetURL().ToString(), "http://a.test/side");
  ASSERT_TRUE(side->GetParent());
  EXPECT_EQ(side->GetParent()->GetIdentifier(), 30);
  EXPECT_TRUE(browser->GetMainFrame()->IsMain());
  EXPECT_EQ(browser->GetFrame(31).get(), side.get());  // one object per frame
  EXPECT_FALSE(browser->GetFrame(99));
}

TEST_F(RendererHarnessTest, MessagesArriveInOrderAsReadOnlyCopiesAndRepliesReachTheBrowser) {
  Page();
  app_->handler->Take();
  for (int i = 0; i < 5; ++i) {
    CefRefPtr<CefListValue> args = CefListValue::Create();
    args->SetInt(0, i * 10);
    ASSERT_TRUE(harness_->Deliver(3, "ping", args));
  }
  ASSERT_TRUE(harness_->Deliver(3, "unknown"));
  EXPECT_TRUE(app_->handler->received_read_only);
  EXPECT_TRUE(app_->handler->from_browser);
  EXPECT_TRUE(app_->handler->reply_sent);
  std::vector<test::SentMessage> sent = harness_->TakeSent();
  ASSERT_EQ(sent.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(sent[i].name, "pong");
    EXPECT_EQ(sent[i].browser, 3);
    EXPECT_EQ(sent[i].args->GetInt(0), i * 10 + 1);
    EXPECT_EQ(sent[i].args->GetString(1).ToString(), "http://a.test/");
  }
  EXPECT_TRUE(harness_->TakeSent().empty());
  std::vector<JournalEntry> unhandled = test::EntriesOf("ProcessMessageUnhandled");
  ASSERT_EQ(unhandled.size(), 1u);
  EXPECT_EQ(unhandled[0].args.at(0), "unknown");
}

TEST_F(RendererHarnessTest, MessagesForUnknownBrowsersAreDropped) {
  ASSERT_TRUE(harness_->AddBrowser(3));
  app_->handler->Take();
  ASSERT_TRUE(harness_->Deliver(4, "ping"));
  EXPECT_TRUE(app_->handler->Take().empty());
  EXPECT_TRUE(harness_->TakeSent().empty());
}

TEST_F(RendererHarnessTest, SendProcessMessageRefusesMisuse) {
  Page();
  CefRefPtr<CefBrowser> browser = app_->handler->browsers.at(0);
  // Off the renderer thread.
  EXPECT_FALSE(browser->SendProcessMessage(PID_BROWSER, CefProcessMessage::Create("x")));
  bool to_renderer = true, no_message = true, no_name = true, good = false;
  ASSERT_TRUE(harness_->RunOnRenderer([&] {
    to_renderer = browser->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("x"));
    no_message = browser->SendProcessMessage(PID_BROWSER, nullptr);
    no_name = browser->SendProcessMessage(PID_BROWSER, CefProcessMessage::Create(""));
    good = browser->SendProcessMessage(PID_BROWSER, CefProcessMessage::Create("fine"));
  }));
  EXPECT_FALSE(to_renderer);
  EXPECT_FALSE(no_message);
  EXPECT_FALSE(no_name);
  EXPECT_TRUE(good);
  std::vector<test::SentMessage> sent = harness_->TakeSent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].name, "fine");
}

TEST_F(RendererHarnessTest, ScriptsGoToTheJournalAndTheHook) {
  Page();
  std::vector<std::string> scripts;
  bool on_renderer = false;
  test::SetScriptHook([&](int browser, int64 frame, const std::string& code) {
    on_renderer = CefCurrentlyOn(TID_RENDERER);
    scripts.push_back(std::to_string(browser) + "/" + std::to_string(frame) + " " + code);
  });
  ASSERT_TRUE(harness_->ExecuteJavaScript(3, 31, "alert(1)"));
  CefRefPtr<CefFrame> main = app_->handler->browsers.at(0)->GetMainFrame();
  ASSERT_TRUE(harness_->RunOnRenderer([&] { main->ExecuteJavaScript("go()", "http://a.test/x.js", 7); }));
  test::SetScriptHook(nullptr);
  EXPECT_TRUE(on_renderer);
  EXPECT_EQ(scripts, (std::vector<std::string>{"3/31 alert(1)", "3/30 go()"}));
  std::vector<JournalEntry> entries = test::EntriesOf("ExecuteJavaScript");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].args, (std::vector<std::string>{"go()", "http://a.test/x.js", "7"}));
}

TEST_F(RendererHarnessTest, FocusChangeReachesTheHandler) {
  Page();
  app_->handler->Take();
  ASSERT_TRUE(harness_->Focus(3, 31, FOCUS_EDITABLE));
  ASSERT_TRUE(harness_->Focus(3, 77, FOCUS_PLAIN));  // no such frame: dropped
  EXPECT_EQ(app_->handler->Take(), (std::vector<std::string>{"OnFocusedNodeChanged 3/31"}));
  EXPECT_TRUE(app_->handler->browsers.at(0)->GetFrame(31)->IsFocused());
  EXPECT_EQ(app_->handler->browsers.at(0)->GetFocusedFrame()->GetIdentifier(), 31);
}

TEST(RendererHarnessSingle, OnlyOneRendererThreadRunsAtATime) {
  CefRefPtr<RendererApp> app = new RendererApp();
  test::RendererHarness first(app.get());
  ASSERT_TRUE(first.ok());
  test::RendererHarness second(app.get());
  EXPECT_FALSE(second.ok());
  EXPECT_FALSE(second.AddBrowser(1));
  EXPECT_TRUE(first.AddBrowser(1));
}

}  // namespace
}  // namespace cefengine
