// The browser window of an off-screen (transparent) view: it owns the view's off-screen window,
// which paints the windowless browser into the root window and takes its input, creates the
// client handler for windowless browsers, and passes the root window's requests (create, show,
// hide, move, focus, scale) on to the off-screen window.
//
// Threads: the root window calls everything on the main thread; the client handler asks
// GetParentWindowHandle on the engine's UI thread.
#pragma once

#include <windows.h>

#include <string>

#include "browser/browser_window.h"
#include "browser/osr_window_win.h"
#include "include/base/cef_lock.h"

namespace client {

class BrowserWindowOsrWin : public BrowserWindow, public OsrWindowWin::Delegate {
 public:
  // Main thread. Makes the off-screen window (with settings) and the client handler; the browser
  // comes with CreateBrowser.
  BrowserWindowOsrWin(BrowserWindow::Delegate* delegate, const std::string& startup_url,
                      const OsrRendererSettings& settings, int32 web_view_id);
  ~BrowserWindowOsrWin() override;

  // OsrWindowWin::Delegate: the off-screen window's own window, reported as this window's handle.
  void OnOsrNativeWindowCreated(HWND hwnd) override;

  // ClientHandler::Delegate: the off-screen window is let go before the root window hears of the
  // end; its last reference deletes it on the engine's UI thread.
  void OnBrowserClosed(CefRefPtr<CefBrowser> browser) override;
  // The root window (the off-screen window's parent); null without an off-screen window.
  HWND GetParentWindowHandle() override;

  void CreateBrowser(HWND parent, const CefRect& rect, const CefBrowserSettings& settings,
                     CefRefPtr<CefRequestContext> request_context) override;
  // A windowless pop-up parented to temp_handle, served by this window's client handler; the
  // other fields of windowInfo and settings stay as given.
  void GetPopupConfig(HWND temp_handle, CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client,
                      CefBrowserSettings& settings) override;
  // These do nothing once the off-screen window is gone.
  void ShowPopup(HWND parent, int x, int y, size_t width, size_t height) override;
  void Show() override;
  void Hide() override;
  void SetBounds(int x, int y, size_t width, size_t height) override;
  // Only giving the focus is passed on; taking it away does nothing.
  void SetFocus(bool focus) override;
  // Factors from 1.0 to 4.0 that differ from the current one; others are ignored.
  void SetDeviceScaleFactor(float device_scale_factor) override;
  float GetDeviceScaleFactor() const override { return device_scale_factor_; }
  // The off-screen window's own window; null until it reported it.
  HWND GetWindowHandle() override { return osr_hwnd_; }

 private:
  // The off-screen window, or null once let go.
  scoped_refptr<OsrWindowWin> TakeOsrWindow();
  scoped_refptr<OsrWindowWin> osr_window() const;

  const bool transparent_;
  // Written on the main thread; read on the engine's UI thread too.
  mutable base::Lock osr_lock_;
  scoped_refptr<OsrWindowWin> osr_window_;
  HWND osr_hwnd_ = nullptr;
  float device_scale_factor_;
};

}  // namespace client
