#include <string>

#include <gtest/gtest.h>

#include "include/cef_parser.h"

namespace {

struct ColorCase {
  const char* text;
  bool strict;
  bool ok;
  cef_color_t expected;  // when ok
};

class CssColor : public ::testing::TestWithParam<ColorCase> {};

TEST_P(CssColor, ParsesOrLeavesTheColourUnchanged) {
  const ColorCase& c = GetParam();
  const cef_color_t seed = 0x12345678;
  cef_color_t color = seed;
  EXPECT_EQ(CefParseCSSColor(c.text, c.strict, color), c.ok) << c.text;
  EXPECT_EQ(color, c.ok ? c.expected : seed) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CssColor,
    ::testing::Values(ColorCase{"#fff", true, true, 0xFFFFFFFF}, ColorCase{"#1A2b3C", true, true, 0xFF1A2B3C},
                      ColorCase{"#80FF0000", true, true, 0x80FF0000}, ColorCase{"rgb(1, 2, 3)", true, true, 0xFF010203},
                      ColorCase{"rgba(255,0,0,0.5)", true, true, 0x80FF0000},
                      ColorCase{"RGB(300,-5,50%)", true, true, 0xFFFF0080}, ColorCase{"  Red ", true, true, 0xFFFF0000},
                      ColorCase{"transparent", true, true, 0x00000000}, ColorCase{"green", true, true, 0xFF008000},
                      ColorCase{"ff0000", false, true, 0xFFFF0000}, ColorCase{"ff0000", true, false, 0},
                      ColorCase{"#12", true, false, 0}, ColorCase{"#ggg", false, false, 0},
                      ColorCase{"rgb(1,2)", true, false, 0}, ColorCase{"rgba(1,2,3)", true, false, 0},
                      ColorCase{"rgb(1,2,3", true, false, 0}, ColorCase{"", false, false, 0},
                      ColorCase{"notacolour", false, false, 0}),
    [](const ::testing::TestParamInfo<ColorCase>& info) { return "Case" + std::to_string(info.index); });

}  // namespace
