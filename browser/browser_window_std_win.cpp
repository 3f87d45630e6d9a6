#include "browser/browser_window_std_win.h"

#include "browser/client_handler_std.h"

namespace client {

namespace {

const DWORD kChildStyle = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VISIBLE;

}  // namespace

BrowserWindowStdWin::BrowserWindowStdWin(Delegate* delegate, const std::string& startup_url, int32 web_view_id)
    : BrowserWindow(delegate, web_view_id) {
  client_handler_ = new ClientHandlerStd(this, startup_url);
}

BrowserWindowStdWin::~BrowserWindowStdWin() {
  // Before this part goes: the engine's UI thread may be asking GetParentWindowHandle.
  DetachClientHandler();
}

void BrowserWindowStdWin::CreateBrowser(HWND parent, const CefRect& rect, const CefBrowserSettings& settings,
                                        CefRefPtr<CefRequestContext> request_context) {
  parent_handle_ = parent;
  CefWindowInfo window_info;
  window_info.style = kChildStyle;
  window_info.parent_window = parent;
  window_info.x = rect.x;
  window_info.y = rect.y;
  window_info.width = rect.width;
  window_info.height = rect.height;
  // The result is not looked at: the browser arrives through OnBrowserCreated, or never.
  CefBrowserHost::CreateBrowser(window_info, client_handler_.get(), CefString(client_handler_->startup_url()),
                                settings, request_context);
}

void BrowserWindowStdWin::GetPopupConfig(HWND temp_handle, CefWindowInfo& windowInfo,
                                         CefRefPtr<CefClient>& client, CefBrowserSettings& settings) {
  FillPopupWindowInfo(windowInfo, temp_handle, "GetPopupConfig");
  client = client_handler_.get();
}

void BrowserWindowStdWin::ShowPopup(HWND parent, int x, int y, size_t width, size_t height) {
  parent_handle_ = parent;
  if (HWND window = GetWindowHandle()) {
    SetParent(window, parent);
    SetWindowPos(window, nullptr, x, y, static_cast<int>(width), static_cast<int>(height), SWP_NOZORDER);
    ShowWindow(window, SW_SHOW);
  }
}

void BrowserWindowStdWin::Show() {
  HWND window = GetWindowHandle();
  if (window && !IsWindowVisible(window))
    ShowWindow(window, SW_SHOW);
}

void BrowserWindowStdWin::Hide() {
  if (HWND window = GetWindowHandle())
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void BrowserWindowStdWin::SetBounds(int x, int y, size_t width, size_t height) {
  if (HWND window = GetWindowHandle())
    SetWindowPos(window, nullptr, x, y, static_cast<int>(width), static_cast<int>(height), SWP_NOZORDER);
}

void BrowserWindowStdWin::SetFocus(bool focus) {
  if (browser_)
    browser_->GetHost()->SetFocus(focus);
}

HWND BrowserWindowStdWin::GetWindowHandle() {
  return browser_ ? browser_->GetHost()->GetWindowHandle() : nullptr;
}

}  // namespace client
