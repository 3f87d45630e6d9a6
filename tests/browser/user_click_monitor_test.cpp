// The click gate's clock rule, and the mouse hook seeing a real left click under Xvfb.
#include "browser/user_click_monitor.h"

#include <windows.h>

#include <atomic>

#include <gtest/gtest.h>

#include "browser/window_util.h"

#include "testing/cefengine_testing.h"
#include "tests/browser/pointer_lease.h"
#include "tests/channel/log_capture.h"

namespace {

TEST(UserClickMonitor, ClickWindowIsOneSecondAcrossTheTickWrap) {
  struct Case {
    DWORD click;
    DWORD now;
    bool passes;
  } cases[] = {
      {5000, 5000, true},         {5000, 5999, true},        {5000, 6000, false},
      {0, 500, false},            // no click yet
      {0xFFFFFE0C, 0xFFFFFFFF, true},  // 500 ms before the wrap, now just before it
      {0xFFFFFE0C, 0x000001F3, true},  // ... and 999 ms later, after the wrap
      {0xFFFFFE0C, 0x000001F4, false},  // 1000 ms later
      {0xFFFFFFFF, 0x000003E6, true},   // the last tick before the wrap, 999 ms later
  };
  for (const Case& c : cases)
    EXPECT_EQ(UserClickMonitor::IsWithinClickWindow(c.click, c.now), c.passes) << c.click << " " << c.now;
}

TEST(UserClickMonitor, GateOnlyWhenEnabled) {
  LogCapture log;
  UserClickMonitor* monitor = UserClickMonitor::GetInstance();
  EXPECT_EQ(monitor, UserClickMonitor::GetInstance());
  monitor->SetEnabled(false);
  EXPECT_TRUE(monitor->IsNewWindowAllowedAt(monitor->GetLastClickTick() + 5000));
  EXPECT_EQ(log.Count(L"User_Click: Avoid Popup NewWindow in Quenlet Mode"), 0u);

  monitor->SetEnabled(true);
  // A click seen by the hook procedure (called as the system would).
  MOUSEHOOKSTRUCT info = {};
  UserClickMonitor::MouseHookProc(HC_ACTION, WM_LBUTTONUP, reinterpret_cast<LPARAM>(&info));
  const DWORD click = monitor->GetLastClickTick();
  EXPECT_EQ(log.Count(L"User_Click: " + std::to_wstring(click)), 1u);
  EXPECT_TRUE(monitor->IsNewWindowAllowedAt(click + 999));
  EXPECT_FALSE(monitor->IsNewWindowAllowedAt(click + 1000));
  EXPECT_EQ(log.Count(L"User_Click: Avoid Popup NewWindow in Quenlet Mode"), 1u);

  // Other messages, and calls without a hook record, leave the tick alone.
  UserClickMonitor::MouseHookProc(HC_ACTION, WM_LBUTTONDOWN, reinterpret_cast<LPARAM>(&info));
  UserClickMonitor::MouseHookProc(HC_ACTION, WM_LBUTTONUP, 0);
  UserClickMonitor::MouseHookProc(-1, WM_LBUTTONUP, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(log.Count(L"User_Click: " + std::to_wstring(click)), 1u);
  monitor->SetEnabled(false);
}

// A clock read while the hook of another thread records a click: the click's tick lies after
// the reading.
DWORD WINAPI ClockDuringAClick() {
  const DWORD now = GetTickCount();
  cefengine::test::WaitFor([now] { return GetTickCount() != now; });
  MOUSEHOOKSTRUCT info = {};
  UserClickMonitor::MouseHookProc(HC_ACTION, WM_LBUTTONUP, reinterpret_cast<LPARAM>(&info));
  return now;
}

// The gate reads the last click before the clock, so a click recorded between the two readings
// never stands after "now" (which the wrap-safe rule would take for a click 49 days old): the
// request passes on the click before, as it would have an instant earlier.
TEST(UserClickMonitor, AClickRecordedWhileTheGateReadsTheClockDoesNotDropTheRequest) {
  LogCapture log;
  UserClickMonitor* monitor = UserClickMonitor::GetInstance();
  monitor->SetEnabled(true);
  MOUSEHOOKSTRUCT info = {};
  UserClickMonitor::MouseHookProc(HC_ACTION, WM_LBUTTONUP, reinterpret_cast<LPARAM>(&info));
  const DWORD first = monitor->GetLastClickTick();

  EXPECT_TRUE(monitor->IsNewWindowAllowedBy(&ClockDuringAClick));
  EXPECT_NE(monitor->GetLastClickTick(), first) << "the clock recorded a later click";
  EXPECT_EQ(log.Count(L"User_Click: Avoid Popup NewWindow in Quenlet Mode"), 0u);
  // The rule itself still takes a click after "now" for one from long ago.
  EXPECT_FALSE(UserClickMonitor::IsWithinClickWindow(first + 1, first));
  monitor->SetEnabled(false);
}

std::atomic<int> g_target_button_ups{0};

LRESULT CALLBACK TargetProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_LBUTTONUP) ++g_target_button_ups;
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// A visible topmost window of this thread (a class of its own: a static control lets clicks
// through), clicked through SendInput in a corner of the screen other tests leave alone.
class ClickTarget {
 public:
  ClickTarget() {
    client::RegisterPlainWindowClass(L"ClickMonitorTarget", TargetProc);
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, L"ClickMonitorTarget", L"click target", WS_POPUP | WS_VISIBLE, kLeft, kTop,
                            200, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(hwnd_);
    cefengine::test::WaitFor([] { return false; }, 200);
  }
  ~ClickTarget() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }

  // Returns once the window got the button's release (the hook, if any, has seen it then).
  bool Click() {
    PointerLease pointer;
    const int ups = g_target_button_ups.load();
    SetCursorPos(kLeft + 100, kTop + 100);
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    if (SendInput(2, inputs, sizeof(INPUT)) != 2) return false;
    return cefengine::test::WaitFor([ups] { return g_target_button_ups.load() > ups; });
  }

 private:
  static const int kLeft = 1040;
  static const int kTop = 780;
  HWND hwnd_;
};

TEST(UserClickMonitor, ThreadHookSeesRealClicksOncePerClick) {
  LogCapture log;
  UserClickMonitor* monitor = UserClickMonitor::GetInstance();
  ClickTarget target;
  ASSERT_NE(target.hwnd(), nullptr);

  // Disabled: no hook is installed.
  monitor->SetEnabled(false);
  monitor->HookCurrentThread();
  ASSERT_TRUE(target.Click());
  EXPECT_EQ(log.Count(L"User_Click: "), 0u);

  monitor->SetEnabled(true);
  monitor->HookCurrentThread();
  monitor->HookCurrentThread();  // one hook per thread
  ASSERT_TRUE(target.Click());
  EXPECT_EQ(log.Count(L"User_Click: "), 1u) << "one line per click: one hook";
  EXPECT_NE(monitor->GetLastClickTick(), 0u);
  EXPECT_TRUE(monitor->IsNewWindowAllowed());

  monitor->UnhookAll();
  ASSERT_TRUE(target.Click());
  EXPECT_EQ(log.Count(L"User_Click: "), 1u) << "unhooked";

  monitor->HookCurrentThread();  // hooks again after UnhookAll
  ASSERT_TRUE(target.Click());
  EXPECT_EQ(log.Count(L"User_Click: "), 2u);
  monitor->UnhookAll();
  monitor->SetEnabled(false);
}

}  // namespace
