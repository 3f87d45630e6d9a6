#include "browser/window_util.h"

#include <atomic>

#include "base/log.h"
#include "include/base/cef_logging.h"
#include "include/internal/cef_types.h"

namespace client {

namespace {

// Computed on first use; two first calls at once compute the same value.
std::atomic<bool> g_scale_factor_initialized(false);
std::atomic<float> g_device_scale_factor(1.0f);

bool IsToggled(int key) { return (GetKeyState(key) & 0x1) != 0; }

int LockFlags() {
  int flags = 0;
  if (IsToggled(VK_NUMLOCK)) flags |= EVENTFLAG_NUM_LOCK_ON;
  if (IsToggled(VK_CAPITAL)) flags |= EVENTFLAG_CAPS_LOCK_ON;
  return flags;
}

// Which of a left/right key pair is down; the left one wins when both are.
int SideFlag(int left_key, int right_key) {
  if (IsKeyPressed(left_key)) return EVENTFLAG_IS_LEFT;
  if (IsKeyPressed(right_key)) return EVENTFLAG_IS_RIGHT;
  return 0;
}

}  // namespace

void RegisterPlainWindowClass(const wchar_t* class_name, WNDPROC window_proc) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = window_proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = class_name;
  RegisterClassExW(&wc);
}

void SetWindowUserData(HWND hWnd, void* ptr) {
  SetLastError(ERROR_SUCCESS);
  LONG_PTR result = SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(ptr));
  CHECK(result != 0 || GetLastError() == ERROR_SUCCESS);
}

WNDPROC ReplaceWindowProcedure(HWND hWnd, WNDPROC wndproc) {
  WNDPROC old = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
  CHECK(old != NULL);
  LONG_PTR result = SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(wndproc));
  CHECK(result != 0 || GetLastError() == ERROR_SUCCESS);
  return old;
}

std::wstring LoadResourceText(int id) {
  wchar_t buffer[100] = {};
  LoadStringW(GetModuleHandleW(nullptr), id, buffer, 100);
  return buffer;
}

bool IsKeyPressed(WPARAM wparam) { return (GetKeyState(static_cast<int>(wparam)) & 0x8000) != 0; }

int GetKeyboardModifierFlags(WPARAM wparam, LPARAM lparam) {
  int flags = 0;
  if (IsKeyPressed(VK_SHIFT)) flags |= EVENTFLAG_SHIFT_DOWN;
  if (IsKeyPressed(VK_CONTROL)) flags |= EVENTFLAG_CONTROL_DOWN;
  if (IsKeyPressed(VK_MENU)) flags |= EVENTFLAG_ALT_DOWN;
  flags |= LockFlags();

  const bool extended = (HIWORD(lparam) & KF_EXTENDED) != 0;
  switch (wparam) {
    case VK_RETURN:
      if (extended) flags |= EVENTFLAG_IS_KEY_PAD;
      break;
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
      // Without the extended bit these come from the numeric keypad.
      if (!extended) flags |= EVENTFLAG_IS_KEY_PAD;
      break;
    case VK_NUMLOCK:
    case VK_NUMPAD0:
    case VK_NUMPAD1:
    case VK_NUMPAD2:
    case VK_NUMPAD3:
    case VK_NUMPAD4:
    case VK_NUMPAD5:
    case VK_NUMPAD6:
    case VK_NUMPAD7:
    case VK_NUMPAD8:
    case VK_NUMPAD9:
    case VK_DIVIDE:
    case VK_MULTIPLY:
    case VK_SUBTRACT:
    case VK_ADD:
    case VK_DECIMAL:
    case VK_CLEAR:
      flags |= EVENTFLAG_IS_KEY_PAD;
      break;
    case VK_SHIFT:
      flags |= SideFlag(VK_LSHIFT, VK_RSHIFT);
      break;
    case VK_CONTROL:
      flags |= SideFlag(VK_LCONTROL, VK_RCONTROL);
      break;
    case VK_MENU:
      flags |= SideFlag(VK_LMENU, VK_RMENU);
      break;
    case VK_LWIN:
      flags |= EVENTFLAG_IS_LEFT;
      break;
    case VK_RWIN:
      flags |= EVENTFLAG_IS_RIGHT;
      break;
  }
  return flags;
}

int GetMouseModifierFlags(WPARAM wparam) {
  int flags = 0;
  if (wparam & MK_CONTROL) flags |= EVENTFLAG_CONTROL_DOWN;
  if (wparam & MK_SHIFT) flags |= EVENTFLAG_SHIFT_DOWN;
  if (IsKeyPressed(VK_MENU)) flags |= EVENTFLAG_ALT_DOWN;
  if (wparam & MK_LBUTTON) flags |= EVENTFLAG_LEFT_MOUSE_BUTTON;
  if (wparam & MK_MBUTTON) flags |= EVENTFLAG_MIDDLE_MOUSE_BUTTON;
  if (wparam & MK_RBUTTON) flags |= EVENTFLAG_RIGHT_MOUSE_BUTTON;
  return flags | LockFlags();
}

float DeviceScaleFactorForDpi(int dpi_x) {
  const float factor = static_cast<float>(dpi_x) / 96.0f;
  LogInfoW(L"GetDeviceScaleFactor,dpi_x:%d, scale_factor: %lf.", dpi_x, static_cast<double>(factor));
  return factor <= 1.25f ? 1.0f : factor;
}

float GetDeviceScaleFactor() {
  if (!g_scale_factor_initialized.load()) {
    HDC screen_dc = GetDC(nullptr);
    const int dpi_x = GetDeviceCaps(screen_dc, LOGPIXELSX);
    ReleaseDC(nullptr, screen_dc);
    g_device_scale_factor.store(DeviceScaleFactorForDpi(dpi_x));
    g_scale_factor_initialized.store(true);
  }
  return g_device_scale_factor.load();
}

}  // namespace client
