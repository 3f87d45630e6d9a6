#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/v8_context.h"
#include "include/cef_v8.h"
#include "testing/cefengine_testing.h"
#include "tests/cef/v8_fixture.h"

using v8test::Entered;
using v8test::ScriptedHandler;

namespace {

using V8Value = v8test::RendererThreadTest;

CefRefPtr<CefV8Value> Str(const char* text) {
  return CefV8Value::CreateString(text);
}

// --- What a handler's answer turns into ---

struct HandlerCase {
  const char* label;
  bool handled;
  const char* retval;     // null: retval left empty
  const char* exception;  // "" : none
  bool expect_throw;
  const char* expect_string;  // of the result when it did not throw
  bool expect_undefined;
};

class V8HandlerResult : public v8test::RendererThreadTest, public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(V8HandlerResult, FollowsTheHandlerRule) {
  const HandlerCase& c = GetParam();
  CefRefPtr<CefV8Context> context = NewContext();
  CefRefPtr<CefV8Value> function;
  {
    Entered entered(context);
    function = CefV8Value::CreateFunction(
        "Execute", new ScriptedHandler([&c](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList&,
                                            CefRefPtr<CefV8Value>& retval, CefString& exception) {
          if (c.retval)
            retval = CefV8Value::CreateString(c.retval);
          exception = c.exception;
          return c.handled;
        }));
  }
  ASSERT_TRUE(function);
  CefRefPtr<CefV8Value> result = function->ExecuteFunction(nullptr, {});
  EXPECT_EQ(function->HasException(), c.expect_throw) << c.label;
  if (c.expect_throw) {
    EXPECT_FALSE(result) << c.label;
    ASSERT_TRUE(function->GetException()) << c.label;
    EXPECT_EQ(function->GetException()->GetMessage().ToString(), c.exception) << c.label;
    return;
  }
  ASSERT_TRUE(result) << c.label;
  EXPECT_EQ(result->IsUndefined(), c.expect_undefined) << c.label;
  EXPECT_EQ(result->GetStringValue().ToString(), c.expect_string) << c.label;
  EXPECT_FALSE(CefV8Context::InContext()) << "the call must leave no context entered";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, V8HandlerResult,
    ::testing::Values(HandlerCase{"Value", true, "answer", "", false, "answer", false},
                      HandlerCase{"HandledWithoutValue", true, nullptr, "", false, "", true},
                      HandlerCase{"ExceptionWinsOverValue", true, "ignored", "bad input", true, "", false},
                      HandlerCase{"NotHandledIgnoresBoth", false, "ignored", "ignored too", false, "", true}),
    [](const ::testing::TestParamInfo<HandlerCase>& info) { return std::string(info.param.label); });

TEST_F(V8Value, HandlerRunsInTheFunctionsContextWithFreshArguments) {
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CefV8Value> argument = CefV8Value::CreateObject(nullptr);
  bool in_own_context = false;
  bool same_argument = false;
  bool fresh_wrapper = false;
  bool receiver_is_global = false;
  CefRefPtr<CefV8Value> function = CefV8Value::CreateFunction(
      "f", new ScriptedHandler([&](const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& args,
                                   CefRefPtr<CefV8Value>&, CefString&) {
        in_own_context = CefV8Context::GetCurrentContext()->IsSame(context) && name == "f";
        receiver_is_global = object->IsSame(context->GetGlobal());
        same_argument = args.size() == 2 && args[0]->IsSame(argument);
        fresh_wrapper = args.size() == 2 && args[0].get() != argument.get() && args[1] && args[1]->IsUndefined();
        return true;
      }));
  ASSERT_TRUE(function);
  // A null entry in the list arrives as script's undefined, never as a null pointer.
  function->ExecuteFunction(nullptr, {argument, nullptr});
  EXPECT_TRUE(in_own_context);
  EXPECT_TRUE(receiver_is_global);
  EXPECT_TRUE(same_argument);
  EXPECT_TRUE(fresh_wrapper);
}

TEST_F(V8Value, ExecuteFunctionWithContextEntersTheGivenContext) {
  CefRefPtr<CefV8Context> home = NewContext();
  CefRefPtr<CefV8Context> other = NewContext();
  std::vector<bool> ran_in_other;
  std::vector<bool> receiver_is_other_global;
  CefRefPtr<CefV8Value> function;
  {
    Entered entered(home);
    function = CefV8Value::CreateFunction(
        "f", new ScriptedHandler([&](const CefString&, CefRefPtr<CefV8Value> object, const CefV8ValueList&,
                                     CefRefPtr<CefV8Value>&, CefString&) {
          ran_in_other.push_back(CefV8Context::GetCurrentContext()->IsSame(other) &&
                                 CefV8Context::GetEnteredContext()->IsSame(other));
          receiver_is_other_global.push_back(object->IsSame(other->GetGlobal()));
          return true;
        }));
  }
  ASSERT_TRUE(function);
  ASSERT_TRUE(function->ExecuteFunctionWithContext(other, nullptr, {}));
  ASSERT_TRUE(function->ExecuteFunction(nullptr, {}));
  EXPECT_EQ(ran_in_other, (std::vector<bool>{true, false}));
  EXPECT_EQ(receiver_is_other_global, (std::vector<bool>{true, false}));
  EXPECT_FALSE(CefV8Context::InContext());
}

// --- Exceptions ---

TEST_F(V8Value, ExceptionStaysOnTheWrapperUntilClearedOrTheNextCall) {
  CefRefPtr<CefV8Context> context = NewContext();
  bool fail = true;
  CefRefPtr<CefV8Value> function;
  {
    Entered entered(context);
    function = CefV8Value::CreateFunction(
        "f", new ScriptedHandler([&fail](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList&,
                                         CefRefPtr<CefV8Value>&, CefString& exception) {
          if (fail)
            exception = "first failure";
          return true;
        }));
  }
  EXPECT_FALSE(function->ExecuteFunction(nullptr, {}));
  ASSERT_TRUE(function->HasException());
  EXPECT_EQ(function->GetException()->GetMessage().ToString(), "first failure");
  EXPECT_TRUE(function->ClearException());
  EXPECT_FALSE(function->HasException());

  EXPECT_FALSE(function->ExecuteFunction(nullptr, {}));
  EXPECT_TRUE(function->HasException());
  fail = false;
  EXPECT_TRUE(function->ExecuteFunction(nullptr, {}));
  EXPECT_FALSE(function->HasException()) << "a call that returns normally reports no exception";
}

TEST_F(V8Value, RethrownExceptionFailsTheCallingFunction) {
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CefV8Value> inner = CefV8Value::CreateFunction(
      "inner", new ScriptedHandler([](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList&,
                                      CefRefPtr<CefV8Value>&, CefString& exception) {
        exception = "inner broke";
        return true;
      }));
  bool rethrow = true;
  bool inner_reported = false;
  CefRefPtr<CefV8Value> outer = CefV8Value::CreateFunction(
      "outer", new ScriptedHandler([&](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList&,
                                       CefRefPtr<CefV8Value>& retval, CefString&) {
        CefRefPtr<CefV8Value> callee = context->GetGlobal()->GetValue("inner");
        callee->SetRethrowExceptions(rethrow);
        callee->ExecuteFunction(nullptr, {});
        inner_reported = callee->HasException();
        retval = CefV8Value::CreateString("outer finished");
        return true;
      }));
  ASSERT_TRUE(context->GetGlobal()->SetValue("inner", inner, V8_PROPERTY_ATTRIBUTE_NONE));

  EXPECT_FALSE(outer->ExecuteFunction(nullptr, {}));
  ASSERT_TRUE(outer->HasException());
  EXPECT_EQ(outer->GetException()->GetMessage().ToString(), "inner broke");
  EXPECT_FALSE(inner_reported) << "a rethrown exception is not kept on the inner wrapper";

  rethrow = false;
  CefRefPtr<CefV8Value> result = outer->ExecuteFunction(nullptr, {});
  EXPECT_TRUE(inner_reported);
  EXPECT_FALSE(outer->HasException());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->GetStringValue().ToString(), "outer finished");
}

