// Starting renderer sub-processes and keeping track of them.
//
// A renderer is this executable (or CefSettings.browser_subprocess_path) started with
//   "<exe>" --type=renderer --cefengine-channel=\\.\pipe\cefengine-<pid>-<n> --cefengine-renderer-id=<n>
//   --lang=<locale> [--log-file=... --log-severity=...]
// The application may change the line in OnBeforeChildProcessLaunch; the process is then created with
// CreateProcessW on TID_PROCESS_LAUNCHER, where a product hook on CreateProcessW may append to the line or even
// report success without starting anything.
#ifndef CEF_ENGINE_RENDERER_LAUNCH_H_
#define CEF_ENGINE_RENDERER_LAUNCH_H_

#include <windows.h>

#include <string>
#include <vector>

#include "include/cef_command_line.h"
#include "include/internal/cef_types.h"

namespace cefengine {

// Longest wait for a launched renderer to connect and say Hello.
const DWORD kRendererConnectTimeoutMs = 10000;
// Longest wait for a renderer to end by itself after its link closed; it is terminated afterwards.
const DWORD kRendererExitWaitMs = 2000;
// Exit code a renderer is given when the browser ends it (the code a task manager uses).
const DWORD kRendererKilledExitCode = 1;
// Exit code a simulated renderer crash leaves (an access violation).
const DWORD kRendererCrashExitCode = 0xC0000005;

// The pipe name of renderer `n` of this process. Any thread.
std::wstring RendererPipeName(int n);
// The executable renderers start from: CefSettings.browser_subprocess_path, else this process's executable.
std::wstring RendererExecutable();
// The command line of renderer `n` before the application sees it. Any thread.
CefRefPtr<CefCommandLine> BuildRendererCommandLine(const std::wstring& channel, int n);

// What a renderer's end means, from its exit code: exit codes at or above 0xC0000000 (exceptions) are crashes,
// except the console-close status; 1 (what task managers and this engine use when they end a process), the
// console-close status and a debugger's termination mean it was killed; anything else is abnormal.
cef_termination_status_t TerminationStatusForExitCode(DWORD exit_code);

// Creates the process for `command_line` (not inheriting handles, with this process's environment). Returns the
// process handle (owned by the caller) or null: a failed call, or a hook that reported success without a process.
// `*pid` gets its id (0 when none). Call on TID_PROCESS_LAUNCHER.
HANDLE LaunchRendererProcess(const std::wstring& command_line, DWORD* pid);

// The test API's record of renderer processes, in launch order.
struct ChildProcessRecord {
  int browser_id = 0;
  int renderer_id = 0;
  DWORD pid = 0;
  std::wstring command_line;  // the line the renderer reported in its Hello, else the line it was started with
  bool connected = false;     // said Hello
  bool ended = false;
  DWORD exit_code = 0;        // meaningful when ended and the process was seen to end
};
void NoteChildLaunched(int browser_id, int renderer_id, DWORD pid, const std::wstring& command_line);
void NoteChildHello(int renderer_id, DWORD pid, const std::wstring& command_line);
void NoteChildEnded(int renderer_id, DWORD exit_code);
std::vector<ChildProcessRecord> ChildProcessRecords();

}  // namespace cefengine

#endif  // CEF_ENGINE_RENDERER_LAUNCH_H_
