// The process entry of Brivelo.exe, which serves as CEF's browser process and as each of its
// sub-processes. wWinMain (browser/brivelo_main.cpp, linked into the executable only) calls Main.
//
// Main, every process kind: the child-process launch hook, the command line, high-DPI support,
// the product folder and the log, the application object of the kind, statistics, muting; then
// CefExecuteProcess. A sub-process returns CEF's result when CEF is done with it, or ends itself
// with TerminateProcess (exit code 0) under "sc_terminate_quit" or, in a renderer, when its host
// window has gone. The browser process builds the main context, CEF's settings, the first view's
// start-up settings and the main loop, starts CEF and the channel, watches the host's process,
// creates the first root window, runs the loop until the last root window is gone, and shuts
// CEF down (or ends itself under "sc_terminate_quit").
//
// When CEF does not start, the browser process logs it, creates no view, leaves CEF alone (it
// never ran), deletes loop and context and returns kExitCefInitializeFailed.
//
// Everything here runs on the process's first thread. Main is called once per process: it
// installs process-wide state (hooks, crash hand-off, log, environment) that lasts until the
// process ends.
#pragma once

#include <windows.h>

#include "include/cef_command_line.h"
#include "include/internal/cef_types_wrappers.h"

namespace process_entry {

// The browser process's exit code when CEF could not be started.
constexpr int kExitCefInitializeFailed = 1;

// Capacity, in UTF-16 units with the terminator, of the buffer the environment value is read into.
constexpr DWORD kEnvironmentBufferUnits = 260;

// Whether the environment variable "__sc_mute_app" reads as "true" (ASCII letter case ignored).
// buffer holds kEnvironmentBufferUnits units and receives the value; a value that does not fit
// (or a missing one) means no.
bool EnvironmentAsksForMute(wchar_t* buffer);

// Muting, every process kind: with the switch "sc_mute_app" sets "__sc_mute_app" to "true" for
// the children and mutes this process; otherwise mutes it when EnvironmentAsksForMute. Logs
// "sc_mute_app: ret = %d, process_type = %d" when it mutes. True when it asked the volume-control
// library to mute.
bool MuteIfAsked(CefRefPtr<CefCommandLine> command_line, int process_type, wchar_t* buffer);

// A non-empty "cache_path" replaces settings->cache_path, then a non-empty "log_file"
// settings->log_file; absent or empty switches keep what the context chose.
void ApplyFileSwitches(CefRefPtr<CefCommandLine> command_line, CefSettings* settings);

}  // namespace process_entry

// The whole entry; the result is the process's exit code. show is not used.
int Main(HINSTANCE instance, int show);
