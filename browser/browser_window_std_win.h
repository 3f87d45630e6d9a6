// The browser window of a view that is not off-screen: the engine's browser is an ordinary
// child window of the root window, moved, shown and hidden with window calls.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "browser/browser_window.h"

namespace client {

class BrowserWindowStdWin : public BrowserWindow {
 public:
  // Main thread. Creates the client handler; the browser comes with CreateBrowser.
  BrowserWindowStdWin(Delegate* delegate, const std::string& startup_url, int32 web_view_id);
  ~BrowserWindowStdWin() override;

  // The window last given to CreateBrowser or ShowPopup; null before. Any thread.
  HWND GetParentWindowHandle() override { return parent_handle_; }

  void CreateBrowser(HWND parent, const CefRect& rect, const CefBrowserSettings& settings,
                     CefRefPtr<CefRequestContext> request_context) override;
  void GetPopupConfig(HWND temp_handle, CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client,
                      CefBrowserSettings& settings) override;
  // The window operations do nothing while there is no browser (but ShowPopup still
  // remembers its parent).
  void ShowPopup(HWND parent, int x, int y, size_t width, size_t height) override;
  // Shows a hidden browser window; a visible one is left alone.
  void Show() override;
  // Shrinks the browser window to 0 x 0; it keeps its place and stays visible.
  void Hide() override;
  void SetBounds(int x, int y, size_t width, size_t height) override;
  void SetFocus(bool focus) override;
  HWND GetWindowHandle() override;

 private:
  std::atomic<HWND> parent_handle_{nullptr};
};

}  // namespace client