// --- Properties ---

TEST_F(V8Value, ReadOnlyPropertyStaysUnchangedOnAssignment) {
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CefV8Value> global = context->GetGlobal();
  CefRefPtr<CefV8Value> external = CefV8Value::CreateObject(nullptr);
  ASSERT_TRUE(global->SetValue("external", external, V8_PROPERTY_ATTRIBUTE_READONLY));

  EXPECT_FALSE(global->SetValue("external", Str("replaced"), V8_PROPERTY_ATTRIBUTE_NONE));
  EXPECT_FALSE(global->SetValue("external", CefV8Value::CreateObject(nullptr), V8_PROPERTY_ATTRIBUTE_READONLY));
  EXPECT_TRUE(global->GetValue("external")->IsSame(external));
  // Read-only alone does not protect against deletion.
  EXPECT_TRUE(global->DeleteValue("external"));
  EXPECT_FALSE(global->HasValue("external"));
}

struct AttributeCase {
  cef_v8_propertyattribute_t attribute;
  bool deletable;
  bool listed;
  bool writable;
};

class V8PropertyAttribute : public v8test::RendererThreadTest, public ::testing::WithParamInterface<AttributeCase> {};

TEST_P(V8PropertyAttribute, GovernsDeleteKeysAndWrites) {
  const AttributeCase& c = GetParam();
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CefV8Value> object = CefV8Value::CreateObject(nullptr);
  ASSERT_TRUE(object->SetValue("first", Str("1"), V8_PROPERTY_ATTRIBUTE_NONE));
  ASSERT_TRUE(object->SetValue("probe", Str("old"), c.attribute));
  ASSERT_TRUE(object->SetValue("last", Str("3"), V8_PROPERTY_ATTRIBUTE_NONE));

  std::vector<CefString> keys;
  ASSERT_TRUE(object->GetKeys(keys));
  std::vector<std::string> names;
  for (const auto& k : keys)
    names.push_back(k.ToString());
  EXPECT_EQ(names, c.listed ? (std::vector<std::string>{"first", "probe", "last"})
                            : (std::vector<std::string>{"first", "last"}));
  EXPECT_TRUE(object->HasValue("probe")) << "hidden from the keys, still there";

  EXPECT_EQ(object->SetValue("probe", Str("new"), c.attribute), c.writable);
  EXPECT_EQ(object->GetValue("probe")->GetStringValue().ToString(), c.writable ? "new" : "old");
  EXPECT_EQ(object->DeleteValue("probe"), c.deletable);
  EXPECT_EQ(object->HasValue("probe"), !c.deletable);
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, V8PropertyAttribute,
    ::testing::Values(AttributeCase{V8_PROPERTY_ATTRIBUTE_NONE, true, true, true},
                      AttributeCase{V8_PROPERTY_ATTRIBUTE_READONLY, true, true, false},
                      AttributeCase{V8_PROPERTY_ATTRIBUTE_DONTENUM, true, false, true},
                      AttributeCase{V8_PROPERTY_ATTRIBUTE_DONTDELETE, false, true, true},
                      AttributeCase{static_cast<cef_v8_propertyattribute_t>(V8_PROPERTY_ATTRIBUTE_READONLY |
                                                                            V8_PROPERTY_ATTRIBUTE_DONTDELETE |
                                                                            V8_PROPERTY_ATTRIBUTE_DONTENUM),
                                    false, false, false}),
    [](const ::testing::TestParamInfo<AttributeCase>& info) {
      return "Attributes" + std::to_string(static_cast<int>(info.param.attribute));
    });

