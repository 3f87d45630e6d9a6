// The host's calls into pages: page functions and callbacks called by key with their answers,
// methods the host adds to `external`, and which messages the renderer takes.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/render_sync_caller.h"
#include "renderer_fixture.h"
#include "tests/channel/log_capture.h"

namespace render_test {
namespace {

using test::Int;
using test::PageFn;
using test::PageFnReturning;
using test::PageFnThrowing;
using test::Str;


class PageFunctions : public RendererFixture {
 protected:
  // external.Execute with `callback` in `frame`; the key the browser was given.
  std::string PendingKey(int64 frame, const cefengine::PageValue& callback) {
    Call(frame, "external.Execute", {Str("Method"), callback});
    std::vector<std::vector<std::string>> sent = Sent();
    return sent.size() == 1 && sent[0].size() >= 4 ? sent[0][3].substr(2) : "";
  }
  // The host calls: the answers sent back.
  std::vector<std::vector<std::string>> HostCall(const std::vector<Arg>& args) {
    Deliver(kCallFunction, args);
    return Sent();
  }
  std::vector<std::vector<std::string>> Answer(int id, int status, const std::string& result) {
    return {{kCallResult, "i:" + std::to_string(id), "i:" + std::to_string(status), "s:" + result}};
  }
};

TEST_F(PageFunctions, AnAddressKeyedCallbackAnswersOnceWithItsValue) {
  const std::string key = PendingKey(kSideFrame, PageFnReturning("", Str("the value")));
  ASSERT_EQ(key[0], '&');
  EXPECT_EQ(HostCall({5, key.c_str(), "x", "y"}), Answer(5, 0, "the value"));
  std::vector<cefengine::JournalEntry> calls = test::PageFnCalls("");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args, (std::vector<std::string>{"", "x", "y"}));
  EXPECT_EQ(calls[0].frame, kSideFrame);
  EXPECT_EQ(HostCall({6, key.c_str()}), Answer(6, 2, ""));
  EXPECT_EQ(test::PageFnCalls("").size(), 1u);

  // One that throws is used up all the same.
  const std::string thrower = PendingKey(kSideFrame, PageFnThrowing("", "broken"));
  ASSERT_EQ(thrower[0], '&');
  EXPECT_EQ(HostCall({7, thrower.c_str()}), Answer(7, 3, ""));
  EXPECT_EQ(HostCall({8, thrower.c_str()}), Answer(8, 2, ""));
  EXPECT_EQ(test::PageFnCalls("").size(), 2u);
}

TEST_F(PageFunctions, NamedFunctionsAndCallbacksAnswerAnyNumberOfTimes) {
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("Refresh", Str("done"))});
  const std::string key = PendingKey(kSideFrame, PageFnReturning("onData", Str("data")));
  EXPECT_EQ(key, "onData");
  for (int id = 1; id <= 3; ++id) {
    EXPECT_EQ(HostCall({id, "Refresh", "arg"}), Answer(id, 0, "done"));
    EXPECT_EQ(HostCall({id, "onData"}), Answer(id, 0, "data"));
  }
  EXPECT_EQ(test::PageFnCalls("Refresh").size(), 3u);
  EXPECT_EQ(test::PageFnCalls("onData").size(), 3u);
}

