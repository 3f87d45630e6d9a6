#include "browser/osr_gl_renderer.h"

#include <windows.h>

#include <GL/gl.h>

#include <algorithm>

// Not in the OpenGL 1.1 header: the BGRA format and the packed type that reads its bytes in
// memory order.
#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif
#ifndef GL_UNSIGNED_INT_8_8_8_8_REV
#define GL_UNSIGNED_INT_8_8_8_8_REV 0x8367
#endif

namespace client {

namespace {

// One quad in the GL_T2F_V3F layout (s, t, x, y, z). The texture's first row is the frame's top
// row, so t = 0 goes to the top of the quad.
const float kQuad[4][5] = {
    {0.0f, 1.0f, -1.0f, -1.0f, 0.0f},
    {1.0f, 1.0f, 1.0f, -1.0f, 0.0f},
    {1.0f, 0.0f, 1.0f, 1.0f, 0.0f},
    {0.0f, 0.0f, -1.0f, 1.0f, 0.0f},
};

// The part of rect inside a width x height frame; empty when none.
CefRect ClipToFrame(const CefRect& rect, int width, int height) {
  const int left = std::max(rect.x, 0);
  const int top = std::max(rect.y, 0);
  const int right = std::min(rect.x + rect.width, width);
  const int bottom = std::min(rect.y + rect.height, height);
  if (right <= left || bottom <= top)
    return CefRect();
  return CefRect(left, top, right - left, bottom - top);
}

}  // namespace

OsrGlRenderer::OsrGlRenderer(const Settings& settings) : settings_(settings) {}

OsrGlRenderer::~OsrGlRenderer() {
  Cleanup();
}

void OsrGlRenderer::Initialize() {
  if (initialized_)
    return;
  glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
  glClearColor(static_cast<float>(CefColorGetR(settings_.background_color)) / 255.0f,
               static_cast<float>(CefColorGetG(settings_.background_color)) / 255.0f,
               static_cast<float>(CefColorGetB(settings_.background_color)) / 255.0f, 1.0f);
  // Rows of the engine's buffers are tightly packed.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  texture_id_ = texture;
  glBindTexture(GL_TEXTURE_2D, texture_id_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  initialized_ = true;
}

void OsrGlRenderer::Cleanup() {
  if (texture_id_ != 0) {
    GLuint texture = texture_id_;
    glDeleteTextures(1, &texture);
    texture_id_ = 0;
  }
  texture_width_ = 0;
  texture_height_ = 0;
}

void OsrGlRenderer::Render() {
  if (texture_width_ == 0 || texture_height_ == 0)
    return;

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(0, 0, view_width_, view_height_);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();

  // Background gradient: red along the bottom edge, blue along the top.
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glBegin(GL_QUADS);
  glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
  glVertex2f(-1.0f, -1.0f);
  glVertex2f(1.0f, -1.0f);
  glColor4f(0.0f, 0.0f, 1.0f, 1.0f);
  glVertex2f(1.0f, 1.0f);
  glVertex2f(-1.0f, 1.0f);
  glEnd();
  glPopAttrib();

  if (spin_x_ != 0.0f)
    glRotatef(-spin_x_, 1.0f, 0.0f, 0.0f);
  if (spin_y_ != 0.0f)
    glRotatef(-spin_y_, 0.0f, 1.0f, 0.0f);

  if (settings_.transparent) {
    // The engine's alpha is premultiplied.
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
  }

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture_id_);
  glInterleavedArrays(GL_T2F_V3F, 0, kQuad);
  glDrawArrays(GL_QUADS, 0, 4);
  glDisable(GL_TEXTURE_2D);

  if (settings_.transparent)
    glDisable(GL_BLEND);

  if (settings_.show_update_rect && update_rect_.width > 0 && update_rect_.height > 0) {
    // A one-pixel outline in window coordinates, whatever the rotation.
    const int left = update_rect_.x + 1;
    const int right = update_rect_.x + update_rect_.width;
    const int top = update_rect_.y;
    const int bottom = update_rect_.y + update_rect_.height - 1;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, view_width_, view_height_, 0, 0, 1);
    glLineWidth(1);
    glColor3f(1.0f, 0.0f, 0.0f);
    glBegin(GL_LINE_STRIP);
    glVertex2i(left, top);
    glVertex2i(right, top);
    glVertex2i(right, bottom);
    glVertex2i(left, bottom);
    glVertex2i(left, top);
    glEnd();
    glPopMatrix();
    glPopAttrib();
  }
}

