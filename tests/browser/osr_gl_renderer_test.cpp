// The OpenGL renderer of off-screen views on a hidden window with a wgl context (Mesa's software
// renderer behind Wine): frames fed straight in, the drawn pixels read back.
#include "browser/osr_gl_renderer.h"

#include <windows.h>

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/wgl_test_window.h"

namespace {

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

// The back buffer as RGB words (0x00RRGGBB), rows from the top of the window.
std::vector<uint32_t> ReadBack(int width, int height) {
  glFinish();
  std::vector<uint32_t> bottom_up(static_cast<size_t>(width) * height);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, bottom_up.data());
  std::vector<uint32_t> top_down(bottom_up.size());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      top_down[static_cast<size_t>(y) * width + x] = bottom_up[static_cast<size_t>(height - 1 - y) * width + x] & 0xFFFFFFu;
  return top_down;
}

// An opaque frame whose pixels tell their place (red x * 8, green y * 8) on a blue base.
std::vector<uint32_t> PlaceFrame(int width, int height, uint32_t blue = 0x40) {
  std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      frame[static_cast<size_t>(y) * width + x] = 0xFF000000u | ((x * 8u) << 16) | ((y * 8u) << 8) | blue;
  return frame;
}

uint32_t Rgb(uint32_t bgra) { return bgra & 0xFFFFFFu; }

class OsrGlRendererTest : public ::testing::Test {
 protected:
  static const int kWidth = 16;
  static const int kHeight = 12;
  OsrGlRendererTest() : surface_(kWidth, kHeight) {}
  void SetUp() override { ASSERT_TRUE(surface_.ok()) << surface_.error(); }

  void PaintView(client::OsrGlRenderer& renderer, const std::vector<uint32_t>& frame, const std::vector<CefRect>& dirty,
                 int width = kWidth, int height = kHeight) {
    renderer.OnPaint(nullptr, PET_VIEW, dirty, frame.data(), width, height);
  }
  std::vector<uint32_t> Draw(client::OsrGlRenderer& renderer) {
    renderer.Render();
    return ReadBack(kWidth, kHeight);
  }

  WglTestWindow surface_;
};

TEST_F(OsrGlRendererTest, ANewSizeIsUploadedWholeAndLaterOnlyTheDirtyRectanglesChange) {
  client::OsrGlRenderer renderer{client::OsrRendererSettings()};
  // Before the first frame nothing is drawn at all.
  glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(Draw(renderer), std::vector<uint32_t>(kWidth * kHeight, 0x00FF00u));

  // A small dirty rectangle on a frame of a new size: the whole frame counts.
  const std::vector<uint32_t> first = PlaceFrame(kWidth, kHeight);
  PaintView(renderer, first, {CefRect(0, 0, 2, 2)});
  std::vector<uint32_t> expected(first.size());
  for (size_t i = 0; i < first.size(); ++i) expected[i] = Rgb(first[i]);
  EXPECT_EQ(Draw(renderer), expected);

  // Same size: only the dirty rectangle of the new frame is taken.
  const std::vector<uint32_t> second = PlaceFrame(kWidth, kHeight, 0xC0);
  PaintView(renderer, second, {CefRect(3, 2, 4, 5)});
  for (int y = 2; y < 7; ++y)
    for (int x = 3; x < 7; ++x) expected[static_cast<size_t>(y) * kWidth + x] = Rgb(second[static_cast<size_t>(y) * kWidth + x]);
  EXPECT_EQ(Draw(renderer), expected);

  // One dirty rectangle covering the frame uploads it whole again.
  PaintView(renderer, second, {CefRect(0, 0, kWidth, kHeight)});
  for (size_t i = 0; i < second.size(); ++i) expected[i] = Rgb(second[i]);
  EXPECT_EQ(Draw(renderer), expected);

  // Turned half a turn about the x axis, the frame stands upside down.
  renderer.SetRotation(180.0f, 0.0f);
  const std::vector<uint32_t> turned = Draw(renderer);
  EXPECT_EQ(turned[0], Rgb(second[static_cast<size_t>(kHeight - 1) * kWidth]));
  EXPECT_EQ(turned[static_cast<size_t>(kHeight - 1) * kWidth + 5], Rgb(second[5]));
  renderer.AddRotation(30.0f, -2.0f);
  EXPECT_EQ(renderer.rotation_x(), 150.0f);
  EXPECT_EQ(renderer.rotation_y(), 2.0f);
  renderer.Cleanup();
}

