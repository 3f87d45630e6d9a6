#include "engine/task_threads.h"

#include <ole2.h>
#include <process.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <queue>
#include <vector>

#include "engine/logging.h"

namespace cefengine {

namespace {

const UINT kWakeMessage = WM_APP + 0x3E1;
const UINT kQuitMessage = WM_APP + 0x3E2;
const UINT_PTR kDelayTimer = 1;
const wchar_t kWindowClass[] = L"CefStubTaskWindow";
const int kThreadCount = TID_RENDERER + 1;

// Aliases share the FILE thread.
CefThreadId Canonical(CefThreadId id) {
  switch (id) {
    case TID_DB:
    case TID_FILE_USER_BLOCKING:
    case TID_CACHE:
      return TID_FILE;
    default:
      return id;
  }
}

const char* NameOf(CefThreadId id) {
  switch (id) {
    case TID_UI:
      return "UI";
    case TID_IO:
      return "IO";
    case TID_FILE:
      return "FILE";
    case TID_PROCESS_LAUNCHER:
      return "LAUNCHER";
    case TID_RENDERER:
      return "RENDERER";
    default:
      return "other";
  }
}

struct DelayedTask {
  ULONGLONG due;
  uint64_t seq;
  CefRefPtr<CefTask> task;
};
struct LaterFirst {
  bool operator()(const DelayedTask& a, const DelayedTask& b) const {
    return a.due != b.due ? a.due > b.due : a.seq > b.seq;
  }
};

class TaskThread {
 public:
  explicit TaskThread(CefThreadId id) : id_(id) {}

  CefThreadId id() const { return id_; }
  DWORD os_thread_id() const { return os_thread_id_; }

  bool Post(CefRefPtr<CefTask> task, int64 delay_ms) {
    HWND wake = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!accepting_ || !hwnd_)
        return false;
      if (delay_ms > 0) {
        delayed_.push({GetTickCount64() + static_cast<ULONGLONG>(delay_ms), next_seq_++, task});
      } else {
        queue_.push_back(task);
      }
      if (!wake_pending_) {
        wake_pending_ = true;
        wake = hwnd_;
      }
    }
    if (wake)
      PostMessageW(wake, kWakeMessage, 0, 0);
    return true;
  }

  bool Idle() {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.empty() && running_ == 0;
  }

