// The OpenGL renderer of an off-screen view: one texture holds the view's pixels, updated from
// the engine's paint buffers (whole, by dirty rectangles, or a pop-up widget placed inside the
// view), and each frame draws a background gradient, the textured view as one quad that may be
// turned about two axes, and on request an outline of the last updated rectangle.
//
// It knows nothing of windows or contexts. Threads: construction and destruction anywhere; every
// other operation on the engine's UI thread with the owner's OpenGL context current (the owner
// swaps the buffers). Only OpenGL 1.1 and the BGRA pixel format are used. No OpenGL error is
// examined.
#pragma once

#include "include/cef_browser.h"
#include "include/cef_render_handler.h"
#include "include/internal/cef_types.h"

namespace client {

class OsrGlRenderer {
 public:
  // A plain value, copied into every holder.
  struct Settings {
    // Blend the view over the background instead of drawing it opaque.
    bool transparent = false;
    // Keep and outline the first dirty rectangle of each view frame.
    bool show_update_rect = false;
    // Each frame is cleared with this colour; its alpha is ignored.
    cef_color_t background_color = 0xFFFFFFFF;
  };

  explicit OsrGlRenderer(const Settings& settings);
  // Deletes the texture when one is held (with whatever context is current).
  ~OsrGlRenderer();

  OsrGlRenderer(const OsrGlRenderer&) = delete;
  OsrGlRenderer& operator=(const OsrGlRenderer&) = delete;

  // One-time OpenGL state and the texture; later calls do nothing.
  void Initialize();
  // Deletes the texture when one is held.
  void Cleanup();
  // Draws one frame; nothing before the first view frame.
  void Render();
  // Updates the texture from a paint buffer (width * height BGRA pixels, premultiplied, rows top
  // to bottom, valid during the call). A view frame of a new size, or one whose single dirty
  // rectangle covers it, is uploaded whole; otherwise each dirty rectangle. A pop-up buffer is
  // placed at the fitted pop-up rectangle, clipped to the view; nothing before OnPopupSize.
  void OnPaint(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type,
               const CefRenderHandler::RectList& dirtyRects, const void* buffer, int width, int height);

  // The size of a view frame that is shown without this renderer (the layered path uploads
  // nothing), so that pop-up rectangles are still fitted into the view. Render keeps drawing
  // nothing until a frame was uploaded.
  void SetViewSize(int width, int height);

  // Hiding the pop-up resets both pop-up rectangles.
  void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show);
  // rect in device pixels; ignored unless its width and height are above 0.
  void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect);
  void ResetPopupRects();
  // rect moved inside the view (its size kept): never left of or above the view, and ending at the
  // right or bottom edge when it would run past it, unless that would move it left of or above 0.
  CefRect FitPopupRectInView(const CefRect& rect) const;

  // Rotation in degrees: AddRotation subtracts (dx, dy), SetRotation replaces.
  void AddRotation(float dx, float dy);
  void SetRotation(float x, float y);

  // Where the pop-up widget is drawn inside the view (device pixels; empty when none).
  const CefRect& popup_rect() const { return popup_rect_; }
  // Where the engine placed the pop-up widget (device pixels; empty when none).
  const CefRect& original_popup_rect() const { return original_popup_rect_; }
  // The size of the last view frame (0 before the first).
  int view_width() const { return view_width_; }
  int view_height() const { return view_height_; }
  // The first dirty rectangle of the last view frame that had one, while show_update_rect is set.
  const CefRect& update_rect() const { return update_rect_; }
  float rotation_x() const { return spin_x_; }
  float rotation_y() const { return spin_y_; }
  const Settings& settings() const { return settings_; }
  bool IsTransparent() const { return settings_.transparent; }

 private:
  const Settings settings_;
  bool initialized_ = false;
  unsigned int texture_id_ = 0;
  int view_width_ = 0;
  int view_height_ = 0;
  // The size of the texture's image; 0 until the first upload.
  int texture_width_ = 0;
  int texture_height_ = 0;
  CefRect popup_rect_;
  CefRect original_popup_rect_;
  float spin_x_ = 0.0f;
  float spin_y_ = 0.0f;
  CefRect update_rect_;
};

// The name the browser-process core uses for the same record.
using OsrRendererSettings = OsrGlRenderer::Settings;

}  // namespace client
