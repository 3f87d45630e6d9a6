#include "browser/dpi_geometry.h"

#include <cfloat>
#include <cmath>

// The rounding contract needs each product and quotient rounded to float as computed; x87
// arithmetic (the 32-bit default without -mfpmath=sse) keeps more bits and rounds up too far.
static_assert(FLT_EVAL_METHOD == 0, "build with -msse2 -mfpmath=sse: float arithmetic must be single precision");

namespace client {

namespace {

int RoundUp(float value) { return static_cast<int>(static_cast<float>(std::ceil(static_cast<double>(value)))); }

}  // namespace

int LogicalToDevice(int value, float device_scale_factor) {
  return RoundUp(static_cast<float>(value) * device_scale_factor);
}

CefRect LogicalToDevice(const CefRect& value, float device_scale_factor) {
  return CefRect(LogicalToDevice(value.x, device_scale_factor), LogicalToDevice(value.y, device_scale_factor),
                 LogicalToDevice(value.width, device_scale_factor), LogicalToDevice(value.height, device_scale_factor));
}

int DeviceToLogical(int value, float device_scale_factor) {
  return RoundUp(static_cast<float>(value) / device_scale_factor);
}

void DeviceToLogical(CefMouseEvent& value, float device_scale_factor) {
  value.x = DeviceToLogical(value.x, device_scale_factor);
  value.y = DeviceToLogical(value.y, device_scale_factor);
}

bool RectContains(const CefRect& rect, int x, int y) {
  // In 64 bits: x - rect.x and rect.x + rect.width may leave the int range.
  const long long dx = static_cast<long long>(x) - rect.x;
  const long long dy = static_cast<long long>(y) - rect.y;
  return dx >= 0 && dx < rect.width && dy >= 0 && dy < rect.height;
}

}  // namespace client
