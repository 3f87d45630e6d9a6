#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "include/base/cef_bind.h"
#include "include/cef_app.h"
#include "include/wrapper/cef_closure_task.h"
#include "include/wrapper/cef_helpers.h"
#include "testing/cefengine_testing.h"

namespace test = cefengine::test;

namespace {

// Starts the engine for one test and stops it again.
class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    CefSettings settings;
    settings.multi_threaded_message_loop = 1;
    settings.no_sandbox = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
  }
  void TearDown() override { CefShutdown(); }
};

class Recorder {
 public:
  void Add(const std::string& s) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(s);
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> log_;
};

void Note(Recorder* r, std::string s) {
  r->Add(s);
}

void NoteOn(Recorder* r, CefThreadId id, int i, std::atomic<int>* wrong) {
  if (!CefCurrentlyOn(id))
    ++*wrong;
  r->Add(std::to_string(id) + ":" + std::to_string(i));
}

using TaskThreads = EngineFixture;

TEST_F(TaskThreads, ImmediateTasksRunInPostingOrderOnTheirThread) {
  Recorder r;
  std::atomic<int> wrong_thread{0};
  const CefThreadId ids[] = {TID_UI, TID_IO, TID_FILE, TID_PROCESS_LAUNCHER};
  for (CefThreadId id : ids) {
    for (int i = 0; i < 20; ++i) {
      ASSERT_TRUE(CefPostTask(id, base::Bind(&NoteOn, &r, id, i, &wrong_thread)));
    }
  }
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(wrong_thread.load(), 0);
  std::vector<std::string> log = r.Log();
  ASSERT_EQ(log.size(), 80u);
  for (CefThreadId id : ids) {
    int expected = 0;
    for (const auto& s : log) {
      if (s.rfind(std::to_string(id) + ":", 0) == 0) {
        EXPECT_EQ(s, std::to_string(id) + ":" + std::to_string(expected++));
      }
    }
    EXPECT_EQ(expected, 20);
  }
  // The aliases share the FILE thread.
  bool on_file = false;
  ASSERT_TRUE(test::RunOn(TID_DB, [&] { on_file = CefCurrentlyOn(TID_FILE) && CefCurrentlyOn(TID_CACHE); }));
  EXPECT_TRUE(on_file);
  EXPECT_FALSE(CefCurrentlyOn(TID_UI));
}

TEST_F(TaskThreads, DelayedTasksRunByDueTimeThenPostingOrder) {
  Recorder r;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] {
    CefPostDelayedTask(TID_UI, base::Bind(&Note, &r, std::string("late")), 120);
    CefPostDelayedTask(TID_UI, base::Bind(&Note, &r, std::string("soon-a")), 40);
    CefPostDelayedTask(TID_UI, base::Bind(&Note, &r, std::string("soon-b")), 40);
    CefPostTask(TID_UI, base::Bind(&Note, &r, std::string("now")));
    // Posted from its own thread: runs on a later turn, not inside this call.
    r.Add("poster");
  }));
  ASSERT_TRUE(test::WaitFor([&] { return r.Log().size() == 5; }));
  EXPECT_EQ(r.Log(), (std::vector<std::string>{"poster", "now", "soon-a", "soon-b", "late"}));
}

TEST_F(TaskThreads, UiThreadPumpsMessagesAndHasOleInitialized) {
  HRESULT ole = E_FAIL;
  HWND hwnd = nullptr;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] {
    ole = OleInitialize(nullptr);  // S_FALSE: already initialised on this thread
    OleUninitialize();
    hwnd = CreateWindowExW(0, L"STATIC", L"probe", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }));
  EXPECT_EQ(ole, S_FALSE);
  ASSERT_TRUE(hwnd);
  // A synchronous message from this thread is served by the UI thread's loop.
  wchar_t text[16] = {};
  EXPECT_EQ(SendMessageW(hwnd, WM_GETTEXT, 16, reinterpret_cast<LPARAM>(text)), 5);
  EXPECT_STREQ(text, L"probe");
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { DestroyWindow(hwnd); }));
}

const UINT kCountedMessage = WM_APP + 7;
std::atomic<int> g_counted_messages{0};

