#include "testing/cefengine_testing.h"

#include <windows.h>

#include <memory>

#include "engine/context.h"
#include "engine/logging.h"
#include "engine/pace.h"
#include "engine/process_message_impl.h"
#include "engine/task_threads.h"
#include "include/wrapper/cef_closure_task.h"

namespace cefengine {
namespace test {

namespace {

const CefThreadId kEngineThreads[] = {TID_UI, TID_IO, TID_FILE, TID_PROCESS_LAUNCHER, TID_RENDERER};

// Set from the target thread; waited for by the caller.
struct Signal {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~Signal() { CloseHandle(event); }
};

void RunAndSignal(std::shared_ptr<std::function<void()>> fn, std::shared_ptr<Signal> done) {
  if (*fn)
    (*fn)();
  SetEvent(done->event);
}

// A test's wait as long as this machine's pace makes it (see engine/pace.h).
int PacedMs(int timeout_ms) {
  if (timeout_ms <= 0)
    return timeout_ms;
  const DWORD paced = Paced(static_cast<DWORD>(timeout_ms));
  return paced > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(paced);
}

// Waits for `event` while serving the calling thread's messages.
bool WaitPumping(HANDLE event, int timeout_ms) {
  ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  for (;;) {
    ULONGLONG now = GetTickCount64();
    if (now >= end)
      return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    if (r == WAIT_OBJECT_0)
      return true;
    if (r != WAIT_OBJECT_0 + 1)
      return false;
    PumpPendingMessages();
  }
}

}  // namespace

void EnableJournal(bool on) {
  cefengine::ClearJournal();
  cefengine::EnableJournal(on);
}

void ClearJournal() {
  cefengine::ClearJournal();
}

std::vector<JournalEntry> Journal() {
  return JournalSnapshot();
}

bool ExpectOrder(const std::vector<std::string>& kinds) {
  size_t next = 0;
  for (const auto& entry : JournalSnapshot())
    if (next < kinds.size() && entry.kind == kinds[next])
      ++next;
  return next == kinds.size();
}

std::vector<JournalEntry> EntriesOf(const std::string& kind) {
  std::vector<JournalEntry> out;
  for (const auto& entry : JournalSnapshot())
    if (entry.kind == kind)
      out.push_back(entry);
  return out;
}

bool WaitFor(const std::function<bool()>& pred, int timeout_ms) {
  ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(PacedMs(timeout_ms));
  for (;;) {
    if (pred())
      return true;
    if (GetTickCount64() >= end)
      return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    PumpPendingMessages();
  }
}

bool PumpUntil(const std::function<bool()>& pred, int timeout_ms) {
  return WaitFor(pred, timeout_ms);
}

namespace {

// RunOn and Flush with a wait that is already paced.
bool RunOnWithin(CefThreadId id, const std::function<void()>& fn, int paced_ms) {
  if (CurrentlyOn(id)) {
    if (fn)
      fn();
    return true;
  }
  auto shared_fn = std::make_shared<std::function<void()>>(fn);
  auto done = std::make_shared<Signal>();
  if (!CefPostTask(id, base::Bind(&RunAndSignal, shared_fn, done)))
    return false;
  return WaitPumping(done->event, paced_ms);
}

bool FlushWithin(CefThreadId id, int paced_ms) {
  // A task posted while the thread's wake-up message is still queued runs at that wake-up, ahead of
  // window messages posted after it. The second task's wake-up is posted only once the first task
  // ran, so behind every message posted before this call.
  return RunOnWithin(id, std::function<void()>(), paced_ms) && RunOnWithin(id, std::function<void()>(), paced_ms);
}

}  // namespace

bool RunOn(CefThreadId id, const std::function<void()>& fn, int timeout_ms) {
  return RunOnWithin(id, fn, PacedMs(timeout_ms));
}

bool Flush(CefThreadId id, int timeout_ms) {
  return FlushWithin(id, PacedMs(timeout_ms));
}

bool Quiesce(int timeout_ms) {
  ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(PacedMs(timeout_ms));
  int idle_rounds = 0;
  while (idle_rounds < 2) {
    if (GetTickCount64() >= end)
      return false;
    bool idle = true;
    for (CefThreadId id : kEngineThreads) {
      if (!IsThreadRunning(id) || CurrentlyOn(id))
        continue;
      ULONGLONG now = GetTickCount64();
      if (!FlushWithin(id, static_cast<int>(end > now ? end - now : 0)))
        return false;
      idle = idle && IsThreadIdle(id);
    }
    idle_rounds = idle ? idle_rounds + 1 : 0;
  }
  return true;
}

void FailCefInitialize() {
  FailNextInitialize();
}

void FailNextProcessMessageCreate() {
  cefengine::FailNextProcessMessageCreate();
}

void SetSendToRendererFails(int browser_id, bool fail) {
  cefengine::SetSendToRendererFails(browser_id, fail);
}

void SetFatalHandler(std::function<void(const std::string& message)> handler) {
  cefengine::SetFatalHandler(std::move(handler));
}

}  // namespace test
}  // namespace cefengine
