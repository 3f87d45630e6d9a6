// Windows painting themselves for a capture tool of another process (engine/window_print.h): the
// protocol with a window of known painting, and a windowed browser's window answering with the
// page it shows.
#include <windows.h>

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "browser_test_support.h"
#include "engine/window_print.h"
#include "testing/network_testing.h"

using namespace browser_test;

namespace {

// A window of 6 x 4 client pixels: the left half red, the right half blue, and a counter of the
// print requests it painted for.
class PaintingWindow {
 public:
  PaintingWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"WindowPrintTestWindow";
    RegisterClassW(&wc);
    RECT frame = {0, 0, 6, 4};
    AdjustWindowRectEx(&frame, WS_POPUP, FALSE, 0);
    hwnd_ = CreateWindowExW(0, L"WindowPrintTestWindow", L"", WS_POPUP, 0, 0, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  }
  ~PaintingWindow() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }
  int painted = 0;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE)
      SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
    auto* self = reinterpret_cast<PaintingWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == cefengine::PrintWindowMessage()) {
      return cefengine::AnswerPrintRequest(hwnd, wparam, lparam, [self](HDC dc, const RECT& client) {
        ++self->painted;
        RECT left = client;
        left.right /= 2;
        RECT right = client;
        right.left = left.right;
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        FillRect(dc, &left, red);
        FillRect(dc, &right, blue);
        DeleteObject(red);
        DeleteObject(blue);
      });
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  HWND hwnd_ = nullptr;
};

TEST(WindowPrint, AWindowPaintsItsClientAreaForTheRequesterTopRowFirst) {
  PaintingWindow window;
  ASSERT_TRUE(IsWindow(window.hwnd()));
  RECT client;
  GetClientRect(window.hwnd(), &client);
  ASSERT_EQ(6, client.right);
  ASSERT_EQ(4, client.bottom);
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(cefengine::RequestPrint(window.hwnd(), 6, 4, 2000, &pixels));
  ASSERT_EQ(24u, pixels.size());
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(x < 3 ? 0xFF0000u : 0x0000FFu, pixels[y * 6 + x]) << x << "," << y;
    }
  }
  EXPECT_EQ(1, window.painted);
}

TEST(WindowPrint, NothingIsPaintedForAnotherSizeAWindowThatDoesNotAnswerOrASizeTooLarge) {
  PaintingWindow window;
  std::vector<uint32_t> pixels = {7};
  // The window has changed size since the requester looked: it paints nothing.
  EXPECT_FALSE(cefengine::RequestPrint(window.hwnd(), 5, 4, 2000, &pixels));
  EXPECT_FALSE(cefengine::RequestPrint(window.hwnd(), 6, 5, 2000, &pixels));
  EXPECT_EQ(0, window.painted);
  // Sizes the protocol refuses never reach the window.
  EXPECT_FALSE(cefengine::RequestPrint(window.hwnd(), 0, 4, 2000, &pixels));
  EXPECT_FALSE(cefengine::RequestPrint(window.hwnd(), cefengine::kMaxPrintSide + 1, 1, 2000, &pixels));
  EXPECT_EQ(0, window.painted);
  // A window that knows nothing of the message.
  HWND plain = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 6, 4, nullptr, nullptr, nullptr, nullptr);
  EXPECT_FALSE(cefengine::RequestPrint(plain, 6, 4, 2000, &pixels));
  DestroyWindow(plain);
  // A request whose section does not exist is not answered.
  EXPECT_EQ(0, SendMessageW(window.hwnd(), cefengine::PrintWindowMessage(), GetCurrentProcessId(), 0x7FFFFFFF));
  EXPECT_EQ((std::vector<uint32_t>{7}), pixels);
}

TEST(WindowPrint, AWindowedBrowserAnswersWithThePageItShows) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  test::ResetNetwork();
  test::SetHttpResponse(L"http://print.test/", 200, L"text/html",
                        "<html><head><meta name=\"cefengine-background\" content=\"#1E5AA8\"></head></html>");
  HostWindow host;
  CefRefPtr<TestClient> client = new TestClient();
  CefRefPtr<CefBrowser> browser = CreateOnUI(ChildOf(host.hwnd()), client.get(), "http://print.test/");
  ASSERT_TRUE(browser);
  ASSERT_TRUE(client->WaitEvent("OnLoadEnd"));
  std::vector<uint32_t> pixels;
  // From another thread than the window's, as another process would ask.
  ASSERT_TRUE(cefengine::RequestPrint(browser->GetHost()->GetWindowHandle(), 200, 100, 5000, &pixels));
  ASSERT_EQ(20000u, pixels.size());
  // The page's background where no text is.
  EXPECT_EQ(0x1E5AA8u, pixels[99 * 200 + 199]);
  EXPECT_EQ(0x1E5AA8u, pixels[50 * 200 + 150]);
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
}

}  // namespace
