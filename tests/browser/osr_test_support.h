// A transparent view for the off-screen tests: the off-screen window with its client handler in a
// stand-in root window (a visible layered top-level window of the test's thread, which plays the
// main thread), the engine with the renderer played by the test, and readers of what the view
// painted.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/client_handler_osr.h"
#include "browser/drag_area_message.h"
#include "browser/ole_drag_data.h"
#include "browser/osr_dragdrop_win.h"
#include "browser/osr_window_win.h"
#include "tests/browser/browser_test_doubles.h"
#include "tests/browser/function_task.h"
#include "tests/browser/pointer_lease.h"

namespace osr_test {

using browser_doubles::EventLog;
using browser_doubles::ThreadTag;
namespace test = cefengine::test;

// Tests of several processes share one screen and cursor. A test that moves the cursor or asks
// what lies under a point puts its view in a screen area of its own and holds a PointerLease
// meanwhile; others leave the cursor here, over no test's window.
const POINT kParkedCursor = {1275, 5};

// A visible topmost layered pop-up window owned by the test's thread, like a transparent view's
// root window (by default where no other test's window is). It counts the close commands it gets
// (Alt+F4 in a child) instead of closing.
class LayeredHost {
 public:
  LayeredHost(int x = 480, int y = 40, int width = 320, int height = 240) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &LayeredHost::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OsrTestLayeredHost";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"OsrTestLayeredHost", L"",
                            WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~LayeredHost() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }
  void MoveTo(int x, int y) { SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); }
  RECT WindowRect() const {
    RECT rect = {};
    GetWindowRect(hwnd_, &rect);
    return rect;
  }
  int close_commands() const { return close_commands_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_CLOSE) {
      if (auto* self = reinterpret_cast<LayeredHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) ++self->close_commands_;
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  HWND hwnd_ = nullptr;
  int close_commands_ = 0;
};

// Holds the engine's UI thread in a task from construction until Release (or the end of the
// scope), so that what the test's thread posts meanwhile queues up behind it in order.
class UiThreadHold {
 public:
  UiThreadHold() : release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    HANDLE release = release_;
    std::atomic<bool>* holding = &holding_;
    EXPECT_TRUE(CefPostTask(TID_UI, new FunctionTask([release, holding] {
      holding->store(true);
      WaitForSingleObject(release, 5000);
    })));
    EXPECT_TRUE(test::WaitFor([&] { return holding_.load(); }));
  }
  ~UiThreadHold() {
    Release();
    CloseHandle(release_);
  }
  // Lets the UI thread go and waits until it has run what queued up.
  void Release() {
    if (released_) return;
    released_ = true;
    SetEvent(release_);
    EXPECT_TRUE(test::Flush(TID_UI));
  }

 private:
  HANDLE release_;
  std::atomic<bool> holding_{false};
  bool released_ = false;
};

