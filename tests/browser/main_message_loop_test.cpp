// The main loop with real threads and windows: order of tasks from many threads, quit, tasks
// that never run, nested loops, what other programs may post to its window, wake-ups that
// cannot be posted, and the loop that hands everything to CEF.
#include "browser/main_message_loop_multithreaded_win.h"
#include "browser/main_message_loop_std.h"
#include "browser/window_util.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "include/base/cef_bind.h"
#include "include/cef_app.h"
#include "testing/cefengine_testing.h"
#include "tests/channel/log_capture.h"

namespace {

using client::MainMessageLoop;
using client::MainMessageLoopMultithreadedWin;

// Counts what happens to every task: runs (with the thread) and destructions.
struct TaskLog {
  std::mutex mutex;
  std::vector<int> order;
  std::vector<DWORD> threads;
  std::atomic<int> destroyed{0};

  void Ran(int id) {
    std::lock_guard<std::mutex> lock(mutex);
    order.push_back(id);
    threads.push_back(GetCurrentThreadId());
  }
  std::vector<int> Order() {
    std::lock_guard<std::mutex> lock(mutex);
    return order;
  }
};

class LoggedTask : public CefTask {
 public:
  LoggedTask(TaskLog* log, int id, std::function<void()> then = nullptr) : log_(log), id_(id), then_(then) {}
  ~LoggedTask() override { ++log_->destroyed; }
  void Execute() override {
    log_->Ran(id_);
    if (then_) then_();
  }

 private:
  TaskLog* log_;
  int id_;
  std::function<void()> then_;
  IMPLEMENT_REFCOUNTING(LoggedTask);
};

void Post(int id, TaskLog* log, std::function<void()> then = nullptr) {
  MainMessageLoop::Get()->PostTask(new LoggedTask(log, id, then));
}

// The loop's message window, made by Run on this thread.
HWND LoopWindow() {
  for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"Client_MessageWindow", nullptr); window;
       window = FindWindowExW(HWND_MESSAGE, window, L"Client_MessageWindow", nullptr)) {
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) return window;
  }
  return nullptr;
}

// Run's code given to a loop that did not end in time.
const int kRunTimedOut = 99;

// Runs the loop on this thread; a loop that has not ended within `ms` is ended with kRunTimedOut.
int RunWithin(MainMessageLoopMultithreadedWin& loop, DWORD ms = 20000) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const DWORD main_thread = GetCurrentThreadId();
  std::thread watchdog([&] {
    if (WaitForSingleObject(done, ms) == WAIT_TIMEOUT) PostThreadMessageW(main_thread, WM_QUIT, kRunTimedOut, 0);
  });
  const int code = loop.Run();
  SetEvent(done);
  watchdog.join();
  CloseHandle(done);
  return code;
}

TEST(MainMessageLoop, TasksFromManyThreadsRunOnTheMainThreadInPostingOrder) {
  TaskLog log;
  const DWORD main_thread = GetCurrentThreadId();
  MainMessageLoopMultithreadedWin loop;

  // Before Run: two threads, each posting a numbered run of tasks (ids 1000+ and 2000+).
  std::thread first([&] {
    for (int i = 0; i < 50; ++i) Post(1000 + i, &log);
  });
  std::thread second([&] {
    for (int i = 0; i < 50; ++i) Post(2000 + i, &log);
  });
  first.join();
  second.join();

  // After Run started: a third thread posts (ids 3000+), then quits from its own thread.
  std::thread third;
  Post(0, &log, [&] {
    third = std::thread([&] {
      for (int i = 0; i < 50; ++i) Post(3000 + i, &log);
      MainMessageLoop::Get()->Quit();
    });
  });

  EXPECT_EQ(loop.Run(), 0);
  third.join();

  const std::vector<int> order = log.Order();
  ASSERT_EQ(order.size(), 151u);
  for (DWORD thread : log.threads) EXPECT_EQ(thread, main_thread);
  // Each thread's tasks in its posting order; every early task before the first late one.
  int last[4] = {999, 1999, 2999, -1};
  size_t first_late = order.size();
  for (size_t i = 0; i < order.size(); ++i) {
    const int group = order[i] / 1000;
    if (order[i] == 0) continue;
    EXPECT_EQ(order[i], last[group - 1] + 1) << "at " << i;
    last[group - 1] = order[i];
    if (group == 3 && first_late == order.size()) first_late = i;
  }
  for (size_t i = first_late; i < order.size(); ++i) EXPECT_EQ(order[i] / 1000, 3) << "early task after a late one";
  // The marker task was posted after the early ones, from the main thread before Run.
  EXPECT_LT(std::find(order.begin(), order.end(), 0) - order.begin(), static_cast<long>(first_late));
}

