#include "compat/atlstr.h"

#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace {

// With MinGW's own printf a wide "%s" reads a narrow string and prints "C" for L"C:\\dir".
TEST(CStringW, FormatReadsPercentSAsWide) {
  CStringW path;
  path.Format(L"%s\\%s.log", L"C:\\dir", L"app.browser");
  EXPECT_STREQ(path, L"C:\\dir\\app.browser.log");
  path.AppendFormat(L" [%06d:%s]", 42, L"x");
  EXPECT_STREQ(path, L"C:\\dir\\app.browser.log [000042:x]");

  CStringA narrow;
  narrow.Format("%s=%d", "n", -7);
  EXPECT_STREQ(narrow, "n=-7");
}

TEST(CStringW, FormatHoldsLongTextWhole) {
  std::wstring big(20000, L'q');
  CStringW s;
  s.Format(L"<%s>", big.c_str());
  ASSERT_EQ(s.GetLength(), 20002);
  EXPECT_EQ(std::wstring(s.GetString()), L"<" + big + L">");
}

TEST(CStringW, ConvertsWithTheThreadAnsiCodePage) {
  // 0xE9 is e-acute in code page 1252 and Cyrillic small short i in 1251.
  EXPECT_STREQ(CStringW("caf\xE9"), L"caf\u00E9");
  EXPECT_STREQ(CStringA(L"caf\u00E9"), "caf\xE9");
  EXPECT_STREQ(CStringA(L"\u4E2D"), "?");  // not in 1252

  LCID old = GetThreadLocale();
  ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), SORT_DEFAULT)));
  CStringW cyrillic("\xE9");
  CStringA back(L"\u0439");
  SetThreadLocale(old);
  EXPECT_STREQ(cyrillic, L"\u0439");
  EXPECT_STREQ(back, "\xE9");

  EXPECT_TRUE(CStringW(static_cast<const char*>(nullptr)).IsEmpty());
  EXPECT_STREQ(CStringW(CStringA("abc")), L"abc");
}

struct SliceCase {
  const wchar_t* name;
  CStringW (*op)(const CStringW&);
  const wchar_t* expected;
};

void PrintTo(const SliceCase& c, std::ostream* os) { *os << CStringA(c.name).GetString(); }

class CStringWSlice : public ::testing::TestWithParam<SliceCase> {};

TEST_P(CStringWSlice, GivesExpectedText) {
  const CStringW source(L"  Hello, World \t\n");
  EXPECT_STREQ(GetParam().op(source), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CStringWSlice,
    ::testing::Values(
        SliceCase{L"Mid", [](const CStringW& s) { return s.Mid(2, 5); }, L"Hello"},
        SliceCase{L"MidFromOnly", [](const CStringW& s) { return s.Mid(9); }, L"World \t\n"},
        SliceCase{L"MidPastEnd", [](const CStringW& s) { return s.Mid(16, 4); }, L"\n"},
        SliceCase{L"MidNegative", [](const CStringW& s) { return s.Mid(-3, 4); }, L"  He"},
        SliceCase{L"MidBeyond", [](const CStringW& s) { return s.Mid(40, 2); }, L""},
        SliceCase{L"LeftTooLong", [](const CStringW& s) { return s.Left(99); }, L"  Hello, World \t\n"},
        SliceCase{L"LeftNegative", [](const CStringW& s) { return s.Left(-1); }, L""},
        SliceCase{L"Right", [](const CStringW& s) { return s.Right(3); }, L" \t\n"},
        SliceCase{L"Trim", [](const CStringW& s) { return CStringW(s).Trim(); }, L"Hello, World"},
        SliceCase{L"TrimChars", [](const CStringW& s) { return CStringW(s).Trim(L" \nH"); }, L"ello, World \t"},
        SliceCase{L"TrimLeft", [](const CStringW& s) { return CStringW(s).TrimLeft(); }, L"Hello, World \t\n"},
        SliceCase{L"Lower", [](const CStringW& s) { return CStringW(s).MakeLower(); }, L"  hello, world \t\n"},
        SliceCase{L"Upper", [](const CStringW& s) { return CStringW(s).MakeUpper(); }, L"  HELLO, WORLD \t\n"},
        SliceCase{L"Plus", [](const CStringW& s) { return L"<" + s.Mid(2, 5) + L'>' + CStringW(L"!"); }, L"<Hello>!"}),
    [](const ::testing::TestParamInfo<SliceCase>& info) {
      return std::string(CStringA(info.param.name).GetString());
    });

TEST(CStringW, FindAndCompare) {
  CStringW s(L"a.b.c");
  EXPECT_EQ(s.Find(L'.'), 1);
  EXPECT_EQ(s.Find(L'.', 2), 3);
  EXPECT_EQ(s.Find(L".c"), 3);
  EXPECT_EQ(s.Find(L"x"), -1);
  EXPECT_EQ(s.Find(L'a', 9), -1);
  EXPECT_EQ(s.ReverseFind(L'.'), 3);

  EXPECT_TRUE(s == L"a.b.c");
  EXPECT_TRUE(L"a.b.c" == s);
  EXPECT_TRUE(s != CStringW(L"A.B.C"));
  EXPECT_EQ(s.CompareNoCase(L"A.B.C"), 0);
  EXPECT_TRUE(CStringW(L"a") < CStringW(L"b"));
  EXPECT_EQ(s.Replace(L".", L"::"), 2);
  EXPECT_STREQ(s, L"a::b::c");
}

TEST(CStringW, ReleaseBufferTakesTheWrittenLength) {
  CStringW s(L"ab");
  wchar_t* p = s.GetBuffer(10);
  EXPECT_EQ(p[0], L'a');
  wcscpy(p, L"hello");
  s.ReleaseBuffer();
  EXPECT_EQ(s.GetLength(), 5);
  EXPECT_STREQ(s, L"hello");

  s.GetBuffer(8);
  s.ReleaseBuffer(2);
  EXPECT_STREQ(s, L"he");
}

}  // namespace