TEST_F(V8Value, MissingPropertyReadsAsUndefinedAndOnlyOwnPropertiesCount) {
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CefV8Value> object = CefV8Value::CreateObject(nullptr);
  CefRefPtr<CefV8Value> missing = object->GetValue("nothing");
  ASSERT_TRUE(missing);
  EXPECT_TRUE(missing->IsUndefined());
  EXPECT_FALSE(object->HasValue("nothing"));
  EXPECT_FALSE(object->SetValue("x", nullptr, V8_PROPERTY_ATTRIBUTE_NONE));
  EXPECT_FALSE(object->HasValue("x"));
}

TEST_F(V8Value, ArrayGrowsOnSetAndKeepsHoles) {
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CefV8Value> array = CefV8Value::CreateArray(2);
  ASSERT_TRUE(array);
  EXPECT_EQ(array->GetArrayLength(), 2);
  EXPECT_FALSE(array->HasValue(0));
  ASSERT_TRUE(array->SetValue(4, Str("e")));
  ASSERT_TRUE(array->SetValue("1", Str("b"), V8_PROPERTY_ATTRIBUTE_NONE));
  EXPECT_EQ(array->GetArrayLength(), 5);
  EXPECT_TRUE(array->HasValue(1));
  EXPECT_FALSE(array->HasValue(3));
  EXPECT_EQ(array->GetValue(4)->GetStringValue().ToString(), "e");
  std::vector<CefString> keys;
  ASSERT_TRUE(array->GetKeys(keys));
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].ToString(), "1");
  EXPECT_EQ(keys[1].ToString(), "4");
  EXPECT_FALSE(array->SetValue(-1, Str("x")));
  EXPECT_FALSE(CefV8Value::CreateArray(-1));
}