TEST(MainMessageLoop, QuitEndsRunAfterEarlierTasksAndLaterTasksNeverRun) {
  TaskLog log;
  {
    MainMessageLoopMultithreadedWin loop;
    Post(1, &log);
    Post(2, &log, [] { MainMessageLoop::Get()->Quit(); });
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_EQ(log.Order(), (std::vector<int>{1, 2}));
    EXPECT_EQ(log.destroyed.load(), 2);

    // After Run: kept, never run; released when the loop goes.
    Post(3, &log);
    std::thread([&] { Post(4, &log); }).join();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_EQ(log.destroyed.load(), 2);
    EXPECT_EQ(MainMessageLoop::Get(), &loop);
  }
  EXPECT_EQ(log.Order(), (std::vector<int>{1, 2}));
  EXPECT_EQ(log.destroyed.load(), 4);
  EXPECT_EQ(MainMessageLoop::Get(), nullptr);
}

TEST(MainMessageLoop, TaskMessagesLeftBehindAQuitMessageAreReleasedUnrun) {
  TaskLog log;
  MainMessageLoopMultithreadedWin loop;
  Post(1, &log, [&] {
    // A WM_QUIT posted in the queue (not PostQuitMessage) ends the loop before the next task.
    PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 7, 0);
    Post(2, &log);
  });
  EXPECT_EQ(loop.Run(), 7);
  EXPECT_EQ(log.Order(), (std::vector<int>{1}));
  EXPECT_EQ(log.destroyed.load(), 2);
}

TEST(MainMessageLoop, RunsTasksOnlyOnTheConstructingThread) {
  MainMessageLoopMultithreadedWin loop;
  EXPECT_TRUE(loop.RunsTasksOnCurrentThread());
  bool elsewhere = true;
  std::thread([&] { elsewhere = MainMessageLoop::Get()->RunsTasksOnCurrentThread(); }).join();
  EXPECT_FALSE(elsewhere);
}

TEST(MainMessageLoop, TasksRunInsideANestedLoopOfTheMainThread) {
  TaskLog log;
  MainMessageLoopMultithreadedWin loop;
  std::thread poster;
  Post(1, &log, [&] {
    // A modal loop of its own (as a message box or a window move would run).
    std::atomic<bool> done{false};
    poster = std::thread([&] { Post(2, &log, [&] { done = true; }); });
    MSG msg;
    while (!done && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    Post(3, &log, [] { MainMessageLoop::Get()->Quit(); });
  });
  EXPECT_EQ(loop.Run(), 0);
  poster.join();
  EXPECT_EQ(log.Order(), (std::vector<int>{1, 2, 3}));
}

// Any program can find the window and post to it: a wake-up with garbage in wParam, or a close,
// posted by another process while tasks flow runs no task of its making, ends nothing, and the
// posted tasks all run once, in order.
TEST(MainMessageLoop, WakeUpsAndClosesPostedByAnotherProcessRunNothingOfTheirs) {
  TaskLog log;
  MainMessageLoopMultithreadedWin loop;
  std::thread poster;
  std::atomic<int> posted{0};
  DWORD poster_code = 100;
  bool window_alive = false;
  Post(0, &log, [&] {
    const HWND window = LoopWindow();
    poster = std::thread([&, window] {
      wchar_t handle[32];
      swprintf(handle, 32, L"%llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
      // 16: WM_CLOSE.
      std::wstring command = L"window_message_poster.exe " + std::wstring(handle) + L" 1500 Client_CustomTask 16";
      STARTUPINFOW startup = {sizeof(startup)};
      PROCESS_INFORMATION process = {};
      if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        // Real tasks meanwhile, paced so that they mix with the other program's messages.
        while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT && posted < 5000) Post(++posted, &log);
        WaitForSingleObject(process.hProcess, 20000);
        GetExitCodeProcess(process.hProcess, &poster_code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
      }
      Post(++posted, &log, [&, window] {
        window_alive = IsWindow(window) && LoopWindow() == window;
        MainMessageLoop::Get()->Quit();
      });
    });
  });
  EXPECT_EQ(RunWithin(loop), 0);
  poster.join();

  EXPECT_EQ(poster_code, 0u) << "every post reached the window";
  EXPECT_TRUE(window_alive);
  const std::vector<int> order = log.Order();
  ASSERT_EQ(order.size(), static_cast<size_t>(posted.load()) + 1);
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], static_cast<int>(i));
  EXPECT_EQ(log.destroyed.load(), posted.load() + 1);
}

