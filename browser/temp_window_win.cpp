#include "browser/temp_window_win.h"

#include "browser/window_util.h"
#include "include/base/cef_logging.h"

namespace client {

namespace {

const wchar_t kWndClass[] = L"Client_TempWindow";

// Written on the main thread only; read on CEF's UI thread while browsers exist.
TempWindowWin* g_temp_window = nullptr;

HWND CreateTempWindow() {
  // A second manager finds the class registered already.
  RegisterPlainWindowClass(kWndClass, DefWindowProcW);
  // Never shown: it only parents pop-up browsers.
  return CreateWindowExW(0, kWndClass, nullptr, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 1, 1, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

TempWindowWin::TempWindowWin() : hwnd_(nullptr) {
  g_temp_window = this;
  hwnd_ = CreateTempWindow();
  CHECK(hwnd_);
}

TempWindowWin::~TempWindowWin() {
  g_temp_window = nullptr;
  DestroyWindow(hwnd_);
}

HWND TempWindowWin::GetWindowHandle() { return g_temp_window ? g_temp_window->hwnd_ : nullptr; }

}  // namespace client
