#include "base/string_util.h"

#include <climits>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace {

// The same word in the three encodings the conversions meet (the test runs with ANSI = 1252).
const wchar_t kWide[] = L"Gr\u00FC\u00DFe \u00E9";
const char kAnsi[] = "Gr\xFC\xDF" "e \xE9";
const char kUtf8[] = "Gr\xC3\xBC\xC3\x9F" "e \xC3\xA9";

enum class Enc { kWide, kAnsi, kUtf8 };

struct Outcome {
  bool ok;
  std::string bytes;   // narrow results
  std::wstring wide;   // wide results
};

// One conversion under test: its input and output encodings, how it treats "" and a runner
// that takes the input (nullptr means a null argument).
struct ConversionCase {
  const char* name;
  Enc from;
  Enc to;
  bool emptyOk;  // what "" reports: the Buffer forms that read the terminator accept it
  std::function<Outcome(const void*)> run;
};

const char* N(const void* p) { return static_cast<const char*>(p); }
const wchar_t* W(const void* p) { return static_cast<const wchar_t*>(p); }

Outcome Narrow(std::string s) { return {!s.empty(), s, L""}; }
Outcome Wide(std::wstring s) { return {!s.empty(), "", s}; }
Outcome FromBuffer(BOOL ok, char* buffer) {
  Outcome o{ok != FALSE, buffer ? std::string(buffer) : std::string(), L""};
  if (!ok) {
    EXPECT_EQ(buffer, nullptr);
  }
  delete[] buffer;
  return o;
}

