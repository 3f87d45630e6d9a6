#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/channel_frame.h"
#include "engine/utf.h"
#include "engine/v8_context.h"
#include "engine/v8_value.h"
#include "include/cef_v8.h"
#include "testing/page_script.h"
#include "tests/cef/v8_fixture.h"
#include "tests/cef/wrapper_fakes.h"

namespace test = cefengine::test;
using test::Bool;
using test::Double;
using test::Int;
using test::Null;
using test::Obj;
using test::PageFn;
using test::PageFnReturning;
using test::PageFnThrowing;
using test::Str;
using test::Undefined;
using v8test::Entered;
using v8test::ScriptedHandler;

namespace {

// A page with a read-only `external` whose Execute handler the test scripts, and a plain tree:
// app.version = "1.0", app.nested.deep = 5, app.hidden (not enumerable).
class RendererCall : public v8test::RendererThreadTest {
 protected:
  void SetUp() override {
    v8test::RendererThreadTest::SetUp();
    browser_ = new wrapper_fakes::FakeBrowser(2, 20);
    context_ = NewContext(browser_.get(), browser_->Frame(20).get());
    Entered entered(context_);
    handler_ = new ScriptedHandler([this](const CefString& name, CefRefPtr<CefV8Value> object,
                                          const CefV8ValueList& args, CefRefPtr<CefV8Value>& retval,
                                          CefString& exception) {
      return execute_ ? execute_(name, object, args, retval, exception) : false;
    });
    external_ = CefV8Value::CreateObject(nullptr);
    ASSERT_TRUE(external_->SetValue("Execute", CefV8Value::CreateFunction("Execute", handler_.get()),
                                    V8_PROPERTY_ATTRIBUTE_READONLY));
    CefRefPtr<CefV8Value> global = context_->GetGlobal();
    ASSERT_TRUE(global->SetValue("external", external_, V8_PROPERTY_ATTRIBUTE_READONLY));
    CefRefPtr<CefV8Value> app = CefV8Value::CreateObject(nullptr);
    CefRefPtr<CefV8Value> nested = CefV8Value::CreateObject(nullptr);
    ASSERT_TRUE(nested->SetValue("deep", CefV8Value::CreateInt(5), V8_PROPERTY_ATTRIBUTE_NONE));
    ASSERT_TRUE(app->SetValue("version", CefV8Value::CreateString("1.0"), V8_PROPERTY_ATTRIBUTE_NONE));
    ASSERT_TRUE(app->SetValue("nested", nested, V8_PROPERTY_ATTRIBUTE_NONE));
    ASSERT_TRUE(app->SetValue("hidden", CefV8Value::CreateBool(true), V8_PROPERTY_ATTRIBUTE_DONTENUM));
    ASSERT_TRUE(global->SetValue("app", app, V8_PROPERTY_ATTRIBUTE_NONE));
  }

