#include "engine/browser_window.h"

#include <string>

#include "engine/browser_impl.h"
#include "engine/context.h"
#include "engine/logging.h"
#include "engine/osr_painting.h"
#include "engine/window_print.h"

namespace cefengine {

const wchar_t kBrowserWindowClass[] = L"CefBrowserWindow";

namespace {

// The window property that carries the browser (GWLP_USERDATA stays free for applications that subclass the
// window).
const wchar_t kBrowserProperty[] = L"CefEngineBrowser";

COLORREF ToColorRef(cef_color_t color) {
  return RGB(CefColorGetR(color), CefColorGetG(color), CefColorGetB(color));
}

// The page as the window shows it: its background, then its title and URL.
void PaintContent(HDC dc, const RECT& client, BrowserImpl* browser) {
  PageState page = browser->page_state();
  cef_color_t color = ChooseBackground(page.has_background, page.background, false,
                                       browser->settings().background_color, CurrentSettings().background_color);
  HBRUSH brush = CreateSolidBrush(ToColorRef(color));
  FillRect(dc, &client, brush);
  DeleteObject(brush);
  SetBkMode(dc, TRANSPARENT);
  // Dark text on light backgrounds, light text on dark ones.
  int luminance = CefColorGetR(color) * 3 + CefColorGetG(color) * 6 + CefColorGetB(color);
  SetTextColor(dc, luminance > 1275 ? RGB(0, 0, 0) : RGB(255, 255, 255));
  std::wstring text = page.title + L"\n" + page.url;
  RECT area = client;
  InflateRect(&area, -8, -8);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_LEFT | DT_TOP | DT_NOPREFIX | DT_WORDBREAK);
}

void Paint(HWND hwnd, BrowserImpl* browser) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc)
    return;
  RECT client;
  GetClientRect(hwnd, &client);
  PaintContent(dc, client, browser);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK BrowserWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  BrowserImpl* browser = BrowserFromWindow(hwnd);
  if (!browser)
    return DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == PrintWindowMessage() && message != 0) {
    return AnswerPrintRequest(hwnd, wparam, lparam,
                              [browser](HDC dc, const RECT& client) { PaintContent(dc, client, browser); });
  }
  switch (message) {
    case WM_PAINT:
      Paint(hwnd, browser);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT fills everything
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR: {
      DWORD pos = GetMessagePos();
      MSG msg = {hwnd, message, wparam, lparam, static_cast<DWORD>(GetMessageTime()),
                 POINT{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))}};
      if (GetBrowserExtras()->OnWindowKeyMessage(browser, msg))
        return 0;
      break;
    }
    case WM_SETCURSOR:
      if (LOWORD(lparam) == HTCLIENT && !browser->IsMouseCursorChangeDisabled() &&
          GetBrowserExtras()->OnWindowSetCursor(browser))
        return TRUE;
      break;
    case WM_SIZE:
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case WM_CLOSE:
      browser->OnWindowCloseMessage();
      return 0;
    case WM_NCDESTROY: {
      CefRefPtr<BrowserImpl> keep(browser);  // the registry may drop its reference meanwhile
      RemovePropW(hwnd, kBrowserProperty);
      browser->OnWindowGone();
      return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool RegisterWindowClass() {
  static bool registered = false;  // UI thread only
  if (registered)
    return true;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = BrowserWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kBrowserWindowClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    LOG(ERROR) << "CefBrowserWindow: RegisterClassExW failed (" << GetLastError() << ")";
    return false;
  }
  registered = true;
  return true;
}

}  // namespace

HWND CreateBrowserWindow(const CefWindowInfo& info) {
  if (!RegisterWindowClass())
    return nullptr;
  std::wstring title = CefString(&info.window_name).ToWString();
  return CreateWindowExW(info.ex_style, kBrowserWindowClass, title.c_str(), info.style, info.x, info.y, info.width,
                         info.height, info.parent_window, info.menu, GetModuleHandleW(nullptr), nullptr);
}

void AttachBrowserWindow(HWND hwnd, BrowserImpl* browser) {
  SetPropW(hwnd, kBrowserProperty, browser);
  InvalidateRect(hwnd, nullptr, FALSE);
}

BrowserImpl* BrowserFromWindow(HWND hwnd) {
  return static_cast<BrowserImpl*>(GetPropW(hwnd, kBrowserProperty));
}

}  // namespace cefengine