TEST_F(PageFunctions, StatusesOfTheCallTable) {
  Call(kMainFrame, "external.RegisterFunction", {PageFnThrowing("Thrower", "broken")});
  Call(kMainFrame, "external.RegisterFunction", {PageFn("Silent")});
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("Number", Int(42))});
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("Text", Str("t"))});
  struct Case {
    const char* key;
    int status;
    const char* result;
  } cases[] = {
      {"", 8, ""},             // no name
      {"Nobody", 2, ""},       // nothing registered under it
      {"Thrower", 3, ""},      // the function raised an exception
      {"Silent", 0, ""},       // returned nothing: a value all the same
      {"Number", 0, ""},       // only strings have a string value
      {"Text", 0, "t"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(HostCall({9, c.key}), Answer(9, c.status, c.result)) << c.key;
}

TEST_F(PageFunctions, AnIdOfZeroOrBelowRunsTheFunctionWithoutAnAnswer) {
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("OnWinEventHandler", Str("ok"))});
  const std::string key = PendingKey(kMainFrame, PageFnReturning("", Str("once")));
  EXPECT_TRUE(HostCall({0, "OnWinEventHandler", "window_active"}).empty());
  EXPECT_TRUE(HostCall({-3, "OnWinEventHandler", "window_lclick", "10,20"}).empty());
  EXPECT_TRUE(HostCall({0, "Nobody"}).empty());
  EXPECT_TRUE(HostCall({0, ""}).empty());
  // A one-shot callback is used up by an unanswered call too.
  EXPECT_TRUE(HostCall({-1, key.c_str()}).empty());
  EXPECT_EQ(HostCall({4, key.c_str()}), Answer(4, 2, ""));
  std::vector<cefengine::JournalEntry> calls = test::PageFnCalls("OnWinEventHandler");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].args, (std::vector<std::string>{"OnWinEventHandler", "window_lclick", "10,20"}));
}

TEST_F(PageFunctions, ACallWithFewerThanTwoEntriesIsDroppedButTaken) {
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("Refresh", Str("done"))});
  EXPECT_TRUE(HostCall({5}).empty());
  EXPECT_TRUE(HostCall({}).empty());
  EXPECT_TRUE(test::PageFnCalls("Refresh").empty());
  EXPECT_TRUE(test::EntriesOf("ProcessMessageUnhandled").empty());
}

TEST_F(PageFunctions, TheDelegateTakesItsThreeMessagesAndNoOthers) {
  LogCapture log;
  Deliver(kCallFunction, {0, "x"});
  Deliver(kRegisterFunction, {"Pay"});
  Deliver("MuteVolume", {});
  // No volume-control library anywhere near this test: still taken, nothing changes.
  CefRefPtr<CefListValue> mute = CefListValue::Create();
  mute->SetBool(0, true);
  ASSERT_TRUE(harness_->Deliver(kBrowser, "MuteVolume", mute));
  Deliver("Something.Else", {1});
  std::vector<cefengine::JournalEntry> unhandled = test::EntriesOf("ProcessMessageUnhandled");
  ASSERT_EQ(unhandled.size(), 1u);
  EXPECT_EQ(unhandled[0].args.at(0), "Something.Else");
  EXPECT_EQ(log.Count(L"render recv msg: " + CefString(kCallFunction).ToWString()), 1u);
  EXPECT_EQ(log.Count(L"render recv msg: Something.Else"), 1u);
}

TEST_F(PageFunctions, AnAddedMethodReachesEveryContextNowAndLater) {
  Deliver(kRegisterFunction, {"Pay"});
  for (int64 frame : {kMainFrame, kSideFrame}) {
    test::CallResult pay = Get(frame, "external.Pay");
    EXPECT_EQ(pay.type, "function");
    EXPECT_TRUE(pay.read_only);
  }
  // Later contexts get the added names, in name order, after the twelve built-ins.
  Deliver(kRegisterFunction, {"Alpha"});
  LogCapture log;
  ASSERT_TRUE(harness_->Commit(kBrowser, {{12, "late", false, "http://page.test/late"}}));
  EXPECT_EQ(Get(12, "external.Pay").type, "function");
  EXPECT_EQ(Get(12, "external.Alpha").type, "function");
  EXPECT_EQ(Get(12, "external.Execute").type, "function");
  const size_t alpha = log.Find(L" register cached function: Alpha ret:1");
  const size_t pay = log.Find(L" register cached function: Pay ret:1");
  ASSERT_NE(alpha, std::wstring::npos);
  ASSERT_NE(pay, std::wstring::npos);
  EXPECT_LT(alpha, pay);
  // The added method calls the host like the others.
  test::CallResult result = Call(12, "external.Alpha", {Str("a")});
  EXPECT_EQ(result.value, "-1");
  EXPECT_EQ(Sent(), (std::vector<std::vector<std::string>>{
                        {"{ACBF06D2-3DAB-4359-8070-2F6DE59A0E6A}", "i:0", "s:Alpha", "s:", "s:a"}}));
}

