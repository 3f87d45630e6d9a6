#include "engine/logging.h"
#include "engine/task_threads.h"
#include "include/cef_task.h"
#include "include/wrapper/cef_closure_task.h"

namespace {

class ClosureTask : public CefTask {
 public:
  explicit ClosureTask(const base::Closure& closure) : closure_(closure) {}
  void Execute() override {
    closure_.Run();
    closure_.Reset();  // bound arguments go with the run, on the target thread
  }

 private:
  base::Closure closure_;
  IMPLEMENT_REFCOUNTING(ClosureTask);
};

class TaskRunnerImpl : public CefTaskRunner {
 public:
  explicit TaskRunnerImpl(CefThreadId id) : id_(id) {}
  bool IsSame(CefRefPtr<CefTaskRunner> that) override {
    auto* other = dynamic_cast<TaskRunnerImpl*>(that.get());
    return other && other->id_ == id_;
  }
  bool BelongsToCurrentThread() override { return CefCurrentlyOn(id_); }
  bool BelongsToThread(CefThreadId threadId) override {
    return threadId == id_ || (cefengine::IsThreadRunning(threadId) && cefengine::IsThreadRunning(id_) &&
                               Same(threadId, id_));
  }
  bool PostTask(CefRefPtr<CefTask> task) override { return CefPostTask(id_, task); }
  bool PostDelayedTask(CefRefPtr<CefTask> task, int64 delay_ms) override {
    return CefPostDelayedTask(id_, task, delay_ms);
  }

 private:
  // Aliases of one thread (e.g. TID_DB and TID_FILE).
  static bool Same(CefThreadId a, CefThreadId b) {
    auto file = [](CefThreadId t) {
      return t == TID_FILE || t == TID_DB || t == TID_FILE_USER_BLOCKING || t == TID_CACHE;
    };
    return file(a) && file(b);
  }
  const CefThreadId id_;
  IMPLEMENT_REFCOUNTING(TaskRunnerImpl);
};

bool Post(CefThreadId threadId, CefRefPtr<CefTask> task, int64 delay_ms) {
  if (!task)
    return false;
  if (!cefengine::PostEngineTask(threadId, task, delay_ms)) {
    if (cefengine::StrictMode())
      CEFENGINE_MISUSE("CefPostTask to a thread that does not run");
    return false;
  }
  return true;
}

}  // namespace

bool CefCurrentlyOn(CefThreadId threadId) {
  return cefengine::CurrentlyOn(threadId);
}

bool CefPostTask(CefThreadId threadId, CefRefPtr<CefTask> task) {
  return Post(threadId, task, 0);
}

bool CefPostDelayedTask(CefThreadId threadId, CefRefPtr<CefTask> task, int64 delay_ms) {
  return Post(threadId, task, delay_ms < 0 ? 0 : delay_ms);
}

CefRefPtr<CefTask> CefCreateClosureTask(const base::Closure& closure) {
  return new ClosureTask(closure);
}

bool CefPostTask(CefThreadId threadId, const base::Closure& closure) {
  return CefPostTask(threadId, CefCreateClosureTask(closure));
}

bool CefPostDelayedTask(CefThreadId threadId, const base::Closure& closure, int64 delay_ms) {
  return CefPostDelayedTask(threadId, CefCreateClosureTask(closure), delay_ms);
}

CefRefPtr<CefTaskRunner> CefTaskRunner::GetForCurrentThread() {
  int id = cefengine::CurrentThreadId();
  return id < 0 ? nullptr : new TaskRunnerImpl(static_cast<CefThreadId>(id));
}

CefRefPtr<CefTaskRunner> CefTaskRunner::GetForThread(CefThreadId threadId) {
  return cefengine::IsThreadRunning(threadId) ? new TaskRunnerImpl(threadId) : nullptr;
}

extern "C" cef_platform_thread_id_t cef_get_current_platform_thread_id() {
  return GetCurrentThreadId();
}

extern "C" cef_platform_thread_handle_t cef_get_current_platform_thread_handle() {
  return GetCurrentThreadId();
}
