// The `external` object as page script sees it: its functions, their results, and the messages
// they send to the browser.
#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/common_util.h"
#include "product/host_product_info.h"
#include "renderer_fixture.h"
#include "tests/channel/log_capture.h"

namespace render_test {
namespace {

using test::Bool;
using test::Int;
using test::Null;
using test::PageFn;
using test::PageFnReturning;
using test::Str;


const char* const kBuiltIns[] = {"GetChannel",       "GetVersion", "GetMID", "GetKernelType", "RegisterDragAreaList",
                                 "SetBrowserPos",    "RegisterFunction",     "UnregisterAllFunction", "Execute",
                                 "GetKernelVersion", "Log",                  "UnregisterAllFunctionEx"};

class ExternalObject : public RendererFixture {
 protected:
  // external.Execute("Method", callback) in `frame`: the id the page got, as a number.
  int ExecuteId(int64 frame, const cefengine::PageValue& callback = PageFn("cb")) {
    test::CallResult result = Call(frame, "external.Execute", {Str("Method"), callback});
    EXPECT_EQ(result.type, "string");
    return std::stoi(result.value.empty() ? "0" : result.value);
  }
  // The key the last sent call carried.
  std::string LastKey() {
    std::vector<std::vector<std::string>> sent = Sent();
    if (sent.empty() || sent.back().size() < 4)
      return "";
    return sent.back()[3].substr(2);
  }
  // The host calls `key` with id 5: the answer's items, or empty when none came.
  std::vector<std::string> HostCalls(const std::string& key) {
    Deliver(kCallFunction, {5, key.c_str()});
    std::vector<std::vector<std::string>> sent = Sent();
    return sent.empty() ? std::vector<std::string>() : sent.back();
  }
  std::vector<std::string> Answer(int status, const std::string& result) {
    return {kCallResult, "i:5", "i:" + std::to_string(status), "s:" + result};
  }
};

TEST_F(ExternalObject, EveryContextGetsItsOwnReadOnlyObjectWithTheTwelveFunctions) {
  for (int64 frame : {kMainFrame, kSideFrame}) {
    test::CallResult object = Get(frame, "external");
    EXPECT_EQ(object.type, "object");
    EXPECT_TRUE(object.read_only);
    for (const char* name : kBuiltIns) {
      test::CallResult function = Get(frame, std::string("external.") + name);
      EXPECT_EQ(function.type, "function") << name;
      EXPECT_TRUE(function.read_only) << name;
    }
    // Page script cannot replace the object or one of its functions.
    harness_->RendererAssign(kBrowser, frame, "external", Str("gone"));
    harness_->RendererAssign(kBrowser, frame, "external.Log", Str("gone"));
    EXPECT_EQ(Get(frame, "external").type, "object");
    EXPECT_EQ(Get(frame, "external.Log").type, "function");
  }
  EXPECT_EQ(Call(kSideFrame, "external.GetKernelType").value, "cef");
  // One handler per context: the journal names each call's frame.
  std::vector<cefengine::JournalEntry> calls = test::EntriesOf("Execute");
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().frame, kSideFrame);
}

TEST_F(ExternalObject, CreationIsLoggedPerContextWithTheMainFrameMarked) {
  LogCapture log;
  ASSERT_TRUE(harness_->Commit(kBrowser, {{kMainFrame, "", true, "http://page.test/2"},
                                          {kSideFrame, "side", false, "http://page.test/side"},
                                          {12, "inner", false, "http://page.test/inner", kSideFrame}}));
  EXPECT_EQ(log.Count(L"render context created,frame name:, is_main:1, identifier:10"), 1u);
  EXPECT_EQ(log.Count(L"render context created,frame name:side, is_main:0, identifier:11"), 1u);
  EXPECT_EQ(log.Count(L"render context created,frame name:inner, is_main:0, identifier:12"), 1u);
  EXPECT_EQ(log.Count(L"frame released: frame_id=10"), 1u);
  EXPECT_EQ(log.Count(L"frame released: frame_id=11"), 1u);
}

TEST_F(ExternalObject, QueriesAnswerFromTheProductServicesAndIgnoreTheirArguments) {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  struct Case {
    const char* method;
    std::string expected;
  } cases[] = {
      {"GetChannel", CefString(HostProductInfo::GetChannel(L"..\\").GetString()).ToString()},
      {"GetVersion", CefString(HostProductInfo::GetHostVersion(L"..\\").GetString()).ToString()},
      {"GetMID", CefString(HostProductInfo::GetMid().GetString()).ToString()},
      {"GetKernelType", "cef"},
      {"GetKernelVersion", CefString(CommonUtil::GetFileVersion(exe, FALSE).GetString()).ToString()},
  };
  for (const Case& c : cases) {
    for (const std::vector<cefengine::PageValue>& args :
         {std::vector<cefengine::PageValue>{}, std::vector<cefengine::PageValue>{Int(1), Str("2"), PageFn("f")}}) {
      test::CallResult result = Call(kMainFrame, std::string("external.") + c.method, args);
      EXPECT_FALSE(result.threw) << c.method;
      EXPECT_EQ(result.type, "string") << c.method;
      EXPECT_EQ(result.value, c.expected) << c.method;
    }
  }
  EXPECT_NE(cases[0].expected, "");  // a channel always has its defaults
  EXPECT_TRUE(Sent().empty());
}

TEST_F(ExternalObject, WrongArgumentsGiveUndefinedAndSendAndTakeNothing) {
  const int before = ExecuteId(kMainFrame);
  Sent();
  LogCapture log;
  struct Case {
    const char* method;
    std::vector<cefengine::PageValue> args;
  } cases[] = {
      {"Log", {}},
      {"Log", {Str("a"), Str("b")}},
      {"Log", {Null()}},
      {"RegisterFunction", {}},
      {"RegisterFunction", {Str("notAFunction")}},
      {"RegisterFunction", {Null(), Str("key")}},
      {"Execute", {}},
      {"Execute", {Str("Method")}},
      {"Execute", {Str("Method"), Str("notAFunction")}},
      {"Execute", {Str("Method"), Null()}},
      {"Execute", {Null(), PageFn("cb")}},
      {"Execute", {Str(""), PageFn("cb")}},
      {"Execute", {Int(5), PageFn("cb")}},  // a number has no text: an empty method
      {"RegisterDragAreaList", {}},
      {"RegisterDragAreaList", {Str("{1,2,3,4}"), Str("{5,6,7,8}")}},
      {"RegisterDragAreaList", {Null()}},
      {"SetBrowserPos", {}},
      {"SetBrowserPos", {Null()}},
      {"SetBrowserPos", {Str("{1,2,3,4}"), Str("x")}},
  };
  for (const Case& c : cases) {
    test::CallResult result = Call(kMainFrame, std::string("external.") + c.method, c.args);
    EXPECT_TRUE(result.ran) << c.method << " with " << c.args.size();
    EXPECT_FALSE(result.threw) << c.method << " with " << c.args.size();
    EXPECT_EQ(result.type, "undefined") << c.method << " with " << c.args.size();
  }
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(ExecuteId(kMainFrame), before + 1);
  EXPECT_EQ(log.Count(L"external.Execute name=Log"), 3u);
  EXPECT_EQ(log.Count(L"external.Log:"), 0u);
  EXPECT_EQ(log.Count(L"external.RegisterFunction("), 0u);
  // A string in place of the function stored nothing the host could call.
  EXPECT_EQ(HostCalls("key"), Answer(2, ""));
}

TEST_F(ExternalObject, RightArgumentsSendTheirTextsUnchanged) {
  LogCapture log;
  test::CallResult id = Call(kSideFrame, "external.Execute",
                             {Str("GetUser"), PageFn("onUser"), Str("a"), Int(7), Str(""), Bool(true), Str("z")});
  ASSERT_EQ(id.type, "string");
  test::CallResult drag = Call(kMainFrame, "external.RegisterDragAreaList", {Str("{1,2,30,40}+{5,6,70,80}")});
  test::CallResult pos = Call(kMainFrame, "external.SetBrowserPos", {Str("no braces at all")});
  test::CallResult logged = Call(kMainFrame, "external.Log", {Str("hello page")});
  EXPECT_EQ(drag.type, "undefined");
  EXPECT_EQ(pos.type, "undefined");
  EXPECT_EQ(logged.type, "undefined");
  // Only strings carry text: the number and the boolean travel as "".
  EXPECT_EQ(Sent(), (std::vector<std::vector<std::string>>{
                        {kCallHost, "i:" + id.value, "s:GetUser", "s:onUser", "s:a", "s:", "s:", "s:", "s:z"},
                        {"{B8C9762F-8204-4a71-BCE7-F641A5621BB3}", "s:{1,2,30,40}+{5,6,70,80}"},
                        {"{D6039115-741B-4c92-A80E-AE5212BB3832}", "s:no braces at all"},
                    }));
  EXPECT_EQ(log.Count(L"external.Log: hello page"), 1u);
  EXPECT_EQ(log.Count(L"external.Execute.GetUser, callback:onUser, execute_id=" + CefString(id.value).ToWString()),
            1u);
}

// A page cannot forge lines of the main log: control characters in its text are written as
// escapes, everything else as it stands.
TEST_F(ExternalObject, LogWritesControlCharactersOfThePageAsEscapes) {
  struct Case {
    std::wstring page;
    std::wstring logged;
  } cases[] = {
      {L"one\r\nINFO forged line", L"one\\r\\nINFO forged line"},
      {L"tab\there\x01\x1F\x7F end", L"tab\\there\\x01\\x1F\\x7F end"},
      {L"next\x85line\u2028sep\u2029para", L"next\\x85line\\u2028sep\\u2029para"},
      {L"kept: 100% \\n \u00e9\u4e2d {1,2}", L"kept: 100% \\n \u00e9\u4e2d {1,2}"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    EXPECT_EQ(Call(kMainFrame, "external.Log", {Str(c.page)}).type, "undefined");
    EXPECT_EQ(log.Count(L"external.Log: " + c.logged + L"\n"), 1u) << CefString(c.page).ToString();
  }
  LogCapture log;
  Call(kMainFrame, "external.Log", {Str(L"a\r\nINFO forged")});
  EXPECT_EQ(log.Count(L"\nINFO forged"), 0u);
}

TEST_F(ExternalObject, DragAreasAndPositionStillSucceedWhenTheMessageCannotBeMadeOrSent) {
  test::FailNextProcessMessageCreate();
  EXPECT_EQ(Call(kMainFrame, "external.SetBrowserPos", {Str("{1,2,3,4}")}).type, "undefined");
  harness_->FailSends(true);
  EXPECT_EQ(Call(kMainFrame, "external.RegisterDragAreaList", {Str("{1,2,3,4}")}).type, "undefined");
  harness_->FailSends(false);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(ExternalObject, IdsCountOnAcrossFramesAndMethodsAndRefusedSendsUseThemUp) {
  Deliver(kRegisterFunction, {"Pay"});
  const int first = ExecuteId(kMainFrame);
  EXPECT_EQ(ExecuteId(kSideFrame), first + 1);
  // A host-added method with a callback takes the next id.
  test::CallResult pay = Call(kMainFrame, "external.Pay", {PageFn("paid"), Str("a"), Int(3)});
  EXPECT_EQ(pay.value, std::to_string(first + 2));
  // Without a callback it takes none: the page gets -1, the message 0 and no key.
  test::CallResult plain = Call(kSideFrame, "external.Pay", {Str("a"), Str("b")});
  EXPECT_EQ(plain.type, "string");
  EXPECT_EQ(plain.value, "-1");
  test::CallResult bare = Call(kSideFrame, "external.Pay");
  EXPECT_EQ(bare.value, "-1");
  std::vector<std::vector<std::string>> sent = Sent();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[2], (std::vector<std::string>{kCallHost, "i:" + std::to_string(first + 2), "s:Pay", "s:paid", "s:a",
                                               "s:"}));
  EXPECT_EQ(sent[3], (std::vector<std::string>{kCallHost, "i:0", "s:Pay", "s:", "s:a", "s:b"}));
  EXPECT_EQ(sent[4], (std::vector<std::string>{kCallHost, "i:0", "s:Pay", "s:"}));

  // A refused send or a message that cannot be made fails the call, and its id stays used.
  harness_->FailSends(true);
  EXPECT_EQ(Call(kMainFrame, "external.Execute", {Str("Method"), PageFn("cb")}).type, "undefined");
  EXPECT_EQ(Call(kMainFrame, "external.Pay", {PageFn("paid")}).type, "undefined");
  EXPECT_EQ(Call(kMainFrame, "external.Pay", {Str("no callback")}).type, "undefined");
  harness_->FailSends(false);
  test::FailNextProcessMessageCreate();
  EXPECT_EQ(Call(kMainFrame, "external.Execute", {Str("Method"), PageFn("cb")}).type, "undefined");
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(ExecuteId(kMainFrame), first + 6);
}

TEST_F(ExternalObject, CallbackKeysAreNamesOrUpperCaseAddresses) {
  ExecuteId(kMainFrame, PageFn("onDone"));
  EXPECT_EQ(LastKey(), "onDone");
  const std::regex address("&[0-9A-F]{" + std::to_string(2 * sizeof(void*)) + "}");
  std::vector<std::string> keys;
  for (int i = 0; i < 3; ++i) {
    ExecuteId(kMainFrame, PageFn(""));
    keys.push_back(LastKey());
    EXPECT_TRUE(std::regex_match(keys.back(), address)) << keys.back();
  }
  // Each pending anonymous callback has a key of its own.
  EXPECT_NE(keys[0], keys[1]);
  EXPECT_NE(keys[1], keys[2]);
}

TEST_F(ExternalObject, RegisteredFunctionsGoByTheGivenKeyElseByTheirName) {
  EXPECT_EQ(Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("byName", Str("n"))}).type, "undefined");
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("fn", Str("k")), Str("byKey")});
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("emptyKey", Str("e")), Str("")});
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("nullKey", Str("0")), Null()});
  EXPECT_TRUE(Sent().empty());  // registering tells the browser nothing
  EXPECT_EQ(HostCalls("byName"), Answer(0, "n"));
  EXPECT_EQ(HostCalls("byKey"), Answer(0, "k"));
  EXPECT_EQ(HostCalls("fn"), Answer(2, ""));
  EXPECT_EQ(HostCalls("emptyKey"), Answer(0, "e"));
  EXPECT_EQ(HostCalls("nullKey"), Answer(0, "0"));
}