  CefRefPtr<wrapper_fakes::FakeBrowser> browser_;
  CefRefPtr<CefV8Context> context_;
  CefRefPtr<CefV8Value> external_;
  CefRefPtr<ScriptedHandler> handler_;
  ScriptedHandler::Body execute_;
};

TEST_F(RendererCall, CallsTheFunctionWithItsHolderAndTheArguments) {
  std::vector<std::string> seen;
  bool receiver_is_external = false;
  bool in_context = false;
  execute_ = [&](const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& args,
                 CefRefPtr<CefV8Value>& retval, CefString&) {
    receiver_is_external = object->IsSame(external_);
    in_context = CefV8Context::GetCurrentContext()->IsSame(context_);
    seen.push_back(name.ToString());
    for (const auto& a : args)
      seen.push_back(cefengine::TypeName(a) + ":" + cefengine::WideToUtf8(cefengine::DisplayString(a)));
    retval = CefV8Value::CreateString("done");
    return true;
  };
  test::CallResult r = test::RendererCall(
      context_, "external.Execute",
      {Str("m"), Int(-3), Double(2.5), Bool(false), Null(), Undefined(), Obj({{"a", Int(1)}}), PageFn("cb")});
  EXPECT_TRUE(r.ran);
  EXPECT_FALSE(r.threw);
  EXPECT_EQ(r.type, "string");
  EXPECT_EQ(r.value, "done");
  EXPECT_TRUE(receiver_is_external);
  EXPECT_TRUE(in_context);
  EXPECT_EQ(seen, (std::vector<std::string>{"Execute", "string:m", "int:-3", "double:2.5", "bool:false", "null:null",
                                            "undefined:undefined", "object:[object Object]",
                                            "function:function cb() { [native code] }"}));
  EXPECT_FALSE(CefV8Context::InContext()) << "the call leaves the entered stack as it found it";
}

struct ResultCase {
  const char* label;
  bool handled;
  const char* exception;
  bool threw;
  const char* type;
};

class RendererCallOutcome : public RendererCall, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(RendererCallOutcome, ReportsWhatTheHandlerDid) {
  const ResultCase& c = GetParam();
  execute_ = [&c](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList&, CefRefPtr<CefV8Value>&,
                  CefString& exception) {
    exception = c.exception;
    return c.handled;
  };
  test::CallResult r = test::RendererCall(context_, "external.Execute", {Str("x")});
  EXPECT_TRUE(r.ran) << c.label;
  EXPECT_EQ(r.threw, c.threw) << c.label;
  EXPECT_EQ(r.exception, c.threw ? c.exception : "") << c.label;
  EXPECT_EQ(r.type, c.type) << c.label;
}

INSTANTIATE_TEST_SUITE_P(Cases, RendererCallOutcome,
                         ::testing::Values(ResultCase{"HandledNothingReturned", true, "", false, "undefined"},
                                           ResultCase{"Thrown", true, "no such command", true, "undefined"},
                                           ResultCase{"Unhandled", false, "ignored", false, "undefined"}),
                         [](const ::testing::TestParamInfo<ResultCase>& info) { return std::string(info.param.label); });

struct PathCase {
  const char* path;
  const char* exception;
};

class RendererCallPath : public RendererCall, public ::testing::WithParamInterface<PathCase> {};

TEST_P(RendererCallPath, ThrowsAsPageScriptWould) {
  const PathCase& c = GetParam();
  test::CallResult r = test::RendererCall(context_, c.path, {});
  EXPECT_TRUE(r.ran);
  EXPECT_TRUE(r.threw);
  EXPECT_EQ(r.exception, c.exception);
  EXPECT_EQ(handler_->calls, 0);
  EXPECT_FALSE(CefV8Context::InContext());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RendererCallPath,
    ::testing::Values(PathCase{"missing.Execute", "TypeError: Cannot read property 'Execute' of undefined"},
                      PathCase{"app.none.deep", "TypeError: Cannot read property 'deep' of undefined"},
                      PathCase{"external.Nope", "TypeError: external.Nope is not a function"},
                      PathCase{"app.version", "TypeError: app.version is not a function"},
                      PathCase{"app..version", "SyntaxError: Unexpected token ."},
                      PathCase{"", "SyntaxError: Unexpected token ."}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return "Path" + std::to_string(info.index); });

TEST_F(RendererCall, GetReadsTypeValueAndReadOnly) {
  struct {
    const char* path;
    const char* type;
    const char* value;
    bool read_only;
  } cases[] = {
      {"app.version", "string", "1.0", false},
      {"app.nested.deep", "int", "5", false},
      {"app.hidden", "bool", "true", false},
      {"app.none", "undefined", "undefined", false},
      {"external", "object", "[object Object]", true},
      {"external.Execute", "function", "function Execute() { [native code] }", true},
      {"app.version.length", "undefined", "undefined", false},
  };
  for (const auto& c : cases) {
    test::CallResult r = test::RendererGet(context_, c.path);
    EXPECT_TRUE(r.ran) << c.path;
    EXPECT_FALSE(r.threw) << c.path;
    EXPECT_EQ(r.type, c.type) << c.path;
    EXPECT_EQ(r.value, c.value) << c.path;
    EXPECT_EQ(r.read_only, c.read_only) << c.path;
  }
}

TEST_F(RendererCall, AssignChangesWritablePropertiesOnly) {
  test::CallResult r = test::RendererAssign(context_, "external", Str("hijacked"));
  EXPECT_FALSE(r.threw);
  EXPECT_EQ(r.type, "object");
  EXPECT_TRUE(r.read_only);

  r = test::RendererAssign(context_, "app.version", Str("2.0"));
  EXPECT_EQ(r.value, "2.0");
  r = test::RendererAssign(context_, "app.fresh", Obj({{"x", Double(0.5)}}));
  EXPECT_EQ(r.type, "object");
  EXPECT_EQ(test::RendererGet(context_, "app.fresh.x").value, "0.5");

  // Assignment keeps the attributes the property had.
  r = test::RendererAssign(context_, "app.hidden", Int(0));
  EXPECT_EQ(r.value, "0");
  Entered entered(context_);
  std::vector<CefString> keys;
  ASSERT_TRUE(context_->GetGlobal()->GetValue("app")->GetKeys(keys));
  for (const auto& key : keys)
    EXPECT_NE(key.ToString(), "hidden");

  r = test::RendererAssign(context_, "missing.x", Int(1));
  EXPECT_TRUE(r.threw);
  EXPECT_EQ(r.exception, "TypeError: Cannot read property 'x' of undefined");
}

TEST_F(RendererCall, FrameFormFindsTheFramesLiveContext) {
  execute_ = [](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList& args, CefRefPtr<CefV8Value>& retval,
                CefString&) {
    retval = args[0];
    return true;
  };
  EXPECT_EQ(test::RendererCall(2, 20, "external.Execute", {Str("echo")}).value, "echo");
  EXPECT_EQ(test::RendererAssign(2, 20, "app.version", Int(3)).value, "3");
  EXPECT_EQ(test::RendererGet(2, 20, "app.version").type, "int");
  EXPECT_FALSE(test::RendererGet(2, 21, "app.version").ran) << "no document in that frame";
  ASSERT_TRUE(cefengine::ReleaseFrameContext(cefengine::ContextId(context_)));
  EXPECT_FALSE(test::RendererCall(2, 20, "external.Execute", {Str("echo")}).ran);
}

TEST_F(RendererCall, UncaughtExceptionsReachTheObserverInsideTheContext) {
  struct Heard {
    std::string message;
    std::vector<std::string> frames;
    bool in_context;
  };
  std::vector<Heard> heard;
  cefengine::SetUncaughtExceptionObserver([&](CefRefPtr<CefV8Context> context, CefRefPtr<CefV8Exception> exception,
                                              CefRefPtr<CefV8StackTrace> trace) {
    Heard h{exception->GetMessage().ToString(), {}, CefV8Context::GetCurrentContext()->IsSame(context_)};
    for (int i = 0; i < trace->GetFrameCount(); ++i)
      h.frames.push_back(trace->GetFrame(i)->GetFunctionName().ToString());
    EXPECT_TRUE(context->IsSame(context_));
    heard.push_back(h);
  });
  execute_ = [](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList& args, CefRefPtr<CefV8Value>&,
                CefString& exception) {
    if (!args.empty())
      exception = "bad command";
    return true;
  };
  test::RendererCall(context_, "external.Execute", {Str("x")});
  test::RendererCall(context_, "external.Execute", {});
  test::RendererGet(context_, "missing.value");
  cefengine::SetUncaughtExceptionObserver(nullptr);
  test::RendererCall(context_, "external.Execute", {Str("after removal")});

  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].message, "bad command");
  EXPECT_EQ(heard[0].frames, (std::vector<std::string>{"Execute"}));
  EXPECT_TRUE(heard[0].in_context);
  EXPECT_EQ(heard[1].message, "TypeError: Cannot read property 'value' of undefined");
  EXPECT_TRUE(heard[1].frames.empty());
}

