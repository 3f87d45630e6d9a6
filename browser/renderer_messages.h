// Names of the process messages between the renderer's script bridge and the browser process,
// and the window message by which the browser hands a page's drag areas to its off-screen
// window. Names compare exactly (letter case counts).
#pragma once

#include <windows.h>

namespace client {

// Renderer to browser. [0] string: the drag-area list, "{l,t,r,b}" rectangles joined by "+".
inline constexpr char kDragAreaListMessage[] = "{B8C9762F-8204-4a71-BCE7-F641A5621BB3}";
// Renderer to browser. [0] string: the page's position text, "{l,t,r,b}" in screen coordinates.
inline constexpr char kSetBrowserPosMessage[] = "{D6039115-741B-4c92-A80E-AE5212BB3832}";
// Renderer to browser. [0] int execute id, [1] int status, [2] string result.
inline constexpr char kCallResultMessage[] = "{E31E0591-75ED-46be-B054-FE692B86451F}";
// Renderer to browser. [0] int execute id, [1] string method, [2] string callback key,
// [3...] string arguments.
inline constexpr char kCallHostMessage[] = "{ACBF06D2-3DAB-4359-8070-2F6DE59A0E6A}";
// Renderer to browser. [0] bool: the newly focused node is editable.
inline constexpr char kFocusedNodeChangedMessage[] = "ClientRenderer.FocusedNodeChanged";

// The registered window message carrying a drag-area list to the off-screen window:
// wParam the sending process kind, lParam a zero-terminated UTF-16 list (or null) that is
// valid only while the message is being sent. Registered once per process; any thread.
UINT DragAreaListWindowMessage();

}  // namespace client