TEST_F(PageFunctions, AddingABuiltInOrAnAddedNameAgainChangesNothing) {
  Deliver(kRegisterFunction, {"Pay"});
  LogCapture log;
  Deliver(kRegisterFunction, {"Pay"});
  Deliver(kRegisterFunction, {"GetChannel"});
  EXPECT_EQ(log.Count(L"external obj has value:Pay"), 2u);
  EXPECT_EQ(log.Count(L"external obj has value:GetChannel"), 2u);
  test::CallResult channel = Call(kMainFrame, "external.GetChannel");
  EXPECT_EQ(channel.type, "string");
  EXPECT_NE(channel.value, "-1");
  EXPECT_TRUE(Sent().empty());
  // A later context meets them as existing properties.
  ASSERT_TRUE(harness_->Commit(kBrowser, {{12, "late", false, "http://page.test/late"}}));
  EXPECT_EQ(log.Count(L" register cached function exists:GetChannel"), 1u);
  EXPECT_NE(Call(12, "external.GetChannel").value, "-1");
}

// Page script may run inside the walk that adds a host method (a proxy on the prototype chain of
// `external` runs it in HasValue and SetValue): it adds and removes frames meanwhile.
struct ScriptInTheWalk {
  const char* name;
  const char* operation;  // where the page's script runs
  int at;                 // on the at-th such call for "Pay" in the walk (1: the main frame's)
};
void PrintTo(const ScriptInTheWalk& c, std::ostream* os) { *os << c.name; }

class FramesChangedByScript : public PageFunctions, public ::testing::WithParamInterface<ScriptInTheWalk> {};

