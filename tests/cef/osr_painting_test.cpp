#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/osr_painting.h"
#include "page_test_client.h"

namespace {

using page_test::PageFixture;
namespace test = cefengine::test;

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

// --- Windowless browsers ---

// Waits until the client saw `count` paints in all.
bool WaitPaints(PageFixture& f, size_t count) {
  return test::WaitFor([&]() { return f.client->Paints().size() >= count; });
}

struct ScaleCase {
  bool screen_info_result;
  float scale;
  int width;
  int height;
};

std::string ScaleCaseName(const ::testing::TestParamInfo<ScaleCase>& info) {
  return (info.param.screen_info_result ? "Scale" : "Refused") + std::to_string(info.param.width) + "x" +
         std::to_string(info.param.height);
}

class OsrScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(OsrScaleTest, PaintBufferIsTheViewTimesTheScaleWithTheMarkerInRowZero) {
  const ScaleCase& c = GetParam();
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->view_rect = CefRect(0, 0, 101, 47);
  f.client->screen_info_result = c.screen_info_result;
  f.client->device_scale_factor = c.scale;
  f.client->ClearEvents();
  f.host()->WasResized();
  ASSERT_TRUE(WaitPaints(f, 1));
  std::vector<page_test::Paint> paints = f.client->Paints();
  const page_test::Paint& paint = paints[0];
  EXPECT_EQ(paint.type, PET_VIEW);
  EXPECT_EQ(paint.width, c.width);
  EXPECT_EQ(paint.height, c.height);
  ASSERT_EQ(paint.dirty.size(), 1u);
  EXPECT_EQ(paint.dirty[0], CefRect(0, 0, c.width, c.height));
  // The marker is the first pixel of the first row; the opposite corner is plain white background.
  EXPECT_EQ(paint.pixels[0], cefengine::MarkerColorFor(0xFFFFFFFFu));
  EXPECT_EQ(paint.pixels.back(), 0xFFFFFFFFu);
  EXPECT_EQ(paint.pixels[static_cast<size_t>(c.width) * static_cast<size_t>(c.height - 1)], 0xFFFFFFFFu);

  // The handler was asked for the view and the screen before the paint, the screen pre-filled.
  std::vector<std::string> events = f.client->Events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0], "GetViewRect");
  EXPECT_EQ(events[1], "GetScreenInfo 1.000000 32 8 101x47");
  EXPECT_EQ(events[2], "OnPaint view " + std::to_string(c.width) + "x" + std::to_string(c.height));

  test::PaintInfo last = test::LastPaint(f.browser);
  ASSERT_TRUE(last.painted);
  EXPECT_EQ(last.width, c.width);
  EXPECT_EQ(last.pixels, paint.pixels);
  EXPECT_EQ(f.client->wrong_thread_calls(), 0);
}

INSTANTIATE_TEST_SUITE_P(Scales, OsrScaleTest,
                         ::testing::Values(ScaleCase{false, 3.0f, 101, 47},  // refused: the pre-filled scale 1 holds
                                           ScaleCase{true, 1.0f, 101, 47}, ScaleCase{true, 1.25f, 127, 59},
                                           ScaleCase{true, 2.0f, 202, 94}),
                         ScaleCaseName);

TEST(OsrPainting, NoPaintWhenTheViewRectIsRefusedOrEmpty) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->view_rect_result = false;
  f.host()->WasResized();
  ASSERT_TRUE(test::Flush(TID_UI));
  f.client->view_rect_result = true;
  f.client->view_rect = CefRect(0, 0, 0, 30);
  f.host()->Invalidate(PET_VIEW);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(f.client->Count("GetViewRect"), 2);
  EXPECT_EQ(f.client->Count("GetScreenInfo"), 0);
  EXPECT_EQ(f.client->Count("OnPaint"), 0);
  EXPECT_FALSE(test::LastPaint(f.browser).painted);
}

TEST(OsrPainting, HiddenViewsAreNotPaintedUntilShownAgain) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.host()->WasHidden(true);
  f.host()->WasResized();
  f.host()->Invalidate(PET_VIEW);
  f.host()->NotifyScreenInfoChanged();
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(f.client->Count("OnPaint"), 0);
  EXPECT_EQ(f.client->Count("GetViewRect"), 0);
  EXPECT_TRUE(test::BrowserInfo(f.browser).hidden);

  f.host()->WasHidden(false);
  ASSERT_TRUE(WaitPaints(f, 1));
  f.host()->NotifyScreenInfoChanged();
  f.host()->Invalidate(PET_VIEW);
  ASSERT_TRUE(WaitPaints(f, 3));
  EXPECT_EQ(test::LastPaint(f.browser).paint_count, 3);
}

