#include "browser/main_message_loop_multithreaded_win.h"

#include "base/log.h"
#include "browser/window_util.h"
#include "include/base/cef_bind.h"
#include "include/base/cef_logging.h"
#include "include/internal/cef_thread_internal.h"

namespace client {

namespace {

const wchar_t kWndClass[] = L"Client_MessageWindow";
const wchar_t kTaskMessageName[] = L"Client_CustomTask";
// The accelerator table the loop looks for; the executable has none.
const int kAcceleratorTableId = 109;

// PostQuitMessage is WINAPI; the closure binds this plain function instead.
void PostQuitMessageTask(int exit_code) { PostQuitMessage(exit_code); }

void LogLostWakeUp(const wchar_t* where, DWORD error) {
  LogErrorW(L"MainMessageLoopMultithreadedWin::%s, PostMessage failed, error=%d", where, static_cast<int>(error));
}

}  // namespace

MainMessageLoopMultithreadedWin::MainMessageLoopMultithreadedWin()
    : thread_id_(cef_get_current_platform_thread_id()),
      task_message_id_(RegisterWindowMessageW(kTaskMessageName)),
      dialog_hwnd_(nullptr),
      message_hwnd_(nullptr),
      wake_pending_(false),
      wake_lost_(false) {}

MainMessageLoopMultithreadedWin::~MainMessageLoopMultithreadedWin() {
  // Tasks posted after Run ended are released unrun; their destructors may post again, so
  // they are released outside the lock.
  std::queue<CefRefPtr<CefTask>> unrun;
  {
    base::AutoLock lock_scope(lock_);
    unrun.swap(queued_tasks_);
  }
}

int MainMessageLoopMultithreadedWin::Run() {
  HINSTANCE hInstance = GetModuleHandleW(nullptr);

  bool woken = true;
  DWORD error = ERROR_SUCCESS;
  {
    base::AutoLock lock_scope(lock_);

    RegisterPlainWindowClass(kWndClass, MessageWndProc);

    message_hwnd_ = CreateWindowExW(0, kWndClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, hInstance, nullptr);
    CHECK(message_hwnd_);
    SetWindowUserData(message_hwnd_, this);

    // The tasks posted so far run first: every later one queues behind them.
    if (!queued_tasks_.empty()) woken = WakeLocked(&error);
  }
  if (!woken) LogLostWakeUp(L"Run", error);

  HACCEL hAccelTable = LoadAcceleratorsW(hInstance, MAKEINTRESOURCEW(kAcceleratorTableId));

  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!dialog_hwnd_ || !IsDialogMessageW(dialog_hwnd_, &msg)) {
      if (!TranslateAcceleratorW(msg.hwnd, hAccelTable, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    // A wake-up could not be posted: the tasks it was for run now.
    if (wake_lost_.load()) RunQueuedTasks();
  }

  HWND message_hwnd;
  std::queue<CefRefPtr<CefTask>> unrun;
  {
    // From here tasks wait in the queue and never run.
    base::AutoLock lock_scope(lock_);
    message_hwnd = message_hwnd_;
    message_hwnd_ = nullptr;
    wake_pending_ = false;
    unrun.swap(queued_tasks_);
  }
  // The tasks still queued never run either; released outside the lock, since a task's
  // destructor may post again. Wake-ups left in the thread's queue carry nothing.
  DestroyWindow(message_hwnd);
  while (!unrun.empty()) unrun.pop();

  return static_cast<int>(msg.wParam);
}

void MainMessageLoopMultithreadedWin::Quit() {
  // A task like any other: the work posted before it runs first.
  PostClosure(base::Bind(&PostQuitMessageTask, 0));
}

void MainMessageLoopMultithreadedWin::PostTask(CefRefPtr<CefTask> task) {
  bool woken = true;
  DWORD error = ERROR_SUCCESS;
  {
    base::AutoLock lock_scope(lock_);
    queued_tasks_.push(task);
    if (message_hwnd_) woken = WakeLocked(&error);
  }
  if (!woken) LogLostWakeUp(L"PostTask", error);
}

bool MainMessageLoopMultithreadedWin::WakeLocked(DWORD* error) {
  if (wake_pending_) return true;
  if (PostMessageW(message_hwnd_, task_message_id_, 0, 0)) {
    wake_pending_ = true;
    return true;
  }
  *error = GetLastError();
  wake_lost_ = true;
  return false;
}

void MainMessageLoopMultithreadedWin::RunQueuedTasks() {
  size_t count;
  {
    base::AutoLock lock_scope(lock_);
    // Tasks posted from here on need a wake-up of their own.
    wake_pending_ = false;
    wake_lost_ = false;
    count = queued_tasks_.size();
  }
  // Only those queued now: tasks that keep posting tasks leave room for the other messages.
  for (; count > 0; --count) {
    CefRefPtr<CefTask> task;
    {
      base::AutoLock lock_scope(lock_);
      if (queued_tasks_.empty()) break;  // a loop inside an earlier task ran them
      task = queued_tasks_.front();
      queued_tasks_.pop();
    }
    task->Execute();
  }
}

bool MainMessageLoopMultithreadedWin::RunsTasksOnCurrentThread() const {
  return thread_id_ == cef_get_current_platform_thread_id();
}

void MainMessageLoopMultithreadedWin::SetCurrentModelessDialog(HWND hwnd_dialog) { dialog_hwnd_ = hwnd_dialog; }

LRESULT CALLBACK MainMessageLoopMultithreadedWin::MessageWndProc(HWND hWnd, UINT message, WPARAM wParam,
                                                                LPARAM lParam) {
  MainMessageLoopMultithreadedWin* self = GetWindowUserData<MainMessageLoopMultithreadedWin*>(hWnd);
  if (self && message == self->task_message_id_) {
    // Whatever wParam holds: the tasks come from the loop's own queue.
    self->RunQueuedTasks();
  } else if (message == WM_CLOSE) {
    // Only Run ends the window: a close posted by another process would strand every task.
    return 0;
  } else if (message == WM_DESTROY) {
    SetWindowUserData(hWnd, nullptr);
  }
  return DefWindowProcW(hWnd, message, wParam, lParam);
}

}  // namespace client
