#include "browser/cookie_text.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> out{L"kept"};
  SplitByChar(text, separator, 0, &out);
  out.erase(out.begin());
  return out;
}

TEST(CookieText, SplitKeepsEveryPieceEmptyOnesIncluded) {
  EXPECT_EQ(Split(L"a;;b", L';'), (std::vector<std::wstring>{L"a", L"", L"b"}));
  EXPECT_EQ(Split(L"a;", L';'), (std::vector<std::wstring>{L"a", L""}));
  EXPECT_EQ(Split(L";a", L';'), (std::vector<std::wstring>{L"", L"a"}));
  EXPECT_EQ(Split(L"", L';'), (std::vector<std::wstring>{L""}));
  EXPECT_EQ(Split(L"a=b=c", L'='), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  // Appends to what the vector held.
  std::vector<std::wstring> out{L"x"};
  SplitByChar(L"y", L';', 0, &out);
  EXPECT_EQ(out, (std::vector<std::wstring>{L"x", L"y"}));
}

TEST(CookieText, TrimContainsLower) {
  EXPECT_EQ(TrimWhitespace(L" \t b = 2 \r\n"), L"b = 2");
  EXPECT_EQ(TrimWhitespace(L"   "), L"");
  EXPECT_EQ(TrimWhitespace(L"\u3000x\u3000"), L"x");  // ideographic space is white space too
  EXPECT_TRUE(ContainsChar(L"a=b", L'='));
  EXPECT_FALSE(ContainsChar(L"ab", L'='));
  EXPECT_EQ(ToLowerCopy(L"AbC-\u00C4Z"), L"abc-\u00C4z");
}

}  // namespace
