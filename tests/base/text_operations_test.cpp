#include "base/text_operations.h"

#include <objbase.h>
#include <shlwapi.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Pieces = std::vector<std::wstring>;

TEST(TextSplit, EmptyPiecesAreKept) {
  EXPECT_EQ(StringUtil::Split(L"", L","), Pieces{L""});
  EXPECT_EQ(StringUtil::Split(L"a,,b", L","), (Pieces{L"a", L"", L"b"}));
  EXPECT_EQ(StringUtil::Split(L"a,b;", L",;"), (Pieces{L"a", L"b", L""}));
  EXPECT_EQ(StringUtil::Split(L"a,b", L""), Pieces{L"a,b"});
  EXPECT_EQ(StringUtil::SplitA(",x", ","), (std::vector<std::string>{"", "x"}));

  Pieces out{L"kept"};
  EXPECT_EQ(StringUtil::SplitAppend(L"1 2", L" ", &out), 2u);
  EXPECT_EQ(StringUtil::SplitByChar(L"3|", L'|', &out), 2u);
  EXPECT_EQ(out, (Pieces{L"kept", L"1", L"2", L"3", L""}));

  EXPECT_EQ(StringUtil::Join({}, L"-"), L"");
  EXPECT_EQ(StringUtil::Join({L"a", L"", L"b"}, L", "), L"a, , b");
}

TEST(TextSplit, SplitStringTrimsAndDropsEmptyTokens) {
  std::vector<ATL::CStringW> out{L"before"};
  EXPECT_TRUE(CommonUtil::SplitString(L" x , ,,\ty \t;z;", L",;", &out));
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[1], L"x");
  EXPECT_EQ(out[2], L"y");
  EXPECT_EQ(out[3], L"z");

  std::vector<ATL::CStringW> none;
  EXPECT_FALSE(CommonUtil::SplitString(L"  ,  ;", L",;", &none));
  EXPECT_TRUE(none.empty());
  EXPECT_FALSE(CommonUtil::SplitString(L"a,b", L"", &none));
  EXPECT_TRUE(none.empty());
}

struct WildcardCase {
  const wchar_t* pattern;
  const wchar_t* text;
  BOOL match;
};

TEST(TextMatch, WildcardTable) {
  const WildcardCase cases[] = {
      {L"*", L"", TRUE},          {L"*", L"anything", TRUE},   {L"a?c", L"abc", TRUE},
      {L"a?c", L"ac", FALSE},     {L"A*", L"abc", FALSE},      {L"a*c", L"abxbc", TRUE},
      {L"*.txt", L"f.txt", TRUE}, {L"*.txt", L"f.txt.x", FALSE}, {L"a*b*c", L"aXbYbZc", TRUE},
      {L"", L"", TRUE},           {L"", L"a", FALSE},          {L"a", L"", FALSE},
      {L"**", L"x", TRUE},        {L"?", L"", FALSE},          {L"a*", L"a", TRUE},
  };
  for (const WildcardCase& c : cases) {
    EXPECT_EQ(StringUtil::WildcardMatch(c.pattern, c.text), c.match) << c.pattern << L" " << c.text;
  }
  EXPECT_TRUE(StringUtil::WildcardMatchA("*.z?p", "pack.zip"));
  EXPECT_FALSE(StringUtil::WildcardMatchA("*.Z?P", "pack.zip"));
}

TEST(TextMatch, SearchesAndPrefixes) {
  EXPECT_TRUE(StringUtil::Contains(L"abc", L""));
  EXPECT_TRUE(StringUtil::Contains(L"abc", std::wstring(L"bc")));
  EXPECT_FALSE(StringUtil::Contains(L"abc", L"cb"));
  EXPECT_TRUE(StringUtil::ContainsChar(L"abc", L'c'));
  EXPECT_FALSE(StringUtil::StartsWithChar(L"", L'a'));
  EXPECT_TRUE(StringUtil::StartsWithAnyOf(L"/path", L"\\/"));
  EXPECT_FALSE(StringUtil::StartsWithAnyOf(L"p/ath", L"\\/"));
  EXPECT_TRUE(StringUtil::StartsWithA("Hello", "HE", TRUE));
  EXPECT_FALSE(StringUtil::StartsWithA("Hello", "HE", FALSE));
  EXPECT_FALSE(StringUtil::StartsWithA("Hi", "Hello", TRUE));
  EXPECT_TRUE(StringUtil::StartsWithA("x", "", FALSE));
  EXPECT_TRUE(StringUtil::EndsWithA("file.TXT", ".txt", TRUE));
  EXPECT_FALSE(StringUtil::EndsWithA("file.TXT", ".txt", FALSE));
  EXPECT_FALSE(StringUtil::EndsWithA("t", ".txt", TRUE));
}