TEST_F(OsrGlRendererTest, ATransparentViewShowsTheGradientThroughItsClearPixels) {
  client::OsrRendererSettings settings;
  settings.transparent = true;
  settings.background_color = 0xFF00FF00u;
  client::OsrGlRenderer renderer(settings);
  std::vector<uint32_t> frame(kWidth * kHeight, 0u);  // fully transparent
  frame[0] = 0xFFFFFFFFu;                             // but the top-left corner
  PaintView(renderer, frame, {CefRect(0, 0, kWidth, kHeight)});
  const std::vector<uint32_t> drawn = Draw(renderer);
  EXPECT_EQ(drawn[0], 0xFFFFFFu);
  // Red along the bottom, blue along the top, blended in between.
  const uint32_t bottom = drawn[static_cast<size_t>(kHeight - 1) * kWidth + kWidth / 2];
  const uint32_t top = drawn[kWidth / 2];
  EXPECT_GT((bottom >> 16) & 0xFF, 0xE0u) << std::hex << bottom;
  EXPECT_LT(bottom & 0xFF, 0x20u) << std::hex << bottom;
  EXPECT_GT(top & 0xFF, 0xE0u) << std::hex << top;
  EXPECT_LT((top >> 16) & 0xFF, 0x20u) << std::hex << top;
  renderer.Cleanup();
}

TEST_F(OsrGlRendererTest, PopUpsAreFittedIntoTheViewAndClippedToIt) {
  client::OsrGlRenderer renderer{client::OsrRendererSettings()};
  const std::vector<uint32_t> view = PlaceFrame(kWidth, kHeight);
  PaintView(renderer, view, {CefRect(0, 0, kWidth, kHeight)});

  struct Case {
    CefRect in;
    CefRect fitted;
  };
  const Case cases[] = {
      {CefRect(-10, 2, 4, 3), CefRect(0, 2, 4, 3)},   {CefRect(14, 2, 4, 3), CefRect(12, 2, 4, 3)},
      {CefRect(3, 2, 20, 3), CefRect(0, 2, 20, 3)},   {CefRect(2, -4, 4, 3), CefRect(2, 0, 4, 3)},
      {CefRect(2, 11, 4, 3), CefRect(2, 9, 4, 3)},    {CefRect(2, 5, 4, 30), CefRect(2, 0, 4, 30)},
      {CefRect(3, 4, 5, 6), CefRect(3, 4, 5, 6)},
  };
  for (const Case& c : cases) EXPECT_EQ(renderer.FitPopupRectInView(c.in), c.fitted) << c.in.x << "," << c.in.y;

  // A paint before the pop-up has a place uploads nothing.
  const std::vector<uint32_t> popup(20 * 3, 0xFF0000FFu);
  renderer.OnPaint(nullptr, PET_POPUP, {CefRect(0, 0, 20, 3)}, popup.data(), 20, 3);
  std::vector<uint32_t> expected(view.size());
  for (size_t i = 0; i < view.size(); ++i) expected[i] = Rgb(view[i]);
  EXPECT_EQ(Draw(renderer), expected);

  // Wider than the view: drawn from x 0, cut at the right edge (rows of the buffer stay whole).
  renderer.OnPopupShow(nullptr, true);
  renderer.OnPopupSize(nullptr, CefRect(3, 2, 20, 3));
  EXPECT_EQ(renderer.popup_rect(), CefRect(0, 2, 20, 3));
  EXPECT_EQ(renderer.original_popup_rect(), CefRect(3, 2, 20, 3));
  std::vector<uint32_t> rows(20 * 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 20; ++x) rows[static_cast<size_t>(y) * 20 + x] = 0xFF000000u | (static_cast<uint32_t>(y + 1) << 4) | static_cast<uint32_t>(x);
  renderer.OnPaint(nullptr, PET_POPUP, {CefRect(0, 0, 20, 3)}, rows.data(), 20, 3);
  for (int y = 2; y < 5; ++y)
    for (int x = 0; x < kWidth; ++x) expected[static_cast<size_t>(y) * kWidth + x] = Rgb(rows[static_cast<size_t>(y - 2) * 20 + x]);
  EXPECT_EQ(Draw(renderer), expected);

  // Taller than the view: cut at the bottom edge.
  renderer.OnPopupSize(nullptr, CefRect(14, 9, 2, 30));
  std::vector<uint32_t> tall(2 * 30, 0xFF00FF00u);
  renderer.OnPaint(nullptr, PET_POPUP, {CefRect(0, 0, 2, 30)}, tall.data(), 2, 30);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 14; x < 16; ++x) expected[static_cast<size_t>(y) * kWidth + x] = 0x00FF00u;
  EXPECT_EQ(Draw(renderer), expected);

  // A size of nothing changes nothing; hiding forgets both rectangles.
  renderer.OnPopupSize(nullptr, CefRect(1, 1, 0, 5));
  EXPECT_EQ(renderer.popup_rect(), CefRect(14, 0, 2, 30));
  renderer.OnPopupShow(nullptr, false);
  EXPECT_TRUE(renderer.popup_rect().IsEmpty());
  EXPECT_EQ(renderer.original_popup_rect(), CefRect(0, 0, 0, 0));
  renderer.Cleanup();
}