TEST_F(ExternalObject, ReRegisteringAKeyMovesOnlyThatKey) {
  // The main frame holds "f", "g" and a pending callback; the side frame registers "f" anew.
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("fa", Str("main f")), Str("f")});
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("g", Str("main g"))});
  ExecuteId(kMainFrame, PageFnReturning("pending", Str("main callback")));
  Sent();
  Call(kSideFrame, "external.RegisterFunction", {PageFnReturning("fb", Str("side f")), Str("f")});
  EXPECT_EQ(HostCalls("f"), Answer(0, "side f"));
  EXPECT_EQ(HostCalls("g"), Answer(0, "main g"));
  EXPECT_EQ(HostCalls("pending"), Answer(0, "main callback"));
  EXPECT_TRUE(test::PageFnCalls("fa").empty());
}

TEST_F(ExternalObject, UnregisterAllFunctionEmptiesOnlyTheCallingContext) {
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("mainFn", Str("m"))});
  ExecuteId(kMainFrame, PageFnReturning("mainCallback", Str("c")));
  Call(kSideFrame, "external.RegisterFunction", {PageFnReturning("sideFn", Str("s"))});
  Sent();
  EXPECT_EQ(Call(kMainFrame, "external.UnregisterAllFunction", {Str("ignored")}).type, "undefined");
  EXPECT_EQ(HostCalls("mainFn"), Answer(2, ""));
  EXPECT_EQ(HostCalls("mainCallback"), Answer(2, ""));
  EXPECT_EQ(HostCalls("sideFn"), Answer(0, "s"));
  // The context can register again afterwards.
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("mainFn", Str("again"))});
  EXPECT_EQ(HostCalls("mainFn"), Answer(0, "again"));
}

