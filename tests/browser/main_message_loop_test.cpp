// The main loop with real threads and windows: order of tasks from many threads, quit, tasks
// that never run, nested loops, and the loop that hands everything to CEF.
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
