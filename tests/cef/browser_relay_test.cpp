#include <windows.h>

#include <gtest/gtest.h>

#include "browser_test_support.h"
#include "engine/renderer_relay.h"

using namespace browser_test;
using cefengine::ChannelFrame;
using cefengine::FrameType;

namespace {

std::vector<FrameType> TypesOf(const std::vector<ChannelFrame>& frames) {
  std::vector<FrameType> types;
  for (const auto& frame : frames)
    types.push_back(frame.type);
  return types;
}

// A running engine with one windowless browser whose renderer the test plays.
class BrowserRelay : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(harness.ok());
    client = new TestClient();
    browser = CreateOnUI(Windowless(nullptr), client.get());
    ASSERT_TRUE(browser);
  }

  test::BrowserHarness harness;
  CefRefPtr<TestClient> client;
  CefRefPtr<CefBrowser> browser;
};

TEST_F(BrowserRelay, RendererHearsOfTheBrowserBeforeAnythingElse) {
  client->after_created = [](CefRefPtr<CefBrowser> browser) {
    // Sent from OnAfterCreated: it follows BrowserCreated.
    EXPECT_TRUE(browser->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("early")));
  };
  CefWindowInfo popup_style;
  popup_style.SetAsPopup(nullptr, "relay");
  CefRefPtr<CefBrowser> top = CreateOnUI(popup_style, client.get());
  ASSERT_TRUE(top);

  std::vector<ChannelFrame> sent;
  ASSERT_TRUE(test::WaitFor([&]() {
    sent = test::SentToRenderer(top);
    return sent.size() >= 2;
  }));
  ASSERT_EQ(TypesOf(sent), (std::vector<FrameType>{FrameType::kBrowserCreated, FrameType::kProcessMessage}));
  EXPECT_EQ(sent[0].browser_id, top->GetIdentifier());
  EXPECT_EQ(sent[0].frame_id, top->GetMainFrame()->GetIdentifier());
  EXPECT_FALSE(sent[0].BoolAt(0));  // not a popup: a popup-style window is not a popup browser
  EXPECT_EQ(sent[1].browser_id, top->GetIdentifier());
  EXPECT_EQ(sent[1].StringAt(0), L"early");
}

TEST_F(BrowserRelay, SendProcessMessageRules) {

  CefRefPtr<CefProcessMessage> good = CefProcessMessage::Create("ExecuteHost");
  good->GetArgumentList()->SetInt(0, 7);
  good->GetArgumentList()->SetString(1, "payload");
  struct Case {
    const char* what;
    CefProcessId target;
    CefRefPtr<CefProcessMessage> message;
    bool fault;
    bool expected;
  } cases[] = {
      {"null message", PID_RENDERER, nullptr, false, false},
      {"empty name", PID_RENDERER, CefProcessMessage::Create(""), false, false},
      {"to the browser", PID_BROWSER, good, false, false},
      {"injected fault", PID_RENDERER, good, true, false},
      {"good", PID_RENDERER, good, false, true},
  };
  for (const Case& c : cases) {
    test::SetSendToRendererFails(browser->GetIdentifier(), c.fault);
    EXPECT_EQ(browser->SendProcessMessage(c.target, c.message), c.expected) << c.what;
  }
  test::SetSendToRendererFails(browser->GetIdentifier(), false);
  // The message was copied: later changes by the sender do not travel.
  good->GetArgumentList()->SetString(1, "changed");

  std::vector<std::pair<std::string, CefRefPtr<CefListValue>>> messages;
  ASSERT_TRUE(test::WaitFor([&]() {
    messages = test::MessagesSentToRenderer(browser);
    return !messages.empty();
  }));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].first, "ExecuteHost");
  EXPECT_EQ(messages[0].second->GetInt(0), 7);
  EXPECT_EQ(messages[0].second->GetString(1).ToString(), "payload");

  // A dead renderer takes nothing until a navigation starts a new one.
  ASSERT_TRUE(harness.Crash(browser, TS_PROCESS_CRASHED));
  ASSERT_TRUE(client->WaitEvent("OnRenderProcessTerminated"));
  EXPECT_FALSE(browser->SendProcessMessage(PID_RENDERER, good));
  client->before_browse = [](CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, CefRefPtr<CefRequest>, bool) {
    return false;
  };
  browser->GetMainFrame()->LoadURL("brivtest://relaunch/");
  ASSERT_TRUE(test::WaitFor([&]() { return browser->SendProcessMessage(PID_RENDERER, good); }));
}

