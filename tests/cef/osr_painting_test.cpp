#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/osr_painting.h"

namespace {

using cefengine::GeneratePaint;
using cefengine::PaintRequest;

uint32_t Alpha(uint32_t pixel) {
  return pixel >> 24;
}

bool IsPremultiplied(uint32_t pixel) {
  uint32_t a = Alpha(pixel);
  return ((pixel >> 16) & 0xFF) <= a && ((pixel >> 8) & 0xFF) <= a && (pixel & 0xFF) <= a;
}

struct ExtentCase {
  int dip;
  float scale;
  int pixels;
};

class ScaledExtentTest : public ::testing::TestWithParam<ExtentCase> {};

TEST_P(ScaledExtentTest, IsTheCeilingOfViewTimesScale) {
  const ExtentCase& c = GetParam();
  EXPECT_EQ(cefengine::ScaledExtent(c.dip, c.scale), c.pixels) << c.dip << " x " << c.scale;
}

INSTANTIATE_TEST_SUITE_P(Table, ScaledExtentTest,
                         ::testing::Values(ExtentCase{100, 1.0f, 100}, ExtentCase{100, 1.5f, 150},
                                           ExtentCase{101, 1.5f, 152}, ExtentCase{100, 1.25f, 125},
                                           ExtentCase{333, 1.25f, 417},
                                           // 1.1f is slightly above 1.1: float noise must not add a pixel.
                                           ExtentCase{100, 1.1f, 110}, ExtentCase{1, 0.5f, 1},
                                           ExtentCase{3, 0.5f, 2}, ExtentCase{0, 2.0f, 0},
                                           ExtentCase{-5, 1.0f, 0}, ExtentCase{10, 0.0f, 0},
                                           ExtentCase{10, -1.0f, 0}),
                         [](const ::testing::TestParamInfo<ExtentCase>& info) {
                           return "Case" + std::to_string(info.index) + "_" + std::to_string(info.param.pixels);
                         });

TEST(OsrPaintGenerator, BackgroundChoiceFollowsDocumentThenTransparencyThenSettings) {
  const cef_color_t doc = 0x80102030u, browser = 0xFF00FF00u, global = 0xFF0000FFu, white = 0xFFFFFFFFu;
  struct Case {
    bool has_doc;
    bool transparent;
    cef_color_t browser_setting;
    cef_color_t global_setting;
    cef_color_t expected;
  } cases[] = {
      {true, true, browser, global, doc},   // the document wins even over transparency
      {false, true, browser, global, 0u},   // transparent view: nothing
      {false, false, browser, global, browser},
      {false, false, 0u, global, global},
      {false, false, 0u, 0u, white},
  };
  for (const Case& c : cases)
    EXPECT_EQ(cefengine::ChooseBackground(c.has_doc, doc, c.transparent, c.browser_setting, c.global_setting),
              c.expected);
}

TEST(OsrPaintGenerator, PremultipliesEachChannelByAlpha) {
  EXPECT_EQ(cefengine::Premultiply(0xFF123456u), 0xFF123456u);
  EXPECT_EQ(cefengine::Premultiply(0x80FF4020u), 0x80802010u);
  EXPECT_EQ(cefengine::Premultiply(0x00FFFFFFu), 0x00000000u);
}

TEST(OsrPaintGenerator, FillsTheBackgroundAndMarksOnlyTheTopLeftPixel) {
  PaintRequest request;
  request.width = 40;
  request.height = 30;
  request.background = 0xFF204060u;
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(GeneratePaint(request, &pixels));
  ASSERT_EQ(pixels.size(), 40u * 30u);
  const uint32_t marker = pixels[0];
  EXPECT_NE(marker, 0xFF204060u);
  EXPECT_EQ(Alpha(marker), 0xFFu);
  // Every other corner is background: a buffer read bottom-up or mirrored would move the marker.
  EXPECT_EQ(pixels[39], 0xFF204060u);
  EXPECT_EQ(pixels[29 * 40], 0xFF204060u);
  EXPECT_EQ(pixels[29 * 40 + 39], 0xFF204060u);
  for (size_t i = 1; i < pixels.size(); ++i)
    ASSERT_EQ(pixels[i], 0xFF204060u) << "pixel " << i;
}

TEST(OsrPaintGenerator, MarkerStaysDistinctOnAMagentaBackground) {
  PaintRequest request;
  request.width = 4;
  request.height = 4;
  request.background = 0xFFFF00FFu;
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(GeneratePaint(request, &pixels));
  EXPECT_NE(pixels[0], 0xFFFF00FFu);
}

TEST(OsrPaintGenerator, TitleTextIsOpaqueInTheTopRowsAndTheRestStaysTransparent) {
  PaintRequest request;
  request.width = 200;
  request.height = 80;
  request.background = 0;  // transparent view
  request.title = L"Brivelo MMM";
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(GeneratePaint(request, &pixels));
  size_t text_pixels = 0;
  int lowest_text_row = -1;
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (x == 0 && y == 0)
        continue;
      uint32_t p = pixels[static_cast<size_t>(y) * 200 + static_cast<size_t>(x)];
      if (p == 0)
        continue;
      EXPECT_EQ(p, 0xFF000000u) << "text on a transparent view is opaque black, at " << x << "," << y;
      ++text_pixels;
      lowest_text_row = y;
    }
  }
  EXPECT_GT(text_pixels, 20u);
  // The title sits at the top: a buffer whose rows come bottom-up would show it at the bottom.
  EXPECT_LT(lowest_text_row, 40);
}

TEST(OsrPaintGenerator, SemiTransparentBackgroundWithTitleIsPremultipliedEverywhere) {
  PaintRequest request;
  request.width = 120;
  request.height = 40;
  request.scale = 2.0f;
  request.background = 0x40FFFFFFu;
  request.title = L"Title";
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(GeneratePaint(request, &pixels));
  size_t opaque = 0;
  for (uint32_t p : pixels) {
    ASSERT_TRUE(IsPremultiplied(p)) << std::hex << p;
    if (Alpha(p) == 0xFF)
      ++opaque;
  }
  EXPECT_GT(opaque, 1u);  // the marker and the text
}

TEST(OsrPaintGenerator, RefusesEmptyAndOversizedViews) {
  std::vector<uint32_t> pixels(3, 7u);
  PaintRequest request;
  request.width = 0;
  request.height = 10;
  EXPECT_FALSE(GeneratePaint(request, &pixels));
  request.width = cefengine::kMaxPaintExtent + 1;
  EXPECT_FALSE(GeneratePaint(request, &pixels));
  EXPECT_EQ(pixels.size(), 3u);
}

TEST(OsrPaintGenerator, PatternReplacesTheGeneratedContentUntilCleared) {
  cefengine::SetPaintPattern([](int x, int y, int width, int height) {
    return 0xFF000000u | static_cast<uint32_t>(y * width + x);
  });
  PaintRequest request;
  request.width = 5;
  request.height = 3;
  request.background = 0xFFFFFFFFu;
  std::vector<uint32_t> pixels;
  bool ok = GeneratePaint(request, &pixels);
  cefengine::SetPaintPattern(nullptr);
  ASSERT_TRUE(ok);
  for (size_t i = 0; i < pixels.size(); ++i)
    EXPECT_EQ(pixels[i], 0xFF000000u | i);
  ASSERT_TRUE(GeneratePaint(request, &pixels));
  EXPECT_EQ(pixels[14], 0xFFFFFFFFu);
}

}  // namespace
