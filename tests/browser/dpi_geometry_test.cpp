#include "browser/dpi_geometry.h"

#include <climits>

#include <gtest/gtest.h>

namespace {

using client::DeviceToLogical;
using client::LogicalToDevice;
using client::RectContains;

struct ScaleCase {
  int value;
  float factor;
  int to_device;
  int to_logical;
};

void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.value << " at " << c.factor; }

class DpiScaling : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(DpiScaling, RoundsUp) {
  const ScaleCase& c = GetParam();
  EXPECT_EQ(LogicalToDevice(c.value, c.factor), c.to_device);
  EXPECT_EQ(DeviceToLogical(c.value, c.factor), c.to_logical);
}

INSTANTIATE_TEST_SUITE_P(Values, DpiScaling,
                         ::testing::Values(ScaleCase{3, 1.25f, 4, 3}, ScaleCase{-3, 1.25f, -3, -2},
                                           ScaleCase{100, 1.5f, 150, 67}, ScaleCase{7, 1.75f, 13, 4},
                                           ScaleCase{5, 1.5f, 8, 4}, ScaleCase{150, 1.5f, 225, 100},
                                           ScaleCase{8, 1.25f, 10, 7}, ScaleCase{16777215, 1.0f, 16777215, 16777215},
                                           ScaleCase{-16777215, 1.0f, -16777215, -16777215},
                                           ScaleCase{0, 2.0f, 0, 0},
                                           // Factors that single precision cannot hold exactly (130, 200
                                           // and 250 dpi): extended-precision arithmetic rounds these up
                                           // one too far.
                                           ScaleCase{65, 130 / 96.0f, 89, 48}, ScaleCase{25, 200 / 96.0f, 53, 12},
                                           ScaleCase{48, 250 / 96.0f, 125, 19}));

TEST(DpiScaling, RectangleConvertsEachFieldAndEventOnlyItsPoint) {
  const CefRect device = LogicalToDevice(CefRect(1, -3, 1, 7), 1.5f);
  EXPECT_EQ(device, CefRect(2, -4, 2, 11));
  CefMouseEvent event;
  event.x = 150;
  event.y = 7;
  event.modifiers = 0x12;
  DeviceToLogical(event, 1.5f);
  EXPECT_EQ(event.x, 100);
  EXPECT_EQ(event.y, 5);
  EXPECT_EQ(event.modifiers, 0x12u);
}

TEST(RectContains, LeftAndTopEdgesInsideRightAndBottomOutside) {
  struct Case {
    CefRect rect;
    int x, y;
    bool inside;
  };
  const Case cases[] = {
      {CefRect(10, 20, 5, 4), 10, 20, true},   {CefRect(10, 20, 5, 4), 14, 23, true},
      {CefRect(10, 20, 5, 4), 15, 20, false},  {CefRect(10, 20, 5, 4), 10, 24, false},
      {CefRect(10, 20, 5, 4), 9, 21, false},   {CefRect(10, 20, 5, 4), 11, 19, false},
      {CefRect(-5, -5, 3, 3), -3, -5, true},   {CefRect(-5, -5, 3, 3), -2, -5, false},
      // No popup shown: an empty or inverted rectangle holds nothing, its origin included.
      {CefRect(), 0, 0, false},                {CefRect(4, 4, 0, 9), 4, 5, false},
      {CefRect(4, 4, -3, 2), 3, 4, false},     {CefRect(4, 4, -3, 2), 4, 4, false},
      // Sums and differences beyond the int range.
      {CefRect(INT_MAX - 1, 0, 10, 1), INT_MAX, 0, true},
      {CefRect(INT_MIN, 0, 10, 1), INT_MAX, 0, false},
      {CefRect(0, 0, INT_MAX, INT_MAX), INT_MIN, 1, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RectContains(c.rect, c.x, c.y), c.inside)
        << c.rect.x << "," << c.rect.y << " " << c.rect.width << "x" << c.rect.height << " at " << c.x << "," << c.y;
}

}  // namespace
