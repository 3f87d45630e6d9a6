#include "engine/browser_input.h"

namespace cefengine {

namespace {

bool Down(const KeyStateReader& key_state, int virtual_key) {
  return (key_state(virtual_key) & 0x8000) != 0;
}

bool Toggled(const KeyStateReader& key_state, int virtual_key) {
  return (key_state(virtual_key) & 0x0001) != 0;
}

bool Extended(LPARAM lparam) {
  return (static_cast<DWORD>(lparam) & (1u << 24)) != 0;
}

// Scan code of the right shift key; the left one is 0x2A.
const DWORD kRightShiftScanCode = 0x36;

bool IsKeyPad(WPARAM wparam, LPARAM lparam) {
  switch (wparam) {
    case VK_NUMPAD0: case VK_NUMPAD1: case VK_NUMPAD2: case VK_NUMPAD3: case VK_NUMPAD4:
    case VK_NUMPAD5: case VK_NUMPAD6: case VK_NUMPAD7: case VK_NUMPAD8: case VK_NUMPAD9:
    case VK_MULTIPLY: case VK_ADD: case VK_SEPARATOR: case VK_SUBTRACT: case VK_DECIMAL: case VK_DIVIDE:
    case VK_NUMLOCK:
      return true;
    // With num lock off the pad sends these without the extended bit; the dedicated keys set it.
    case VK_INSERT: case VK_DELETE: case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
    case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN: case VK_CLEAR:
      return !Extended(lparam);
    // Only the pad's Enter is extended.
    case VK_RETURN:
      return Extended(lparam);
    default:
      return false;
  }
}

uint32 SideOf(WPARAM wparam, LPARAM lparam) {
  switch (wparam) {
    case VK_SHIFT:
      return ((static_cast<DWORD>(lparam) >> 16) & 0xFF) == kRightShiftScanCode ? EVENTFLAG_IS_RIGHT
                                                                                 : EVENTFLAG_IS_LEFT;
    case VK_CONTROL:
    case VK_MENU:
      return Extended(lparam) ? EVENTFLAG_IS_RIGHT : EVENTFLAG_IS_LEFT;
    case VK_LSHIFT: case VK_LCONTROL: case VK_LMENU: case VK_LWIN:
      return EVENTFLAG_IS_LEFT;
    case VK_RSHIFT: case VK_RCONTROL: case VK_RMENU: case VK_RWIN:
      return EVENTFLAG_IS_RIGHT;
    default:
      return 0;
  }
}

}  // namespace

bool IsKeyMessage(UINT message) {
  switch (message) {
    case WM_KEYDOWN: case WM_KEYUP: case WM_CHAR:
    case WM_SYSKEYDOWN: case WM_SYSKEYUP: case WM_SYSCHAR:
      return true;
    default:
      return false;
  }
}

uint32 KeyModifiers(const KeyStateReader& key_state, WPARAM wparam, LPARAM lparam) {
  uint32 flags = 0;
  if (Down(key_state, VK_SHIFT))
    flags |= EVENTFLAG_SHIFT_DOWN;
  if (Down(key_state, VK_CONTROL))
    flags |= EVENTFLAG_CONTROL_DOWN;
  // Bit 29 is the context code: alt was held when the key message was made.
  if (Down(key_state, VK_MENU) || (static_cast<DWORD>(lparam) & (1u << 29)))
    flags |= EVENTFLAG_ALT_DOWN;
  if (Toggled(key_state, VK_CAPITAL))
    flags |= EVENTFLAG_CAPS_LOCK_ON;
  if (Toggled(key_state, VK_NUMLOCK))
    flags |= EVENTFLAG_NUM_LOCK_ON;
  if (Down(key_state, VK_LBUTTON))
    flags |= EVENTFLAG_LEFT_MOUSE_BUTTON;
  if (Down(key_state, VK_MBUTTON))
    flags |= EVENTFLAG_MIDDLE_MOUSE_BUTTON;
  if (Down(key_state, VK_RBUTTON))
    flags |= EVENTFLAG_RIGHT_MOUSE_BUTTON;
  if (IsKeyPad(wparam, lparam))
    flags |= EVENTFLAG_IS_KEY_PAD;
  flags |= SideOf(wparam, lparam);
  return flags;
}

uint32 CurrentKeyModifiers(WPARAM wparam, LPARAM lparam) {
  return KeyModifiers([](int virtual_key) { return GetKeyState(virtual_key); }, wparam, lparam);
}

bool KeyEventFromMessage(UINT message, WPARAM wparam, LPARAM lparam, uint32 modifiers, bool focus_on_editable_field,
                         CefKeyEvent* event) {
  CefKeyEvent built;
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      built.type = KEYEVENT_RAWKEYDOWN;
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      built.type = KEYEVENT_KEYUP;
      break;
    case WM_CHAR:
    case WM_SYSCHAR:
      built.type = KEYEVENT_CHAR;
      built.character = static_cast<char16>(wparam);
      built.unmodified_character = static_cast<char16>(wparam);
      break;
    default:
      return false;
  }
  built.windows_key_code = static_cast<int>(wparam);
  built.native_key_code = static_cast<int>(lparam);
  built.is_system_key = message == WM_SYSKEYDOWN || message == WM_SYSKEYUP || message == WM_SYSCHAR;
  built.modifiers = modifiers;
  built.focus_on_editable_field = focus_on_editable_field;
  *event = built;
  return true;
}

}  // namespace cefengine