TEST_F(RendererCall, NothingRunsInAReleasedContext) {
  ASSERT_TRUE(cefengine::ReleaseFrameContext(cefengine::ContextId(context_)));
  for (const test::CallResult& r :
       {test::RendererCall(context_, "external.Execute", {Str("m")}), test::RendererGet(context_, "app.version"),
        test::RendererAssign(context_, "app.version", Str("x")), test::RendererCall(nullptr, "external.Execute")}) {
    EXPECT_FALSE(r.ran);
    EXPECT_FALSE(r.threw);
    EXPECT_EQ(r.type, "");
  }
  EXPECT_EQ(handler_->calls, 0);
}

// --- Page functions handed to the product ---

TEST_F(RendererCall, PageFunctionCallsAreJournaledWithTheirArguments) {
  std::vector<std::string> names;
  execute_ = [&names](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList& args, CefRefPtr<CefV8Value>&,
                      CefString&) {
    for (size_t i = 1; i < args.size(); ++i) {
      names.push_back(args[i]->GetFunctionName().ToString());
      args[i]->ExecuteFunction(nullptr, {CefV8Value::CreateString("event"), CefV8Value::CreateInt(42)});
    }
    return true;
  };
  test::CallResult r = test::RendererCall(context_, "external.Execute", {Str("m"), PageFn(), PageFn("OnWinEventHandler")});
  ASSERT_FALSE(r.threw);
  EXPECT_EQ(names, (std::vector<std::string>{"", "OnWinEventHandler"}));

  std::vector<test::JournalEntry> anonymous = test::PageFnCalls("");
  ASSERT_EQ(anonymous.size(), 1u);
  EXPECT_EQ(anonymous[0].args, (std::vector<std::string>{"", "event", "42"}));
  EXPECT_EQ(anonymous[0].browser, 2);
  EXPECT_EQ(anonymous[0].frame, 20);
  ASSERT_EQ(test::PageFnCalls("OnWinEventHandler").size(), 1u);
  EXPECT_TRUE(test::ExpectOrder({"Execute", "PageFn", "PageFn"}));
}

