// The browser process's main loop beside CEF's own UI thread: a message-only window on the
// main thread ("Client_MessageWindow") is woken by the registered message "Client_CustomTask"
// and then runs the tasks the loop holds.
//
// Order: tasks run one at a time on the main thread in the order their PostTask calls took the
// lock. Tasks posted before Run wait in the queue and run first, in order; tasks posted after Run
// has ended never run and are released (unrun) by the destructor.
//
// Any process on the desktop can find the window and post to it. The wake-up carries nothing
// (the tasks stay in the loop's own queue), so a stray or forged one only runs what was posted
// here, earlier than its own wake-up would have; the window also ignores WM_CLOSE, so that no
// other process can take it away.
#pragma once

#include <windows.h>

#include <atomic>
#include <queue>

#include "browser/main_message_loop.h"
#include "include/base/cef_lock.h"

namespace client {

class MainMessageLoopMultithreadedWin : public MainMessageLoop {
 public:
  // On the thread that will call Run (the main thread).
  MainMessageLoopMultithreadedWin();
  // Main thread, after Run has returned.
  ~MainMessageLoopMultithreadedWin() override;

  // Main thread. Returns the code given to PostQuitMessage (0 after Quit).
  int Run() override;
  void Quit() override;
  // A wake-up that cannot be posted (the main thread's queue is full, say) is logged; the task
  // stays queued and runs, once and in order, with the next wake-up or after the next message
  // Run retrieves.
  void PostTask(CefRefPtr<CefTask> task) override;
  bool RunsTasksOnCurrentThread() const override;
  void SetCurrentModelessDialog(HWND hwnd_dialog) override;

 private:
  static LRESULT CALLBACK MessageWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  // Under lock_, with the window made: posts a wake-up unless one is on its way. False, with the
  // error in *error, when the post failed; the caller logs it once the lock is released.
  [[nodiscard]] bool WakeLocked(DWORD* error);
  // Main thread: runs the tasks queued when it starts, front first, taking each out of the
  // queue under the lock and running it without. A task that enters a message loop of its own
  // may see the rest run inside it, still in order.
  void RunQueuedTasks();

  const DWORD thread_id_;
  const UINT task_message_id_;
  // Main thread only.
  HWND dialog_hwnd_;

  base::Lock lock_;
  // Guarded by lock_: the message window while Run runs, else null.
  HWND message_hwnd_;
  // Guarded by lock_: every task posted and not yet run (or released).
  std::queue<CefRefPtr<CefTask>> queued_tasks_;
  // Guarded by lock_: a wake-up is in the main thread's queue.
  bool wake_pending_;
  // Written under lock_, read by Run without it: a wake-up could not be posted.
  std::atomic<bool> wake_lost_;
};

}  // namespace client