LRESULT CALLBACK CountingWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kCountedMessage) {
    Sleep(100);  // a slow handler: a flush that returned before it cannot see it counted
    ++g_counted_messages;
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void SignalThenWait(HANDLE entered, HANDLE release) {
  SetEvent(entered);
  WaitForSingleObject(release, 10000);
}

void DoNothing() {}

TEST_F(TaskThreads, FlushAlsoWaitsForWindowMessagesPostedBeforeIt) {
  g_counted_messages = 0;
  HWND hwnd = nullptr;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = CountingWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FlushProbe";
    RegisterClassExW(&wc);
    hwnd = CreateWindowExW(0, L"FlushProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }));
  ASSERT_TRUE(hwnd);
  HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(CefPostTask(TID_UI, base::Bind(&SignalThenWait, entered, release)));
  ASSERT_EQ(WaitForSingleObject(entered, 5000), WAIT_OBJECT_0);
  // While the UI thread is busy: a task's wake-up is queued, then a window message behind it, and
  // the flush's own task joins that wake-up.
  ASSERT_TRUE(CefPostTask(TID_UI, base::Bind(&DoNothing)));
  ASSERT_TRUE(PostMessageW(hwnd, kCountedMessage, 0, 0));
  std::thread releaser([release] {
    Sleep(200);
    SetEvent(release);
  });
  EXPECT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(g_counted_messages.load(), 1);
  releaser.join();
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { DestroyWindow(hwnd); }));
  CloseHandle(entered);
  CloseHandle(release);
}

class DiesOnUi : public base::RefCountedThreadSafe<DiesOnUi, CefDeleteOnUIThread> {
 public:
  explicit DiesOnUi(std::atomic<int>* died_on_ui) : died_on_ui_(died_on_ui) {}

 private:
  friend struct CefDeleteOnThread<TID_UI>;
  ~DiesOnUi() { *died_on_ui_ = CefCurrentlyOn(TID_UI) ? 1 : 2; }
  std::atomic<int>* died_on_ui_;
};

TEST_F(TaskThreads, DeleteOnThreadTraitsDeleteOnTheNamedThread) {
  std::atomic<int> died{0};
  {
    scoped_refptr<DiesOnUi> obj = new DiesOnUi(&died);
  }  // last reference dropped on the main thread
  ASSERT_TRUE(test::WaitFor([&] { return died.load() != 0; }));
  EXPECT_EQ(died.load(), 1);
}

TEST(TaskThreadsLifetime, PostingFailsWithoutTheThreadAndReleasesTheTask) {
  class Counting : public CefTask {
   public:
    explicit Counting(std::atomic<int>* ran, std::atomic<int>* released) : ran_(ran), released_(released) {}
    ~Counting() override { ++*released_; }
    void Execute() override { ++*ran_; }

   private:
    std::atomic<int>* ran_;
    std::atomic<int>* released_;
    IMPLEMENT_REFCOUNTING(Counting);
  };
  std::atomic<int> ran{0}, released{0};
  EXPECT_FALSE(CefPostTask(TID_UI, new Counting(&ran, &released)));  // before start-up
  EXPECT_EQ(released.load(), 1);

  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
  EXPECT_FALSE(CefPostTask(TID_RENDERER, new Counting(&ran, &released)));  // not in this process
  EXPECT_EQ(released.load(), 2);
  // Queued but never run: released at shutdown, on the thread that shut down.
  EXPECT_TRUE(CefPostDelayedTask(TID_IO, new Counting(&ran, &released), 60000));
  CefShutdown();
  EXPECT_EQ(released.load(), 3);
  EXPECT_FALSE(CefPostTask(TID_IO, new Counting(&ran, &released)));  // after shutdown
  EXPECT_EQ(released.load(), 4);
  EXPECT_EQ(ran.load(), 0);
  EXPECT_FALSE(CefCurrentlyOn(TID_UI));
}

void Nothing() {}

// A task kept busy until its thread no longer takes tasks, i.e. until CefShutdown is stopping it.
void BusyUntilStopping(CefThreadId id) {
  for (int i = 0; i < 2000 && CefPostTask(id, base::Bind(&Nothing)); ++i)
    Sleep(5);
}

void NoteWhetherOn(CefThreadId id, std::atomic<int>* seen) {
  *seen = CefCurrentlyOn(id) ? 1 : 2;
}

TEST(TaskThreadsLifetime, TasksQueuedBeforeAThreadStopsRunAsThatThread) {
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
  // Queued behind a task that lasts into the thread's stop: it still runs there, as IO (an object
  // that CefDeleteOnIOThread releases there is deleted in place, not posted to a stopped thread).
  std::atomic<int> seen{0};
  ASSERT_TRUE(CefPostTask(TID_IO, base::Bind(&BusyUntilStopping, TID_IO)));
  ASSERT_TRUE(CefPostTask(TID_IO, base::Bind(&NoteWhetherOn, TID_IO, &seen)));
  CefShutdown();
  EXPECT_EQ(1, seen.load());
  EXPECT_FALSE(CefCurrentlyOn(TID_IO));
}

}  // namespace