class CountingAccessor : public CefV8Accessor {
 public:
  bool Get(const CefString& name, const CefRefPtr<CefV8Value>, CefRefPtr<CefV8Value>& retval,
           CefString& exception) override {
    if (name == "broken") {
      exception = "getter failed";
      return true;
    }
    retval = CefV8Value::CreateString(stored);
    return true;
  }
  bool Set(const CefString&, const CefRefPtr<CefV8Value>, const CefRefPtr<CefV8Value> value, CefString&) override {
    stored = value->GetStringValue().ToString();
    ++sets;
    return true;
  }
  std::string stored = "initial";
  int sets = 0;
  IMPLEMENT_REFCOUNTING(CountingAccessor);
};

TEST_F(V8Value, AccessorPropertiesGoThroughTheAccessor) {
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CountingAccessor> accessor = new CountingAccessor();
  CefRefPtr<CefV8Value> object = CefV8Value::CreateObject(accessor.get());
  ASSERT_TRUE(object->SetValue("name", V8_ACCESS_CONTROL_DEFAULT, V8_PROPERTY_ATTRIBUTE_NONE));
  ASSERT_TRUE(object->SetValue("broken", V8_ACCESS_CONTROL_DEFAULT, V8_PROPERTY_ATTRIBUTE_NONE));
  EXPECT_EQ(object->GetValue("name")->GetStringValue().ToString(), "initial");
  EXPECT_TRUE(object->SetValue("name", Str("changed"), V8_PROPERTY_ATTRIBUTE_NONE));
  EXPECT_EQ(accessor->sets, 1);
  EXPECT_EQ(object->GetValue("name")->GetStringValue().ToString(), "changed");

  EXPECT_FALSE(object->GetValue("broken"));
  ASSERT_TRUE(object->HasException());
  EXPECT_EQ(object->GetException()->GetMessage().ToString(), "getter failed");
  // Without an accessor there is nothing to route the property through.
  EXPECT_FALSE(CefV8Value::CreateObject(nullptr)->SetValue("x", V8_ACCESS_CONTROL_DEFAULT,
                                                            V8_PROPERTY_ATTRIBUTE_NONE));
}

// --- Creation, validity, identity ---