TEST(OsrPainting, BackgroundFollowsTheSettingOrTransparency) {
  {
    PageFixture f(true, false, 0xFF336699u);
    ASSERT_TRUE(f.ok());
    f.host()->WasResized();
    ASSERT_TRUE(WaitPaints(f, 1));
    EXPECT_EQ(f.client->Paints()[0].pixels.back(), 0xFF336699u);
  }
  {
    PageFixture f(true, true, 0xFF336699u);
    ASSERT_TRUE(f.ok());
    f.host()->WasResized();
    ASSERT_TRUE(WaitPaints(f, 1));
    std::vector<uint32_t> pixels = f.client->Paints()[0].pixels;
    EXPECT_EQ(pixels[0] >> 24, 0xFFu);  // the marker stays visible
    for (size_t i = 1; i < pixels.size(); ++i)
      ASSERT_EQ(pixels[i], 0u) << "pixel " << i;
  }
}

TEST(OsrPainting, TitleChangeRepaintsWithTheTitleDrawnAtTheTop) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->view_rect = CefRect(0, 0, 200, 100);
  ASSERT_TRUE(test::PageSetTitle(f.browser, L"Hello MMM"));
  ASSERT_TRUE(WaitPaints(f, 1));
  std::vector<uint32_t> pixels = f.client->Paints().back().pixels;
  int text_rows_top = 0, text_rows_bottom = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 1; x < 200; ++x)
      if (pixels[static_cast<size_t>(y) * 200 + static_cast<size_t>(x)] == 0xFF000000u)
        (y < 50 ? text_rows_top : text_rows_bottom)++;
  EXPECT_GT(text_rows_top, 20);
  EXPECT_EQ(text_rows_bottom, 0);
}

TEST(OsrPainting, PaintPatternReachesTheClientRowByRow) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->view_rect = CefRect(0, 0, 7, 5);
  test::SetPaintPattern([](int x, int y, int width, int height) {
    return 0xFF000000u | static_cast<uint32_t>(y << 8) | static_cast<uint32_t>(x);
  });
  f.host()->Invalidate(PET_VIEW);
  bool painted = WaitPaints(f, 1);
  test::SetPaintPattern(nullptr);
  ASSERT_TRUE(painted);
  std::vector<uint32_t> pixels = f.client->Paints()[0].pixels;
  ASSERT_EQ(pixels.size(), 35u);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(pixels[static_cast<size_t>(y * 7 + x)], 0xFF000000u | static_cast<uint32_t>(y << 8 | x));
}

TEST(OsrPainting, PopupWidgetShowsSizesPaintsAndHides) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->screen_info_result = true;
  f.client->device_scale_factor = 2.0f;
  ASSERT_TRUE(test::PageShowPopupWidget(f.browser, CefRect(10, 12, 30, 20)));
  std::vector<std::string> events = f.client->Events();
  std::vector<std::string> popup_events;
  for (const std::string& e : events)
    if (e.compare(0, 7, "OnPopup") == 0 || e.compare(0, 7, "OnPaint") == 0)
      popup_events.push_back(e);
  EXPECT_EQ(popup_events, (std::vector<std::string>{"OnPopupShow true", "OnPopupSize 10,12,30x20",
                                                     "OnPaint popup 60x40"}));
  test::PaintInfo popup = test::LastPaint(f.browser, PET_POPUP);
  ASSERT_TRUE(popup.painted);
  EXPECT_EQ(popup.type, PET_POPUP);

  f.host()->Invalidate(PET_POPUP);
  ASSERT_TRUE(f.client->WaitEvent("OnPaint popup", 2));
  EXPECT_EQ(f.client->Count("OnPaint view"), 0);

  ASSERT_TRUE(test::PageHidePopupWidget(f.browser));
  EXPECT_EQ(f.client->Count("OnPopupShow false"), 1);
  EXPECT_EQ(f.client->Count("OnPaint view"), 1);  // what the popup covered
  // Hidden popups are not painted again; a second hide does nothing.
  f.host()->Invalidate(PET_POPUP);
  ASSERT_TRUE(test::PageHidePopupWidget(f.browser));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(f.client->Count("OnPaint popup"), 2);
  EXPECT_EQ(f.client->Count("OnPopupShow false"), 1);
}

