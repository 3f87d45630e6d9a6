// Remembers when the user last released the left mouse button in the hooked threads, so that a
// page's new-window requests reach the host only right after a real click while the monitor
// is enabled ("quenlet_mode" / "check_user_click" in the "cmd" switch).
//
// One object per process, made on first use and never freed. The enabled flag and the last
// click tick are read without a lock; the hook map changes only under the monitor's lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>

#include "base/critical_section.h"

class UserClickMonitor {
 public:
  // Never null.
  static UserClickMonitor* GetInstance();

  UserClickMonitor(const UserClickMonitor&) = delete;
  UserClickMonitor& operator=(const UserClickMonitor&) = delete;

  bool IsEnabled() const { return enabled_.load(); }
  // Set while the browser process fills its settings, before any hook exists.
  void SetEnabled(bool enabled) { enabled_.store(enabled); }
  // GetTickCount of the latest left-button release seen by a hook; 0 before the first.
  DWORD GetLastClickTick() const { return last_click_tick_.load(); }

  // When enabled: installs a mouse hook for the calling thread unless it has one already
  // (a failed install is remembered too and not retried).
  void HookCurrentThread();
  // Removes every hook and forgets them.
  void UnhookAll();

  // The gate for a page's new-window request: when enabled, true only within 1000 ms after the
  // last click (the tick's wrap after 49.7 days included); when disabled, always true. A
  // refused request is logged.
  bool IsNewWindowAllowed();
  // The same with another clock. The last click tick is read before the clock: a click that a
  // hook records in between would otherwise lie after "now" and read as 49 days old.
  typedef DWORD(WINAPI* TickClock)();
  bool IsNewWindowAllowedBy(TickClock clock);
  // The same at a given GetTickCount value.
  bool IsNewWindowAllowedAt(DWORD now_tick);
  // The gate's clock rule: a click was seen (tick not 0) less than 1000 ms before now_tick.
  static bool IsWithinClickWindow(DWORD last_click_tick, DWORD now_tick);

  static LRESULT CALLBACK MouseHookProc(int code, WPARAM message, LPARAM info);

 private:
  UserClickMonitor();
  // The gate's decision for a click tick read before now_tick; logs a refusal.
  bool Decide(DWORD last_click_tick, DWORD now_tick);

  _BaseModule::CCriticalSection lock_;
  std::atomic<DWORD> last_click_tick_;
  std::atomic<bool> enabled_;
  std::map<DWORD, HHOOK> hooks_;
};
