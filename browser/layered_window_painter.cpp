#include "browser/layered_window_painter.h"

#include <algorithm>
#include <cstring>

namespace client {

LayeredWindowPainter::~LayeredWindowPainter() {
  ReleaseBitmap();
  if (memory_dc_)
    DeleteDC(memory_dc_);
}

void LayeredWindowPainter::ReleaseBitmap() {
  if (!dib_)
    return;
  // A bitmap still selected into a device context cannot be deleted.
  if (memory_dc_ && original_bitmap_)
    SelectObject(memory_dc_, original_bitmap_);
  DeleteObject(dib_);
  dib_ = nullptr;
  bits_ = nullptr;
  width_ = 0;
  height_ = 0;
}

HRESULT LayeredWindowPainter::Paint(const void* buffer, int width, int height, const std::vector<RECT>* rects) {
  if (!target_ || !buffer || width <= 0 || height <= 0)
    return E_INVALIDARG;

  HDC window_dc = GetDC(target_);
  if (!window_dc)
    return E_HANDLE;
  if (!memory_dc_) {
    memory_dc_ = CreateCompatibleDC(window_dc);
    if (!memory_dc_) {
      ReleaseDC(target_, window_dc);
      return E_HANDLE;
    }
  }

  if (!dib_ || width_ != width || height_ != height) {
    ReleaseBitmap();
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;  // positive: rows stored bottom-up
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(memory_dc_, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                   nullptr, 0);
    if (!dib || !bits) {
      if (dib)
        DeleteObject(dib);
      ReleaseDC(target_, window_dc);
      return E_HANDLE;
    }
    dib_ = dib;
    bits_ = bits;
    width_ = width;
    height_ = height;
  }

  // The buffer's last row becomes the bitmap's first: the bottom-up image shows the frame upright.
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  const uint8_t* source = static_cast<const uint8_t*>(buffer);
  uint8_t* target = static_cast<uint8_t*>(bits_);
  for (int row = 0; row < height; ++row) {
    std::memcpy(target + static_cast<size_t>(height - 1 - row) * row_bytes,
                source + static_cast<size_t>(row) * row_bytes, row_bytes);
  }

  HGDIOBJ previous = SelectObject(memory_dc_, dib_);
  if (!original_bitmap_ && previous != dib_)
    original_bitmap_ = previous;

  if (rects) {
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    for (const RECT& rect : *rects)
      FrameRect(memory_dc_, &rect, black);
    GdiFlush();
  }

  SIZE size = {width, height};
  POINT origin = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const BOOL updated = UpdateLayeredWindow(target_, window_dc, nullptr, &size, memory_dc_, &origin, 0, &blend,
                                           ULW_ALPHA);
  ReleaseDC(target_, window_dc);
  return updated ? S_OK : E_FAIL;
}

void CopyPopupIntoFrame(uint32_t* frame, int frame_width, int frame_height, const uint32_t* popup,
                        int popup_width, int popup_height, const CefRect& at) {
  const int left = std::max(at.x, 0);
  const int top = std::max(at.y, 0);
  const int right = std::min(at.x + popup_width, frame_width);
  const int bottom = std::min(at.y + popup_height, frame_height);
  if (right <= left || bottom <= top)
    return;
  const size_t row_pixels = static_cast<size_t>(right - left);
  for (int y = top; y < bottom; ++y) {
    const uint32_t* from = popup + static_cast<size_t>(y - at.y) * static_cast<size_t>(popup_width) +
                           static_cast<size_t>(left - at.x);
    uint32_t* to = frame + static_cast<size_t>(y) * static_cast<size_t>(frame_width) + static_cast<size_t>(left);
    std::memcpy(to, from, row_pixels * sizeof(uint32_t));
  }
}

}  // namespace client