TEST(OsrPainting, WindowedBrowsersNeverReachTheRenderHandler) {
  PageFixture f(false);
  ASSERT_TRUE(f.ok());
  f.host()->WasResized();
  f.host()->Invalidate(PET_VIEW);
  ASSERT_TRUE(test::PageShowPopupWidget(f.browser, CefRect(0, 0, 10, 10)));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(f.client->Count("GetViewRect"), 0);
  EXPECT_EQ(f.client->Count("OnPopupShow"), 0);
  EXPECT_EQ(f.client->Count("OnPaint"), 0);
}

TEST(OsrPainting, CommitPaintsTheDocumentBackgroundOverSettingsAndTransparency) {
  struct Case {
    bool transparent;
    bool has_background;
    cef_color_t background;
    uint32_t expected;  // premultiplied
  } cases[] = {
      {false, true, 0x80FF0000u, 0x80800000u},
      {true, true, 0xFF00FF00u, 0xFF00FF00u},
      {true, false, 0, 0u},
      {false, false, 0, 0xFF123456u},  // the browser setting
  };
  for (const Case& c : cases) {
    PageFixture f(true, c.transparent, 0xFF123456u);
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.SetDocument(L"", c.has_background, c.background));
    cefengine::ScannedDocument document;
    document.is_html = true;
    ASSERT_TRUE(f.CommitMain(document));
    std::vector<page_test::Paint> paints = f.client->Paints();
    ASSERT_EQ(paints.size(), 1u) << "a commit paints at once";
    EXPECT_EQ(paints[0].pixels.back(), c.expected) << std::hex << c.background;
  }
}

TEST(OsrPainting, CommitWhileHiddenDoesNotPaint) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.host()->WasHidden(true);
  ASSERT_TRUE(test::Flush(TID_UI));
  ASSERT_TRUE(f.CommitMain(cefengine::ScannedDocument()));
  EXPECT_EQ(f.client->Count("OnPaint"), 0);
  f.host()->WasHidden(false);
  ASSERT_TRUE(f.client->WaitEvent("OnPaint view"));
}

}  // namespace

// --- Pages loaded from the network table ---

#include "testing/network_testing.h"

namespace {

using page_test::PageFixture;
namespace test = cefengine::test;

TEST(OsrPainting, LoadedDocumentPaintsItsOwnBackgroundAndTitle) {
  PageFixture f(true, true);  // a transparent view: the document's colour still wins
  ASSERT_TRUE(f.ok());
  f.client->view_rect = CefRect(0, 0, 160, 60);
  test::SetHttpResponse(L"http://paint.test/", 200, L"text/html",
                        "<html><head><title>Painted MMM</title>"
                        "<meta name=\"cefengine-background\" content=\"#FF00A000\"></head></html>");
  f.browser->GetMainFrame()->LoadURL("http://paint.test/");
  ASSERT_TRUE(f.client->WaitEvent("OnLoadEnd http://paint.test/"));
  test::PaintInfo last = test::LastPaint(f.browser);
  ASSERT_TRUE(last.painted);
  ASSERT_EQ(last.pixels.size(), 160u * 60u);
  EXPECT_EQ(last.pixels.back(), 0xFF00A000u);
  size_t text = 0;
  for (uint32_t p : last.pixels)
    if (p == 0xFFFFFFFFu)  // white on a dark background
      ++text;
  EXPECT_GT(text, 20u);
  EXPECT_TRUE(test::ExpectOrder({"OnTitleChange", "OnPaint"}) || test::ExpectOrder({"OnLoadStart", "OnPaint"}));
}

TEST(OsrPainting, ALoadWhileHiddenPaintsOnlyOnceShown) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.host()->WasHidden(true);
  test::SetHttpResponse(L"http://hidden.test/", 200, L"text/html", "<html><head><title>h</title></head></html>");
  f.browser->GetMainFrame()->LoadURL("http://hidden.test/");
  ASSERT_TRUE(f.client->WaitEvent("OnLoadEnd http://hidden.test/"));
  EXPECT_EQ(f.client->Count("OnPaint"), 0);
  f.host()->WasHidden(false);
  ASSERT_TRUE(f.client->WaitEvent("OnPaint view"));
}

}  // namespace