TEST_F(OsrGlRendererTest, TheUpdateRectangleIsOutlinedInRedWhenAsked) {
  client::OsrRendererSettings settings;
  settings.show_update_rect = true;
  client::OsrGlRenderer renderer(settings);
  const std::vector<uint32_t> green(kWidth * kHeight, 0xFF00FF00u);
  PaintView(renderer, green, {CefRect(0, 0, kWidth, kHeight)});
  PaintView(renderer, green, {CefRect(3, 2, 6, 5), CefRect(0, 0, 1, 1)});
  EXPECT_EQ(renderer.update_rect(), CefRect(3, 2, 6, 5));
  // A frame without dirty rectangles keeps the last one.
  PaintView(renderer, green, {});
  EXPECT_EQ(renderer.update_rect(), CefRect(3, 2, 6, 5));

  const std::vector<uint32_t> drawn = Draw(renderer);
  auto at = [&](int x, int y) { return drawn[static_cast<size_t>(y) * kWidth + x]; };
  // The outline runs along the rectangle's edges (within a pixel, as lines are rasterised).
  int red_near_top = 0;
  for (int x = 4; x <= 8; ++x)
    for (int y = 1; y <= 3; ++y) red_near_top += at(x, y) == 0xFF0000u;
  EXPECT_GE(red_near_top, 4);
  EXPECT_EQ(at(6, 4), 0x00FF00u);  // inside
  EXPECT_EQ(at(13, 10), 0x00FF00u);  // far away
  int red = 0;
  for (uint32_t pixel : drawn) red += pixel == 0xFF0000u;

  client::OsrGlRenderer plain{client::OsrRendererSettings()};
  PaintView(plain, green, {CefRect(3, 2, 6, 5)});
  const std::vector<uint32_t> unmarked = Draw(plain);
  EXPECT_GT(red, 10);
  EXPECT_EQ(unmarked, std::vector<uint32_t>(kWidth * kHeight, 0x00FF00u));
  renderer.Cleanup();
  plain.Cleanup();
}

}  // namespace