TEST_F(V8Value, ObjectsAndFunctionsOnlyInsideAnEnteredContext) {
  CefRefPtr<CefV8Handler> handler = new ScriptedHandler(nullptr);
  auto made_objects = [&handler]() {
    return std::vector<bool>{CefV8Value::CreateObject(nullptr) != nullptr, CefV8Value::CreateArray(1) != nullptr,
                             CefV8Value::CreateFunction("f", handler) != nullptr};
  };
  const std::vector<bool> none{false, false, false};
  const std::vector<bool> all{true, true, true};
  EXPECT_EQ(made_objects(), none);
  // Primitive values need no context.
  ASSERT_TRUE(Str("free"));
  EXPECT_TRUE(CefV8Value::CreateInt(4)->IsInt());
  EXPECT_TRUE(CefV8Value::CreateNull()->IsNull());

  CefRefPtr<CefV8Context> context = NewContext();
  {
    Entered entered(context);
    ASSERT_TRUE(entered.ok());
    EXPECT_EQ(made_objects(), all);
  }
  EXPECT_EQ(made_objects(), none);
}

TEST_F(V8Value, ValuesOfAReleasedContextBecomeInvalid) {
  CefRefPtr<CefV8Context> context = NewContext();
  CefRefPtr<CefV8Value> global = context->GetGlobal();
  CefRefPtr<CefV8Value> free_string = Str("outside");
  CefRefPtr<CefV8Value> object, inner_string, function;
  {
    Entered entered(context);
    object = CefV8Value::CreateObject(nullptr);
    inner_string = Str("inside");
    function = CefV8Value::CreateFunction("f", new ScriptedHandler(nullptr));
    ASSERT_TRUE(object->SetValue("k", inner_string, V8_PROPERTY_ATTRIBUTE_NONE));
    ASSERT_TRUE(global->SetValue("o", object, V8_PROPERTY_ATTRIBUTE_NONE));
  }
  ASSERT_TRUE(object->IsValid());
  ASSERT_TRUE(cefengine::ReleaseFrameContext(cefengine::ContextId(context)));

  EXPECT_FALSE(context->IsValid());
  EXPECT_FALSE(context->Enter());
  for (const auto& value : {global, object, inner_string, function})
    EXPECT_FALSE(value->IsValid());
  EXPECT_FALSE(global->HasValue("o"));
  EXPECT_FALSE(global->GetValue("o"));
  EXPECT_FALSE(object->SetValue("k", free_string, V8_PROPERTY_ATTRIBUTE_NONE));
  EXPECT_FALSE(object->IsObject());
  EXPECT_EQ(inner_string->GetStringValue().ToString(), "");
  EXPECT_EQ(function->GetFunctionName().ToString(), "");
  EXPECT_FALSE(function->ExecuteFunction(nullptr, {}));
  EXPECT_FALSE(function->HasException());
  // A value made outside every context does not belong to one.
  EXPECT_TRUE(free_string->IsValid());
  EXPECT_EQ(free_string->GetStringValue().ToString(), "outside");
}

TEST_F(V8Value, WalkOverReleasedContextsFindsNothingToBuildOn) {
  std::vector<CefRefPtr<CefV8Context>> contexts{NewContext(), NewContext(), NewContext()};
  for (auto& context : contexts) {
    Entered entered(context);
    ASSERT_TRUE(context->GetGlobal()->SetValue("external", CefV8Value::CreateObject(nullptr),
                                               V8_PROPERTY_ATTRIBUTE_READONLY));
  }
  ASSERT_TRUE(cefengine::ReleaseFrameContext(cefengine::ContextId(contexts[0])));
  ASSERT_TRUE(cefengine::ReleaseFrameContext(cefengine::ContextId(contexts[2])));

  CefRefPtr<CefV8Handler> handler = new ScriptedHandler(nullptr);
  std::vector<bool> has_external, entered, made_function;
  for (auto& context : contexts) {
    has_external.push_back(context->GetGlobal()->HasValue("external"));
    bool in = context->Enter();
    entered.push_back(in);
    made_function.push_back(CefV8Value::CreateFunction("cb", handler) != nullptr);
    if (in)
      context->Exit();
  }
  const std::vector<bool> only_middle{false, true, false};
  EXPECT_EQ(has_external, only_middle);
  EXPECT_EQ(entered, only_middle);
  EXPECT_EQ(made_function, only_middle);
}

