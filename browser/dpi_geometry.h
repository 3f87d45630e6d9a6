// Conversions between logical coordinates (what pages and the host see) and device pixels,
// for a device scale factor (never below 1). Results are rounded up: the product or quotient
// is computed in single precision, its ceiling taken in double precision, and the value
// truncated to int (so negative fractions go toward zero). Also the point test on such rectangles.
#pragma once

#include "include/internal/cef_types_wrappers.h"

namespace client {

int LogicalToDevice(int value, float device_scale_factor);
// Each of x, y, width and height on its own.
CefRect LogicalToDevice(const CefRect& value, float device_scale_factor);

int DeviceToLogical(int value, float device_scale_factor);
// The event's x and y, in place; its modifiers stay.
void DeviceToLogical(CefMouseEvent& value, float device_scale_factor);

// Whether (x, y) lies in rect: left and top edges inside, right and bottom outside, so a rectangle
// without width or height holds no point. Exact for any int values.
bool RectContains(const CefRect& rect, int x, int y);

}  // namespace client
