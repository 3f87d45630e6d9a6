#ifndef CEF_INCLUDE_WRAPPER_CEF_CLOSURE_TASK_H_
#define CEF_INCLUDE_WRAPPER_CEF_CLOSURE_TASK_H_

#include "include/base/cef_bind.h"
#include "include/base/cef_callback.h"
#include "include/cef_task.h"

// A task that runs `closure` (which keeps its bound arguments until the task dies).
CefRefPtr<CefTask> CefCreateClosureTask(const base::Closure& closure);

// Closure forms of CefPostTask / CefPostDelayedTask.
bool CefPostTask(CefThreadId threadId, const base::Closure& closure);
bool CefPostDelayedTask(CefThreadId threadId, const base::Closure& closure, int64 delay_ms);

#endif  // CEF_INCLUDE_WRAPPER_CEF_CLOSURE_TASK_H_
