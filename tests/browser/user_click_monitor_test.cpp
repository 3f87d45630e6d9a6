// The click gate's clock rule, and the mouse hook seeing a real left click under Xvfb.
#include "browser/user_click_monitor.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "browser/window_util.h"

#include "testing/cefengine_testing.h"
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

LRESULT CALLBACK TargetProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// A visible window of this thread (a class of its own: a static control lets clicks through),
// clicked through SendInput.
class ClickTarget {
 public:
  ClickTarget() {
    client::RegisterPlainWindowClass(L"ClickMonitorTarget", TargetProc);
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, L"ClickMonitorTarget", L"click target", WS_POPUP | WS_VISIBLE, 100, 100,
                            200, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(hwnd_);
    Pump(200);
  }
  ~ClickTarget() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }

  void Click() {
    SetCursorPos(200, 200);
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
    Pump(300);
  }
  static void Pump(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(10);
    }
  }

 private:
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
  target.Click();
  EXPECT_EQ(log.Count(L"User_Click: "), 0u);

  monitor->SetEnabled(true);
  monitor->HookCurrentThread();
  monitor->HookCurrentThread();  // one hook per thread
  target.Click();
  EXPECT_EQ(log.Count(L"User_Click: "), 1u) << "one line per click: one hook";
  EXPECT_NE(monitor->GetLastClickTick(), 0u);
  EXPECT_TRUE(monitor->IsNewWindowAllowed());

  monitor->UnhookAll();
  target.Click();
  EXPECT_EQ(log.Count(L"User_Click: "), 1u) << "unhooked";

  monitor->HookCurrentThread();  // hooks again after UnhookAll
  target.Click();
  EXPECT_EQ(log.Count(L"User_Click: "), 2u);
  monitor->UnhookAll();
  monitor->SetEnabled(false);
}

}  // namespace