TEST(TextEdit, TrimsCaseAndQueries) {
  std::wstring only = L"xxx";
  StringUtil::TrimChar(only, L'x');
  EXPECT_EQ(only, L"xxx");
  StringUtil::TrimLeftChar(only, L'x');
  EXPECT_EQ(only, L"xxx");
  std::wstring framed = L"xxaxx";
  StringUtil::TrimLeftChar(framed, L'x');
  EXPECT_EQ(framed, L"axx");
  StringUtil::TrimChar(framed, L'x');
  EXPECT_EQ(framed, L"a");
  std::wstring blanks = L" \t ";
  StringUtil::Trim(blanks);
  EXPECT_EQ(blanks, L"");
  std::wstring padded = L"\t a b \n";
  StringUtil::TrimRight(padded);
  EXPECT_EQ(padded, L"\t a b");
  StringUtil::TrimLeft(padded);
  EXPECT_EQ(padded, L"a b");

  std::wstring mixed = L"\xFEFF" L"AbC\xFFFE";
  StringUtil::ToLower(mixed);
  EXPECT_EQ(mixed, L"\xFEFF" L"abc\xFFFE");
  StringUtil::ToUpper(mixed);
  EXPECT_EQ(mixed, L"\xFEFF" L"ABC\xFFFE");

  std::wstring url = L"http://h/p";
  EXPECT_TRUE(StringUtil::AppendQueryParam(url, L"a", L"1 2"));
  EXPECT_TRUE(StringUtil::AppendQueryParam(url, L"b", L""));
  EXPECT_EQ(url, L"http://h/p?a=1 2&b=");
  std::wstring empty;
  EXPECT_FALSE(StringUtil::AppendQueryParam(empty, L"a", L"1"));
  EXPECT_FALSE(StringUtil::AppendQueryParam(url, L"", L"1"));
  EXPECT_EQ(url, L"http://h/p?a=1 2&b=");

  EXPECT_EQ(StringUtil::RemoveChars(L"a-b_c-", L"-_"), L"abc");
}

TEST(TextNames, SafeFileNamesFitTheirLimit) {
  struct Case {
    const wchar_t* name;
    int maxLength;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"a<b>c:d\"e/f\\g|h?i*j", 50, L"abcdefghij"},
      {L"abcdef.txt", 1, L"a.t"},                 // the limit is at least 3
      {L".hidden-long-name", 5, L".hidd"},        // a dot in front counts as no dot
      {L"nodotname", 4, L"nodo"},
      {L"name.verylongext", 8, L"n.verylo"},      // the extension keeps room for one character
      {L"abcdefgh.txt", 8, L"abcd.txt"},
      {L"abcdefg.txt", 11, L"abcdefg.txt"},
  };
  for (const Case& c : cases) {
    const std::wstring safe = StringUtil::MakeSafeFileName(c.name, c.maxLength);
    EXPECT_EQ(safe, c.expected) << c.name;
    EXPECT_LE(safe.size(), size_t(c.maxLength < 3 ? 3 : c.maxLength)) << c.name;
  }
}

TEST(TextNames, UrlFileNames) {
  EXPECT_EQ(StringUtil::GetUrlFileName("http://h/dir/file.zip?x=1#frag"), "file.zip");
  EXPECT_EQ(StringUtil::GetUrlFileName("http://h/file#f?q"), "file");
  EXPECT_EQ(StringUtil::GetUrlFileName("http://h/p?a=b/c"), "c");  // the last '/' lies in the query
  EXPECT_EQ(StringUtil::GetUrlFileName("http://h/dir/"), "");
  EXPECT_EQ(StringUtil::GetUrlFileName("noslash"), "");
  EXPECT_EQ(StringUtil::GetUrlFileName(""), "");
}

