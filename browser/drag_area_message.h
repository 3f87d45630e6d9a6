// The window message by which the browser hands a page's drag areas to its off-screen window.
// The process messages themselves are named in render/process_messages.h.
#pragma once

#include <windows.h>

namespace client {

// Registered under the drag-area process message's own name: wParam the sending process kind,
// lParam a zero-terminated UTF-16 list (or null) that is valid only while the message is being
// sent. The off-screen window takes a list only when it is sent on the window's own thread; from
// any other thread or process only null (clearing the list) counts. Registered once per process;
// any thread.
UINT DragAreaListWindowMessage();

}  // namespace client
