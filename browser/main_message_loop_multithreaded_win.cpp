#include "browser/main_message_loop_multithreaded_win.h"

#include <vector>

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

// Hands one reference of the task to a task message. False (the reference taken back) when
// the message could not be posted; the caller still holds its own reference then.
bool PostTaskMessage(HWND hwnd, UINT message_id, CefTask* task) {
  task->AddRef();
  if (PostMessageW(hwnd, message_id, reinterpret_cast<WPARAM>(task), 0)) return true;
  LogErrorW(L"MainMessageLoopMultithreadedWin::PostTask, PostMessage failed, error=%d",
            static_cast<int>(GetLastError()));
  task->Release();
  return false;
}

}  // namespace

MainMessageLoopMultithreadedWin::MainMessageLoopMultithreadedWin()
    : thread_id_(cef_get_current_platform_thread_id()),
      task_message_id_(RegisterWindowMessageW(kTaskMessageName)),
      dialog_hwnd_(nullptr),
      message_hwnd_(nullptr) {}

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

  // Tasks whose message could not be posted; released outside the lock.
  std::vector<CefRefPtr<CefTask>> dropped;
  {
    base::AutoLock lock_scope(lock_);

    RegisterPlainWindowClass(kWndClass, MessageWndProc);

    message_hwnd_ = CreateWindowExW(0, kWndClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, hInstance, nullptr);
    CHECK(message_hwnd_);
    SetWindowUserData(message_hwnd_, this);

    // Still under the lock, so no later task can overtake the early ones.
    while (!queued_tasks_.empty()) {
      if (!PostTaskMessage(message_hwnd_, task_message_id_, queued_tasks_.front().get()))
        dropped.push_back(queued_tasks_.front());
      queued_tasks_.pop();
    }
  }
  dropped.clear();

  HACCEL hAccelTable = LoadAcceleratorsW(hInstance, MAKEINTRESOURCEW(kAcceleratorTableId));

  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (dialog_hwnd_ && IsDialogMessageW(dialog_hwnd_, &msg)) continue;
    if (!TranslateAcceleratorW(msg.hwnd, hAccelTable, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  HWND message_hwnd;
  {
    // From here tasks wait in the queue and never run.
    base::AutoLock lock_scope(lock_);
    message_hwnd = message_hwnd_;
    message_hwnd_ = nullptr;
  }
  // Task messages still queued for the window never run either; their references are released
  // here, outside the lock, since a task's destructor may post again.
  MSG pending;
  while (PeekMessageW(&pending, message_hwnd, task_message_id_, task_message_id_, PM_REMOVE))
    reinterpret_cast<CefTask*>(pending.wParam)->Release();
  DestroyWindow(message_hwnd);

  return static_cast<int>(msg.wParam);
}

void MainMessageLoopMultithreadedWin::Quit() {
  // A task like any other: the work posted before it runs first.
  PostClosure(base::Bind(&PostQuitMessageTask, 0));
}

void MainMessageLoopMultithreadedWin::PostTask(CefRefPtr<CefTask> task) {
  base::AutoLock lock_scope(lock_);
  if (message_hwnd_) {
    // A failed post leaves the caller's reference in `task`, released after the lock.
    PostTaskMessage(message_hwnd_, task_message_id_, task.get());
  } else {
    queued_tasks_.push(task);
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
    // The message carries one reference.
    CefTask* task = reinterpret_cast<CefTask*>(wParam);
    task->Execute();
    task->Release();
  } else if (message == WM_DESTROY) {
    SetWindowUserData(hWnd, nullptr);
  }
  return DefWindowProcW(hWnd, message, wParam, lParam);
}

}  // namespace client
