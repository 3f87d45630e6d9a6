#include <windows.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "engine/browser_input.h"
#include "page_test_client.h"

namespace {

using page_test::PageFixture;
namespace test = cefengine::test;

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

// --- The keyboard path and other input of live browsers ---

CefKeyEvent KeyDown(int code) {
  CefKeyEvent event;
  event.type = KEYEVENT_RAWKEYDOWN;
  event.windows_key_code = code;
  event.native_key_code = 0x00410001;
  event.modifiers = EVENTFLAG_CONTROL_DOWN;
  return event;
}

struct KeyPathCase {
  bool pre_key_result;
  bool key_result;
  std::vector<std::string> expected;
};

TEST(KeyPath, PreKeyEventConsumesOrHandsTheKeyOnToOnKeyEvent) {
  const KeyPathCase cases[] = {
      {false, false, {"OnPreKeyEvent 65 shortcut-clear", "OnKeyEvent 65"}},
      {false, true, {"OnPreKeyEvent 65 shortcut-clear", "OnKeyEvent 65"}},
      {true, false, {"OnPreKeyEvent 65 shortcut-clear"}},
  };
  PageFixture f;
  ASSERT_TRUE(f.ok());
  for (const KeyPathCase& c : cases) {
    f.client->pre_key_result = c.pre_key_result;
    f.client->key_result = c.key_result;
    f.client->ClearEvents();
    ASSERT_TRUE(test::UserKey(f.browser, KeyDown('A')));
    std::vector<std::string> keys;
    for (const std::string& e : f.client->Events())
      if (e.find("KeyEvent") != std::string::npos)
        keys.push_back(e);
    EXPECT_EQ(keys, c.expected) << "pre " << c.pre_key_result << " key " << c.key_result;
  }
  EXPECT_EQ(f.client->wrong_thread_calls(), 0);
}

TEST(KeyPath, ShortcutFlagStartsFalseForEveryKey) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->pre_key_sets_shortcut = true;
  ASSERT_TRUE(test::UserKey(f.browser, KeyDown('B')));
  ASSERT_TRUE(test::UserKey(f.browser, KeyDown('B')));
  EXPECT_EQ(f.client->Count("OnPreKeyEvent 66 shortcut-clear"), 2);
  std::vector<test::JournalEntry> pre = test::EntriesOf("OnPreKeyEvent");
  ASSERT_EQ(pre.size(), 2u);
  EXPECT_EQ(pre[0].args[3], "true");  // what the handler left in the flag is journaled
}

TEST(KeyPath, SendKeyEventIsJournaledWithEveryFieldAndReachesTheHandlerUnchanged) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  CefKeyEvent event;
  event.type = KEYEVENT_CHAR;
  event.modifiers = EVENTFLAG_SHIFT_DOWN | EVENTFLAG_IS_KEY_PAD;
  event.windows_key_code = 0x61;
  event.native_key_code = 0x1E0001;
  event.is_system_key = 1;
  event.character = L'a';
  event.unmodified_character = L'A';
  event.focus_on_editable_field = 1;
  f.host()->SendKeyEvent(event);
  ASSERT_TRUE(f.client->WaitEvent("OnKeyEvent"));
  std::vector<test::JournalEntry> sent = test::EntriesOf("SendKeyEvent");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].args, (std::vector<std::string>{"3", "514", "97", "1966081", "1", "97", "65", "1"}));
  EXPECT_EQ(sent[0].browser, f.browser->GetIdentifier());
  std::vector<CefKeyEvent> seen = f.client->KeyEvents();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].type, KEYEVENT_CHAR);
  EXPECT_EQ(seen[0].modifiers, event.modifiers);
  EXPECT_EQ(seen[0].character, L'a');
  EXPECT_EQ(seen[0].unmodified_character, L'A');
  EXPECT_TRUE(f.client->last_os_event_was_null());
}

TEST(KeyPath, KeyMessagesAtABrowserWindowRunTheKeyPathWithTheMessage) {
  PageFixture f(false);
  ASSERT_TRUE(f.ok());
  HWND window = test::BrowserInfo(f.browser).hwnd;
  ASSERT_TRUE(window);
  f.client->pre_key_result = true;
  SendMessageW(window, WM_KEYDOWN, 'Q', 0x00100001);
  SendMessageW(window, WM_SYSCHAR, 'q', 0x20100001);
  ASSERT_TRUE(f.client->WaitEvent("OnPreKeyEvent", 2));
  std::vector<CefKeyEvent> seen = f.client->KeyEvents();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].type, KEYEVENT_RAWKEYDOWN);
  EXPECT_EQ(seen[0].windows_key_code, 'Q');
  EXPECT_EQ(seen[0].native_key_code, 0x00100001);
  EXPECT_EQ(seen[0].is_system_key, 0);
  EXPECT_EQ(seen[0].focus_on_editable_field, 0);
  EXPECT_EQ(seen[1].type, KEYEVENT_CHAR);
  EXPECT_EQ(seen[1].is_system_key, 1);
  EXPECT_NE(seen[1].modifiers & EVENTFLAG_ALT_DOWN, 0u);  // context bit
  EXPECT_EQ(f.client->last_os_message(), static_cast<UINT>(WM_SYSCHAR));
  EXPECT_EQ(f.client->Count("OnKeyEvent"), 0);
}

TEST(WindowlessInput, MouseFocusAndCaptureEventsAreJournaledWithEveryField) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  CefMouseEvent mouse;
  mouse.x = 12;
  mouse.y = 34;
  mouse.modifiers = EVENTFLAG_LEFT_MOUSE_BUTTON;
  f.host()->SendMouseClickEvent(mouse, MBT_RIGHT, true, 2);
  f.host()->SendMouseMoveEvent(mouse, true);
  f.host()->SendMouseWheelEvent(mouse, -3, 120);
  f.host()->SendFocusEvent(true);
  f.host()->SendCaptureLostEvent();
  ASSERT_TRUE(test::Flush(TID_UI));
  auto one = [](const char* kind) {
    std::vector<test::JournalEntry> entries = test::EntriesOf(kind);
    return entries.size() == 1 ? entries[0].args : std::vector<std::string>{"missing or repeated"};
  };
  EXPECT_EQ(one("SendMouseClickEvent"), (std::vector<std::string>{"12,34,16", "2", "up", "2"}));
  EXPECT_EQ(one("SendMouseMoveEvent"), (std::vector<std::string>{"12,34,16", "leave"}));
  EXPECT_EQ(one("SendMouseWheelEvent"), (std::vector<std::string>{"12,34,16", "-3", "120"}));
  EXPECT_EQ(one("SendFocusEvent"), (std::vector<std::string>{"true"}));
  EXPECT_EQ(one("SendCaptureLostEvent"), (std::vector<std::string>{}));
}

}  // namespace
