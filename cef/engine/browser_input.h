// Input to browsers: key events built from window messages, the keyboard path through the client's keyboard
// handler, and (for windowless browsers) mouse, focus and drag-target events.
#ifndef CEF_ENGINE_BROWSER_INPUT_H_
#define CEF_ENGINE_BROWSER_INPUT_H_

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "include/cef_base.h"
#include "include/cef_drag_data.h"

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

// Journal arguments for every field of a key event: type, modifiers, windows_key_code, native_key_code,
// is_system_key, character, unmodified_character, focus_on_editable_field.
std::vector<std::string> KeyEventArgs(const CefKeyEvent& event);

class BrowserImpl;

// --- The keyboard path (UI thread) ---

// OnPreKeyEvent (with *is_keyboard_shortcut starting false; true consumes the key), then the page (which leaves
// every key to the client), then OnKeyEvent. True when the client consumed the key in either call. Nothing reaches a
// destroyed browser.
bool RunKeyPath(BrowserImpl* browser, const CefKeyEvent& event, CefEventHandle os_event);
// A key message reached a windowed browser's window: the event is built from it (modifiers from the thread's key
// state, focus_on_editable_field from the page's focus) and runs the key path with the message as the OS event.
// True when the client consumed it.
bool HandleWindowKeyMessage(BrowserImpl* browser, const MSG& message);
// SendKeyEvent of a windowless browser: journaled with every field ("SendKeyEvent"), then the key path without an OS
// event.
void HandleSendKeyEvent(BrowserImpl* browser, const CefKeyEvent& event);

// --- Drag target (UI thread) ---
//
// Enter asks the drag handler's OnDragEnter first (with a read-only copy of the data); a refusal makes every
// operation NONE until the drag leaves. Otherwise the page accepts the first allowed of COPY, LINK and MOVE, or the
// operation a test set. Enter and Over report the operation through the render handler's UpdateDragCursor. Drop
// journals the data and the operation ("DragDrop") and ends the drag; Leave ends it. Over, Leave and Drop without an
// entered drag are misuse and ignored.
void DragEnter(BrowserImpl* browser, CefRefPtr<CefDragData> data, const CefMouseEvent& event,
               cef_drag_operations_mask_t allowed_ops);
void DragOver(BrowserImpl* browser, const CefMouseEvent& event, cef_drag_operations_mask_t allowed_ops);
void DragLeave(BrowserImpl* browser);
void DragDrop(BrowserImpl* browser, const CefMouseEvent& event);

// The page's choice among `allowed_ops`: the test's operation when one is set (NONE when it is not allowed), else
// the first allowed of COPY, LINK and MOVE, else NONE. Any thread.
cef_drag_operations_mask_t PickDropOperation(cef_drag_operations_mask_t allowed_ops);
// Sets (or, with `set` false, clears) the operation the page accepts. Any thread.
void SetDropOperationOverride(bool set, cef_drag_operations_mask_t operation);

// Forgets the input state of a browser that is gone. Any thread.
void ForgetInputState(int browser_id);

}  // namespace cefengine

#endif  // CEF_ENGINE_BROWSER_INPUT_H_
