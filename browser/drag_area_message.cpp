#include "browser/drag_area_message.h"

namespace client {

namespace {

// The text SendDragAreaList is sending from this thread, or null.
thread_local const wchar_t* t_text_being_sent = nullptr;

}  // namespace

UINT DragAreaListWindowMessage() {
  static const UINT message = RegisterWindowMessageW(L"{B8C9762F-8204-4a71-BCE7-F641A5621BB3}");
  return message;
}

LRESULT SendDragAreaList(HWND window, WPARAM sender, const wchar_t* text) {
  const wchar_t* const outer = t_text_being_sent;
  t_text_being_sent = text;
  const LRESULT result = SendMessageW(window, DragAreaListWindowMessage(), sender, reinterpret_cast<LPARAM>(text));
  t_text_being_sent = outer;
  return result;
}

bool IsDragAreaListBeingSent(const wchar_t* text) {
  return text != nullptr && text == t_text_being_sent;
}

}  // namespace client