TEST_F(RendererCall, PageFunctionReturnsOrThrowsAsBuilt) {
  struct Seen {
    bool threw = false;
    std::string message;
    std::string type;
    std::string value;
  };
  std::vector<Seen> seen;
  execute_ = [&seen](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList& args, CefRefPtr<CefV8Value>&,
                     CefString&) {
    CefRefPtr<CefV8Value> result = args[0]->ExecuteFunction(nullptr, {});
    Seen s;
    s.threw = args[0]->HasException();
    if (s.threw)
      s.message = args[0]->GetException()->GetMessage().ToString();
    s.type = cefengine::TypeName(result);
    s.value = cefengine::WideToUtf8(cefengine::DisplayString(result));
    seen.push_back(s);
    return true;
  };
  test::RendererCall(context_, "external.Execute", {PageFn("plain")});
  test::RendererCall(context_, "external.Execute", {PageFnReturning("answer", Obj({{"ok", Bool(true)}}))});
  test::RendererCall(context_, "external.Execute", {PageFnThrowing("broken", "page failure")});
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_FALSE(seen[0].threw);
  EXPECT_EQ(seen[0].type, "undefined");
  EXPECT_EQ(seen[1].type, "object");
  EXPECT_TRUE(seen[2].threw);
  EXPECT_EQ(seen[2].message, "page failure");
  EXPECT_EQ(seen[2].type, "");
  EXPECT_EQ(test::PageFnCalls("broken").size(), 1u);
}

TEST_F(RendererCall, PageObjectsAreNotUserCreatedAndKeepMemberOrder) {
  std::vector<std::string> keys_seen;
  bool user_created = true;
  execute_ = [&](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList& args, CefRefPtr<CefV8Value>&,
                 CefString&) {
    user_created = args[0]->IsUserCreated();
    std::vector<CefString> keys;
    args[0]->GetKeys(keys);
    for (const auto& k : keys)
      keys_seen.push_back(k.ToString() + "=" + cefengine::WideToUtf8(cefengine::DisplayString(args[0]->GetValue(k))));
    return true;
  };
  test::RendererCall(context_, "external.Execute",
                     {Obj({{"request", Str("load")}, {"persistent", Bool(true)}, {"onSuccess", PageFn("ok")}})});
  EXPECT_FALSE(user_created);
  EXPECT_EQ(keys_seen, (std::vector<std::string>{"request=load", "persistent=true",
                                                 "onSuccess=function ok() { [native code] }"}));
}

// --- Requests carried over the browser/renderer channel ---

// Through the wire form, as a test request from the browser side travels.
cefengine::ValueData OverTheWire(const cefengine::ValueData& payload) {
  std::string bytes;
  EXPECT_TRUE(cefengine::EncodeFrame(cefengine::MakeFrame(cefengine::FrameType::kTest, 2, 20, {payload}), &bytes));
  size_t consumed = 0;
  cefengine::ChannelFrame frame;
  EXPECT_EQ(cefengine::DecodeFrame(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &consumed, &frame),
            cefengine::DecodeStatus::kFrame);
  const cefengine::ValueData* first = frame.At(0);
  return first ? *first : cefengine::ValueData();
}