TEST_F(ExternalObject, UnregisterAllFunctionExEmptiesEveryContext) {
  Call(kMainFrame, "external.RegisterFunction", {PageFnReturning("mainFn", Str("m"))});
  Call(kSideFrame, "external.RegisterFunction", {PageFnReturning("sideFn", Str("s"))});
  ExecuteId(kSideFrame, PageFnReturning("sideCallback", Str("c")));
  Sent();
  EXPECT_EQ(Call(kSideFrame, "external.UnregisterAllFunctionEx").type, "undefined");
  EXPECT_EQ(HostCalls("mainFn"), Answer(2, ""));
  EXPECT_EQ(HostCalls("sideFn"), Answer(2, ""));
  EXPECT_EQ(HostCalls("sideCallback"), Answer(2, ""));
  Call(kSideFrame, "external.RegisterFunction", {PageFnReturning("sideFn", Str("again"))});
  EXPECT_EQ(HostCalls("sideFn"), Answer(0, "again"));
}

TEST_F(ExternalObject, ANamedCallbackGivenAgainReplacesTheOneStoredBefore) {
  ExecuteId(kMainFrame, PageFnReturning("onDone", Str("first")));
  ExecuteId(kMainFrame, PageFnReturning("onDone", Str("second")));
  Sent();
  EXPECT_EQ(HostCalls("onDone"), Answer(0, "second"));
  // A named callback stays for later answers.
  EXPECT_EQ(HostCalls("onDone"), Answer(0, "second"));
}

