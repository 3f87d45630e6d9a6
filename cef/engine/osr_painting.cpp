#include "engine/osr_painting.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "include/base/cef_logging.h"

namespace cefengine {

namespace {

const uint32_t kMagenta = 0xFFFF00FFu;
const uint32_t kCyan = 0xFF00FFFFu;

std::mutex g_pattern_lock;
PaintPattern& Pattern() {
  static PaintPattern* pattern = new PaintPattern();
  return *pattern;
}

PaintPattern CurrentPattern() {
  std::lock_guard<std::mutex> hold(g_pattern_lock);
  return Pattern();
}

// Opaque black on light or transparent backgrounds, opaque white on dark ones.
uint32_t TextColorFor(cef_color_t background) {
  if (CefColorGetA(background) < 128)
    return 0xFF000000u;
  unsigned luminance =
      (299u * CefColorGetR(background) + 587u * CefColorGetG(background) + 114u * CefColorGetB(background)) / 1000u;
  return luminance < 128 ? 0xFFFFFFFFu : 0xFF000000u;
}

// Draws `title` white on black into a top-down DIB band covering the top rows of the view and makes every touched
// pixel of `pixels` opaque `color`. False when GDI refused.
bool DrawTitle(const PaintRequest& request, uint32_t color, std::vector<uint32_t>* pixels) {
  const int margin = ScaledExtent(4, request.scale);
  const int font_height = ScaledExtent(14, request.scale);
  const int band = std::min(request.height, font_height + 2 * margin);
  if (band <= margin || request.width <= margin)
    return true;  // no room for text

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = request.width;
  info.bmiHeader.biHeight = -band;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc)
    return false;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    DeleteDC(dc);
    return false;
  }
  HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
  // Without smoothing every text pixel is either fully on or off.
  HFONT font = CreateFontW(-font_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
  HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
  std::memset(bits, 0, static_cast<size_t>(request.width) * static_cast<size_t>(band) * 4);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT rect = {margin, margin, request.width - margin, band};
  std::wstring text = request.title;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  GdiFlush();

  const uint32_t* mask = static_cast<const uint32_t*>(bits);
  const size_t count = static_cast<size_t>(request.width) * static_cast<size_t>(band);
  for (size_t i = 0; i < count; ++i)
    if (mask[i] & 0x00FFFFFFu)
      (*pixels)[i] = color;

  if (old_font)
    SelectObject(dc, old_font);
  if (font)
    DeleteObject(font);
  SelectObject(dc, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return true;
}

}  // namespace

int ScaledExtent(int dip, float scale) {
  if (dip <= 0 || !(scale > 0.0f))
    return 0;
  double exact = static_cast<double>(dip) * static_cast<double>(scale);
  double pixels = std::ceil(exact - 0.001);
  if (pixels > static_cast<double>(INT32_MAX))
    return INT32_MAX;
  return pixels < 1.0 ? 1 : static_cast<int>(pixels);
}

cef_color_t ChooseBackground(bool has_document_background, cef_color_t document_background, bool transparent,
                             cef_color_t browser_setting, cef_color_t global_setting) {
  if (has_document_background)
    return document_background;
  if (transparent)
    return 0;
  if (browser_setting != 0)
    return browser_setting;
  if (global_setting != 0)
    return global_setting;
  return CefColorSetARGB(255, 255, 255, 255);
}

uint32_t Premultiply(cef_color_t argb) {
  uint32_t a = CefColorGetA(argb);
  uint32_t r = (CefColorGetR(argb) * a + 127) / 255;
  uint32_t g = (CefColorGetG(argb) * a + 127) / 255;
  uint32_t b = (CefColorGetB(argb) * a + 127) / 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

uint32_t MarkerColorFor(uint32_t premultiplied_background) {
  return premultiplied_background == kMagenta ? kCyan : kMagenta;
}

bool GeneratePaint(const PaintRequest& request, std::vector<uint32_t>* pixels) {
  if (request.width <= 0 || request.height <= 0 || request.width > kMaxPaintExtent ||
      request.height > kMaxPaintExtent) {
    LOG(ERROR) << "GeneratePaint: no buffer for a view of " << request.width << "x" << request.height;
    return false;
  }
  const size_t count = static_cast<size_t>(request.width) * static_cast<size_t>(request.height);
  PaintPattern pattern = CurrentPattern();
  if (pattern) {
    pixels->resize(count);
    for (int y = 0; y < request.height; ++y)
      for (int x = 0; x < request.width; ++x)
        (*pixels)[static_cast<size_t>(y) * static_cast<size_t>(request.width) + static_cast<size_t>(x)] =
            pattern(x, y, request.width, request.height);
    return true;
  }

  const uint32_t background = Premultiply(request.background);
  pixels->assign(count, background);
  if (!request.title.empty() && !DrawTitle(request, TextColorFor(request.background), pixels))
    LOG(WARNING) << "GeneratePaint: GDI could not draw the title; background only";
  (*pixels)[0] = MarkerColorFor(background);
  return true;
}

void SetPaintPattern(PaintPattern pattern) {
  std::lock_guard<std::mutex> hold(g_pattern_lock);
  Pattern() = std::move(pattern);
}

}  // namespace cefengine
