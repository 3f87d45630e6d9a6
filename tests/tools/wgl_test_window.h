// A hidden window with a double-buffered RGBA pixel format and a current wgl context, for tests
// that draw with OpenGL (Mesa under Wine and Xvfb with GLX) and read the pixels back. Undone by
// the destructor; the context is current on the constructing thread.
#pragma once

#include <windows.h>

#include <string>

class WglTestWindow {
 public:
  WglTestWindow(int width, int height) {
    WNDCLASSW wc = {};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"WglTestWindow";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, wc.lpszClassName, L"wgl", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                              wc.hInstance, nullptr);
    dc_ = window_ ? GetDC(window_) : nullptr;
    if (!dc_) {
      error_ = "no window, error " + std::to_string(GetLastError());
      return;
    }
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cAlphaBits = 8;
    pfd.cDepthBits = 16;
    pfd.iLayerType = PFD_MAIN_PLANE;
    const int format = ChoosePixelFormat(dc_, &pfd);
    if (format == 0 || !SetPixelFormat(dc_, format, &pfd)) {
      error_ = "no pixel format, error " + std::to_string(GetLastError());
      return;
    }
    context_ = wglCreateContext(dc_);
    if (!context_ || !wglMakeCurrent(dc_, context_)) {
      error_ = "no current context, error " + std::to_string(GetLastError());
      return;
    }
    current_ = true;
  }
  ~WglTestWindow() {
    if (current_) wglMakeCurrent(nullptr, nullptr);
    if (context_) wglDeleteContext(context_);
    if (dc_) ReleaseDC(window_, dc_);
    if (window_) DestroyWindow(window_);
  }
  WglTestWindow(const WglTestWindow&) = delete;
  WglTestWindow& operator=(const WglTestWindow&) = delete;

  bool ok() const { return current_; }
  const std::string& error() const { return error_; }
  HWND window() const { return window_; }

 private:
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HGLRC context_ = nullptr;
  bool current_ = false;
  std::string error_;
};