TEST_F(V8Value, ReleaseDropsHandlersHeldInACycle) {
  int destroyed = 0;
  CefRefPtr<CefV8Context> context = NewContext();
  {
    Entered entered(context);
    CefRefPtr<CefV8Value> object = CefV8Value::CreateObject(nullptr);
    // The handler keeps the object that keeps the function that keeps the handler.
    CefRefPtr<CefV8Value> function = CefV8Value::CreateFunction(
        "f", new ScriptedHandler(
                 [object](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList&, CefRefPtr<CefV8Value>&,
                          CefString&) { return object != nullptr; },
                 &destroyed));
    ASSERT_TRUE(object->SetValue("f", function, V8_PROPERTY_ATTRIBUTE_NONE));
    ASSERT_TRUE(object->SetUserData(new ScriptedHandler(nullptr, &destroyed)));
  }
  EXPECT_EQ(destroyed, 0);
  ASSERT_TRUE(cefengine::ReleaseFrameContext(cefengine::ContextId(context)));
  EXPECT_EQ(destroyed, 2);
}

TEST_F(V8Value, FreshWrappersCompareWithIsSame) {
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CefV8Value> global = context->GetGlobal();
  ASSERT_TRUE(global->SetValue("o", CefV8Value::CreateObject(nullptr), V8_PROPERTY_ATTRIBUTE_NONE));
  CefRefPtr<CefV8Value> first = global->GetValue("o");
  CefRefPtr<CefV8Value> second = global->GetValue("o");
  EXPECT_NE(first.get(), second.get());
  EXPECT_TRUE(first->IsSame(second));
  EXPECT_NE(context->GetGlobal().get(), global.get());
  EXPECT_TRUE(context->GetGlobal()->IsSame(global));
  EXPECT_FALSE(first->IsSame(global));
  // Two objects made alike are still two objects; equal primitives are the same value.
  EXPECT_FALSE(CefV8Value::CreateObject(nullptr)->IsSame(CefV8Value::CreateObject(nullptr)));
  EXPECT_TRUE(Str("a")->IsSame(Str("a")));
  EXPECT_FALSE(Str("a")->IsSame(Str("b")));
  EXPECT_FALSE(CefV8Value::CreateInt(1)->IsSame(Str("1")));
  EXPECT_FALSE(first->IsSame(nullptr));
}

TEST_F(V8Value, FunctionNameIsTheNameGivenAtCreation) {
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CefV8Handler> handler = new ScriptedHandler(nullptr);
  struct {
    CefRefPtr<CefV8Value> value;
    const char* name;
  } cases[] = {
      {CefV8Value::CreateFunction("Execute", handler), "Execute"},
      {CefV8Value::CreateFunction("", handler), ""},
      {Str("Execute"), ""},
      {CefV8Value::CreateObject(nullptr), ""},
  };
  for (auto& c : cases)
    EXPECT_EQ(c.value->GetFunctionName().ToString(), c.name);
  EXPECT_EQ(cases[0].value->GetFunctionHandler().get(), handler.get());
  EXPECT_FALSE(cases[2].value->GetFunctionHandler());
  EXPECT_TRUE(cases[0].value->IsUserCreated());
  EXPECT_FALSE(context->GetGlobal()->IsUserCreated());
}

// --- Primitive values ---

struct NumberCase {
  double number;
  bool is_int;
  bool is_uint;
  int32 int_value;
  uint32 uint_value;
};

class V8Number : public v8test::RendererThreadTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(V8Number, KindAndConversions) {
  const NumberCase& c = GetParam();
  CefRefPtr<CefV8Value> value = CefV8Value::CreateDouble(c.number);
  EXPECT_TRUE(value->IsDouble());
  EXPECT_EQ(value->IsInt(), c.is_int) << c.number;
  EXPECT_EQ(value->IsUInt(), c.is_uint) << c.number;
  EXPECT_EQ(value->GetIntValue(), c.int_value) << c.number;
  EXPECT_EQ(value->GetUIntValue(), c.uint_value) << c.number;
  EXPECT_EQ(value->GetStringValue().ToString(), "") << "numbers are not strings";
  EXPECT_FALSE(value->GetBoolValue());
}