// A wake-up that cannot be posted loses no task and runs none twice: the failure is logged and
// the tasks wait in the queue for the next message the loop retrieves.
TEST(MainMessageLoop, AWakeUpThatCannotBePostedIsLoggedAndItsTasksStillRunOnceInOrder) {
  LogCapture capture;
  TaskLog log;
  MainMessageLoopMultithreadedWin loop;
  const DWORD main_thread = GetCurrentThreadId();
  std::thread late;
  Post(1, &log, [&] {
    // Only this thread can destroy the window (it ignores a close from elsewhere); from here on
    // every wake-up fails.
    ASSERT_TRUE(DestroyWindow(LoopWindow()));
    Post(2, &log);
    std::thread([&] { Post(3, &log); }).join();
    Post(4, &log, [&] {
      // Posted while the main thread waits for messages: the next one it gets runs the task.
      late = std::thread([&] {
        Post(5, &log, [] { PostQuitMessage(0); });
        PostThreadMessageW(main_thread, WM_NULL, 0, 0);
      });
    });
  });
  EXPECT_EQ(RunWithin(loop), 0);
  if (late.joinable()) late.join();
  EXPECT_EQ(log.Order(), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(log.destroyed.load(), 5);
  EXPECT_GE(capture.Count(L"MainMessageLoopMultithreadedWin::PostTask, PostMessage failed, error="), 3u);
}

std::atomic<int> g_other_window_seen{0};

LRESULT CALLBACK OtherWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP + 5) {
    g_other_window_seen = static_cast<int>(wparam);
    MainMessageLoop::Get()->Quit();
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST(MainMessageLoop, OtherWindowsOfTheMainThreadAreServed) {
  MainMessageLoopMultithreadedWin loop;
  // A plain window of the main thread: its posted message reaches its procedure through Run.
  client::RegisterPlainWindowClass(L"MainLoopTestWindow", OtherWindowProc);
  HWND hwnd = CreateWindowExW(0, L"MainLoopTestWindow", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(hwnd, nullptr);
  PostMessageW(hwnd, WM_APP + 5, 42, 0);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(g_other_window_seen.load(), 42);
  DestroyWindow(hwnd);
}

// The single-threaded variant hands its tasks to CEF's UI thread.
TEST(MainMessageLoopStd, PostsToCefsUiThread) {
  cefengine::test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  client::MainMessageLoopStd loop;
  EXPECT_FALSE(loop.RunsTasksOnCurrentThread());
  TaskLog log;
  bool on_ui = false;
  loop.PostTask(new LoggedTask(&log, 1, [&] { on_ui = MainMessageLoop::Get()->RunsTasksOnCurrentThread(); }));
  EXPECT_TRUE(cefengine::test::Flush(TID_UI));
  EXPECT_EQ(log.Order(), (std::vector<int>{1}));
  EXPECT_TRUE(on_ui);
}

}  // namespace