// A system (OLE) drag of a little text with the cursor at the screen point `at`, run on the
// engine's UI thread, the thread of the views' drop targets. No button is down, so it drops at
// once on whatever takes drops under the cursor. Returns the drop's effect; the cursor is parked
// again afterwards. The caller holds a PointerLease.
inline DWORD SystemDragAt(POINT at) {
  CefRefPtr<CefDragData> data = CefDragData::Create();
  data->SetFragmentText(L"dragged words");
  ATL::CComPtr<client::DataObjectWin> data_object;
  EXPECT_TRUE(client::BuildDataObjectFromDragData(data, data_object));
  SetCursorPos(at.x, at.y);
  DWORD effect = DROPEFFECT_NONE;
  EXPECT_TRUE(test::RunOn(TID_UI, [&] {
    ATL::CComPtr<client::DropSourceWin> source = client::DropSourceWin::Create();
    DoDragDrop(data_object, source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
  }));
  SetCursorPos(kParkedCursor.x, kParkedCursor.y);
  return effect;
}

// Hands an off-screen window a page's drag-area text (null clears) as the client handler's relay
// does: sent on the engine's UI thread, the window's own.
inline void RelayDragAreas(HWND window, const wchar_t* text) {
  EXPECT_TRUE(test::RunOn(TID_UI, [&] {
    client::SendDragAreaList(window, PID_RENDERER, text);
  }));
}

// The browser window as the off-screen window sees it.
class RecordingOsrWindowDelegate : public client::OsrWindowWin::Delegate, public EventLog {
 public:
  void OnOsrNativeWindowCreated(HWND hwnd) override {
    hwnd_ = hwnd;
    Add("OnOsrNativeWindowCreated @" + ThreadTag());
  }
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

// Premultiplied BGRA (0xAARRGGBB) of a pixel that tells its own place: alpha 0x80, red x, green y,
// blue the buffer's width (so a pop-up's pixels differ from the view's).
inline uint32_t PlacePixel(int x, int y, int width, int height) {
  return 0x80000000u | (static_cast<uint32_t>(x & 0x7F) << 16) | (static_cast<uint32_t>(y & 0x7F) << 8) |
         static_cast<uint32_t>(width & 0x7F);
}

// The pixel (x, y) counted from the top of a bottom-up 32-bit DIB of the painter.
inline uint32_t DibPixel(const client::LayeredWindowPainter& painter, int x, int y) {
  const uint32_t* bits = static_cast<const uint32_t*>(painter.bits());
  return bits[static_cast<size_t>(painter.height() - 1 - y) * static_cast<size_t>(painter.width()) +
              static_cast<size_t>(x)];
}

// Journal entries of one kind for one browser, as "arg arg ...".
inline std::vector<std::string> Journal(const std::string& kind, CefRefPtr<CefBrowser> browser) {
  return browser_doubles::JournalArgs(kind, browser ? browser->GetIdentifier() : 0);
}

// The engine and one transparent view: Open() creates the off-screen window's browser in the
// layered host and waits for its first frame; TearDown closes it.
class OsrViewTest : public ::testing::Test {
 protected:
  static constexpr const char* kUrl = "http://osr.test/page.html";

  explicit OsrViewTest(CefRefPtr<CefApp> app = nullptr) : engine_(app) {}

  void SetUp() override {
    ASSERT_TRUE(engine_.ok());
    test::SetHttpResponse(L"http://osr.test/page.html", 200, L"text/html", "<html><title>Osr</title></html>");
    test::SetPaintPattern(&PlacePixel);
  }
  void TearDown() override {
    Close();
    test::SetPaintPattern(nullptr);
    engine_.ExpectNoMisuse();
  }

  // Creates the view at rect (client coordinates of the host) and waits for its page's load and
  // its first frame.
  void Open(const RECT& rect = RECT{0, 0, 200, 100}, bool transparent = true) {
    client::OsrRendererSettings settings;
    settings.transparent = transparent;
    osr_ = new client::OsrWindowWin(&window_delegate_, settings);
    handler_ = new client::ClientHandlerOsr(&handler_delegate_, osr_.get(), kUrl);
    osr_->CreateBrowser(host_.hwnd(), rect, handler_.get(), CefBrowserSettings(), nullptr, kUrl);
    ASSERT_TRUE(handler_delegate_.WaitFor("OnBrowserCreated"));
    ASSERT_TRUE(window_delegate_.WaitFor("OnOsrNativeWindowCreated"));
    browser_ = test::Browsers().back();
    // The page's commit comes after the first frame may have been painted, and it hides a shown
    // pop-up widget: a test starts once it is over.
    ASSERT_TRUE(handler_delegate_.WaitFor("OnLoadEnd"));
    ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser_).painted; }));
    ASSERT_TRUE(test::Flush(TID_UI));
    child_ = window_delegate_.hwnd();
  }

  void Close() {
    if (browser_) {
      browser_->GetHost()->CloseBrowser(true);
      EXPECT_TRUE(handler_delegate_.WaitFor("OnBrowserClosed"));
      browser_ = nullptr;
    }
    if (osr_) {
      osr_->DetachDelegate();
      osr_ = nullptr;
    }
    handler_ = nullptr;
  }

  // Runs fn on the engine's UI thread, where the off-screen window lives.
  void OnUI(const std::function<void()>& fn) { ASSERT_TRUE(test::RunOn(TID_UI, fn)); }

  browser_doubles::EngineFixture engine_;
  LayeredHost host_;
  browser_doubles::RecordingHandlerDelegate handler_delegate_;
  RecordingOsrWindowDelegate window_delegate_;
  scoped_refptr<client::OsrWindowWin> osr_;
  CefRefPtr<client::ClientHandlerOsr> handler_;
  CefRefPtr<CefBrowser> browser_;
  HWND child_ = nullptr;
};

}  // namespace osr_test
