#include "engine/browser_input.h"

#include <map>
#include <mutex>

#include "engine/browser_impl.h"
#include "engine/drag_data_impl.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "include/cef_client.h"

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

struct DragState {
  bool active = false;
  bool refused = false;
  CefRefPtr<CefDragData> data;  // the read-only copy the client saw
  cef_drag_operations_mask_t operation = DRAG_OPERATION_NONE;
};

std::mutex g_input_lock;
bool g_override_set = false;
cef_drag_operations_mask_t g_override = DRAG_OPERATION_NONE;

std::map<int, DragState>& Drags() {
  static std::map<int, DragState>* drags = new std::map<int, DragState>();
  return *drags;
}

std::string MouseText(const CefMouseEvent& event) {
  return std::to_string(event.x) + "," + std::to_string(event.y) + "," + std::to_string(event.modifiers);
}

void ReportOperation(BrowserImpl* browser, cef_drag_operations_mask_t operation) {
  Record("UpdateDragCursor", browser->id(), 0, {std::to_string(operation)});
  CefRefPtr<CefClient> client = browser->client();
  CefRefPtr<CefRenderHandler> handler = client ? client->GetRenderHandler() : nullptr;
  if (handler)
    handler->UpdateDragCursor(browser, operation);
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

std::vector<std::string> KeyEventArgs(const CefKeyEvent& event) {
  return {std::to_string(event.type),
          std::to_string(event.modifiers),
          std::to_string(event.windows_key_code),
          std::to_string(event.native_key_code),
          std::to_string(event.is_system_key),
          std::to_string(static_cast<unsigned>(event.character)),
          std::to_string(static_cast<unsigned>(event.unmodified_character)),
          std::to_string(event.focus_on_editable_field)};
}

bool RunKeyPath(BrowserImpl* browser, const CefKeyEvent& event, CefEventHandle os_event) {
  if (browser->IsDestroyed())
    return false;
  CefRefPtr<CefClient> client = browser->client();
  CefRefPtr<CefKeyboardHandler> handler = client ? client->GetKeyboardHandler() : nullptr;
  if (!handler)
    return false;
  bool is_keyboard_shortcut = false;
  bool consumed = handler->OnPreKeyEvent(browser, event, os_event, &is_keyboard_shortcut);
  Record("OnPreKeyEvent", browser->id(), 0,
         {std::to_string(event.type), std::to_string(event.windows_key_code), FlagText(consumed),
          FlagText(is_keyboard_shortcut)});
  if (consumed || browser->IsDestroyed())
    return consumed;
  // The page has no key bindings of its own: every key comes back unhandled.
  handler = client->GetKeyboardHandler();
  if (!handler)
    return false;
  consumed = handler->OnKeyEvent(browser, event, os_event);
  Record("OnKeyEvent", browser->id(), 0,
         {std::to_string(event.type), std::to_string(event.windows_key_code), FlagText(consumed)});
  return consumed;
}

bool HandleWindowKeyMessage(BrowserImpl* browser, const MSG& message) {
  CefKeyEvent event;
  bool editable = browser->page_state().focus_state == FOCUS_EDITABLE;
  if (!KeyEventFromMessage(message.message, message.wParam, message.lParam,
                           CurrentKeyModifiers(message.wParam, message.lParam), editable, &event))
    return false;
  Record("WindowKeyMessage", browser->id(), 0, KeyEventArgs(event));
  MSG copy = message;
  return RunKeyPath(browser, event, &copy);
}

void HandleSendKeyEvent(BrowserImpl* browser, const CefKeyEvent& event) {
  Record("SendKeyEvent", browser->id(), 0, KeyEventArgs(event));
  RunKeyPath(browser, event, nullptr);
}

cef_drag_operations_mask_t PickDropOperation(cef_drag_operations_mask_t allowed_ops) {
  {
    std::lock_guard<std::mutex> hold(g_input_lock);
    if (g_override_set)
      return (g_override != DRAG_OPERATION_NONE && (allowed_ops & g_override) == g_override) ? g_override
                                                                                            : DRAG_OPERATION_NONE;
  }
  for (cef_drag_operations_mask_t op : {DRAG_OPERATION_COPY, DRAG_OPERATION_LINK, DRAG_OPERATION_MOVE})
    if (allowed_ops & op)
      return op;
  return DRAG_OPERATION_NONE;
}

void SetDropOperationOverride(bool set, cef_drag_operations_mask_t operation) {
  std::lock_guard<std::mutex> hold(g_input_lock);
  g_override_set = set;
  g_override = operation;
}

void DragEnter(BrowserImpl* browser, CefRefPtr<CefDragData> data, const CefMouseEvent& event,
               cef_drag_operations_mask_t allowed_ops) {
  if (browser->IsDestroyed())
    return;
  Record("DragTargetDragEnter", browser->id(), 0,
         {DescribeDragData(data), MouseText(event), std::to_string(allowed_ops)});
  if (!data) {
    CEFENGINE_MISUSE("CefBrowserHost::DragTargetDragEnter without drag data ignored");
    return;
  }
  // The client sees a frozen copy: the caller's object stays its own.
  CefRefPtr<CefDragData> seen = data->Clone();
  if (DragDataImpl* impl = dynamic_cast<DragDataImpl*>(seen.get()))
    impl->SetReadOnly();
  CefRefPtr<CefClient> client = browser->client();
  CefRefPtr<CefDragHandler> handler = client ? client->GetDragHandler() : nullptr;
  bool refused = handler && handler->OnDragEnter(browser, seen, allowed_ops);
  Record("OnDragEnter", browser->id(), 0, {FlagText(refused)});
  if (browser->IsDestroyed())
    return;
  cef_drag_operations_mask_t operation = refused ? DRAG_OPERATION_NONE : PickDropOperation(allowed_ops);
  {
    std::lock_guard<std::mutex> hold(g_input_lock);
    DragState& state = Drags()[browser->id()];
    state.active = true;
    state.refused = refused;
    state.data = seen;
    state.operation = operation;
  }
  ReportOperation(browser, operation);
}

void DragOver(BrowserImpl* browser, const CefMouseEvent& event, cef_drag_operations_mask_t allowed_ops) {
  if (browser->IsDestroyed())
    return;
  Record("DragTargetDragOver", browser->id(), 0, {MouseText(event), std::to_string(allowed_ops)});
  bool refused;
  {
    std::lock_guard<std::mutex> hold(g_input_lock);
    auto it = Drags().find(browser->id());
    if (it == Drags().end() || !it->second.active) {
      CEFENGINE_MISUSE("CefBrowserHost::DragTargetDragOver without DragTargetDragEnter ignored");
      return;
    }
    refused = it->second.refused;
  }
  cef_drag_operations_mask_t operation = refused ? DRAG_OPERATION_NONE : PickDropOperation(allowed_ops);
  {
    std::lock_guard<std::mutex> hold(g_input_lock);
    Drags()[browser->id()].operation = operation;
  }
  ReportOperation(browser, operation);
}

void DragLeave(BrowserImpl* browser) {
  Record("DragTargetDragLeave", browser->id());
  std::lock_guard<std::mutex> hold(g_input_lock);
  auto it = Drags().find(browser->id());
  if (it == Drags().end() || !it->second.active) {
    CEFENGINE_MISUSE("CefBrowserHost::DragTargetDragLeave without DragTargetDragEnter ignored");
    return;
  }
  Drags().erase(it);
}

void DragDrop(BrowserImpl* browser, const CefMouseEvent& event) {
  DragState state;
  {
    std::lock_guard<std::mutex> hold(g_input_lock);
    auto it = Drags().find(browser->id());
    if (it == Drags().end() || !it->second.active) {
      CEFENGINE_MISUSE("CefBrowserHost::DragTargetDrop without DragTargetDragEnter ignored");
      return;
    }
    state = it->second;
    Drags().erase(it);
  }
  Record("DragTargetDrop", browser->id(), 0, {MouseText(event)});
  // A drop the page did not accept carries nothing into it.
  if (state.operation != DRAG_OPERATION_NONE && !browser->IsDestroyed())
    Record("DragDrop", browser->id(), 0,
           {DescribeDragData(state.data), std::to_string(state.operation), MouseText(event)});
}

void ForgetInputState(int browser_id) {
  std::lock_guard<std::mutex> hold(g_input_lock);
  Drags().erase(browser_id);
}

}  // namespace cefengine
