// The child-process launch hook: every process kind detours its own CreateProcessW and
// CreateProcessA, so each child it starts (whether the engine or a plug-in starts it) passes one
// place. There:
// - a command holding "echo NOT SANDBOXED" is started hidden, its output going into a pipe
//   that nothing reads; the pipe's write end is handed to that child alone (no other child of
//   this process can inherit it meanwhile), and the read end is closed once the child has ended;
// - otherwise, when this process's command line has the switch "sc_terminate_quit", the child's
//   command line gets " --sc_terminate_quit" appended;
// - a Flash plug-in process ("--ppapi-flash-args" in its command line) is refused when
//   "pepflashplayer.dll" is missing beside the executable and a root window has received a load
//   command (g_flashNoticeWindow): that window gets WM_FLASH_PLUGIN_MISSING, and the call fails
//   with ERROR_FILE_NOT_FOUND and a zeroed PROCESS_INFORMATION;
// - every start is logged, and every started child is recorded in g_childProcesses.
//
// The detours run on whatever thread starts a child. The hooking engine works in 32-bit x86
// processes only; elsewhere Install fails and children start unchanged and unrecorded.
#pragma once

#include <windows.h>

#include "base/api_hook.h"
#include "compat/atlstr.h"

class ChildProcessList;

namespace ProcessLaunchHook {

using CreateProcessWFunction = BOOL(WINAPI*)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                             DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);
using CreateProcessAFunction = BOOL(WINAPI*)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                             DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION);

// What a launch depends on besides the caller's arguments. Borrowed for one call.
struct LaunchContext {
  const wchar_t* ownCommandLine;    // this process's command line
  bool (*flashPluginExists)();      // asked only for a Flash plug-in launch
  HWND flashNoticeWindow;           // null: a Flash plug-in launch is never refused
  ChildProcessList* children;       // receives the handles of started children
};

// This process's own: GetCommandLineW, FlashPluginExists, g_flashNoticeWindow, g_childProcesses.
LaunchContext CurrentContext();

// The launch as the detours make it, with `original` standing for the real function. The
// caller's startup information is changed for an "echo NOT SANDBOXED" command; the command
// line buffer is never written. Same result and last error as the real function, apart from
// the refusals above.
BOOL LaunchW(CreateProcessWFunction original, const LaunchContext& context, LPCWSTR applicationName,
             LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
             BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
             LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation);
BOOL LaunchA(CreateProcessAFunction original, const LaunchContext& context, LPCSTR applicationName, LPSTR commandLine,
             LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
             DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
             LPPROCESS_INFORMATION processInformation);

// Installs and enables both detours; once per process, first thing in the process entry. Both
// are switched on in one step (the process's other threads are held once, not once per hook:
// finding them is the slow part of a process's start). MH_OK when both are in force; otherwise
// the first failure, logged, and whatever could not be installed stays as it was.
[[nodiscard]] MH_STATUS Install();

// The detours: LaunchW / LaunchA with the real functions and CurrentContext().
BOOL WINAPI CreateProcessWDetour(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                 LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                                 LPPROCESS_INFORMATION processInformation);
BOOL WINAPI CreateProcessADetour(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                 LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                                 LPPROCESS_INFORMATION processInformation);

// The Flash plug-in's file: "pepflashplayer.dll" in the executable's folder, as a full path (a
// bare name would be resolved through the library search path).
ATL::CStringW FlashPluginPath();
// Whether that file exists.
bool FlashPluginExists();

}  // namespace ProcessLaunchHook
