// Input of a transparent view: window messages to its off-screen window become the windowless
// browser's mouse, key, focus and capture events (logical pixels, click counts, pop-up offsets),
// the page hears every click, drag areas move the root window, Alt+F4 may be swallowed, Shift
// turns the view, and OLE drags reach the browser.
#include <windows.h>

#include <algorithm>
#include <list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/ole_drag_data.h"
#include "browser/osr_click_counting.h"
#include "browser/osr_dragdrop_win.h"
#include "browser/window_util.h"
#include "render/process_messages.h"
#include "tests/browser/osr_test_support.h"
#include "tests/channel/log_capture.h"

using namespace osr_test;

namespace {

std::string Modifiers(WPARAM wparam) {
  return std::to_string(client::GetMouseModifierFlags(wparam));
}

// The "OnWinEventHandler" calls the renderer of browser got, as "event position".
std::vector<std::string> PageClicks(CefRefPtr<CefBrowser> browser) {
  std::vector<std::string> out;
  for (const auto& message : test::MessagesSentToRenderer(browser)) {
    if (message.first != client::process_message::kCallFunction) continue;
    CefRefPtr<CefListValue> args = message.second;
    if (args->GetSize() != 4 || args->GetString(1).ToString() != "OnWinEventHandler") continue;
    EXPECT_EQ(args->GetInt(0), 0);  // no answer wanted
    out.push_back(args->GetString(2).ToString() + " " + args->GetString(3).ToString());
  }
  return out;
}

TEST(OsrClickCounting, NearAndSoonCountsOnOtherwiseItStartsAgain) {
  struct Case {
    int x, y;
    double now;
    bool cancelled;
  };
  // Last click at (20, 10), time 1000; double-click rectangle 4 x 6, time 500.
  const Case cases[] = {
      {20, 10, 1000, false}, {22, 10, 1400, false}, {23, 10, 1000, true}, {18, 13, 1000, false},
      {20, 14, 1000, true},  {20, 10, 1500, false}, {20, 10, 1501, true}, {17, 10, 1000, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(client::IsClickCancelled(20, 10, 1000, c.x, c.y, c.now, 4, 6, 500), c.cancelled)
        << c.x << "," << c.y << " at " << c.now;
  EXPECT_EQ(client::NextClickCount(false, true, 1), 2);
  EXPECT_EQ(client::NextClickCount(false, true, 2), 3);
  EXPECT_EQ(client::NextClickCount(false, false, 2), 1);
  EXPECT_EQ(client::NextClickCount(true, true, 2), 1);
  EXPECT_EQ(client::NextClickCount(false, true, 0), 1);
}

using OsrInput = OsrViewTest;

TEST_F(OsrInput, PressesCountAsMultipleClicksAndReachTheBrowserInLogicalPixels) {
  Open();
  OnUI([&] { osr_->SetDeviceScaleFactor(1.5f); });
  test::ClearJournal();
  const WPARAM left = MK_LBUTTON;
  auto post = [&](UINT message, WPARAM wparam, int x, int y) { PostMessageW(child_, message, wparam, MAKELPARAM(x, y)); };
  post(WM_LBUTTONDOWN, left, 30, 15);
  post(WM_LBUTTONUP, 0, 30, 15);
  post(WM_LBUTTONDOWN, left, 31, 16);
  post(WM_LBUTTONUP, 0, 31, 16);
  post(WM_LBUTTONDOWN, left, 30, 15);
  post(WM_LBUTTONUP, 0, 30, 15);
  post(WM_RBUTTONDOWN, MK_RBUTTON, 30, 15);  // another button starts again
  post(WM_RBUTTONUP, 0, 30, 15);
  post(WM_MOUSEMOVE, 0, 90, 15);  // far away: the count is forgotten
  post(WM_RBUTTONDOWN, MK_RBUTTON, 90, 15);
  ASSERT_TRUE(test::Flush(TID_UI));
  const std::string l = Modifiers(left), r = Modifiers(MK_RBUTTON), none = Modifiers(0);
  EXPECT_EQ(Journal("SendMouseClickEvent", browser_),
            (std::vector<std::string>{
                "20,10," + l + " 0 down 1", "20,10," + none + " 0 up 1",       // 30 / 1.5, 15 / 1.5
                "21,11," + l + " 0 down 2", "21,11," + none + " 0 up 2",       // 31 / 1.5 and 16 / 1.5 rounded up
                "20,10," + l + " 0 down 3", "20,10," + none + " 0 up 3",
                "20,10," + r + " 2 down 1", "20,10," + none + " 2 up 1",
                "60,10," + r + " 2 down 1"}));
  // (The system may follow the move with a leave, the cursor being elsewhere.)
  EXPECT_EQ(Journal("SendMouseMoveEvent", browser_).at(0), "60,10," + none + " move");
  // Every release told the page where, in device pixels.
  EXPECT_EQ(PageClicks(browser_), (std::vector<std::string>{"window_lclick 30,15", "window_lclick 31,16",
                                                             "window_lclick 30,15", "window_rclick 30,15"}));
  post(WM_RBUTTONUP, 0, -5, -7);  // released outside during a capture
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(PageClicks(browser_).back(), "window_rclick -5,-7");
}

TEST_F(OsrInput, APressInADragAreaMovesTheRootWindowWithTheCursorAndTheReleaseStillTellsThePage) {
  PointerLease pointer;
  host_.MoveTo(860, 300);
  Open(RECT{0, 0, 200, 100});
  RelayDragAreas(child_, L"{0,0,200,30}");
  test::ClearJournal();
  const RECT before = host_.WindowRect();

  // Positions come from the cursor at the time of each message.
  SetCursorPos(before.left + 10, before.top + 10);
  PostMessageW(child_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  ASSERT_TRUE(test::Flush(TID_UI));
  OnUI([&] {
    EXPECT_TRUE(osr_->IsCaptionDragActive());
    EXPECT_EQ(GetCapture(), child_);
  });
  SetCursorPos(before.left + 40, before.top + 30);
  PostMessageW(child_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 30));
  ASSERT_TRUE(test::Flush(TID_UI));
  SetCursorPos(before.left + 45, before.top + 25);
  PostMessageW(child_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(15, -5));
  ASSERT_TRUE(test::Flush(TID_UI));
  PostMessageW(child_, WM_LBUTTONUP, 0, MAKELPARAM(15, -5));
  ASSERT_TRUE(test::Flush(TID_UI));

  EXPECT_TRUE(test::WaitFor([&] {
    const RECT now = host_.WindowRect();
    return now.left == before.left + 35 && now.top == before.top + 15;
  }));
  OnUI([&] { EXPECT_FALSE(osr_->IsCaptionDragActive()); });
  // The browser heard nothing of it (the cursor's own moves over the view, without a button, are
  // ordinary moves); the page heard the release.
  EXPECT_TRUE(Journal("SendMouseClickEvent", browser_).empty());
  for (const std::string& move : Journal("SendMouseMoveEvent", browser_))
    EXPECT_EQ(move.find("," + Modifiers(MK_LBUTTON) + " "), std::string::npos) << move;
  EXPECT_EQ(PageClicks(browser_), std::vector<std::string>{"window_lclick 15,-5"});

  // Outside the drag areas a press is an ordinary click.
  PostMessageW(child_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 50));
  PostMessageW(child_, WM_LBUTTONUP, 0, MAKELPARAM(10, 50));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(Journal("SendMouseClickEvent", browser_).size(), 2u);
  SetCursorPos(kParkedCursor.x, kParkedCursor.y);
}

TEST_F(OsrInput, AViewShownAsAPopUpHasNoParentToDrag) {
  Open();
  // A second view whose browser already exists, placed with ShowPopup.
  LayeredHost popup_host(820, 40, 120, 80);
  RecordingOsrWindowDelegate popup_delegate;
  browser_doubles::RecordingHandlerDelegate popup_handler_delegate;
  scoped_refptr<client::OsrWindowWin> popup = new client::OsrWindowWin(&popup_delegate, client::OsrRendererSettings());
  CefRefPtr<client::ClientHandlerOsr> popup_handler =
      new client::ClientHandlerOsr(&popup_handler_delegate, popup.get(), kUrl);
  CefRefPtr<CefBrowser> popup_browser =
      browser_test::CreateOnUI(browser_test::Windowless(popup_host.hwnd()), popup_handler.get());
  ASSERT_TRUE(popup_browser);
  popup->ShowPopup(popup_host.hwnd(), 5, 6, 100, 50);
  ASSERT_TRUE(popup_delegate.WaitFor("OnOsrNativeWindowCreated"));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(popup->GetParentWindow(), nullptr);
  HWND popup_child = popup_delegate.hwnd();
  RECT rect = {};
  GetWindowRect(popup_child, &rect);
  MapWindowPoints(nullptr, popup_host.hwnd(), reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 5);
  EXPECT_EQ(rect.right - rect.left, 100);
  EXPECT_EQ(Journal("WasResized", popup_browser).size(), 1u);
  EXPECT_EQ(Journal("SendFocusEvent", popup_browser), std::vector<std::string>{"true"});

  RelayDragAreas(popup_child, L"{0,0,100,50}");
  PostMessageW(popup_child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  PostMessageW(popup_child, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(Journal("SendMouseClickEvent", popup_browser).size(), 2u);

  popup_browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(popup_handler_delegate.WaitFor("OnBrowserClosed"));
  popup->DetachDelegate();
}

TEST_F(OsrInput, KeysReachTheBrowserAndTheLogWithoutTheCharactersTyped) {
  LogCapture log;
  Open();
  test::ClearJournal();
  const LPARAM alt_f4 = 0x203E0001;  // repeat 1, scan code 0x3E, context (Alt held)
  PostMessageW(child_, WM_SYSKEYDOWN, VK_F4, alt_f4);
  PostMessageW(child_, WM_KEYDOWN, 'A', 0x001E0001);
  PostMessageW(child_, WM_CHAR, 'a', 0x001E0001);
  PostMessageW(child_, WM_KEYUP, VK_F5, 0xC03F0001);
  ASSERT_TRUE(test::Flush(TID_UI));
  // (The view thread's loop translates the posted 'A' into a character of its own too.)
  std::vector<std::string> keys = Journal("SendKeyEvent", browser_);
  ASSERT_GE(keys.size(), 4u);
  // type, modifiers, windows_key_code, native_key_code, is_system_key, character, unmodified, editable
  EXPECT_EQ(keys[0].substr(0, 2), std::to_string(KEYEVENT_RAWKEYDOWN) + " ");
  EXPECT_NE(keys[0].find(" 115 " + std::to_string(alt_f4) + " 1 0 0 0"), std::string::npos) << keys[0];
  EXPECT_EQ(keys[1].substr(0, 2), std::to_string(KEYEVENT_RAWKEYDOWN) + " ");
  EXPECT_NE(keys[1].find(" 65 " + std::to_string(0x001E0001) + " 0 0 0 0"), std::string::npos) << keys[1];
  EXPECT_EQ(keys[2].substr(0, 2), std::to_string(KEYEVENT_CHAR) + " ");
  EXPECT_NE(keys[2].find(" 97 "), std::string::npos) << keys[2];
  // The translated character may land before or after the key-up, so the key-up is looked for.
  const auto is_key_up = [](const std::string& key) {
    return key.substr(0, 2) == std::to_string(KEYEVENT_KEYUP) + " ";
  };
  EXPECT_EQ(std::count_if(keys.begin(), keys.end(), is_key_up), 1);
  const auto key_up = std::find_if(keys.begin() + 3, keys.end(), is_key_up);
  ASSERT_NE(key_up, keys.end());
  EXPECT_NE(key_up->find(" 116 "), std::string::npos) << *key_up;

  // Alt+F4 went on to the system, which asks the root window to close.
  engine_.loop().Drain();
  EXPECT_TRUE(test::WaitFor([&] { return host_.close_commands() == 1; }));

  EXPECT_EQ(log.Count(L"disable_alt_f4:0,message:260,key:115"), 1u);
  EXPECT_EQ(log.Count(L"disable_alt_f4:0,message:256,key:0"), 1u);  // 'A' typed: not written
  EXPECT_GE(log.Count(L"disable_alt_f4:0,message:258,key:0"), 1u);  // 'a' typed: not written
  EXPECT_EQ(log.Count(L"key:65"), 0u);
  EXPECT_EQ(log.Count(L"key:97"), 0u);
  EXPECT_EQ(log.Count(L"disable_alt_f4:0,message:257,key:116"), 1u);
  EXPECT_EQ(log.Count(L"OnFiltrationKeyEvent"), 0u);
}

class OsrInputWithoutAltF4 : public OsrViewTest {
 protected:
  OsrInputWithoutAltF4() : OsrViewTest(new browser_doubles::SwitchApp("disable-alt-f4")) {}
};

TEST_F(OsrInputWithoutAltF4, AltF4IsSwallowedAndLoggedAndOtherKeysStillGoThrough) {
  LogCapture log;
  Open();
  test::ClearJournal();
  PostMessageW(child_, WM_SYSKEYDOWN, VK_F4, 0x203E0001);
  PostMessageW(child_, WM_SYSKEYDOWN, VK_F5, 0x203F0001);
  ASSERT_TRUE(test::Flush(TID_UI));
  engine_.loop().Drain();
  ASSERT_TRUE(test::Flush(TID_UI));
  const std::vector<std::string> keys = Journal("SendKeyEvent", browser_);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_NE(keys[0].find(" 116 "), std::string::npos) << keys[0];
  EXPECT_EQ(host_.close_commands(), 0);
  EXPECT_EQ(log.Count(L"disable_alt_f4:1,message:260,key:115"), 1u);
  EXPECT_EQ(log.Count(L"OnFiltrationKeyEvent,message:260,key:115"), 1u);
  EXPECT_EQ(log.Count(L"disable_alt_f4:1,message:260,key:116"), 1u);
}

TEST_F(OsrInput, TheWheelCountsOnlyOverTheViewAndShiftMakesItHorizontal) {
  host_.MoveTo(480, 600);
  Open(RECT{0, 0, 200, 100});
  test::ClearJournal();
  POINT over = {50, 20};
  ClientToScreen(child_, &over);
  PostMessageW(child_, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(over.x, over.y));
  ASSERT_TRUE(test::Flush(TID_UI));
  // Shift held on the view's thread.
  BYTE keys[256] = {};
  OnUI([&] {
    GetKeyboardState(keys);
    BYTE shifted[256];
    memcpy(shifted, keys, sizeof(shifted));
    shifted[VK_SHIFT] = 0x80;
    SetKeyboardState(shifted);
  });
  PostMessageW(child_, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), MAKELPARAM(over.x, over.y));
  ASSERT_TRUE(test::Flush(TID_UI));
  OnUI([&] { SetKeyboardState(keys); });
  // Over another window (the desktop beside the root window) nothing happens.
  const RECT root = host_.WindowRect();
  PostMessageW(child_, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(root.right + 50, root.bottom + 50));
  ASSERT_TRUE(test::Flush(TID_UI));
  const std::string none = Modifiers(0);
  EXPECT_EQ(Journal("SendMouseWheelEvent", browser_),
            (std::vector<std::string>{"50,20," + none + " 0 120", "50,20," + none + " -240 0"}));
}

TEST_F(OsrInput, ShiftPressTurnsTheViewInsteadOfClickingAndTheReleaseTurnsItBack) {
  Open();
  test::ClearJournal();
  PostMessageW(child_, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(50, 50));
  PostMessageW(child_, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, MAKELPARAM(60, 45));
  PostMessageW(child_, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, MAKELPARAM(62, 40));
  ASSERT_TRUE(test::Flush(TID_UI));
  OnUI([&] {
    EXPECT_TRUE(osr_->IsInRotationMode());
    EXPECT_EQ(osr_->renderer().rotation_x(), -12.0f);
    EXPECT_EQ(osr_->renderer().rotation_y(), 10.0f);
  });
  PostMessageW(child_, WM_LBUTTONUP, MK_SHIFT, MAKELPARAM(62, 40));
  ASSERT_TRUE(test::Flush(TID_UI));
  OnUI([&] {
    EXPECT_FALSE(osr_->IsInRotationMode());
    EXPECT_EQ(osr_->renderer().rotation_x(), 0.0f);
    EXPECT_EQ(osr_->renderer().rotation_y(), 0.0f);
  });
  // The render task runs once on its own 33 ms later and leaves the layered image alone.
  Sleep(100);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_TRUE(Journal("SendMouseClickEvent", browser_).empty());
  EXPECT_TRUE(Journal("SendMouseMoveEvent", browser_).empty());
  // The capture that rotation mode gave up was never the page's.
  EXPECT_TRUE(Journal("SendCaptureLostEvent", browser_).empty());
  // The page heard the release all the same.
  EXPECT_EQ(PageClicks(browser_), std::vector<std::string>{"window_lclick 62,40"});

  // Outside rotation mode a lost capture reaches the browser.
  PostMessageW(child_, WM_CANCELMODE, 0, 0);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(Journal("SendCaptureLostEvent", browser_).size(), 1u);
}

TEST_F(OsrInput, FocusLeavingAndPopUpOffsetsReachTheBrowser) {
  PointerLease pointer;
  Open(RECT{0, 0, 200, 100});
  SetCursorPos(kParkedCursor.x, kParkedCursor.y);  // away from the view: no moves of its own
  ASSERT_TRUE(test::Flush(TID_UI));
  test::ClearJournal();
  PostMessageW(child_, WM_SETFOCUS, 0, 0);
  PostMessageW(child_, WM_KILLFOCUS, 0, 0);
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(Journal("SendFocusEvent", browser_), (std::vector<std::string>{"true", "false"}));

  // Leaving: where the cursor now is (far right of the view while nobody else moves it).
  PostMessageW(child_, WM_MOUSELEAVE, 0, 0);
  ASSERT_TRUE(test::Flush(TID_UI));
  const std::vector<std::string> leaves = Journal("SendMouseMoveEvent", browser_);
  ASSERT_EQ(leaves.size(), 1u);
  EXPECT_EQ(leaves[0].substr(leaves[0].size() - 6), " leave");

  // A list shown at x 170 is drawn at 150: points over it go to where the engine placed it.
  ASSERT_TRUE(test::PageShowPopupWidget(browser_, CefRect(170, 20, 50, 30)));
  ASSERT_TRUE(test::Flush(TID_UI));
  test::ClearJournal();
  PostMessageW(child_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(160, 25));
  PostMessageW(child_, WM_LBUTTONUP, 0, MAKELPARAM(160, 25));
  PostMessageW(child_, WM_MOUSEMOVE, 0, MAKELPARAM(149, 25));
  // A press on the page released over the displaced list belongs to neither.
  PostMessageW(child_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  PostMessageW(child_, WM_LBUTTONUP, 0, MAKELPARAM(160, 25));
  ASSERT_TRUE(test::Flush(TID_UI));
  const std::string l = Modifiers(MK_LBUTTON), none = Modifiers(0);
  EXPECT_EQ(Journal("SendMouseClickEvent", browser_),
            (std::vector<std::string>{"180,25," + l + " 0 down 1", "180,25," + none + " 0 up 1",
                                      "10,10," + l + " 0 down 1"}));
  EXPECT_EQ(Journal("SendMouseMoveEvent", browser_).at(0), "149,25," + none + " move");
}

TEST_F(OsrInput, OleDragsOverTheViewReachTheBrowserWithTheOperationItAccepts) {
  Open(RECT{0, 0, 200, 100});
  OnUI([&] { osr_->SetDeviceScaleFactor(1.5f); });
  test::ClearJournal();
  CefRefPtr<CefDragData> data = CefDragData::Create();
  data->SetFragmentText(L"dragged words");
  ATL::CComPtr<client::DataObjectWin> data_object;
  ASSERT_TRUE(client::BuildDataObjectFromDragData(data, data_object));
  POINT screen = {30, 15};
  ClientToScreen(child_, &screen);
  const POINTL point = {screen.x, screen.y};

  OnUI([&] {
    // As OLE calls the window's registered target. (Drags that allow linking the page refuses.)
    ATL::CComPtr<client::DropTargetWin> target = client::DropTargetWin::Create(osr_.get(), child_);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(data_object, MK_LBUTTON, point, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));  // the page's first choice
    test::SetDropOperation(DRAG_OPERATION_MOVE);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragOver(MK_LBUTTON, point, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->Drop(data_object, 0, point, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    target->DragEnter(data_object, 0, point, &effect);
    EXPECT_EQ(target->DragLeave(), S_OK);
    test::ResetDropOperation();
  });
  const std::string left = Modifiers(MK_LBUTTON), none = Modifiers(0);
  // 30 x 15 device pixels are 20 x 10 logical ones.
  EXPECT_EQ(Journal("DragTargetDragEnter", browser_), (std::vector<std::string>{"fragment dragged words 20,10," + left + " 17",
                                                                                "fragment dragged words 20,10," + none + " 16"}));
  EXPECT_EQ(Journal("DragTargetDragOver", browser_),
            (std::vector<std::string>{"20,10," + left + " 17", "20,10," + left + " 17", "20,10," + none + " 17",
                                      "20,10," + none + " 16"}));
  EXPECT_EQ(Journal("DragTargetDrop", browser_), std::vector<std::string>{"20,10," + none});
  EXPECT_EQ(Journal("DragTargetDragLeave", browser_).size(), 1u);
}

TEST_F(OsrInput, APageDragRunsTheSystemDragAndTellsTheBrowserWhereItEnded) {
  PointerLease pointer;
  Open(RECT{0, 0, 200, 100});
  test::ClearJournal();
  // Nothing under the cursor takes drops and no button is down: the drag ends at once.
  SetCursorPos(kParkedCursor.x, kParkedCursor.y);
  CefRefPtr<CefDragData> data = CefDragData::Create();
  data->SetLinkURL(L"http://osr.test/link");
  ASSERT_TRUE(test::PageStartDrag(browser_, data, DRAG_OPERATION_COPY, 5, 5));
  ASSERT_TRUE(test::WaitFor([&] { return !Journal("DragSourceSystemDragEnded", browser_).empty(); }));
  // Where the cursor was, in the view's client coordinates, and nothing dropped.
  const std::vector<std::string> ended = Journal("DragSourceEndedAt", browser_);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].substr(ended[0].size() - 2), " 0");
  EXPECT_TRUE(test::ExpectOrder({"DragSourceEndedAt", "DragSourceSystemDragEnded"}));

  // Without its window a view cannot drag.
  scoped_refptr<client::OsrWindowWin> bare = new client::OsrWindowWin(nullptr, client::OsrRendererSettings());
  OnUI([&] { EXPECT_FALSE(bare->StartDragging(browser_, data, DRAG_OPERATION_COPY, 0, 0)); });
}

TEST_F(OsrInput, TheCursorThePageAsksForBecomesTheWindowsCursor) {
  Open();
  ASSERT_TRUE(test::PageCursor(browser_, CT_HAND));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(child_, GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_HAND));
  ASSERT_TRUE(test::PageCursor(browser_, CT_POINTER));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(child_, GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_ARROW));
}

}  // namespace