TEST(TextNew, GuidTextsAndTempFiles) {
  const std::wstring braced = StringUtil::NewGuidText();
  EXPECT_TRUE(std::regex_match(braced, std::wregex(L"\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}")))
      << braced;
  EXPECT_NE(braced, StringUtil::NewGuidText());
  const ATL::CStringW plain = StringUtil::NewGuidTextPlain();
  EXPECT_TRUE(std::regex_match(std::wstring(plain.GetString()),
                               std::wregex(L"[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}")))
      << plain.GetString();

  const std::wstring temp = StringUtil::NewTempFilePath();
  ASSERT_FALSE(temp.empty());
  EXPECT_TRUE(PathFileExistsW(temp.c_str()));
  EXPECT_EQ(std::wstring(PathFindFileNameW(temp.c_str())).substr(0, 3), L"tmp");
  const std::wstring other = StringUtil::NewTempFilePath();
  EXPECT_NE(temp, other);
  DeleteFileW(temp.c_str());
  DeleteFileW(other.c_str());
}

// On a thread that chose the multi-threaded apartment COM cannot be initialised again as a
// single-threaded one; the GUID text must not undo the thread's own initialisation then.
TEST(TextNew, GuidTextLeavesAnotherApartmentAlone) {
  HRESULT before = E_FAIL, after = E_FAIL;
  std::wstring text;
  std::thread worker([&] {
    before = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    text = StringUtil::NewGuidText();
    after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still initialised
    if (SUCCEEDED(after)) CoUninitialize();
    if (SUCCEEDED(before)) CoUninitialize();
  });
  worker.join();
  EXPECT_EQ(before, S_OK);
  EXPECT_EQ(after, S_FALSE);
  EXPECT_EQ(text.size(), 38u);
}

// GB2312 bytes reach the tables through code page 1252 as well: there every byte from 0xA1 is
// one Latin character, so the pairs can be written as such.
TEST(PinyinInitials, TablesByGb2312Bytes) {
  if (GetACP() != 1252) GTEST_SKIP() << "needs the ANSI code page 1252, not " << GetACP();
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"plain ASCII 123"), L"plain ASCII 123");
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x00B0\x00A1"), L"A");  // 0xB0A1, the first first-level character
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x00D6\x00D0\x00CE\x00C4" L"abc"), L"ZWabc");
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x00D8\x00A1\x00D8\x00A2"), L"CJ");  // second level, first entries
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x00D8\x00AD"), L"[");
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x00F6\x00FA"), L"Q");  // the last table entry
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x00F7\x00FE"), L"?");  // past the table
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x00D7\x00FA"), L"?");  // after the first level, before the second
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"x\x00D6"), L"x\x00D6");  // a lead byte at the end is kept
}

// Runs as its own test, base_tests_acp936, in a Wine process started with a Chinese locale.
TEST(PinyinInitials, UnderCodePage936) {
  if (GetACP() != 936) {
    GTEST_SKIP() << "the ANSI code page is " << GetACP() << "; this case runs as base_tests_acp936";
  }
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x4E2D\x6587" L"abc"), L"ZWabc");  // zhong wen
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x554A\x4E8D"), L"AC");          // first and second level
  EXPECT_EQ(StringUtil::GetPinyinInitials(L"\x9F44"), L"?");                 // 0xF7FE: past the table
}

TEST(TextMeasure, CompactPathAndTextSizeOnAMemoryDc) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  const HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);

  SIZE small = {}, large = {};
  EXPECT_TRUE(StringUtil::GetTextSize(dc, L"Hi", &small));
  EXPECT_TRUE(StringUtil::GetTextSize(dc, L"Hi there, a longer text", &large));
  EXPECT_GT(small.cx, 0);
  EXPECT_GT(small.cy, 0);
  EXPECT_GT(large.cx, small.cx);

  const std::wstring path = L"C:\\a rather long folder name\\another long folder\\deeper still\\file.txt";
  const std::wstring compact = StringUtil::CompactPath(dc, path, 150);
  EXPECT_LT(compact.size(), path.size());
  EXPECT_NE(compact.find(L"..."), std::wstring::npos) << compact;
  EXPECT_EQ(StringUtil::CompactPath(dc, path, 5000), path);
  EXPECT_EQ(StringUtil::CompactPath(dc, L"", 100), L"");
  // Only the first 259 characters are taken.
  EXPECT_EQ(StringUtil::CompactPath(dc, std::wstring(300, L'x'), 100000), std::wstring(259, L'x'));

  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);  // the previous font is back
  DeleteDC(dc);
}

}  // namespace