TEST_F(RendererCall, EncodedCommandRunsLikeTheDirectCall) {
  std::vector<std::string> seen;
  execute_ = [&seen](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList& args, CefRefPtr<CefV8Value>& retval,
                     CefString&) {
    for (const auto& a : args)
      seen.push_back(cefengine::TypeName(a) + ":" + cefengine::WideToUtf8(cefengine::DisplayString(a)));
    CefRefPtr<CefV8Value> callback = args[5]->GetValue("cb");
    retval = callback->ExecuteFunction(nullptr, {CefV8Value::CreateString("from host")});
    return true;
  };
  cefengine::RendererCommand call;
  call.op = cefengine::RendererOp::kCall;
  call.path = "external.Execute";
  call.args = {Str("m\xc3\xa9"), Int(-7),   Double(0.25), Bool(true), Null(),
               Obj({{"cb", PageFnReturning("cb", Obj({{"deep", Str("x")}}))}, {"u", Undefined()}})};
  cefengine::RendererCommand decoded;
  ASSERT_TRUE(cefengine::DecodeRendererCommand(OverTheWire(cefengine::EncodeRendererCommand(call)), &decoded));
  EXPECT_EQ(decoded.path, call.path);
  test::CallResult result = cefengine::RunRendererCommand(context_, decoded);

  cefengine::RendererCallResult back;
  ASSERT_TRUE(cefengine::DecodeCallResult(OverTheWire(cefengine::EncodeCallResult(result)), &back));
  EXPECT_TRUE(back.ran);
  EXPECT_FALSE(back.threw);
  EXPECT_EQ(back.type, "object");
  EXPECT_EQ(seen, (std::vector<std::string>{"string:m\xc3\xa9", "int:-7", "double:0.25", "bool:true", "null:null",
                                            "object:[object Object]"}));
  ASSERT_EQ(test::PageFnCalls("cb").size(), 1u);
  EXPECT_EQ(test::PageFnCalls("cb")[0].args, (std::vector<std::string>{"cb", "from host"}));

  cefengine::RendererCommand assign;
  assign.op = cefengine::RendererOp::kAssign;
  assign.path = "app.version";
  assign.args = {PageFnThrowing("", "page function ran")};
  ASSERT_TRUE(cefengine::DecodeRendererCommand(OverTheWire(cefengine::EncodeRendererCommand(assign)), &decoded));
  result = cefengine::RunRendererCommand(context_, decoded);
  EXPECT_EQ(result.type, "function");
  EXPECT_EQ(test::RendererCall(context_, "app.version").exception, "page function ran");
}

TEST(RendererCommandCodec, RefusesMalformedCommands) {
  using cefengine::MakeDictValue;
  using cefengine::MakeInt;
  using cefengine::MakeListValue;
  using cefengine::MakeString;
  using cefengine::ValueData;
  auto command = [](ValueData op, std::vector<ValueData> args) {
    return MakeDictValue({{L"op", op}, {L"path", MakeString(L"f")}, {L"args", MakeListValue(std::move(args))}});
  };
  ValueData deep = MakeListValue({MakeInt(0)});
  for (int i = 0; i < 40; ++i)
    deep = MakeListValue({MakeInt(6), MakeListValue({MakeString(L"k")}), MakeListValue({deep})});
  struct {
    const char* label;
    ValueData data;
  } cases[] = {
      {"not a dictionary", MakeListValue({})},
      {"unknown op", command(MakeInt(3), {})},
      {"op of another type", command(MakeString(L"call"), {})},
      {"unknown kind", command(MakeInt(0), {MakeListValue({MakeInt(8)})})},
      {"kind without its value", command(MakeInt(0), {MakeListValue({MakeInt(5)})})},
      {"object with unequal lists", command(MakeInt(0), {MakeListValue({MakeInt(6), MakeListValue({MakeString(L"a")}),
                                                                        MakeListValue({})})})},
      {"function with a bad outcome",
       command(MakeInt(0), {MakeListValue({MakeInt(7), MakeString(L""), MakeInt(9), MakeListValue({}),
                                           MakeString(L"")})})},
      {"nesting too deep", command(MakeInt(0), {deep})},
      {"assignment without a value", command(MakeInt(2), {})},
  };
  for (const auto& c : cases) {
    cefengine::RendererCommand decoded;
    EXPECT_FALSE(cefengine::DecodeRendererCommand(c.data, &decoded)) << c.label;
  }
  cefengine::RendererCallResult result;
  EXPECT_FALSE(cefengine::DecodeCallResult(MakeDictValue({{L"ran", cefengine::MakeBool(true)}}), &result));
}

TEST(PageScriptDisplay, NumbersPrintAsPageScriptPrintsThem) {
  ASSERT_TRUE(cefengine::AdoptCurrentThread(TID_RENDERER));
  struct {
    double number;
    const char* text;
  } cases[] = {{0, "0"},          {-0.0, "0"},        {1.5, "1.5"},         {-42, "-42"},
               {0.1, "0.1"},      {1e21, "1e+21"},    {1e20, "100000000000000000000"},
               {1.5e-7, "1.5e-7"}, {0.000001, "0.000001"}, {123456.789, "123456.789"},
               {NAN, "NaN"},      {-INFINITY, "-Infinity"}, {4294967295.0, "4294967295"}};
  for (const auto& c : cases)
    EXPECT_EQ(cefengine::WideToUtf8(cefengine::DisplayString(CefV8Value::CreateDouble(c.number))), c.text);
  cefengine::StopThread(TID_RENDERER, 1000);
}

}  // namespace
