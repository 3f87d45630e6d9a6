#ifndef CEF_INCLUDE_CEF_TASK_H_
#define CEF_INCLUDE_CEF_TASK_H_

#include "include/cef_base.h"

typedef cef_thread_id_t CefThreadId;

// Work posted to a named thread. Execute runs once on the target thread, never inside the
// posting call; the task is released afterwards (or released unrun when the thread stops).
class CefTask : public virtual CefBase {
 public:
  virtual void Execute() = 0;
};

// Posts tasks to one named thread of this process.
class CefTaskRunner : public virtual CefBase {
 public:
  // Null when the calling thread is not a named engine thread.
  static CefRefPtr<CefTaskRunner> GetForCurrentThread();
  // Null when `threadId` does not exist in this process.
  static CefRefPtr<CefTaskRunner> GetForThread(CefThreadId threadId);

  virtual bool IsSame(CefRefPtr<CefTaskRunner> that) = 0;
  virtual bool BelongsToCurrentThread() = 0;
  virtual bool BelongsToThread(CefThreadId threadId) = 0;
  virtual bool PostTask(CefRefPtr<CefTask> task) = 0;
  virtual bool PostDelayedTask(CefRefPtr<CefTask> task, int64 delay_ms) = 0;
};

// True when the calling thread is `threadId`.
bool CefCurrentlyOn(CefThreadId threadId);
// Queues `task` for `threadId`. False (task released, never run) when that thread does not exist
// in this process, before start-up or after shutdown. Any thread may call.
bool CefPostTask(CefThreadId threadId, CefRefPtr<CefTask> task);
// As CefPostTask, running no sooner than `delay_ms` from now. Due tasks run by due time, then
// in posting order.
bool CefPostDelayedTask(CefThreadId threadId, CefRefPtr<CefTask> task, int64 delay_ms);

#endif  // CEF_INCLUDE_CEF_TASK_H_
