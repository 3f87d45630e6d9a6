// Every wide format in the system assumes Microsoft's printf rules. g++ turns on MinGW's own
// printf, under which swprintf reads %s as a narrow string; the _snwprintf family keeps the
// Microsoft rules. These cases fail if a build setting or a CRT change flips that.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include <gtest/gtest.h>

TEST(WidePrintf, PercentSIsWideInWideFunctions) {
  wchar_t buf[32];
  int n = _snwprintf(buf, 32, L"[%s]", L"wide");
  ASSERT_EQ(n, 6);
  EXPECT_STREQ(buf, L"[wide]");
}

TEST(WidePrintf, OverflowReturnsMinusOneAndExactFitHasNoTerminator) {
  wchar_t buf[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_EQ(_snwprintf(buf, 4, L"%s", L"hello"), -1);
  wchar_t fit[5] = {L'x', L'x', L'x', L'x', L'x'};
  EXPECT_EQ(_snwprintf(fit, 4, L"%s", L"abcd"), 4);
  EXPECT_EQ(fit[4], L'x');  // untouched: no terminator written
}
