#include "browser/user_click_monitor.h"

#include "base/log.h"

namespace {

// Guards the creation of the process's monitor.
_BaseModule::CCriticalSection g_csClickMonitor;
std::atomic<UserClickMonitor*> g_pClickMonitor(nullptr);

// A new-window request passes this long after the last click.
const DWORD kClickWindowMs = 1000;

}  // namespace

UserClickMonitor::UserClickMonitor() : last_click_tick_(0), enabled_(false) {}

UserClickMonitor* UserClickMonitor::GetInstance() {
  UserClickMonitor* monitor = g_pClickMonitor.load();
  if (monitor) return monitor;
  _BaseModule::CAutoLocker lock(&g_csClickMonitor);
  monitor = g_pClickMonitor.load();
  if (!monitor) {
    monitor = new UserClickMonitor();
    // Published complete (sequentially consistent store).
    g_pClickMonitor.store(monitor);
  }
  return monitor;
}

void UserClickMonitor::HookCurrentThread() {
  if (!IsEnabled()) return;
  _BaseModule::CAutoLocker lock(&lock_);
  const DWORD thread_id = GetCurrentThreadId();
  if (hooks_.find(thread_id) != hooks_.end()) return;
  hooks_[thread_id] = SetWindowsHookExW(WH_MOUSE, &UserClickMonitor::MouseHookProc, nullptr, thread_id);
}

void UserClickMonitor::UnhookAll() {
  _BaseModule::CAutoLocker lock(&lock_);
  for (const auto& hook : hooks_) {
    if (hook.second) UnhookWindowsHookEx(hook.second);
  }
  hooks_.clear();
}

bool UserClickMonitor::IsNewWindowAllowed() { return IsNewWindowAllowedBy(&GetTickCount); }

bool UserClickMonitor::IsNewWindowAllowedBy(TickClock clock) {
  if (!IsEnabled()) return true;
  const DWORD last_click_tick = GetLastClickTick();
  return Decide(last_click_tick, clock());
}

bool UserClickMonitor::IsNewWindowAllowedAt(DWORD now_tick) {
  return !IsEnabled() || Decide(GetLastClickTick(), now_tick);
}

bool UserClickMonitor::Decide(DWORD last_click_tick, DWORD now_tick) {
  if (IsWithinClickWindow(last_click_tick, now_tick)) return true;
  LogInfoW(L"User_Click: Avoid Popup NewWindow in Quenlet Mode");
  return false;
}

bool UserClickMonitor::IsWithinClickWindow(DWORD last_click_tick, DWORD now_tick) {
  // Unsigned difference: right across the tick's wrap as well.
  return last_click_tick != 0 && static_cast<DWORD>(now_tick - last_click_tick) < kClickWindowMs;
}

LRESULT CALLBACK UserClickMonitor::MouseHookProc(int code, WPARAM message, LPARAM info) {
  if (code >= 0 && message == WM_LBUTTONUP && info) {
    const DWORD tick = GetTickCount();
    GetInstance()->last_click_tick_.exchange(tick);
    LogInfoW(L"User_Click: %u", static_cast<unsigned>(tick));
  }
  return CallNextHookEx(nullptr, code, message, info);
}