void OsrGlRenderer::OnPaint(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type,
                            const CefRenderHandler::RectList& dirtyRects, const void* buffer, int width,
                            int height) {
  if (!initialized_)
    Initialize();

  if (settings_.transparent)
    glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture_id_);

  if (type == PET_VIEW) {
    view_width_ = width;
    view_height_ = height;

    // A frame without dirty rectangles keeps the previous update rectangle.
    if (settings_.show_update_rect && !dirtyRects.empty())
      update_rect_ = dirtyRects[0];

    glPixelStorei(GL_UNPACK_ROW_LENGTH, view_width_);

    // A frame of a new size needs a new image, whatever the dirty rectangles say.
    if (texture_width_ != view_width_ || texture_height_ != view_height_ ||
        (dirtyRects.size() == 1 && dirtyRects[0] == CefRect(0, 0, view_width_, view_height_))) {
      glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
      glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, view_width_, view_height_, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                   buffer);
      texture_width_ = view_width_;
      texture_height_ = view_height_;
    } else {
      for (const CefRect& dirty : dirtyRects) {
        // Straight from the whole frame through the unpack settings; never outside it.
        const CefRect rect = ClipToFrame(dirty, view_width_, view_height_);
        if (rect.IsEmpty())
          continue;
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, rect.x);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, rect.y);
        glTexSubImage2D(GL_TEXTURE_2D, 0, rect.x, rect.y, rect.width, rect.height, GL_BGRA,
                        GL_UNSIGNED_INT_8_8_8_8_REV, buffer);
      }
    }
  } else if (type == PET_POPUP && popup_rect_.width > 0 && popup_rect_.height > 0) {
    // What lies left of or above the view is skipped in the buffer and does not count toward the
    // uploaded size, so each row read stays inside the buffer.
    const CefRect rect = ClipToFrame(CefRect(popup_rect_.x, popup_rect_.y, width, height), view_width_, view_height_);
    if (!rect.IsEmpty()) {
      glPixelStorei(GL_UNPACK_ROW_LENGTH, width);
      glPixelStorei(GL_UNPACK_SKIP_PIXELS, rect.x - popup_rect_.x);
      glPixelStorei(GL_UNPACK_SKIP_ROWS, rect.y - popup_rect_.y);
      glTexSubImage2D(GL_TEXTURE_2D, 0, rect.x, rect.y, rect.width, rect.height, GL_BGRA,
                      GL_UNSIGNED_INT_8_8_8_8_REV, buffer);
    }
  }

  glDisable(GL_TEXTURE_2D);
  if (settings_.transparent)
    glDisable(GL_BLEND);
}

void OsrGlRenderer::SetViewSize(int width, int height) {
  view_width_ = width;
  view_height_ = height;
}

void OsrGlRenderer::OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) {
  if (!show)
    ResetPopupRects();
}

void OsrGlRenderer::OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) {
  if (rect.width <= 0 || rect.height <= 0)
    return;
  original_popup_rect_ = rect;
  popup_rect_ = FitPopupRectInView(rect);
}

void OsrGlRenderer::ResetPopupRects() {
  popup_rect_.Set(0, 0, 0, 0);
  original_popup_rect_.Set(0, 0, 0, 0);
}

CefRect OsrGlRenderer::FitPopupRectInView(const CefRect& original_rect) const {
  CefRect rc(original_rect);
  if (rc.x < 0)
    rc.x = 0;
  if (rc.y < 0)
    rc.y = 0;
  if (rc.x + rc.width > view_width_)
    rc.x = view_width_ - rc.width;
  if (rc.y + rc.height > view_height_)
    rc.y = view_height_ - rc.height;
  // Wider or taller than the view: it starts at the view's edge.
  if (rc.x < 0)
    rc.x = 0;
  if (rc.y < 0)
    rc.y = 0;
  return rc;
}

void OsrGlRenderer::AddRotation(float dx, float dy) {
  spin_x_ -= dx;
  spin_y_ -= dy;
}

void OsrGlRenderer::SetRotation(float x, float y) {
  spin_x_ = x;
  spin_y_ = y;
}

}  // namespace client
