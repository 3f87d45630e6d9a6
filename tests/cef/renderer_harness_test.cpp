// The renderer runtime driven by RendererHarness: a test application's render process handler on a renderer thread
// of this process.
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_app.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_v8.h"
#include "include/wrapper/cef_helpers.h"
#include "testing/cefengine_testing.h"
#include "testing/page_script.h"
#include "testing/renderer_testing.h"

namespace cefengine {
namespace {

class TwiceHandler : public CefV8Handler {
 public:
  bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override {
    if (arguments.size() != 1 || !arguments[0]->IsString()) {
      exception = "Twice wants one string";
      return true;
    }
    std::string text = arguments[0]->GetStringValue().ToString();
    retval = CefV8Value::CreateString(text + text);
    return true;
  }
  IMPLEMENT_REFCOUNTING(TwiceHandler);
};

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
    CefRefPtr<CefV8Context> current = CefV8Context::GetCurrentContext();
    entered_during_created = CefV8Context::InContext() && current && current->IsSame(context);
    frame_context_matches = frame->GetV8Context() && frame->GetV8Context()->IsSame(context);
    contexts.push_back(context);
    // Page script finds external.Twice(text) in every document.
    CefRefPtr<CefV8Value> external = CefV8Value::CreateObject(nullptr);
    external->SetValue("Twice", CefV8Value::CreateFunction("Twice", new TwiceHandler()), V8_PROPERTY_ATTRIBUTE_NONE);
    context->GetGlobal()->SetValue("external", external, V8_PROPERTY_ATTRIBUTE_READONLY);
  }
  void OnContextReleased(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                         CefRefPtr<CefV8Context> context) override {
    Note("OnContextReleased", browser->GetIdentifier(), frame->GetIdentifier());
  }
  void OnFocusedNodeChanged(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                            CefRefPtr<CefDOMNode> node) override {
    Note("OnFocusedNodeChanged", browser->GetIdentifier(), frame->GetIdentifier());
    focus_nodes.push_back(!node ? "null" : node->IsEditable() ? "editable" : "plain");
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
  std::vector<CefRefPtr<CefV8Context>> contexts;
  std::vector<std::string> focus_nodes;
  bool entered_during_created = false;
  bool frame_context_matches = false;
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

TEST_F(RendererHarnessTest, StartupBrowserAndDocumentCallbacksComeInOrder) {
  Page();
  EXPECT_EQ(app_->handler->Take(),
            (std::vector<std::string>{"OnRenderThreadCreated 0/0", "OnWebKitInitialized 0/0", "OnBrowserCreated 3/0",
                                      "OnContextCreated 3/30", "OnContextCreated 3/31"}));
  EXPECT_FALSE(app_->handler->off_thread);
  EXPECT_TRUE(app_->handler->host_null);
  EXPECT_EQ(app_->handler->extra_text, "hello renderer");
  EXPECT_TRUE(app_->handler->extra_read_only);
  // Each commit is answered with FrameReady.
  std::vector<ChannelFrame> frames = harness_->TakeFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].type, FrameType::kFrameReady);
  EXPECT_EQ(frames[0].frame_id, 30);
  EXPECT_EQ(frames[1].frame_id, 31);
  // Renderer callbacks are journaled as renderer entries.
  for (const auto& entry : test::EntriesOf("OnBrowserCreated")) {
    EXPECT_EQ(entry.process, 'R');
    EXPECT_EQ(entry.thread, "RENDERER");
  }
}

TEST_F(RendererHarnessTest, NewMainDocumentReleasesEveryOldContextFirst) {
  Page();
  CefRefPtr<CefFrame> side = app_->handler->browsers.at(0)->GetFrame(31);
  app_->handler->Take();
  ASSERT_TRUE(harness_->Commit(3, {{30, "", true, "http://b.test/"}}));
  EXPECT_EQ(app_->handler->Take(), (std::vector<std::string>{"OnContextReleased 3/30", "OnContextReleased 3/31",
                                                             "OnContextCreated 3/30"}));
  EXPECT_FALSE(side->IsValid());
  EXPECT_EQ(app_->handler->browsers.at(0)->GetFrameCount(), 1u);
  EXPECT_EQ(app_->handler->browsers.at(0)->GetMainFrame()->GetURL().ToString(), "http://b.test/");
}

TEST_F(RendererHarnessTest, SubFrameCommitAndReleaseTouchOnlyThatFrame) {
  Page();
  ASSERT_TRUE(harness_->Commit(3, {{32, "inner", false, "http://a.test/inner", 31}}));
  app_->handler->Take();
  // Recommitting the side frame replaces it and the frame inside it, not the main document.
  ASSERT_TRUE(harness_->Commit(3, {{31, "side", false, "http://a.test/side2"}}));
  EXPECT_EQ(app_->handler->Take(), (std::vector<std::string>{"OnContextReleased 3/31", "OnContextReleased 3/32",
                                                             "OnContextCreated 3/31"}));
  ASSERT_TRUE(harness_->Release(31));
  EXPECT_EQ(app_->handler->Take(), (std::vector<std::string>{"OnContextReleased 3/31"}));
  EXPECT_EQ(app_->handler->browsers.at(0)->GetFrameCount(), 1u);
}

