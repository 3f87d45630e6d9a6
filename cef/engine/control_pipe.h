// The control pipe: with BRIVELO_CEF_CONTROL=<pipe name> in its environment, a browser process serves the test API
// to another process as JSON lines, so an end-to-end test can drive a running product process (read and wait for
// journal entries, play page actions, set network answers, call page script, wait for quiet).
//
// Protocol: the client writes one JSON object per line, {"id": n, "cmd": "<name>", "args": {...}}; the server
// answers each with one line {"id": n, "ok": true, "result": ...} or {"id": n, "ok": false, "error": "..."}.
// Requests are served one at a time, in order, on the pipe's own thread; one client at a time, and a new client may
// connect after the previous one left. Lines longer than kMaxControlLine end the connection.
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