TEST_F(BrowserRelay, RendererMessagesReachTheClientInOrderOnUI) {
  test::EnableJournal();

  for (int i = 0; i < 20; ++i) {
    CefRefPtr<CefListValue> args = CefListValue::Create();
    args->SetInt(0, i);
    ASSERT_TRUE(harness.Inject(browser, "Seq", args));
  }
  ASSERT_TRUE(client->WaitEvent("Message Seq", 20));
  client->process_message_result = false;
  ASSERT_TRUE(harness.Inject(browser, "Unhandled", CefListValue::Create()));
  ASSERT_TRUE(client->WaitEvent("Message Unhandled"));
  std::vector<std::string> messages = client->EventsStartingWith("Message");
  ASSERT_EQ(messages.size(), 21u);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(messages[i], "Message Seq " + std::to_string(i) + " from-renderer ro");
  EXPECT_EQ(client->off_ui_calls(), 0);
  std::vector<cefengine::JournalEntry> unhandled = test::EntriesOf("ProcessMessageUnhandled");
  ASSERT_EQ(unhandled.size(), 1u);
  EXPECT_EQ(unhandled[0].args, std::vector<std::string>{"Unhandled"});
}

TEST_F(BrowserRelay, HelloIsJournaledAndMakesTheViewReady) {
  test::EnableJournal();

  ASSERT_TRUE(harness.Hello(browser, 4242, L"\"r.exe\" --type=renderer --sc_terminate_quit"));
  ASSERT_TRUE(client->WaitEvent("OnRenderViewReady"));
  std::vector<cefengine::JournalEntry> hello = test::EntriesOf("Hello");
  ASSERT_EQ(hello.size(), 1u);
  EXPECT_EQ(hello[0].browser, browser->GetIdentifier());
  EXPECT_EQ(hello[0].args, (std::vector<std::string>{"4242", "\"r.exe\" --type=renderer --sc_terminate_quit"}));
  // OnAfterCreated stays the first callback.
  EXPECT_EQ(IndexOf(client->Events(), "OnAfterCreated"), 0);
}

TEST_F(BrowserRelay, TerminationIsReportedOnceWhileTheBrowserLives) {

  ASSERT_TRUE(harness.Crash(browser, TS_PROCESS_WAS_KILLED));
  ASSERT_TRUE(client->WaitEvent("OnRenderProcessTerminated"));
  EXPECT_FALSE(harness.Crash(browser, TS_PROCESS_CRASHED));  // that renderer is already gone
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(client->EventsStartingWith("OnRenderProcessTerminated"),
            std::vector<std::string>{"OnRenderProcessTerminated " + std::to_string(TS_PROCESS_WAS_KILLED)});

  // An orderly close tells the renderer and never reports a termination.
  CefRefPtr<CefBrowser> other = CreateOnUI(Windowless(nullptr), client.get());
  ASSERT_TRUE(other);
  ASSERT_TRUE(test::WaitFor([&]() { return !test::SentToRenderer(other).empty(); }));
  other->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(TypesOf(test::SentToRenderer(other)).back(), FrameType::kBrowserDestroyed);
  EXPECT_FALSE(harness.Crash(other, TS_PROCESS_CRASHED));
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(client->Count("OnRenderProcessTerminated"), 1);
}

TEST_F(BrowserRelay, PageActionFramesRunTheBrowserPaths) {
  client->before_popup = [](const std::string&, CefWindowInfo&, CefRefPtr<CefClient>&, CefBrowserSettings&) {
    return true;
  };
  int64 main = browser->GetMainFrame()->GetIdentifier();
  using cefengine::MakeBool;
  using cefengine::MakeInt;
  using cefengine::MakeString;

  ASSERT_TRUE(harness.PageAction(browser, main, cefengine::kPageActionTitle, {MakeString(L"New title")}));
  ASSERT_TRUE(harness.PageAction(browser, main, cefengine::kPageActionOpenWindow,
                                 {MakeString(L"brivtest://w/"), MakeString(L"n"), MakeInt(WOD_NEW_POPUP),
                                  MakeBool(true)}));
  ASSERT_TRUE(harness.PageAction(browser, main, L"no-such-action", {}));
  ASSERT_TRUE(harness.PageAction(browser, main, cefengine::kPageActionClose, {}));
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  std::vector<std::string> events = client->Events();
  int title = IndexOf(events, "OnTitleChange New title");
  int popup = IndexOf(events, "OnBeforePopup brivtest://w/ name=n");
  int close = IndexOf(events, "DoClose");
  EXPECT_GE(title, 0);
  EXPECT_GT(popup, title);
  EXPECT_GT(close, popup);
  EXPECT_EQ(test::BrowserInfo(browser).title, L"New title");
}

TEST_F(BrowserRelay, ExecuteJavaScriptTravelsToTheFramesRenderer) {
  CefRefPtr<CefFrame> main = browser->GetMainFrame();

  main->ExecuteJavaScript("window.x = 1;", "brivtest://script.js", 12);
  ChannelFrame script;
  ASSERT_TRUE(test::WaitFor([&]() {
    for (const auto& frame : test::SentToRenderer(browser))
      if (frame.type == FrameType::kExecuteJavaScript) {
        script = frame;
        return true;
      }
    return false;
  }));
  EXPECT_EQ(script.frame_id, main->GetIdentifier());
  EXPECT_EQ(script.StringAt(0), L"window.x = 1;");
  EXPECT_EQ(script.StringAt(1), L"brivtest://script.js");
  EXPECT_EQ(script.IntAt(2), 12);
}

}  // namespace