const ConversionCase kConversions[] = {
    {"MbToWide", Enc::kAnsi, Enc::kWide, false,
     [](const void* p) { return Wide(StringUtil::MbToWide(N(p), CP_ACP).GetString()); }},
    {"WideToMb", Enc::kWide, Enc::kAnsi, false,
     [](const void* p) { return Narrow(StringUtil::WideToMb(W(p), CP_ACP).GetString()); }},
    {"MbToUtf8", Enc::kAnsi, Enc::kUtf8, false,
     [](const void* p) { return Narrow(StringUtil::MbToUtf8(N(p), 1252).GetString()); }},
    {"Utf8ToMb", Enc::kUtf8, Enc::kAnsi, false,
     [](const void* p) { return Narrow(StringUtil::Utf8ToMb(N(p), 1252).GetString()); }},
    {"Utf8ToWide", Enc::kUtf8, Enc::kWide, false,
     [](const void* p) { return Wide(StringUtil::Utf8ToWide(N(p)).GetString()); }},
    {"WideToUtf8", Enc::kWide, Enc::kUtf8, false,
     [](const void* p) { return Narrow(StringUtil::WideToUtf8(W(p)).GetString()); }},
    {"MbToWString", Enc::kAnsi, Enc::kWide, false,
     [](const void* p) { return Wide(StringUtil::MbToWString(N(p), CP_ACP)); }},
    {"Utf8ToWString", Enc::kUtf8, Enc::kWide, false,
     [](const void* p) { return Wide(StringUtil::Utf8ToWString(N(p))); }},
    {"WideToMbString", Enc::kWide, Enc::kAnsi, false,
     [](const void* p) { return Narrow(StringUtil::WideToMbString(W(p), CP_ACP)); }},
    {"WideToUtf8String", Enc::kWide, Enc::kUtf8, false,
     [](const void* p) { return Narrow(StringUtil::WideToUtf8String(W(p))); }},
    {"DecodeUtf8", Enc::kUtf8, Enc::kWide, false,
     [](const void* p) { return Wide(StringUtil::DecodeUtf8(N(p))); }},
    {"EncodeUtf8", Enc::kWide, Enc::kUtf8, false,
     [](const void* p) { return Narrow(StringUtil::EncodeUtf8(W(p))); }},
    {"AnsiToUtf8String", Enc::kAnsi, Enc::kUtf8, false,
     [](const void* p) { return Narrow(StringUtil::AnsiToUtf8String(N(p))); }},
    {"Utf8ToAnsiString", Enc::kUtf8, Enc::kAnsi, false,
     [](const void* p) { return Narrow(StringUtil::Utf8ToAnsiString(N(p))); }},
    {"AnsiToUtf8Buffer", Enc::kAnsi, Enc::kUtf8, true,
     [](const void* p) {
       char* out = reinterpret_cast<char*>(1);
       int n = StringUtil::AnsiToUtf8Buffer(N(p), &out);
       if (n > 0) {
         EXPECT_EQ(static_cast<size_t>(n), strlen(out) + 1);  // count includes the zero
       }
       return FromBuffer(n > 0, out);
     }},
    {"Utf8ToAnsiBuffer", Enc::kUtf8, Enc::kAnsi, true,
     [](const void* p) {
       char* out = reinterpret_cast<char*>(1);
       BOOL ok = StringUtil::Utf8ToAnsiBuffer(N(p), &out);
       return FromBuffer(ok, out);
     }},
    {"Utf8ToWideBuffer", Enc::kUtf8, Enc::kWide, true,
     [](const void* p) {
       wchar_t* out = reinterpret_cast<wchar_t*>(1);
       BOOL ok = StringUtil::Utf8ToWideBuffer(N(p), &out);
       if (!ok) {
         EXPECT_EQ(out, nullptr);
       }
       Outcome o{ok != FALSE, "", out ? std::wstring(out) : std::wstring()};
       delete[] out;
       return o;
     }},
    {"WideToAnsiBuffer", Enc::kWide, Enc::kAnsi, false,
     [](const void* p) {
       char* out = reinterpret_cast<char*>(1);
       BOOL ok = StringUtil::WideToAnsiBuffer(W(p), &out);
       return FromBuffer(ok, out);
     }},
    {"WideToUtf8Buffer", Enc::kWide, Enc::kUtf8, false,
     [](const void* p) {
       char* out = reinterpret_cast<char*>(1);
       BOOL ok = StringUtil::WideToUtf8Buffer(W(p), &out);
       return FromBuffer(ok, out);
     }},
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class StringUtilConversion : public ::testing::TestWithParam<ConversionCase> {};

const void* SampleOf(Enc enc) {
  switch (enc) {
    case Enc::kWide:
      return kWide;
    case Enc::kAnsi:
      return kAnsi;
    default:
      return kUtf8;
  }
}

TEST_P(StringUtilConversion, ConvertsTheSampleBetweenItsCodePages) {
  const ConversionCase& c = GetParam();
  Outcome o = c.run(SampleOf(c.from));
  EXPECT_TRUE(o.ok);
  switch (c.to) {
    case Enc::kWide:
      EXPECT_EQ(o.wide, kWide);
      break;
    case Enc::kAnsi:
      EXPECT_EQ(o.bytes, kAnsi);
      break;
    case Enc::kUtf8:
      EXPECT_EQ(o.bytes, kUtf8);
      break;
  }
}

TEST_P(StringUtilConversion, NullFailsAndEmptyGivesEmpty) {
  const ConversionCase& c = GetParam();
  Outcome null = c.run(nullptr);
  EXPECT_FALSE(null.ok);
  EXPECT_TRUE(null.bytes.empty() && null.wide.empty());

  const void* empty = c.from == Enc::kWide ? static_cast<const void*>(L"") : static_cast<const void*>("");
  Outcome e = c.run(empty);
  EXPECT_TRUE(e.bytes.empty() && e.wide.empty());
  EXPECT_EQ(e.ok, c.emptyOk);
}

INSTANTIATE_TEST_SUITE_P(Table, StringUtilConversion, ::testing::ValuesIn(kConversions),
                         [](const ::testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

TEST(StringUtil, InvalidUtf8BecomesReplacementAndInputEndsAtFirstZero) {
  EXPECT_EQ(StringUtil::Utf8ToWString(std::string("a\xFF" "b")), L"a\uFFFD" L"b");
  EXPECT_EQ(StringUtil::DecodeUtf8("\xC3"), L"\uFFFD");
  EXPECT_EQ(StringUtil::Utf8ToWString(std::string("ab\0cd", 5)), L"ab");
  EXPECT_EQ(StringUtil::WideToMbString(std::wstring(L"ab\0cd", 5), CP_UTF8), "ab");
  // Characters outside the ANSI code page do not make the conversion fail.
  EXPECT_EQ(StringUtil::WideToMbString(L"a\u4E2D", CP_ACP), "a?");
}

TEST(StringUtil, IntegerTextsCoverTheWholeRange) {
  EXPECT_EQ(StringUtil::IntToString(INT_MIN), "-2147483648");
  EXPECT_EQ(StringUtil::IntToWString(-7), L"-7");
  EXPECT_EQ(StringUtil::UIntToWString(4294967295u), L"4294967295");
  EXPECT_EQ(StringUtil::Int64ToString(LLONG_MIN), "-9223372036854775808");
}

struct DoubleCase {
  double value;
  int decimals;
  const wchar_t* text;
};

void PrintTo(const DoubleCase& c, std::ostream* os) { *os << c.value << " with " << c.decimals; }

class StringUtilDouble : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(StringUtilDouble, CutsAfterTheDecimals) {
  EXPECT_EQ(StringUtil::DoubleToWString(GetParam().value, GetParam().decimals), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, StringUtilDouble,
                         ::testing::Values(DoubleCase{1.999, 2, L"1.99"},   // cut, not rounded
                                           DoubleCase{2.5, 0, L"2"},        // no point without decimals
                                           DoubleCase{12.0, 3, L"12.000"},
                                           DoubleCase{1.23456789016, 10, L"1.2345678902"},  // tenth rounded
                                           DoubleCase{1.5, 12, L"1.5000000000"},            // at most 10
                                           DoubleCase{-3.25, 1, L"3.2"},                    // sign dropped
                                           DoubleCase{0.05, 2, L"0.05"},                    // below 1
                                           DoubleCase{0.0, 1, L"0.0"}, DoubleCase{1e30, 2, L""}));

struct SizeCase {
  __int64 bytes;
  int decimals;
  const wchar_t* text;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.bytes << " with " << c.decimals; }

class StringUtilSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(StringUtilSize, PicksTheUnit) {
  EXPECT_EQ(StringUtil::FormatSize(GetParam().bytes, GetParam().decimals), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, StringUtilSize,
                         ::testing::Values(SizeCase{1023, 2, L"1023B"}, SizeCase{1024, 0, L"1KB"},
                                           SizeCase{1536, 2, L"1.50KB"}, SizeCase{1048576, 1, L"1.0MB"},
                                           SizeCase{3LL << 30, 0, L"3GB"},
                                           SizeCase{(5LL << 30) + (1LL << 29), 1, L"5.5GB"},
                                           SizeCase{(1LL << 20) - 1, 3, L"1023.999KB"},
                                           SizeCase{-5, 2, L"-5B"}));

TEST(StringUtil, PathParts) {
  EXPECT_EQ(StringUtil::GetFileName(L"C:\\dir\\app.exe", false), L"app");
  EXPECT_EQ(StringUtil::GetFileName(L"C:\\dir\\app.exe", true), L"app.exe");
  EXPECT_EQ(StringUtil::GetFileName(L"C:\\dir\\a.b.c", false), L"a.b");
  EXPECT_EQ(StringUtil::GetFileName(L"C:/dir/name", false), L"name");
  EXPECT_EQ(StringUtil::GetFileNameA("C:\\dir\\a.b.c", false), "a.b");
  EXPECT_EQ(StringUtil::GetFileExt(L"C:\\dir\\a.tar.gz"), L".gz");
  EXPECT_EQ(StringUtil::GetFileExt(L"C:\\dir\\noext"), L"");
  EXPECT_EQ(StringUtil::GetFileExtA("x.TXT"), ".TXT");
  EXPECT_EQ(StringUtil::GetParentDir(L"name"), L"");
  EXPECT_EQ(StringUtil::GetParentDir(L"C:\\a\\b"), L"C:\\a");
  EXPECT_EQ(StringUtil::GetParentDir(L"C:\\a"), L"C:\\");

  std::string path = "C:\\a\\\\";
  StringUtil::RemoveTrailingBackslash(path);
  EXPECT_EQ(path, "C:\\a\\");
  std::string empty;
  StringUtil::RemoveTrailingBackslash(empty);
  EXPECT_EQ(empty, "");
}

}  // namespace