INSTANTIATE_TEST_SUITE_P(Numbers, V8Number,
                         ::testing::Values(NumberCase{7, true, true, 7, 7u},
                                           NumberCase{-1, true, false, -1, 4294967295u},
                                           NumberCase{3000000000.0, false, true, -1294967296, 3000000000u},
                                           NumberCase{1.75, false, false, 1, 1u},
                                           NumberCase{-0.0, false, false, 0, 0u},
                                           NumberCase{NAN, false, false, 0, 0u},
                                           NumberCase{4294967296.0 + 5, false, false, 5, 5u}),
                         [](const ::testing::TestParamInfo<NumberCase>& info) {
                           return "Number" + std::to_string(info.index);
                         });

TEST_F(V8Value, GettersGiveDefaultsForOtherKinds) {
  CefRefPtr<CefV8Value> text = Str("12");
  EXPECT_EQ(text->GetIntValue(), 0);
  EXPECT_EQ(text->GetDoubleValue(), 0);
  EXPECT_FALSE(text->GetBoolValue());
  CefRefPtr<CefV8Value> flag = CefV8Value::CreateBool(true);
  EXPECT_TRUE(flag->GetBoolValue());
  EXPECT_EQ(flag->GetStringValue().ToString(), "");
  EXPECT_EQ(flag->GetIntValue(), 0);
  CefTime when;
  when.year = 2024;
  when.month = 2;
  when.day_of_month = 29;
  CefRefPtr<CefV8Value> date = CefV8Value::CreateDate(when);
  EXPECT_TRUE(date->IsDate());
  EXPECT_EQ(date->GetDateValue().day_of_month, 29);
  EXPECT_EQ(date->GetStringValue().ToString(), "");
}

TEST_F(V8Value, UseFromAnotherThreadGivesDefaults) {
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  CefRefPtr<CefV8Value> object = CefV8Value::CreateObject(nullptr);
  ASSERT_TRUE(object->SetValue("k", Str("v"), V8_PROPERTY_ATTRIBUTE_NONE));
  bool has = true, valid = true, created = true;
  std::thread other([&] {
    has = object->HasValue("k");
    valid = object->IsValid();
    created = CefV8Value::CreateString("x") != nullptr;
  });
  other.join();
  EXPECT_FALSE(has);
  EXPECT_FALSE(valid);
  EXPECT_FALSE(created);
  EXPECT_TRUE(object->HasValue("k"));
}

// Strict mode makes real misuse fatal, but meeting released contexts is ordinary (a page went
// away while its callbacks were kept), so that path must stay quiet.
TEST_F(V8Value, StrictModeIsFatalOffThreadButNotForReleasedContexts) {
  std::vector<std::string> fatal;
  cefengine::test::SetFatalHandler([&fatal](const std::string& message) { fatal.push_back(message); });
  SetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", L"1");

  CefRefPtr<CefV8Context> released = NewContext();
  CefRefPtr<CefV8Context> live = NewContext();
  CefRefPtr<CefV8Value> kept;
  {
    Entered entered(released);
    kept = CefV8Value::CreateFunction("cb", new ScriptedHandler(nullptr));
  }
  ASSERT_TRUE(cefengine::ReleaseFrameContext(cefengine::ContextId(released)));
  EXPECT_FALSE(released->GetGlobal()->HasValue("external"));
  EXPECT_FALSE(released->Enter());
  EXPECT_FALSE(CefV8Value::CreateFunction("cb", new ScriptedHandler(nullptr)));
  EXPECT_FALSE(kept->ExecuteFunction(nullptr, {}));
  EXPECT_TRUE(fatal.empty()) << fatal.front();

  std::thread other([&live] { live->GetGlobal(); });
  other.join();
  SetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", nullptr);
  cefengine::test::SetFatalHandler(nullptr);
  ASSERT_EQ(fatal.size(), 1u);
  EXPECT_NE(fatal[0].find("off the context's thread"), std::string::npos) << fatal[0];
}

}  // namespace