TEST_F(ExternalObject, AReleasedContextTakesItsFunctionsAndObjectAlong) {
  Call(kSideFrame, "external.RegisterFunction", {PageFnReturning("sideFn", Str("s"))});
  ExecuteId(kSideFrame, PageFnReturning("sideCallback", Str("c")));
  Sent();
  LogCapture log;
  ASSERT_TRUE(harness_->Release(kSideFrame));
  EXPECT_EQ(HostCalls("sideFn"), Answer(2, ""));
  EXPECT_EQ(HostCalls("sideCallback"), Answer(2, ""));
  // Gone with the release itself: no lookup had to find the dead context and drop it.
  EXPECT_EQ(log.Count(L"CefV8Context of Registered function isInValid"), 0u);
  // Only the main frame's object is left for a method the host adds.
  Deliver(kRegisterFunction, {"Pay"});
  EXPECT_EQ(log.Count(L"context map size:1"), 1u);
  // A new document of the frame starts without the old one's functions.
  ASSERT_TRUE(harness_->Commit(kBrowser, {{kSideFrame, "side", false, "http://page.test/side2"}}));
  EXPECT_EQ(HostCalls("sideFn"), Answer(2, ""));
  Deliver(kRegisterFunction, {"Pay2"});
  EXPECT_EQ(log.Count(L"context map size:2"), 1u);
}

}  // namespace
}  // namespace render_test
