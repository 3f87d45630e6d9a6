// The control pipe: with BRIVELO_CEF_CONTROL=<pipe name> in its environment, a browser process serves the test API
// to another process as JSON lines, so an end-to-end test can drive a running product process (read and wait for
// journal entries, play page actions, set network answers, call page script, wait for quiet).
//
// Protocol: the client writes one JSON object per line, {"id": n, "cmd": "<name>", "args": {...}}; the server
// answers each with one line {"id": n, "ok": true, "result": ...} or {"id": n, "ok": false, "error": "..."}.
// Requests are served one at a time, in order, on the pipe's own thread; one client at a time, and a new client may
// connect after the previous one left. Lines longer than kMaxControlLine end the connection. "args" is an object (or
// absent); a request the server cannot use is refused with an error and the connection stays open.
//
// Commands (arguments marked ? are optional; "browser" is the id of an open browser, "frame" a frame id of it,
// its main frame by default; every "timeout_ms" is 0-60000):
//   ping, journal {from?, limit?}, clear_journal, record_journal {on}, wait {kind, count?, timeout_ms?},
//   quiesce {timeout_ms?},
//   set_http_response {url, status, mime?, body?}, fail_next_load {url, code (a negative net error), text?},
//   browsers                                                            (testing/control_pipe.cpp)
//   page_navigate {browser, url}, page_set_title {browser, title},
//   page_open_window {browser, url, disposition? (WOD_NEW_POPUP), user_gesture? (true), frame_name?},
//   page_close {browser}, page_console {browser, message, source?, line?}, page_fullscreen {browser, fullscreen},
//   page_tooltip {browser, text}, page_cursor {browser, type}, page_context_menu {browser, type_flags?, x?, y?,
//   link_url?}, choose_menu_command {browser, command_id}, open_menu_commands {browser} -> [ids],
//   user_key {browser, type?, windows_key_code?, native_key_code?, modifiers?, is_system_key?, character?,
//   unmodified_character?, focus_on_editable_field?}, page_before_unload {browser, has_handler},
//   page_show_popup_widget {browser, x, y, width, height}, page_hide_popup_widget {browser},
//   page_embed_plugin {browser, mime, url}, page_open_from_tab {browser, url, disposition?
//   (WOD_NEW_FOREGROUND_TAB), user_gesture? (true)}, page_start_drag {browser, data, allowed_ops?, x?, y?},
//   user_drag_enter {browser, data, allowed_ops?, x?, y?}                -> true when the page action ran
//       data: {link_url?, link_title?, link_metadata?, fragment_text?, fragment_html?, fragment_base_url?,
//       files?: [[path, display_name], ...], file_name? with file_contents? (Base64)}; allowed_ops: a
//       cef_drag_operations_mask_t, COPY | LINK | MOVE by default
//   last_paint {browser, type? ("view" or "popup"), points?: [[x, y], ...]}
//       -> {painted, type, width, height, paint_count, dirty_rects: [[x, y, width, height], ...],
//          pixels: [one per point: premultiplied 0xAARRGGBB as a number, null outside the paint]}
//   page_alert {browser, type? (0 alert, 1 confirm, 2 prompt), message, default_prompt?},
//   page_geolocation {browser, url}, page_quota {browser, origin, size},
//   page_download {browser, url, name, body?, mime?}                    -> request id (0: nothing asked)
//   request_outcome {request, timeout_ms? (0, at most 60000)}           -> {outcome, text}; waits while pending;
//       outcome: "unknown", "pending", "granted", "denied", "auto_dismissed" or "suppressed"
//                                                                       (testing/control_commands_page.cpp)
//   renderer_call {browser, frame?, path, args?: [page values]}, renderer_get {browser, frame?, path},
//   renderer_assign {browser, frame?, path, value: page value}
//       -> {ran, threw, exception, type, value, read_only}: page script in the frame's renderer; ran is false when
//          no renderer answered or the frame has no script context
//   focus_node {browser, frame?, state: "none" | "editable" | "plain"} -> true when the change went to the renderer
//   crash_renderer {browser} -> true when a renderer was ended; renderer_process {browser} -> pid (0: none)
//   renderer_ping {browser, count? (1, at most 10000)} -> [microseconds]: round trips between the browser and its
//       renderer over the hops of a process message each way, one after the other (fewer when one went unanswered)
//   child_processes -> [{browser, renderer_id, pid, command_line, connected, ended, exit_code}]
//   sent_to_browser {browser} -> [{name, args}]: process messages its renderers sent, args as typed values
//       {"null": true}, {"bool": b}, {"int": n}, {"double": d}, {"str": s}, {"binary": base64}, {"dict": {...}},
//       {"list": [...]}
//   send_to_browser {browser, name, args?: [typed values]} -> true when the browser side took the process message as
//       if its renderer had sent it (it then shows in sent_to_browser as well)
//   sent_to_renderer {browser} -> [{name, args}]: process messages the browser sent its renderer
//                                                                     (testing/control_commands_renderer.cpp)
//
// A page value is an object with exactly one key:
//   {"str": "text"}, {"int": 32-bit integer}, {"double": number}, {"bool": true|false}, {"null": true},
//   {"undefined": true}, {"obj": [["name", <page value>], ...]} (members in order),
//   {"fn": {"name": "cb"}} (a page function returning undefined; no name: anonymous),
//   {"fn": {"name": "cb", "returns": <page value>}}, {"fn": {"name": "cb", "throws": "message"}},
//   {"fn": {..., "then": {"path": "external.Execute", "args"?: [page values], "times": n}}} (each of its first n calls
//   also runs `path(args...)` in the same context before it returns, as a page function calling on would),
//   {"global": "name"} (the value of the global property `name` when the value is made; undefined when missing).
// Calls of page functions are journaled ("PageFn", args: name, then the arguments as script prints them) by the
// renderer that ran them. Values nested deeper than 16 levels and any other form are refused with an error naming
// the place, e.g. "renderer_call: args[0].obj[1]: a member is [name, value] with a string name".
#ifndef CEF_ENGINE_CONTROL_PIPE_H_
#define CEF_ENGINE_CONTROL_PIPE_H_

#include <json/json.h>

#include <functional>
#include <string>

namespace cefengine {

const size_t kMaxControlLine = 1u << 20;

// A command: fills `result` and returns true, or sets `error` and returns false. Runs on the pipe thread; it may
// block (waits) and may call into the engine like any other thread.
using ControlCommand = std::function<bool(const Json::Value& args, Json::Value* result, std::string* error)>;

// Adds or replaces a command (any thread, any time). The built-in commands are listed in testing/control_pipe.cpp.
void RegisterControlCommand(const std::string& name, ControlCommand command);

// Switches the journal on when BRIVELO_CEF_CONTROL is set (called first thing by CefInitialize).
void EnableJournalForControlPipe();
// Starts serving when BRIVELO_CEF_CONTROL is set (called by CefInitialize). A bare name means \\.\pipe\<name>.
// The journal is switched on while the pipe serves. Does nothing when the variable is absent or empty.
void StartControlPipeFromEnvironment();
// Stops serving and waits for the pipe thread (called by CefShutdown). Safe when not started.
void StopControlPipe();

}  // namespace cefengine

#endif  // CEF_ENGINE_CONTROL_PIPE_H_