// Every context that lives on gets the method once, the released one is skipped, and nothing
// else is touched.
TEST_P(FramesChangedByScript, EverySurvivingContextGetsTheMethodAndTheRemovedOneIsSkipped) {
  const ScriptInTheWalk& c = GetParam();
  // Enough new frames that the renderer's per-context records have to grow meanwhile.
  const std::vector<int64> added = {20, 21, 22, 23, 24, 25, 26, 27};
  int calls = 0;
  test::RendererHarness* harness = harness_.get();
  test::SetPropertyTrap([&](const std::string& operation, const CefString& key) {
    if (operation != c.operation || key.ToString() != "Pay" || ++calls != c.at)
      return;
    EXPECT_TRUE(harness->ReleaseNow(kSideFrame));
    std::vector<test::CommitFrame> frames;
    for (int64 id : added)
      frames.push_back({id, "added" + std::to_string(id), false, "http://page.test/added", kMainFrame});
    EXPECT_TRUE(harness->CommitNow(kBrowser, frames));
  });
  LogCapture log;
  Deliver(kRegisterFunction, {"Pay"});
  test::SetPropertyTrap(nullptr);
  ASSERT_GE(calls, c.at);

  EXPECT_EQ(Get(kMainFrame, "external.Pay").type, "function");
  EXPECT_FALSE(Get(kSideFrame, "external").ran);
  for (int64 id : added)
    EXPECT_EQ(Get(id, "external.Pay").type, "function") << id;
  // The new frames got it at their creation, the main frame from the walk.
  EXPECT_EQ(log.Count(L" register cached function: Pay ret:1"), added.size());
  EXPECT_EQ(log.Count(L" register function: Pay ret:1"), 1u);
  // The method works in a frame added meanwhile.
  EXPECT_EQ(Call(added.back(), "external.Pay", {Str("x")}).value, "-1");
  EXPECT_EQ(Sent(), (std::vector<std::vector<std::string>>{{kCallHost, "i:0", "s:Pay", "s:", "s:x"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Walk, FramesChangedByScript,
    ::testing::Values(
        // The side frame goes while the main frame's object is looked at.
        ScriptInTheWalk{"LaterEntryGoesDuringALookUp", "HasValue", 1},
        // The side frame goes while its own object is looked at.
        ScriptInTheWalk{"CurrentEntryGoesDuringItsLookUp", "HasValue", 2},
        ScriptInTheWalk{"LaterEntryGoesDuringAStore", "SetValue", 1},
        // The side frame goes under the store, with its context entered.
        ScriptInTheWalk{"EnteredEntryGoesDuringItsStore", "SetValue", 2}),
    [](const ::testing::TestParamInfo<ScriptInTheWalk>& info) { return std::string(info.param.name); });

TEST_F(PageFunctions, AnAddMessageOfTheWrongShapeIsIgnored) {
  LogCapture log;
  Deliver(kRegisterFunction, {});
  Deliver(kRegisterFunction, {"A", "B"});
  Deliver(kRegisterFunction, {""});
  EXPECT_EQ(log.Count(L"context map size:"), 0u);
  EXPECT_EQ(Get(kMainFrame, "external.A").type, "undefined");
  ASSERT_TRUE(harness_->Commit(kBrowser, {{12, "late", false, "http://page.test/late"}}));
  EXPECT_EQ(log.Count(L"register cached function"), 0u);
}

// The `external` delegate behind a front that never passes on a context's release, as if CEF
// had not told it: the delegate then holds contexts that are gone.
class ForgetfulFront : public client::ClientAppRenderer::Delegate {
 public:
  explicit ForgetfulFront(CefRefPtr<client::ClientAppRenderer::Delegate> inner) : inner_(inner) {}
  void OnContextCreated(CefRefPtr<client::ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                        CefRefPtr<CefFrame> frame, CefRefPtr<CefV8Context> context) override {
    inner_->OnContextCreated(app, browser, frame, context);
  }
  bool OnProcessMessageReceived(CefRefPtr<client::ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                CefProcessId source_process, CefRefPtr<CefProcessMessage> message) override {
    return inner_->OnProcessMessageReceived(app, browser, source_process, message);
  }

 private:
  CefRefPtr<client::ClientAppRenderer::Delegate> inner_;
  IMPLEMENT_REFCOUNTING(ForgetfulFront);
};

class ForgetfulRenderer : public client::ClientAppRenderer {
 public:
  ForgetfulRenderer() : ClientAppRenderer(Delegates()) {}

 private:
  static DelegateSet Delegates() {
    DelegateSet inner;
    client::render_sync_call::CreateDelegates(inner);
    DelegateSet front;
    front.insert(new ForgetfulFront(*inner.begin()));
    return front;
  }
};

class StaleContexts : public PageFunctions {
 protected:
  void SetUp() override {
    app_ = new ForgetfulRenderer();
    PageFunctions::SetUp();
  }
};

TEST_F(StaleContexts, AGoneContextHoldingAKeyDoesNotHideALiveOneHoldingIt) {
  // Both frames leave a callback named "onDone"; the side frame's document goes first.
  PendingKey(kSideFrame, PageFnReturning("onDone", Str("side")));
  PendingKey(kMainFrame, PageFnReturning("onDone", Str("main")));
  ASSERT_TRUE(harness_->Release(kSideFrame));
  LogCapture log;
  EXPECT_EQ(HostCall({5, "onDone"}), Answer(5, 0, "main"));
  EXPECT_EQ(log.Count(L"FindRegisterFunction(), CefV8Context of Registered function isInValid! remove function "
                      L"name=onDone"),
            1u);
  EXPECT_EQ(HostCall({6, "onDone"}), Answer(6, 0, "main"));
  EXPECT_EQ(log.Count(L"isInValid!"), 1u);
}

TEST_F(StaleContexts, AGoneContextDoesNotStopAnAddedMethodFromReachingLaterOnes) {
  ASSERT_TRUE(harness_->Release(kSideFrame));
  ASSERT_TRUE(harness_->Commit(kBrowser, {{12, "late", false, "http://page.test/late"}}));
  Deliver(kRegisterFunction, {"Pay"});
  EXPECT_EQ(Get(kMainFrame, "external.Pay").type, "function");
  EXPECT_EQ(Get(12, "external.Pay").type, "function");
}

}  // namespace
}  // namespace render_test