TEST_F(RendererHarnessTest, DestroyedBrowserReleasesContextsThenGoesAndStopsSending) {
  Page();
  CefRefPtr<CefBrowser> browser = app_->handler->browsers.at(0);
  app_->handler->Take();
  ASSERT_TRUE(harness_->DestroyBrowser(3));
  EXPECT_EQ(app_->handler->Take(), (std::vector<std::string>{"OnContextReleased 3/30", "OnContextReleased 3/31",
                                                             "OnBrowserDestroyed 3/0"}));
  bool sent = true;
  ASSERT_TRUE(harness_->RunOnRenderer(
      [&] { sent = browser->SendProcessMessage(PID_BROWSER, CefProcessMessage::Create("late")); }));
  EXPECT_FALSE(sent);
  EXPECT_EQ(browser->GetFrameCount(), 0u);
  // A harness renderer keeps running without browsers.
  EXPECT_TRUE(harness_->ok());
  ASSERT_TRUE(harness_->AddBrowser(4));
}


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

TEST_F(RendererHarnessTest, FailedSendsAreRefusedUntilTurnedOffAndOtherFramesStillFlow) {
  Page();
  CefRefPtr<CefBrowser> browser = app_->handler->browsers.at(0);
  std::vector<bool> sent;
  auto send = [&](const char* name) {
    return harness_->RunOnRenderer(
        [&] { sent.push_back(browser->SendProcessMessage(PID_BROWSER, CefProcessMessage::Create(name))); });
  };
  harness_->TakeFrames();
  harness_->FailSends(true);
  ASSERT_TRUE(send("refused"));
  // A commit still reaches the browser: only process messages are refused.
  ASSERT_TRUE(harness_->Commit(3, {{31, "side", false, "http://a.test/side2"}}));
  harness_->FailSends(false);
  ASSERT_TRUE(send("accepted"));
  EXPECT_EQ(sent, (std::vector<bool>{false, true}));
  std::vector<test::SentMessage> messages = harness_->TakeSent();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].name, "accepted");
  std::vector<ChannelFrame> frames = harness_->TakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].type, FrameType::kFrameReady);
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
  ASSERT_TRUE(harness_->Focus(3, 30, FOCUS_PLAIN));
  ASSERT_TRUE(harness_->Focus(3, 31, FOCUS_EDITABLE));
  ASSERT_TRUE(harness_->Focus(3, 31, FOCUS_NONE));
  EXPECT_EQ(app_->handler->Take(), (std::vector<std::string>{"OnFocusedNodeChanged 3/31", "OnFocusedNodeChanged 3/30",
                                                             "OnFocusedNodeChanged 3/31", "OnFocusedNodeChanged 3/31"}));
  EXPECT_EQ(app_->handler->focus_nodes, (std::vector<std::string>{"editable", "plain", "editable", "null"}));
  EXPECT_TRUE(app_->handler->browsers.at(0)->GetFrame(31)->IsFocused());
  EXPECT_EQ(app_->handler->browsers.at(0)->GetFocusedFrame()->GetIdentifier(), 31);
}

TEST_F(RendererHarnessTest, ContextIsEnteredDuringOnContextCreatedAndDiesWithItsDocument) {
  Page();
  EXPECT_TRUE(app_->handler->entered_during_created);
  EXPECT_TRUE(app_->handler->frame_context_matches);
  ASSERT_EQ(app_->handler->contexts.size(), 2u);
  CefRefPtr<CefV8Context> old_main = app_->handler->contexts[0];
  bool valid_before = false, valid_after = true, in_context_after = true;
  ASSERT_TRUE(harness_->RunOnRenderer([&] {
    valid_before = old_main->IsValid();
    in_context_after = CefV8Context::InContext();  // the runtime left the context again
  }));
  ASSERT_TRUE(harness_->Commit(3, {{30, "", true, "http://b.test/"}}));
  ASSERT_TRUE(harness_->RunOnRenderer([&] { valid_after = old_main->IsValid(); }));
  EXPECT_TRUE(valid_before);
  EXPECT_FALSE(in_context_after);
  EXPECT_FALSE(valid_after);
}

TEST_F(RendererHarnessTest, PageScriptReachesWhatTheHandlerInstalled) {
  Page();
  test::CallResult twice = harness_->RendererCall(3, 31, "external.Twice", {test::Str("ab")});
  EXPECT_TRUE(twice.ran);
  EXPECT_FALSE(twice.threw);
  EXPECT_EQ(twice.type, "string");
  EXPECT_EQ(twice.value, "abab");
  test::CallResult bad = harness_->RendererCall(3, 30, "external.Twice", {test::Int(1)});
  EXPECT_TRUE(bad.threw);
  EXPECT_EQ(bad.exception, "Twice wants one string");
  test::CallResult assigned = harness_->RendererAssign(3, 30, "external", test::Str("replaced"));
  EXPECT_TRUE(assigned.read_only);
  EXPECT_EQ(harness_->RendererGet(3, 30, "external").type, "object");
  // A frame without a document has nothing to run in.
  EXPECT_FALSE(harness_->RendererCall(3, 99, "external.Twice", {test::Str("x")}).ran);
  // The answers are not left behind as stray frames.
  for (const ChannelFrame& frame : harness_->TakeFrames())
    EXPECT_NE(frame.type, FrameType::kTestResult);
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
