#include "engine/browser_registry.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "engine/logging.h"
#include "engine/pace.h"
#include "engine/task_threads.h"

namespace cefengine {

namespace {

// Longest wait for the UI thread to close the remaining browsers at shutdown.
const DWORD kShutdownCloseTimeoutMs = 10000;

std::atomic<int> g_next_browser_id{1};

struct Registry {
  std::mutex mutex;
  std::vector<CefRefPtr<BrowserImpl>> browsers;  // creation order
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();
  return *registry;
}

void DestroyAllOnUI() {
  for (CefRefPtr<BrowserImpl>& browser : AllBrowsers()) {
    // DevTools and popups may already have gone with their opener.
    if (!browser->IsDestroyed())
      browser->DestroyNow();
  }
}

}  // namespace

int NextBrowserId() {
  return g_next_browser_id++;
}

void RegisterBrowser(CefRefPtr<BrowserImpl> browser) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.browsers.push_back(browser);
}

void UnregisterBrowser(int browser_id) {
  CefRefPtr<BrowserImpl> gone;  // released outside the lock
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = std::find_if(r.browsers.begin(), r.browsers.end(),
                         [browser_id](const CefRefPtr<BrowserImpl>& b) { return b->id() == browser_id; });
  if (it != r.browsers.end()) {
    gone = *it;
    r.browsers.erase(it);
  }
}

CefRefPtr<BrowserImpl> FindBrowser(int browser_id) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (auto& browser : r.browsers)
    if (browser->id() == browser_id)
      return browser;
  return nullptr;
}

std::vector<CefRefPtr<BrowserImpl>> AllBrowsers() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.browsers;
}

void DestroyAllBrowsersForShutdown() {
  if (AllBrowsers().empty())
    return;
  if (CurrentlyOn(TID_UI)) {
    DestroyAllOnUI();
    return;
  }
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!done)
    return;
  if (!PostTo(TID_UI, [done]() {
        DestroyAllOnUI();
        SetEvent(done);
      })) {
    CloseHandle(done);
    return;
  }
  // Serve this thread's windows meanwhile: destroying a child of one of them involves this thread.
  ULONGLONG end = GetTickCount64() + Paced(kShutdownCloseTimeoutMs);
  for (;;) {
    ULONGLONG now = GetTickCount64();
    if (now >= end) {
      LOG(ERROR) << "CefShutdown: the open browsers did not close in time";
      break;
    }
    DWORD r = MsgWaitForMultipleObjects(1, &done, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    if (r == WAIT_OBJECT_0)
      break;
    if (r != WAIT_OBJECT_0 + 1)
      break;
    PumpPendingMessages();
  }
  // The task may still run after a timeout and set the event; it keeps no reference to it then.
  if (WaitForSingleObject(done, 0) == WAIT_OBJECT_0)
    CloseHandle(done);
}

}  // namespace cefengine