  // On the serving thread: creates the window and starts accepting.
  bool Attach() {
    RegisterWindowClass();
    HWND hwnd = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) {
      LOG(ERROR) << "TaskThread::Attach CreateWindowExW failed: " << GetLastError();
      return false;
    }
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    std::lock_guard<std::mutex> lock(mutex_);
    hwnd_ = hwnd;
    os_thread_id_ = GetCurrentThreadId();
    accepting_ = true;
    return true;
  }

  // Any thread: no more tasks; returns the window so the owner can be told to quit.
  HWND StopAccepting() {
    std::lock_guard<std::mutex> lock(mutex_);
    accepting_ = false;
    return hwnd_;
  }

  // On the serving thread: destroys the window.
  void Detach() {
    HWND hwnd;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      accepting_ = false;
      hwnd = hwnd_;
      hwnd_ = nullptr;
    }
    if (hwnd) {
      KillTimer(hwnd, kDelayTimer);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      DestroyWindow(hwnd);
    }
  }

  // Releases whatever never ran, on the calling thread, outside the lock.
  void DropPending() {
    std::deque<CefRefPtr<CefTask>> queue;
    std::priority_queue<DelayedTask, std::vector<DelayedTask>, LaterFirst> delayed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue.swap(queue_);
      delayed.swap(delayed_);
    }
  }

  // The thread body of an engine-owned thread.
  static unsigned __stdcall Main(void* param) {
    auto* start = static_cast<StartInfo*>(param);
    TaskThread* self = start->thread;
    bool ole = start->ole;
    HANDLE started = start->started;
    bool* ok = start->ok;
    if (ole)
      OleInitialize(nullptr);
    bool attached = self->Attach();
    *ok = attached;
    SetEvent(started);  // `start` and `ok` are gone after this
    if (attached) {
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    if (ole)
      OleUninitialize();
    return 0;
  }

  struct StartInfo {
    TaskThread* thread;
    bool ole;
    HANDLE started;
    bool* ok;
  };

  HANDLE handle = nullptr;  // owned threads only

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TaskThread*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && (msg == kWakeMessage || (msg == WM_TIMER && wp == kDelayTimer))) {
      self->RunDue();
      return 0;
    }
    if (self && msg == kQuitMessage) {
      self->Detach();
      PostQuitMessage(0);
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  static void RegisterWindowClass() {
    static std::once_flag once;
    std::call_once(once, [] {
      WNDCLASSEXW wc = {};
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = WindowProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = kWindowClass;
      RegisterClassExW(&wc);
    });
  }

  // Runs the tasks queued so far (later ones on the next turn) and re-arms the delay timer.
  void RunDue() {
    std::deque<CefRefPtr<CefTask>> batch;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wake_pending_ = false;
      ULONGLONG now = GetTickCount64();
      while (!delayed_.empty() && delayed_.top().due <= now) {
        queue_.push_back(delayed_.top().task);
        delayed_.pop();
      }
      batch.swap(queue_);
      ++running_;
    }
    while (!batch.empty()) {
      CefRefPtr<CefTask> task = batch.front();
      batch.pop_front();
      task->Execute();
      task = nullptr;  // released on this thread, right after running
    }
    HWND wake = nullptr;
    HWND hwnd;
    ULONGLONG next_due = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --running_;
      hwnd = hwnd_;
      if (!queue_.empty() && !wake_pending_ && hwnd_) {
        wake_pending_ = true;
        wake = hwnd_;
      }
      if (!delayed_.empty())
        next_due = delayed_.top().due;
    }
    if (wake)
      PostMessageW(wake, kWakeMessage, 0, 0);
    if (hwnd) {
      if (next_due) {
        ULONGLONG now = GetTickCount64();
        UINT wait = next_due > now ? static_cast<UINT>(next_due - now) : USER_TIMER_MINIMUM;
        SetTimer(hwnd, kDelayTimer, wait, nullptr);
      } else {
        KillTimer(hwnd, kDelayTimer);
      }
    }
  }

  const CefThreadId id_;
  std::mutex mutex_;
  HWND hwnd_ = nullptr;
  DWORD os_thread_id_ = 0;
  bool accepting_ = false;
  bool wake_pending_ = false;
  int running_ = 0;
  uint64_t next_seq_ = 0;
  std::deque<CefRefPtr<CefTask>> queue_;
  std::priority_queue<DelayedTask, std::vector<DelayedTask>, LaterFirst> delayed_;
};

std::mutex g_registry_mutex;
std::shared_ptr<TaskThread> g_threads[kThreadCount];
std::atomic<DWORD> g_main_thread{0};

std::shared_ptr<TaskThread> Find(CefThreadId id) {
  int index = Canonical(id);
  if (index < 0 || index >= kThreadCount)
    return nullptr;
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  return g_threads[index];
}

bool Register(const std::shared_ptr<TaskThread>& thread) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  if (g_threads[thread->id()])
    return false;
  g_threads[thread->id()] = thread;
  return true;
}

void Unregister(CefThreadId id) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  g_threads[id] = nullptr;
}

}  // namespace

// A new, registered thread object for `id`; null when `id` is invalid or already served.
static std::shared_ptr<TaskThread> NewThread(CefThreadId id) {
  id = Canonical(id);
  if (id < 0 || id >= kThreadCount)
    return nullptr;
  auto thread = std::make_shared<TaskThread>(id);
  return Register(thread) ? thread : nullptr;
}

