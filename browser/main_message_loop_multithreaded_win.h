// The browser process's main loop beside CEF's own UI thread: a message-only window on the
// main thread ("Client_MessageWindow") receives every posted task as the registered message
// "Client_CustomTask".
//
// Order: tasks run one at a time on the main thread in the order their PostTask calls took the
// lock. Tasks posted before Run wait in a queue and run first, in order; tasks posted after Run
// has ended never run and are released (unrun) by the destructor.
#pragma once

#include <windows.h>

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
  void PostTask(CefRefPtr<CefTask> task) override;
  bool RunsTasksOnCurrentThread() const override;
  void SetCurrentModelessDialog(HWND hwnd_dialog) override;

 private:
  static LRESULT CALLBACK MessageWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  const DWORD thread_id_;
  const UINT task_message_id_;
  // Main thread only.
  HWND dialog_hwnd_;

  base::Lock lock_;
  // Guarded by lock_: the message window while Run runs, else null.
  HWND message_hwnd_;
  // Guarded by lock_: tasks posted while message_hwnd_ is null.
  std::queue<CefRefPtr<CefTask>> queued_tasks_;
};

}  // namespace client
