#include <windows.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "engine/browser_input.h"

namespace {

using cefengine::KeyEventFromMessage;
using cefengine::KeyModifiers;

// A keyboard whose listed keys are held down (high bit) or toggled (low bit).
cefengine::KeyStateReader Keyboard(std::map<int, SHORT> keys) {
  return [keys](int vk) -> SHORT {
    auto it = keys.find(vk);
    return it == keys.end() ? 0 : it->second;
  };
}
const SHORT kDown = static_cast<SHORT>(0x8000);
const SHORT kToggled = 0x0001;

const LPARAM kExtended = 1 << 24;
const LPARAM kAltContext = 1 << 29;

struct MessageCase {
  UINT message;
  cef_key_event_type_t type;
  bool system;
  bool character;
};

std::string MessageCaseName(const ::testing::TestParamInfo<MessageCase>& info) {
  static const char* const kNames[] = {"KeyDown", "KeyUp", "Char", "SysKeyDown", "SysKeyUp", "SysChar"};
  return info.index < 6 ? kNames[info.index] : std::to_string(info.index);
}

class KeyEventFromMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(KeyEventFromMessageTest, CarriesTheMessageFieldsUnchanged) {
  const MessageCase& c = GetParam();
  const WPARAM wparam = 0x41;
  const LPARAM lparam = 0x001E0001;
  CefKeyEvent event;
  ASSERT_TRUE(KeyEventFromMessage(c.message, wparam, lparam, EVENTFLAG_SHIFT_DOWN, true, &event));
  EXPECT_EQ(event.type, c.type);
  EXPECT_EQ(event.windows_key_code, 0x41);
  EXPECT_EQ(event.native_key_code, 0x001E0001);
  EXPECT_EQ(event.is_system_key != 0, c.system);
  EXPECT_EQ(event.modifiers, static_cast<uint32>(EVENTFLAG_SHIFT_DOWN));
  EXPECT_EQ(event.focus_on_editable_field, 1);
  EXPECT_EQ(event.character, c.character ? L'A' : 0);
  EXPECT_EQ(event.unmodified_character, c.character ? L'A' : 0);
}

INSTANTIATE_TEST_SUITE_P(Messages, KeyEventFromMessageTest,
                         ::testing::Values(MessageCase{WM_KEYDOWN, KEYEVENT_RAWKEYDOWN, false, false},
                                           MessageCase{WM_KEYUP, KEYEVENT_KEYUP, false, false},
                                           MessageCase{WM_CHAR, KEYEVENT_CHAR, false, true},
                                           MessageCase{WM_SYSKEYDOWN, KEYEVENT_RAWKEYDOWN, true, false},
                                           MessageCase{WM_SYSKEYUP, KEYEVENT_KEYUP, true, false},
                                           MessageCase{WM_SYSCHAR, KEYEVENT_CHAR, true, true}),
                         MessageCaseName);

TEST(KeyEventBuilder, OtherMessagesAreNotKeyEvents) {
  CefKeyEvent event;
  event.windows_key_code = 77;
  for (UINT message : {static_cast<UINT>(WM_MOUSEMOVE), static_cast<UINT>(WM_DEADCHAR),
                       static_cast<UINT>(WM_IME_CHAR), static_cast<UINT>(WM_NULL)}) {
    EXPECT_FALSE(cefengine::IsKeyMessage(message));
    EXPECT_FALSE(KeyEventFromMessage(message, 1, 2, 0, false, &event));
  }
  EXPECT_EQ(event.windows_key_code, 77);
  EXPECT_TRUE(cefengine::IsKeyMessage(WM_SYSCHAR));
}

TEST(KeyEventBuilder, NativeCodeKeepsTheHighBitsOfLparam) {
  // Key-up messages carry the transition and previous-state bits (31, 30).
  const LPARAM lparam = static_cast<LPARAM>(static_cast<int>(0xC01E0001u));
  CefKeyEvent event;
  ASSERT_TRUE(KeyEventFromMessage(WM_KEYUP, 'A', lparam, 0, false, &event));
  EXPECT_EQ(static_cast<unsigned>(event.native_key_code), 0xC01E0001u);
}

struct ModifierCase {
  const char* name;
  std::map<int, SHORT> keys;
  WPARAM wparam;
  LPARAM lparam;
  uint32 expected;
};

TEST(KeyEventBuilder, ModifiersFromKeyState) {
  const ModifierCase cases[] = {
      {"nothing held", {}, 'A', 0, 0},
      {"shift and control", {{VK_SHIFT, kDown}, {VK_CONTROL, kDown}}, 'A', 0,
       EVENTFLAG_SHIFT_DOWN | EVENTFLAG_CONTROL_DOWN},
      {"alt from key state", {{VK_MENU, kDown}}, 'A', 0, EVENTFLAG_ALT_DOWN},
      {"alt from the context bit", {}, 'A', kAltContext, EVENTFLAG_ALT_DOWN},
      {"locks toggled, not held", {{VK_CAPITAL, kToggled}, {VK_NUMLOCK, kToggled}}, 'A', 0,
       EVENTFLAG_CAPS_LOCK_ON | EVENTFLAG_NUM_LOCK_ON},
      {"caps held but not toggled", {{VK_CAPITAL, kDown}}, 'A', 0, 0},
      {"mouse buttons", {{VK_LBUTTON, kDown}, {VK_MBUTTON, kDown}, {VK_RBUTTON, kDown}}, 'A', 0,
       EVENTFLAG_LEFT_MOUSE_BUTTON | EVENTFLAG_MIDDLE_MOUSE_BUTTON | EVENTFLAG_RIGHT_MOUSE_BUTTON},
      {"pad digit", {}, VK_NUMPAD7, 0, EVENTFLAG_IS_KEY_PAD},
      {"pad home without extended bit", {}, VK_HOME, 0, EVENTFLAG_IS_KEY_PAD},
      {"dedicated home key", {}, VK_HOME, kExtended, 0},
      {"pad enter", {}, VK_RETURN, kExtended, EVENTFLAG_IS_KEY_PAD},
      {"main enter", {}, VK_RETURN, 0, 0},
      {"left shift", {{VK_SHIFT, kDown}}, VK_SHIFT, 0x002A0001, EVENTFLAG_SHIFT_DOWN | EVENTFLAG_IS_LEFT},
      {"right shift", {{VK_SHIFT, kDown}}, VK_SHIFT, 0x00360001, EVENTFLAG_SHIFT_DOWN | EVENTFLAG_IS_RIGHT},
      {"right control", {{VK_CONTROL, kDown}}, VK_CONTROL, kExtended,
       EVENTFLAG_CONTROL_DOWN | EVENTFLAG_IS_RIGHT},
      {"left alt", {{VK_MENU, kDown}}, VK_MENU, kAltContext, EVENTFLAG_ALT_DOWN | EVENTFLAG_IS_LEFT},
      {"right windows key", {}, VK_RWIN, 0, EVENTFLAG_IS_RIGHT},
  };
  for (const ModifierCase& c : cases)
    EXPECT_EQ(KeyModifiers(Keyboard(c.keys), c.wparam, c.lparam), c.expected) << c.name;
}

}  // namespace
