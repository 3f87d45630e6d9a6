// What the off-screen views need of the machine: a wgl context on a hidden window (Mesa under
// Wine and Xvfb with GLX), drawing into it and reading the pixels back.
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

constexpr int kWidth = 64;
constexpr int kHeight = 32;

TEST(WglReadback, ClearsAndDrawsOnAHiddenWindowAndReadsThePixelsBack) {
  WglTestWindow gl(kWidth, kHeight);
  ASSERT_TRUE(gl.ok()) << gl.error();
  EXPECT_FALSE(IsWindowVisible(gl.window()));
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  ASSERT_NE(nullptr, renderer);
  RecordProperty("renderer", std::string(renderer) + ", OpenGL " + (version ? version : "?"));

  glViewport(0, 0, kWidth, kHeight);
  glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  // A red quad over the right half, in window coordinates.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, kWidth, 0, kHeight, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glColor3f(1.0f, 0.0f, 0.0f);
  glBegin(GL_QUADS);
  glVertex2i(kWidth / 2, 0);
  glVertex2i(kWidth, 0);
  glVertex2i(kWidth, kHeight);
  glVertex2i(kWidth / 2, kHeight);
  glEnd();
  glFinish();
  ASSERT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());

  // BGRA words (0xAARRGGBB), as the off-screen renderer reads them; rows bottom up.
  std::vector<uint32_t> pixels(kWidth * kHeight, 0xDEADBEEF);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, kWidth, kHeight, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
  ASSERT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError()) << renderer;
  auto close_to = [](uint32_t got, uint32_t want) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int a = static_cast<int>((got >> shift) & 0xFF);
      const int b = static_cast<int>((want >> shift) & 0xFF);
      if (a - b > 1 || b - a > 1) return false;
    }
    return true;
  };
  for (int y : {0, kHeight / 2, kHeight - 1}) {
    for (int x : {0, kWidth / 2 - 1}) EXPECT_PRED2(close_to, pixels[y * kWidth + x], 0x336699u) << x << "," << y;
    for (int x : {kWidth / 2, kWidth - 1}) EXPECT_PRED2(close_to, pixels[y * kWidth + x], 0xFF0000u) << x << "," << y;
  }
}

}  // namespace
