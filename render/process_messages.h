// The process messages between the browser process and its renderers: every name, its direction
// and its argument list. Both sides use this one header. The statuses of call results are
// client::CallStatus of browser/host_protocol.h, shared with the host events.
//
// Lists are CefListValue: int is a 32-bit signed integer, string UTF-16. A sender sizes the list
// with SetSize and fills it by index, except where a message says "SetBool at 0". A receiver
// reads by index; a missing entry reads as 0, false or "".
#pragma once

namespace client {
namespace process_message {

// ---- Renderer to browser (PID_BROWSER) -----------------------------------------------------

// A page calls a host method through `external`. The browser relays it to the host as event
// 0x0A when the list has at least 3 entries.
constexpr char kCallHost[] = "{ACBF06D2-3DAB-4359-8070-2F6DE59A0E6A}";
enum CallHostArg {
  kCallHostExecuteId = 0,  // int: 0 when no callback waits
  kCallHostMethod = 1,     // string
  kCallHostCallbackKey = 2,  // string: "" when there is no callback
  kCallHostFirstArgument = 3,  // strings to the end, one per further call argument
};

// The answer of a page function the browser called, sent only for an execute id above 0. The
// browser relays it as event 0x0B whatever the list's size.
constexpr char kCallResult[] = "{E31E0591-75ED-46be-B054-FE692B86451F}";
enum CallResultArg {
  kCallResultExecuteId = 0,  // int, above 0
  kCallResultStatus = 1,     // int: kCallOk, kCallFunctionNotFound, kCallNoReturnValue or kCallEmptyName
  kCallResultValue = 2,      // string: "" unless the status is kCallOk
  kCallResultArgCount = 3,
};

// [0] string: the page's drag areas, "{l,t,r,b}" rectangles joined by "+", as the page gave
// them. Off-screen views only; never reaches the host.
constexpr char kDragAreaList[] = "{B8C9762F-8204-4a71-BCE7-F641A5621BB3}";
// [0] string: the wanted window rectangle "{l,t,r,b}" in screen coordinates, as the page gave
// it. The browser moves an off-screen view and relays the text as event 0x0C.
constexpr char kSetBrowserPos[] = "{D6039115-741B-4c92-A80E-AE5212BB3832}";

// [0] bool (SetBool at 0): the newly focused node is editable; sent only when that changes.
constexpr char kFocusedNodeChanged[] = "ClientRenderer.FocusedNodeChanged";

// ---- Browser to renderer (PID_RENDERER) ----------------------------------------------------

// The host calls a page function or callback. Fewer than 2 entries are ignored.
constexpr char kCallFunction[] = "{1EA24BB9-47AC-4505-B934-4FC8C3E19412}";
enum CallFunctionArg {
  kCallFunctionExecuteId = 0,  // int: low 32 bits of the host's id; 0 when no answer is wanted
  kCallFunctionName = 1,       // string: the registered name or the callback key
  kCallFunctionFirstArgument = 2,  // strings to the end
  kCallFunctionMinArgs = 2,
};

// [0] string: a method the host adds to `external` in every page. Exactly one entry, not empty.
constexpr char kRegisterFunction[] = "{A1335F60-4F6C-4A79-BF73-1AB59FDFA174}";

// [0] bool (SetBool at 0): true mutes the renderer process, false unmutes it.
constexpr char kMuteVolume[] = "MuteVolume";

// The root window of the renderer's view, sent once CEF created the browser. Read with at least
// 2 entries.
constexpr char kHostWindowHandle[] = "Browser.Host.Window.Handle";
enum HostWindowHandleArg {
  kHostWindowHandleHwnd = 0,   // int: the window handle's 32 significant bits
  kHostWindowHandleClass = 1,  // string: the root window's class name
  kHostWindowHandleMinArgs = 2,
};

}  // namespace process_message
}  // namespace client
