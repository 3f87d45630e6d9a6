#include <set>
#include <string>

#include <gtest/gtest.h>

#include "include/cef_base.h"

namespace {

TEST(CefStringTest, ConvertsBetweenUtf8AndUtf16IncludingSurrogatePairs) {
  // U+00E9, U+4E2D and U+1F600 (a surrogate pair in UTF-16).
  const std::string utf8 = "e\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
  CefString s(utf8);
  EXPECT_EQ(s.length(), 5u);
  EXPECT_EQ(s.ToWString(), std::wstring(L"e\u00E9\u4E2D\xD83D\xDE00"));
  EXPECT_EQ(s.ToString(), utf8);
  std::string narrow = s;
  std::wstring wide = s;
  EXPECT_EQ(narrow, utf8);
  EXPECT_EQ(wide.size(), 5u);

  // Broken input becomes U+FFFD instead of being dropped or read past.
  EXPECT_EQ(CefString(std::string("a\xC3")).ToWString(), L"a\uFFFD");
  EXPECT_EQ(CefString(std::wstring(L"\xD800x")).ToString(), "\xEF\xBF\xBDx");
}

TEST(CefStringTest, AttachedFormWritesIntoTheStructureWhichOwnsTheCopy) {
  CefSettings settings;
  {
    CefString(&settings.cache_path) = L"C:\\cache";
    std::wstring temp = L"debug.log";
    CefString(&settings.log_file) = temp;
    temp.clear();  // the structure keeps its own copy
  }
  EXPECT_EQ(CefString(&settings.cache_path).ToWString(), L"C:\\cache");
  EXPECT_EQ(CefString(&settings.log_file).ToString(), "debug.log");

  CefSettings copy = settings;  // deep copy
  CefString(&settings.cache_path) = "other";
  EXPECT_EQ(CefString(&copy.cache_path).ToString(), "C:\\cache");
  EXPECT_NE(copy.cache_path.str, settings.cache_path.str);
}

TEST(CefStringTest, OrdersByCodeUnitsAndComparesByValue) {
  std::set<CefString> set = {"b", "a", L"B", "ab", ""};
  std::string order;
  for (const auto& s : set)
    order += "[" + s.ToString() + "]";
  EXPECT_EQ(order, "[][B][a][ab][b]");
  EXPECT_TRUE(CefString("x") == L"x");
  EXPECT_TRUE(CefString() == "");
  EXPECT_TRUE(CefString("x") != "y");
  EXPECT_TRUE(CefString().empty());
  EXPECT_STREQ(CefString().c_str(), L"");
}

TEST(CefTimeTest, ConversionsUse64BitSeconds) {
  // 2099-11-30 16:00:00 UTC, past the 32-bit limit.
  CefTime t;
  t.SetTimeT(static_cast<time_t>(4099737600LL));
  EXPECT_EQ(t.year, 2099);
  EXPECT_EQ(t.month, 11);
  EXPECT_EQ(t.day_of_month, 30);
  EXPECT_EQ(t.hour, 16);
  EXPECT_EQ(t.day_of_week, 1);  // a Monday
  EXPECT_EQ(static_cast<long long>(t.GetTimeT()), 4099737600LL);

  cef_time_t bad = {};
  time_t out = 7;
  EXPECT_EQ(cef_time_to_timet(&bad, &out), 0);
  EXPECT_EQ(static_cast<long long>(out), 7);
}

}  // namespace
