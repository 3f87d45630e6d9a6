// Watch on the host's process: when the process that owns the host window ends, the browser
// process's context is asked to quit (client::MainContext::Get()->Quit()).
//
// One watch per process. It fires at most once, on a thread-pool thread. Its callback reaches
// the main context, so UnregisterProcessWaitExit must run before the context goes (the context
// calls it in its Shutdown and its destructor).
#pragma once

#include <windows.h>

// Registers a one-shot wait on the process that owns window. TRUE when registered; a
// watch registered earlier is cancelled first.
[[nodiscard]] BOOL RegisterProcessWaitExit(HWND window);

// Cancels the watch and waits for a callback that is already running. Afterwards the callback
// never runs. Nothing when no watch exists. Not from inside the callback.
void UnregisterProcessWaitExit();

// The wait callback; context is the watched process handle.
VOID CALLBACK OnParentProcessExit(PVOID context, BOOLEAN timed_out);
