// The engine's named threads and their task queues.
// Each named thread owns a message-only window ("CefStubTaskWindow"); posting a task wakes it
// with a window message, so tasks run whenever that thread pumps messages (the engine's own
// threads pump all the time). Immediate tasks run in posting order; delayed tasks join the queue
// when due, ordered by due time, then posting order. A task posted from its own thread runs on a
// later turn, never inside the posting call.
#ifndef CEF_ENGINE_TASK_THREADS_H_
#define CEF_ENGINE_TASK_THREADS_H_

#include <windows.h>

#include <functional>

#include "include/cef_task.h"

namespace cefengine {

// Starts an engine-owned thread for `id` and waits until it accepts tasks. `ole` calls
// OleInitialize on it first. False when `id` already runs or the thread cannot start.
[[nodiscard]] bool StartThread(CefThreadId id, bool ole);
// Makes the calling thread serve `id`: its tasks run while this thread pumps messages.
[[nodiscard]] bool AdoptCurrentThread(CefThreadId id);
// Stops accepting tasks for `id`, ends its loop (an adopted thread must call this itself) and
// releases the tasks that never ran on the calling thread. Waits at most `timeout_ms` for an
// owned thread to end; one that does not end is left behind with an ERROR.
void StopThread(CefThreadId id, DWORD timeout_ms);
bool IsThreadRunning(CefThreadId id);

// Posts `task` (any thread). False, task released unrun, when `id` does not run.
bool PostEngineTask(CefThreadId id, CefRefPtr<CefTask> task, int64 delay_ms);
// Posts `fn` as a task (any thread). It runs once on `id`, and what it captured is dropped there too, so client
// objects it holds are released on that thread. False, `fn` dropped unrun, when `id` does not run.
bool PostFunction(CefThreadId id, std::function<void()> fn, int64 delay_ms = 0);
bool CurrentlyOn(CefThreadId id);
// The named thread the caller runs on, or -1.
int CurrentThreadId();
// "UI", "IO", "FILE", "LAUNCHER", "RENDERER", or "main"/"other" for threads that are none.
const char* CurrentThreadName();
// No immediate task waits or runs on `id` (delayed tasks that are not due do not count).
bool IsThreadIdle(CefThreadId id);

// Runs one pass over the pending work of the calling thread's messages (single-threaded loop).
void PumpPendingMessages();
// Marks the calling thread as the process's main thread for CurrentThreadName().
void SetMainThread();

}  // namespace cefengine

#endif  // CEF_ENGINE_TASK_THREADS_H_
