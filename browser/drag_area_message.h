// The window message by which the browser hands a page's drag areas to its off-screen window.
// The process messages themselves are named in render/process_messages.h.
#pragma once

#include <windows.h>

namespace client {

// Registered under the drag-area process message's own name: wParam the sending process kind,
// lParam a zero-terminated UTF-16 list (or null) that is valid only while the message is being
// sent. The off-screen window takes a list only when SendDragAreaList sends it on the window's
// own thread; from any other thread or process, and in a posted message, only null (clearing the
// list) counts. Registered once per process; any thread.
UINT DragAreaListWindowMessage();

// Sends the message with `text` (null clears the list) to `window`, which must belong to the
// calling thread; `text` is read during the call only. Returns what the window answered.
LRESULT SendDragAreaList(HWND window, WPARAM sender, const wchar_t* text);

// On the window's thread: whether `text` is the list that SendDragAreaList is sending from this
// thread right now. A posted message carries no proof of where it came from, so an address is
// believed only when it is the one being sent.
bool IsDragAreaListBeingSent(const wchar_t* text);

}  // namespace client
