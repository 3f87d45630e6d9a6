#include "base/json_helper.h"

#include <string>

#include <gtest/gtest.h>

namespace {

const char kDocument[] = R"({"a":{"b":[10,20,{"c":"x"}]},"s":"5","t":true,"k":{"":7}})";
const char kCompact[] = R"({"a":{"b":[10,20,{"c":"x"}]},"k":{"":7},"s":"5","t":true})";

CJsonHelper Document() {
  CJsonHelper json;
  EXPECT_TRUE(json.Parse(kDocument));
  return json;
}

struct ResolveCase {
  const char* path;
  int intValue;  // GetInt with default -99
  const char* why;
};

void PrintTo(const ResolveCase& c, std::ostream* os) { *os << '"' << c.path << '"'; }

class JsonHelperResolve : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(JsonHelperResolve, GetIntFollowsThePath) {
  CJsonHelper json = Document();
  EXPECT_EQ(json.GetInt(GetParam().path, -99), GetParam().intValue) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonHelperResolve,
    ::testing::Values(ResolveCase{"a.b[1]", 20, "member then element"},
                      ResolveCase{"a.b[0]", 10, "first element"},
                      ResolveCase{"a.b[3]", -99, "index at the end"},
                      ResolveCase{"a.b[-1]", -99, "negative index"},
                      ResolveCase{"a.b[1", 20, "closing bracket not required"},
                      ResolveCase{"a.b[1]x", -99, "member named b[1]x"},
                      ResolveCase{"[0]", -99, "index on an object"},
                      ResolveCase{"s", 5, "string through atoi"},
                      ResolveCase{"t", 1, "boolean as 1"},
                      ResolveCase{".k", -99, "leading dot reads the empty key only"},
                      ResolveCase{"k.", -99, "trailing dot resolves like k"},
                      ResolveCase{"a.b c", -99, "tail ends at the blank: a.b is an array"},
                      ResolveCase{"a.missing", -99, "absent member"},
                      ResolveCase{"s.x", -99, "member of a string"}));

TEST(JsonHelper, PathShapesReachTheRightNodes) {
  CJsonHelper json = Document();
  std::string text;
  json.GetString(text, "a.b[2].c", "default");
  EXPECT_EQ(text, "x");
  EXPECT_EQ(json.GetArraySize("a.b"), 3);
  EXPECT_EQ(json.GetArraySize("a"), 0);
  // "k." and "a.b c" resolve like "k" and "a.b".
  EXPECT_EQ(&json.GetNode("k."), &json.GetNode("k"));
  EXPECT_EQ(&json.GetNode("a.b c"), &json.GetNode("a.b"));
  EXPECT_EQ(json.GetInt("k.", -1), -1);
  // The member with the empty key of k.
  EXPECT_EQ(CJsonHelper(json.GetNode("k")).GetInt(".", -1), 7);
  // An empty path is the root; 256 characters lead nowhere whatever they name.
  EXPECT_TRUE(json.GetNode("").isObject());
  std::string longPath = "a.b" + std::string(252, ' ');
  EXPECT_TRUE(json.IsArray(longPath));  // 255 characters: the tail ends at the first blank
  longPath += " ";
  EXPECT_FALSE(json.HasValue(longPath));
}

TEST(JsonHelper, IndexOnArrayRootGivesTheElement) {
  CJsonHelper json;
  ASSERT_TRUE(json.Parse("[7,{\"x\":[1,2]}]"));
  EXPECT_EQ(json.GetInt("[0]", -1), 7);
  EXPECT_EQ(json.GetInt("[1].x[1]", -1), 2);
  EXPECT_EQ(json.GetInt("[2]", -1), -1);
  EXPECT_EQ(json.GetInt("x", -1), -1);  // member of an array
}

TEST(JsonHelper, LookupsNeverChangeTheDocument) {
  CJsonHelper json = Document();
  const char* paths[] = {"a.b[9]", "zz", "a.zz.yy", "[3]", ".q", "a.b[1]x", "k.", "a.b[2].d", "t.u"};
  for (const char* p : paths) {
    (void)json.GetInt(p, 0);
    (void)json.HasValue(p);
    Json::Value copy;
    json.GetValue(copy, p);
  }
  std::string text;
  json.ToString(text);
  EXPECT_EQ(text, kCompact);
  // The shared null value gained nothing either.
  EXPECT_TRUE(json.GetNode("nowhere").isNull());
  EXPECT_EQ(json.GetNode("nowhere").size(), 0u);
}

struct ParseCase {
  std::string text;
  bool ok;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.text.substr(0, 12).c_str() << " (" << c.text.size() << " bytes)"; }

class JsonHelperParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(JsonHelperParse, AcceptsOnlyObjectsAndArrays) {
  CJsonHelper json;
  EXPECT_EQ(json.Parse(GetParam().text), GetParam().ok) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, JsonHelperParse,
                         ::testing::Values(ParseCase{"[1,2]", true}, ParseCase{"{}", true},
                                           ParseCase{"5", false}, ParseCase{"\"text\"", false},
                                           ParseCase{"", false}, ParseCase{"{\"a\":", false},
                                           ParseCase{std::string("{\"a\":1}\0\0\0\0", 11), true},
                                           ParseCase{std::string(100000, '[') , false}));

TEST(JsonHelper, ToStringIsCompactUtf8) {
  CJsonHelper json = Document();
  std::string text;
  json.ToString(text, "");
  EXPECT_EQ(text, kCompact);
  json.ToString(text, "a.b");
  EXPECT_EQ(text, "[10,20,{\"c\":\"x\"}]");
  json.ToString(text, "nowhere");
  EXPECT_EQ(text, "null");

  CJsonHelper utf8;
  ASSERT_TRUE(utf8.Parse("{\"n\":\"\xC3\xA9\\u00e9\"}"));
  utf8.ToString(text);
  EXPECT_EQ(text, "{\"n\":\"\xC3\xA9\xC3\xA9\"}");
  utf8.ToStyledString(text);
  EXPECT_NE(text.find('\n'), std::string::npos);
}

// Comments of the source document never reach the compact text, where a "//" comment would
// swallow the closing brackets and leave text that no longer parses.
TEST(JsonHelper, CompactTextOfACommentedDocumentParses) {
  for (const char* source : {"{\"a\": [1, 2] // trailing\n}", "[1, /* inner */ 2, // after\n 3]",
                             "// before\n{\"k\": {\"x\": true} /* after */}"}) {
    CJsonHelper json;
    ASSERT_TRUE(json.Parse(source)) << source;
    std::string text;
    json.ToString(text);
    EXPECT_EQ(text.find("/"), std::string::npos) << text;
    CJsonHelper again;
    EXPECT_TRUE(again.Parse(text)) << text;
    EXPECT_TRUE(again.GetNode("") == json.GetNode("")) << text;
  }
}

TEST(JsonHelper, StrictAndLooseGetters) {
  CJsonHelper json;
  ASSERT_TRUE(json.Parse(R"({"i":-3,"u":4000000000,"r":2.75,"big":1e20,"s":"12abc","f":"1.5",
                             "t":true,"z":0,"w":3.0,"e":"","o":{},"full":{"x":1},"arr":[1]})"));
  // Integers: strict forms refuse other types and out-of-range values.
  EXPECT_EQ(json.GetIntStrict("i", 9), -3);
  EXPECT_EQ(json.GetIntStrict("w", 9), 3);  // a real without fraction
  EXPECT_EQ(json.GetIntStrict("r", 9), 9);
  EXPECT_EQ(json.GetIntStrict("s", 9), 9);
  EXPECT_EQ(json.GetIntStrict("u", 9), 9);
  EXPECT_EQ(json.GetInt("r", 9), 2);        // truncated
  EXPECT_EQ(json.GetInt("s", 9), 12);       // atoi
  EXPECT_EQ(json.GetInt("big", 9), 9);      // jsoncpp refuses; the exception stays inside
  EXPECT_EQ(json.GetInt("u", 9), 9);
  EXPECT_EQ(json.GetInt("o", 9), 9);
  EXPECT_EQ(json.GetInt64("u", 9), 4000000000LL);
  EXPECT_EQ(json.GetInt64("big", 9), 9);
  EXPECT_TRUE(json.IsInt("w"));
  EXPECT_FALSE(json.IsInt("u"));
  EXPECT_TRUE(json.IsInt64("u"));
  EXPECT_TRUE(json.IsNumeric("big"));
  EXPECT_FALSE(json.IsNumeric("s"));
  // Doubles.
  EXPECT_DOUBLE_EQ(json.GetDoubleStrict("i", 0.5), -3.0);
  EXPECT_DOUBLE_EQ(json.GetDoubleStrict("t", 0.5), 0.5);
  EXPECT_DOUBLE_EQ(json.GetDouble("t", 0.5), 1.0);
  EXPECT_DOUBLE_EQ(json.GetDouble("f", 0.5), 1.5);
  // Booleans: non-empty strings and objects are true.
  EXPECT_TRUE(json.GetBoolStrict("t", false));
  EXPECT_FALSE(json.GetBoolStrict("i", false));
  EXPECT_TRUE(json.GetBool("i", false));
  EXPECT_FALSE(json.GetBool("z", true));
  EXPECT_FALSE(json.GetBool("e", true));
  EXPECT_TRUE(json.GetBool("s", false));
  EXPECT_FALSE(json.GetBool("o", true));
  EXPECT_TRUE(json.GetBool("full", false));
  EXPECT_TRUE(json.GetBool("arr", true));   // arrays give the default
  EXPECT_FALSE(json.GetBool("arr", false));
  EXPECT_TRUE(json.GetBool("missing", true));
  // Strings: the loose form writes scalars as jsoncpp does.
  std::string text;
  json.GetStringStrict(text, "i", "d");
  EXPECT_EQ(text, "d");
  json.GetString(text, "i", "d");
  EXPECT_EQ(text, "-3");
  json.GetString(text, "t", "d");
  EXPECT_EQ(text, "true");
  json.GetString(text, "o", "d");
  EXPECT_EQ(text, "d");
}

TEST(JsonHelper, WideGettersConvertAndFallBackToTheDefault) {
  CJsonHelper json;
  ASSERT_TRUE(json.Parse("{\"n\":\"\xC3\xA9t\xC3\xA9\",\"i\":42,\"e\":\"\",\"z\":\"a\\u0000b\"}"));
  ATL::CStringW text;
  json.GetWString(text, "n", L"d", CP_UTF8);
  EXPECT_EQ(text, L"\u00E9t\u00E9");
  json.GetWString(text, "i", L"d", CP_UTF8);
  EXPECT_EQ(text, L"42");
  json.GetWStringStrict(text, "i", L"d", CP_UTF8);
  EXPECT_EQ(text, L"d");
  json.GetWString(text, "e", L"d", CP_UTF8);
  EXPECT_EQ(text, L"");
  json.GetWString(text, "z", L"d", CP_UTF8);  // up to the first zero byte
  EXPECT_EQ(text, L"a");
  // A code page the platform refuses gives the default instead of an exception.
  json.GetWString(text, "n", L"d", 12345);
  EXPECT_EQ(text, L"d");
  json.GetWStringStrict(text, "n", L"d", 12345);
  EXPECT_EQ(text, L"d");
}

TEST(JsonHelper, RootAccessCopiesAndClear) {
  CJsonHelper json;
  json["list"][0u] = 1;
  json["name"] = "x";
  CJsonHelper copy(json);
  json.Clear();
  EXPECT_TRUE(json.IsObject(""));
  EXPECT_FALSE(json.HasValue("name"));
  EXPECT_EQ(copy.GetArraySize("list"), 1);  // deep copy

  CJsonHelper array;
  array[2u] = true;
  EXPECT_EQ(array.GetArraySize(""), 3);
  EXPECT_THROW(array["key"], Json::Exception);  // unguarded, as documented

  CJsonHelper assigned;
  CJsonHelper returned = (assigned = Json::Value(5));
  EXPECT_EQ(returned.GetNode("").asInt(), 5);

  CJsonHelper fromText(std::string("[1,"));  // keeps what the reader stored
  EXPECT_FALSE(fromText.GetNode("").isObject());
}

TEST(JsonHelper, FormatTextIsBounded) {
  std::string out = "old";
  JsonFormatText(&out, "%s-%d", "a", 7);
  EXPECT_EQ(out, "a-7");
  JsonFormatText(&out, "%s", std::string(255, 'x').c_str());
  EXPECT_EQ(out.size(), 255u);
  JsonFormatText(&out, "%s", std::string(256, 'x').c_str());
  EXPECT_EQ(out, "");
}

}  // namespace
