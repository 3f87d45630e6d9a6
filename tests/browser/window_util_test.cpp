// Window utilities and the temporary window, against real windows and the test thread's own
// keyboard state.
#include "browser/window_util.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/temp_window_win.h"
#include "include/internal/cef_types.h"
#include "testing/cefengine_testing.h"
#include "tests/channel/log_capture.h"

namespace {

using client::GetKeyboardModifierFlags;
using client::GetMouseModifierFlags;

// Collects failed checks instead of ending the process.
class FatalRecorder {
 public:
  FatalRecorder() {
    cefengine::test::SetFatalHandler([this](const std::string& message) { messages.push_back(message); });
  }
  ~FatalRecorder() { cefengine::test::SetFatalHandler(nullptr); }
  std::vector<std::string> messages;
};

TEST(DeviceScaleFactor, FactorsUpTo125PercentCountAsOne) {
  LogCapture log;
  struct Case {
    int dpi;
    float factor;
    const wchar_t* logged;
  } cases[] = {{72, 1.0f, L"dpi_x:72, scale_factor: 0.750000."},
               {96, 1.0f, L"dpi_x:96, scale_factor: 1.000000."},
               {120, 1.0f, L"dpi_x:120, scale_factor: 1.250000."},
               {144, 1.5f, L"dpi_x:144, scale_factor: 1.500000."},
               {192, 2.0f, L"dpi_x:192, scale_factor: 2.000000."}};
  for (const Case& c : cases) {
    EXPECT_EQ(client::DeviceScaleFactorForDpi(c.dpi), c.factor) << c.dpi;
    EXPECT_EQ(log.Count(std::wstring(L"GetDeviceScaleFactor,") + c.logged), 1u) << c.dpi;
  }
}

TEST(DeviceScaleFactor, TheScreenIsReadOnce) {
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(nullptr, dc);
  const float expected = dpi / 96.0f <= 1.25f ? 1.0f : dpi / 96.0f;
  LogCapture log;
  EXPECT_EQ(client::GetDeviceScaleFactor(), expected);
  EXPECT_EQ(client::GetDeviceScaleFactor(), expected);
  EXPECT_LE(log.Count(L"GetDeviceScaleFactor,dpi_x:"), 1u);
}

// Sets the test thread's keyboard state: `down` keys pressed, `toggled` keys toggled on.
void SetKeys(const std::vector<int>& down, const std::vector<int>& toggled = {}) {
  BYTE state[256] = {};
  for (int key : down) state[key] |= 0x80;
  for (int key : toggled) state[key] |= 0x01;
  ASSERT_TRUE(SetKeyboardState(state));
}

const LPARAM kExtended = static_cast<LPARAM>(KF_EXTENDED) << 16;

TEST(ModifierFlags, KeyboardTable) {
  struct Case {
    const char* name;
    WPARAM key;
    LPARAM lparam;
    std::vector<int> down;
    std::vector<int> toggled;
    int flags;
  } cases[] = {
      {"enter", VK_RETURN, 0, {}, {}, 0},
      {"keypad enter", VK_RETURN, kExtended, {}, {}, EVENTFLAG_IS_KEY_PAD},
      {"keypad arrow", VK_LEFT, 0, {}, {}, EVENTFLAG_IS_KEY_PAD},
      {"arrow key", VK_LEFT, kExtended, {}, {}, 0},
      {"keypad page down", VK_NEXT, 0, {}, {}, EVENTFLAG_IS_KEY_PAD},
      {"keypad insert", VK_INSERT, 0, {}, {}, EVENTFLAG_IS_KEY_PAD},
      {"delete key", VK_DELETE, kExtended, {}, {}, 0},
      {"numpad 5", VK_NUMPAD5, kExtended, {}, {}, EVENTFLAG_IS_KEY_PAD},
      {"numpad divide", VK_DIVIDE, 0, {}, {}, EVENTFLAG_IS_KEY_PAD},
      {"clear", VK_CLEAR, 0, {}, {}, EVENTFLAG_IS_KEY_PAD},
      {"separator is no keypad key", VK_SEPARATOR, 0, {}, {}, 0},
      {"letter", 'A', 0, {}, {}, 0},
      {"left shift", VK_SHIFT, 0, {VK_SHIFT, VK_LSHIFT}, {}, EVENTFLAG_SHIFT_DOWN | EVENTFLAG_IS_LEFT},
      {"right shift", VK_SHIFT, 0, {VK_SHIFT, VK_RSHIFT}, {}, EVENTFLAG_SHIFT_DOWN | EVENTFLAG_IS_RIGHT},
      {"both shifts", VK_SHIFT, 0, {VK_SHIFT, VK_LSHIFT, VK_RSHIFT}, {}, EVENTFLAG_SHIFT_DOWN | EVENTFLAG_IS_LEFT},
      {"right control", VK_CONTROL, 0, {VK_CONTROL, VK_RCONTROL}, {}, EVENTFLAG_CONTROL_DOWN | EVENTFLAG_IS_RIGHT},
      {"left alt", VK_MENU, 0, {VK_MENU, VK_LMENU}, {}, EVENTFLAG_ALT_DOWN | EVENTFLAG_IS_LEFT},
      {"left windows", VK_LWIN, 0, {}, {}, EVENTFLAG_IS_LEFT},
      {"right windows", VK_RWIN, 0, {}, {}, EVENTFLAG_IS_RIGHT},
      {"ctrl+alt with a letter", 'B', 0, {VK_CONTROL, VK_MENU}, {}, EVENTFLAG_CONTROL_DOWN | EVENTFLAG_ALT_DOWN},
      {"locks", 'C', 0, {}, {VK_NUMLOCK, VK_CAPITAL}, EVENTFLAG_NUM_LOCK_ON | EVENTFLAG_CAPS_LOCK_ON},
      {"caps lock pressed but off", 'C', 0, {VK_CAPITAL}, {}, 0},
  };
  for (const Case& c : cases) {
    SetKeys(c.down, c.toggled);
    EXPECT_EQ(GetKeyboardModifierFlags(c.key, c.lparam), c.flags) << c.name;
  }
  SetKeys({});
}

TEST(ModifierFlags, MouseTable) {
  SetKeys({});
  EXPECT_EQ(GetMouseModifierFlags(0), 0);
  EXPECT_EQ(GetMouseModifierFlags(MK_CONTROL), EVENTFLAG_CONTROL_DOWN);
  EXPECT_EQ(GetMouseModifierFlags(MK_SHIFT), EVENTFLAG_SHIFT_DOWN);
  EXPECT_EQ(GetMouseModifierFlags(MK_LBUTTON), EVENTFLAG_LEFT_MOUSE_BUTTON);
  EXPECT_EQ(GetMouseModifierFlags(MK_MBUTTON), EVENTFLAG_MIDDLE_MOUSE_BUTTON);
  EXPECT_EQ(GetMouseModifierFlags(MK_RBUTTON), EVENTFLAG_RIGHT_MOUSE_BUTTON);
  EXPECT_EQ(GetMouseModifierFlags(MK_LBUTTON | MK_RBUTTON | MK_SHIFT),
            EVENTFLAG_LEFT_MOUSE_BUTTON | EVENTFLAG_RIGHT_MOUSE_BUTTON | EVENTFLAG_SHIFT_DOWN);
  // Alt comes from the key state, as no MK_ bit carries it.
  SetKeys({VK_MENU}, {VK_CAPITAL});
  EXPECT_EQ(GetMouseModifierFlags(MK_LBUTTON),
            EVENTFLAG_ALT_DOWN | EVENTFLAG_LEFT_MOUSE_BUTTON | EVENTFLAG_CAPS_LOCK_ON);
  SetKeys({}, {VK_NUMLOCK});
  EXPECT_EQ(GetMouseModifierFlags(0), EVENTFLAG_NUM_LOCK_ON);
  SetKeys({});
}

TEST(WindowUserData, StoredReadAndClearedWithoutCheckFailures) {
  FatalRecorder fatal;
  HWND hwnd = CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  int object = 0;
  EXPECT_EQ(client::GetWindowUserData<int*>(hwnd), nullptr);
  client::SetWindowUserData(hwnd, &object);  // the previous value 0 is no failure
  EXPECT_EQ(client::GetWindowUserData<int*>(hwnd), &object);
  client::SetWindowUserData(hwnd, nullptr);
  EXPECT_EQ(client::GetWindowUserData<int*>(hwnd), nullptr);
  EXPECT_TRUE(fatal.messages.empty());
  DestroyWindow(hwnd);

  // A window that is gone fails the check.
  client::SetWindowUserData(hwnd, &object);
  ASSERT_EQ(fatal.messages.size(), 1u);
  EXPECT_NE(fatal.messages[0].find("Check failed: result != 0 || GetLastError() == ERROR_SUCCESS. "),
            std::string::npos);
}

LRESULT CALLBACK ReplacementProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP + 9) return 99;
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST(WindowProcedure, ReplacedAndCheckedForAMissingWindow) {
  FatalRecorder fatal;
  HWND hwnd = CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  WNDPROC old = client::ReplaceWindowProcedure(hwnd, ReplacementProc);
  EXPECT_NE(old, nullptr);
  EXPECT_EQ(SendMessageW(hwnd, WM_APP + 9, 0, 0), 99);
  EXPECT_EQ(client::ReplaceWindowProcedure(hwnd, old), ReplacementProc);
  EXPECT_TRUE(fatal.messages.empty());
  DestroyWindow(hwnd);

  client::ReplaceWindowProcedure(hwnd, ReplacementProc);
  ASSERT_FALSE(fatal.messages.empty());
  EXPECT_NE(fatal.messages[0].find("Check failed: old != NULL. "), std::string::npos);
}

TEST(TempWindow, HiddenOnePixelWindowLivingWithItsObject) {
  EXPECT_EQ(client::TempWindowWin::GetWindowHandle(), nullptr);
  HWND hwnd = nullptr;
  for (int round = 0; round < 2; ++round) {  // the class registered again fails harmlessly
    client::TempWindowWin temp_window;
    hwnd = client::TempWindowWin::GetWindowHandle();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    wchar_t class_name[64] = {};
    GetClassNameW(hwnd, class_name, 64);
    EXPECT_STREQ(class_name, L"Client_TempWindow");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)) & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN),
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN));
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    // Asked for 1x1; a captioned window is held at the system's smallest tracking size.
    EXPECT_LE(rect.right - rect.left, std::max(1, GetSystemMetrics(SM_CXMINTRACK)));
    EXPECT_LE(rect.bottom - rect.top, std::max(1, GetSystemMetrics(SM_CYMINTRACK)));
    EXPECT_EQ(GetParent(hwnd), nullptr);
  }
  EXPECT_EQ(client::TempWindowWin::GetWindowHandle(), nullptr);
  EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
