#include <gtest/gtest.h>

#include <string>

#include "include/cef_values.h"
#include "testing/control_json.h"

namespace {

using cefengine::PageFunctionPlan;
using cefengine::PageValue;

Json::Value Parse(const std::string& text) {
  Json::Value value;
  std::string error;
  EXPECT_TRUE(cefengine::ParseJsonLine(text, &value, &error)) << text << ": " << error;
  return value;
}

PageValue Read(const std::string& text) {
  PageValue value;
  std::string error;
  EXPECT_TRUE(cefengine::PageValueFromJson(Parse(text), "v", &value, &error)) << text << ": " << error;
  return value;
}

TEST(ControlJson, ReadsPageValuesOfEveryKind) {
  struct Case {
    const char* json;
    PageValue::Kind kind;
  };
  const Case cases[] = {
      {R"({"str": "x"})", PageValue::Kind::kString},     {R"({"int": -3})", PageValue::Kind::kInt},
      {R"({"double": 2})", PageValue::Kind::kDouble},    {R"({"bool": false})", PageValue::Kind::kBool},
      {R"({"null": true})", PageValue::Kind::kNull},     {R"({"undefined": true})", PageValue::Kind::kUndefined},
      {R"({"obj": []})", PageValue::Kind::kObject},      {R"({"fn": {}})", PageValue::Kind::kFunction},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.kind, Read(c.json).kind) << c.json;

  EXPECT_EQ(L"caf\u00e9", Read(R"({"str": "café"})").string_value);
  EXPECT_EQ(-3, Read(R"({"int": -3})").int_value);
  EXPECT_EQ(2147483647, Read(R"({"int": 2147483647})").int_value);
  EXPECT_DOUBLE_EQ(1.5, Read(R"({"double": 1.5})").double_value);
  EXPECT_TRUE(Read(R"({"bool": true})").bool_value);

  // Members keep the order given, not the order of their names.
  PageValue object = Read(R"({"obj": [["b", {"int": 1}], ["a", {"obj": [["inner", {"str": "y"}]]}]]})");
  ASSERT_EQ(2u, object.member_names.size());
  EXPECT_EQ(L"b", object.member_names[0]);
  EXPECT_EQ(L"a", object.member_names[1]);
  ASSERT_EQ(PageValue::Kind::kObject, object.member_values[1].kind);
  EXPECT_EQ(L"y", object.member_values[1].member_values.at(0).string_value);
}

TEST(ControlJson, ReadsWhatPageFunctionsDo) {
  PageValue anonymous = Read(R"({"fn": {}})");
  ASSERT_TRUE(anonymous.function);
  EXPECT_EQ(L"", anonymous.function->name);
  EXPECT_EQ(PageFunctionPlan::Outcome::kUndefined, anonymous.function->outcome);

  PageValue returning = Read(R"({"fn": {"name": "cb", "returns": {"str": "r"}}})");
  ASSERT_TRUE(returning.function);
  EXPECT_EQ(L"cb", returning.function->name);
  EXPECT_EQ(PageFunctionPlan::Outcome::kValue, returning.function->outcome);
  ASSERT_EQ(1u, returning.function->result.size());
  EXPECT_EQ(L"r", returning.function->result[0].string_value);

  PageValue throwing = Read(R"({"fn": {"name": "bad", "throws": "boom"}})");
  ASSERT_TRUE(throwing.function);
  EXPECT_EQ(PageFunctionPlan::Outcome::kThrow, throwing.function->outcome);
  EXPECT_EQ(L"boom", throwing.function->exception);
}

TEST(ControlJson, NestingStopsAtTheLimit) {
  auto nested = [](int levels) {
    std::string text = R"({"int": 1})";
    for (int i = 0; i < levels; ++i)
      text = (i % 2 ? R"({"obj": [["k", )" : R"({"fn": {"returns": )") + text + (i % 2 ? "]]}" : "}}");
    return text;
  };
  PageValue value;
  std::string error;
  EXPECT_TRUE(cefengine::PageValueFromJson(Parse(nested(cefengine::kMaxJsonPageValueDepth)), "v", &value, &error))
      << error;
  EXPECT_FALSE(
      cefengine::PageValueFromJson(Parse(nested(cefengine::kMaxJsonPageValueDepth + 1)), "v", &value, &error));
  EXPECT_NE(std::string::npos, error.find("nested deeper than")) << error;
}

TEST(ControlJson, ProcessMessageArgumentsBecomeTypedValues) {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  list->SetNull(0);
  list->SetBool(1, true);
  list->SetInt(2, -7);
  list->SetDouble(3, 0.25);
  list->SetString(4, "text");
  const unsigned char bytes[] = {0x00, 0x01, 0xff};
  list->SetBinary(5, CefBinaryValue::Create(bytes, sizeof(bytes)));
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetInt("k", 1);
  list->SetDictionary(6, dict);
  CefRefPtr<CefListValue> inner = CefListValue::Create();
  inner->SetString(0, "x");
  list->SetList(7, inner);

  EXPECT_EQ(Parse(R"([{"null": true}, {"bool": true}, {"int": -7}, {"double": 0.25}, {"str": "text"},
                      {"binary": "AAH/"}, {"dict": {"k": {"int": 1}}}, {"list": [{"str": "x"}]}])"),
            cefengine::ListValueToJson(list));
  EXPECT_EQ(Json::Value(Json::arrayValue), cefengine::ListValueToJson(nullptr));
}

TEST(ControlJson, CallResultsCarryEveryField) {
  cefengine::RendererCallResult result;
  result.ran = true;
  result.threw = true;
  result.exception = "boom";
  result.type = "undefined";
  result.read_only = true;
  EXPECT_EQ(Parse(R"({"ran": true, "threw": true, "exception": "boom", "type": "undefined", "value": "",
                      "read_only": true})"),
            cefengine::CallResultToJson(result));
}

}  // namespace
