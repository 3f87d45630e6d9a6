#include "browser/browser_window_osr_win.h"

#include "browser/client_handler_osr.h"
#include "browser/window_util.h"
#include "include/base/cef_bind.h"
#include "include/wrapper/cef_closure_task.h"

namespace client {

namespace {

const float kMinimumScaleFactor = 1.0f;
const float kMaximumScaleFactor = 4.0f;

// Engine UI thread. The handler forgets the off-screen window while this task still holds the
// window: a closure on the UI thread that drops the window's last reference deletes it at once,
// so only a reference held until after the forgetting keeps the handler from calling a deleted
// window.
void ForgetOsrWindowOnUI(CefRefPtr<ClientHandlerOsr> handler, scoped_refptr<OsrWindowWin> window) {
  handler->DetachOsrDelegate();
}

}  // namespace

BrowserWindowOsrWin::BrowserWindowOsrWin(BrowserWindow::Delegate* delegate, const std::string& startup_url,
                                         const OsrRendererSettings& settings, int32 web_view_id)
    : BrowserWindow(delegate, web_view_id),
      transparent_(settings.transparent),
      device_scale_factor_(client::GetDeviceScaleFactor()) {
  osr_window_ = new OsrWindowWin(this, settings);
  client_handler_ = new ClientHandlerOsr(this, osr_window_.get(), startup_url);
}

BrowserWindowOsrWin::~BrowserWindowOsrWin() {
  // A browser still on its way reports to nobody; an engine thread inside GetParentWindowHandle
  // finishes first, while the off-screen window and its lock are still here.
  DetachClientHandler();
  TakeOsrWindow();
}

scoped_refptr<OsrWindowWin> BrowserWindowOsrWin::TakeOsrWindow() {
  scoped_refptr<OsrWindowWin> window;
  {
    base::AutoLock hold(osr_lock_);
    window.swap(osr_window_);
  }
  if (window) {
    // Neither the window's report nor the handler's render calls reach a window let go. Without
    // the engine's UI thread nothing calls the handler any more.
    window->DetachDelegate();
    if (client_handler_) {
      CefRefPtr<ClientHandlerOsr> handler = static_cast<ClientHandlerOsr*>(client_handler_.get());
      CefPostTask(TID_UI, base::Bind(&ForgetOsrWindowOnUI, handler, window));
    }
  }
  return window;
}

scoped_refptr<OsrWindowWin> BrowserWindowOsrWin::osr_window() const {
  base::AutoLock hold(osr_lock_);
  return osr_window_;
}

void BrowserWindowOsrWin::OnOsrNativeWindowCreated(HWND hwnd) {
  osr_hwnd_ = hwnd;
}

void BrowserWindowOsrWin::OnBrowserClosed(CefRefPtr<CefBrowser> browser) {
  // Released here, on the main thread: the deletion goes to the engine's UI thread.
  TakeOsrWindow();
  BrowserWindow::OnBrowserClosed(browser);
}

HWND BrowserWindowOsrWin::GetParentWindowHandle() {
  scoped_refptr<OsrWindowWin> window = osr_window();
  return window ? window->GetParentWindow() : nullptr;
}

void BrowserWindowOsrWin::CreateBrowser(HWND parent, const CefRect& rect, const CefBrowserSettings& settings,
                                        CefRefPtr<CefRequestContext> request_context) {
  scoped_refptr<OsrWindowWin> window = osr_window();
  if (!window || !client_handler_)
    return;
  const RECT wnd_rect = {rect.x, rect.y, rect.x + rect.width, rect.y + rect.height};
  window->CreateBrowser(parent, wnd_rect, client_handler_.get(), settings, request_context,
                        client_handler_->startup_url());
}

void BrowserWindowOsrWin::GetPopupConfig(HWND temp_handle, CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client,
                                         CefBrowserSettings& settings) {
  windowInfo.parent_window = temp_handle;
  windowInfo.windowless_rendering_enabled = 1;
  windowInfo.transparent_painting_enabled = transparent_ ? 1 : 0;
  client = client_handler_.get();
}

void BrowserWindowOsrWin::ShowPopup(HWND parent, int x, int y, size_t width, size_t height) {
  if (scoped_refptr<OsrWindowWin> window = osr_window())
    window->ShowPopup(parent, x, y, width, height);
}

void BrowserWindowOsrWin::Show() {
  if (scoped_refptr<OsrWindowWin> window = osr_window())
    window->Show();
}

void BrowserWindowOsrWin::Hide() {
  if (scoped_refptr<OsrWindowWin> window = osr_window())
    window->Hide();
}

void BrowserWindowOsrWin::SetBounds(int x, int y, size_t width, size_t height) {
  if (scoped_refptr<OsrWindowWin> window = osr_window())
    window->SetBounds(x, y, width, height);
}

void BrowserWindowOsrWin::SetFocus(bool focus) {
  if (!focus)
    return;
  if (scoped_refptr<OsrWindowWin> window = osr_window())
    window->SetFocus();
}

void BrowserWindowOsrWin::SetDeviceScaleFactor(float device_scale_factor) {
  if (device_scale_factor == device_scale_factor_ || device_scale_factor < kMinimumScaleFactor ||
      device_scale_factor > kMaximumScaleFactor)
    return;
  device_scale_factor_ = device_scale_factor;
  if (scoped_refptr<OsrWindowWin> window = osr_window())
    window->SetDeviceScaleFactor(device_scale_factor);
}

}  // namespace client