bool StartThread(CefThreadId id, bool ole) {
  std::shared_ptr<TaskThread> thread = NewThread(id);
  if (!thread)
    return false;
  id = thread->id();
  bool ok = false;
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  TaskThread::StartInfo info{thread.get(), ole, started, &ok};
  uintptr_t handle = _beginthreadex(nullptr, 0, &TaskThread::Main, &info, 0, nullptr);
  if (!handle) {
    CloseHandle(started);
    Unregister(id);
    LOG(ERROR) << "StartThread " << NameOf(id) << " failed";
    return false;
  }
  WaitForSingleObject(started, INFINITE);
  CloseHandle(started);
  thread->handle = reinterpret_cast<HANDLE>(handle);
  if (!ok) {
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    Unregister(id);
    return false;
  }
  return true;
}

bool AdoptCurrentThread(CefThreadId id) {
  std::shared_ptr<TaskThread> thread = NewThread(id);
  if (!thread)
    return false;
  if (!thread->Attach()) {
    Unregister(thread->id());
    return false;
  }
  return true;
}

void StopThread(CefThreadId id, DWORD timeout_ms) {
  std::shared_ptr<TaskThread> thread = Find(id);
  if (!thread)
    return;
  if (!thread->handle && thread->os_thread_id() != GetCurrentThreadId()) {
    CEFENGINE_MISUSE(std::string("StopThread ") + NameOf(thread->id()) + " called off its adopted thread");
    return;
  }
  // No task is taken from here on. The ones queued before still run, and run as this thread
  // (CefCurrentlyOn answers for it, so CefDeleteOnThread deletes in place) until it has ended.
  HWND hwnd = thread->StopAccepting();
  if (thread->handle) {
    if (hwnd)
      PostMessageW(hwnd, kQuitMessage, 0, 0);
    if (WaitForSingleObject(thread->handle, timeout_ms) != WAIT_OBJECT_0) {
      LOG(ERROR) << "StopThread " << NameOf(thread->id()) << " did not end within " << timeout_ms << " ms";
      Unregister(Canonical(id));
      CloseHandle(thread->handle);
      // The thread still uses the object: keep it alive for good.
      new std::shared_ptr<TaskThread>(thread);
      return;
    }
    CloseHandle(thread->handle);
  } else {
    thread->Detach();
  }
  Unregister(Canonical(id));
  thread->DropPending();
}

bool IsThreadRunning(CefThreadId id) {
  return Find(id) != nullptr;
}

namespace {

class FunctionTask : public CefTask {
 public:
  explicit FunctionTask(std::function<void()> fn) : fn_(std::move(fn)) {}
  void Execute() override {
    std::function<void()> fn;
    fn.swap(fn_);
    if (fn)
      fn();
  }

 private:
  std::function<void()> fn_;
  IMPLEMENT_REFCOUNTING(FunctionTask);
};

}  // namespace

bool PostFunction(CefThreadId id, std::function<void()> fn, int64 delay_ms) {
  return PostEngineTask(id, new FunctionTask(std::move(fn)), delay_ms);
}

bool PostEngineTask(CefThreadId id, CefRefPtr<CefTask> task, int64 delay_ms) {
  if (!task)
    return false;
  std::shared_ptr<TaskThread> thread = Find(id);
  return thread && thread->Post(task, delay_ms);
}

bool CurrentlyOn(CefThreadId id) {
  std::shared_ptr<TaskThread> thread = Find(id);
  return thread && thread->os_thread_id() == GetCurrentThreadId();
}

int CurrentThreadId() {
  DWORD self = GetCurrentThreadId();
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  for (int i = 0; i < kThreadCount; ++i)
    if (g_threads[i] && g_threads[i]->os_thread_id() == self)
      return i;
  return -1;
}

const char* CurrentThreadName() {
  int id = CurrentThreadId();
  if (id >= 0)
    return NameOf(static_cast<CefThreadId>(id));
  return GetCurrentThreadId() == g_main_thread.load() ? "main" : "other";
}

bool IsThreadIdle(CefThreadId id) {
  std::shared_ptr<TaskThread> thread = Find(id);
  return !thread || thread->Idle();
}

void PumpPendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void SetMainThread() {
  g_main_thread = GetCurrentThreadId();
}

}  // namespace cefengine
