// Puts an off-screen view's frames on its layered root window: each frame is copied into a
// 32-bit bottom-up DIB section and handed to the window with UpdateLayeredWindow and per-pixel
// alpha, so the window takes the frame's size and the page's transparency shows what lies behind.
//
// Threads: one at a time (the engine's UI thread in use). The DIB section and memory device
// context are kept between frames and replaced only when the frame size changes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "include/internal/cef_types_wrappers.h"

namespace client {

class LayeredWindowPainter {
 public:
  LayeredWindowPainter() = default;
  // Frees the DIB section and the memory device context.
  ~LayeredWindowPainter();

  LayeredWindowPainter(const LayeredWindowPainter&) = delete;
  LayeredWindowPainter& operator=(const LayeredWindowPainter&) = delete;

  // The layered window that receives the frames; null: none (Paint then fails).
  void SetTargetWindow(HWND target) { target_ = target; }
  HWND target_window() const { return target_; }

  // buffer: width * height BGRA pixels with premultiplied alpha, rows top to bottom, read during
  // the call only. rects (optional): drawn into the image as one-pixel outlines with the black
  // brush, in the image's coordinates. E_INVALIDARG without a target, buffer or size (nothing
  // painted), E_HANDLE when a device context or the DIB section cannot be had, E_FAIL when the
  // window refused the image, else S_OK.
  [[nodiscard]] HRESULT Paint(const void* buffer, int width, int height, const std::vector<RECT>* rects);

  // The image last painted, for inspection: rows bottom to top, 4 bytes a pixel; null and 0
  // before the first frame. Valid until the next Paint.
  const void* bits() const { return bits_; }
  int width() const { return width_; }
  int height() const { return height_; }
  HBITMAP bitmap() const { return dib_; }

 private:
  // Deselects and deletes the DIB section.
  void ReleaseBitmap();

  HWND target_ = nullptr;
  HDC memory_dc_ = nullptr;
  // What the memory device context held before the first DIB section was selected into it.
  HGDIOBJ original_bitmap_ = nullptr;
  HBITMAP dib_ = nullptr;
  void* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// Copies a pop-up widget's buffer (popup_width x popup_height) into a frame (frame_width x
// frame_height) at `at` (its x and y; the size is the buffer's), clipped to the frame. Both are
// premultiplied BGRA, rows top to bottom.
void CopyPopupIntoFrame(uint32_t* frame, int frame_width, int frame_height, const uint32_t* popup,
                        int popup_width, int popup_height, const CefRect& at);

}  // namespace client
