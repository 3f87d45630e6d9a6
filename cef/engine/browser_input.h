// Input to browsers: key events built from window messages, the keyboard path through the client's keyboard
// handler, and (for windowless browsers) mouse, focus and drag-target events.
#ifndef CEF_ENGINE_BROWSER_INPUT_H_
#define CEF_ENGINE_BROWSER_INPUT_H_

#include <windows.h>

#include <functional>

#include "include/cef_base.h"

namespace cefengine {

// --- Key events from window messages (pure; any thread) ---

// WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSCHAR.
bool IsKeyMessage(UINT message);

// The state of one virtual key as GetKeyState reports it: high bit down, low bit toggled.
typedef std::function<SHORT(int virtual_key)> KeyStateReader;

// cef_event_flags_t bits for a key message: shift, control and alt held (alt also from the context bit 29 of
// `lparam`), caps lock and num lock toggled, mouse buttons held; IS_KEY_PAD for the number pad (digits and operators,
// and the navigation keys and Enter as the pad sends them); IS_LEFT / IS_RIGHT for the shift, control, alt and
// Windows keys themselves.
uint32 KeyModifiers(const KeyStateReader& key_state, WPARAM wparam, LPARAM lparam);
// Same, with the calling thread's keyboard state.
uint32 CurrentKeyModifiers(WPARAM wparam, LPARAM lparam);

// Builds the event for a key message: type from the message (key down: KEYEVENT_RAWKEYDOWN, key up: KEYEVENT_KEYUP,
// character: KEYEVENT_CHAR), windows_key_code = wparam, native_key_code = lparam, is_system_key for the WM_SYS*
// messages, character and unmodified_character = wparam for character messages. False (event untouched) for other
// messages.
[[nodiscard]] bool KeyEventFromMessage(UINT message, WPARAM wparam, LPARAM lparam, uint32 modifiers,
                                       bool focus_on_editable_field, CefKeyEvent* event);

}  // namespace cefengine

#endif  // CEF_ENGINE_BROWSER_INPUT_H_
