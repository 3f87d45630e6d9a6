// The browser process's main-thread loop: the one road by which any thread hands work to the
// main thread (which owns the host channel, the root windows and host-command dispatch).
#pragma once

#include <windows.h>

#include "include/base/cef_callback.h"
#include "include/cef_task.h"

namespace client {

class MainMessageLoop {
 public:
  // The process-wide loop: set by the constructor, cleared by the destructor. Callers do not
  // test it; it exists from before CEF starts until after CEF has shut down.
  static MainMessageLoop* Get();

  // Main thread: runs until told to quit; returns the exit code.
  virtual int Run() = 0;
  // Any thread: ends the loop after the work posted before this request.
  virtual void Quit() = 0;
  // Any thread: the task's Execute runs later on the main thread, in posting order.
  virtual void PostTask(CefRefPtr<CefTask> task) = 0;
  // Any thread: true only on the thread that runs the posted tasks.
  virtual bool RunsTasksOnCurrentThread() const = 0;
  // Main thread: a modeless dialog whose keyboard messages go through IsDialogMessageW.
  virtual void SetCurrentModelessDialog(HWND hwnd_dialog) = 0;

  // Any thread: wraps the closure in a task and posts it. The closure, and everything it binds,
  // stays alive until it has run (or until the loop is destroyed unrun).
  void PostClosure(const base::Closure& closure);

  // The process entry deletes the loop through this type, on the main thread, after Run.
  virtual ~MainMessageLoop();

  MainMessageLoop(const MainMessageLoop&) = delete;
  MainMessageLoop& operator=(const MainMessageLoop&) = delete;

 protected:
  MainMessageLoop();
};

// True on the main thread. Only meaningful while the loop exists.
inline bool CurrentlyOnMainThread() {
  return MainMessageLoop::Get()->RunsTasksOnCurrentThread();
}

}  // namespace client
