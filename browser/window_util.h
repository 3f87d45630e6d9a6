// Win32 services shared by the browser process's windows: an object pointer in a window's user
// data, CEF event flags from the keyboard and mouse state, and the screen's scale factor.
#pragma once

#include <windows.h>

#include <string>

namespace client {

// Registers a class of the executable's module with only a procedure and a name (style 0, no
// extra bytes, icon, cursor, brush or menu). Registering a name again fails harmlessly.
void RegisterPlainWindowClass(const wchar_t* class_name, WNDPROC window_proc);

// Stores ptr in the window's user data. A failure ends the process through a failed check
// (a previous value of null is no failure).
void SetWindowUserData(HWND hWnd, void* ptr);
// The pointer stored by SetWindowUserData; null when none was stored.
template <typename T>
T GetWindowUserData(HWND hWnd) {
  return reinterpret_cast<T>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

// Swaps the window procedure and returns the old one; a window without one, or a failed
// swap, ends the process through a failed check.
WNDPROC ReplaceWindowProcedure(HWND hWnd, WNDPROC wndproc);

// A string resource of the executable, at most 99 characters; empty when there is none.
std::wstring LoadResourceText(int id);

// The calling thread's keyboard state: read these on the thread that received the message.
bool IsKeyPressed(WPARAM wparam);
// EVENTFLAG_* bits for a key message (wParam: virtual-key code; lParam bit 24: extended key).
int GetKeyboardModifierFlags(WPARAM wparam, LPARAM lparam);
// EVENTFLAG_* bits for a mouse message (wParam: MK_* bits).
int GetMouseModifierFlags(WPARAM wparam);

// The screen's scale factor: logical pixels per inch / 96, read once per process; factors up
// to 1.25 count as 1.0. Any thread.
float GetDeviceScaleFactor();
// The rule above for a given horizontal DPI; logs the raw quotient.
float DeviceScaleFactorForDpi(int dpi_x);

}  // namespace client
