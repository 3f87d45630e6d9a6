// The window of a windowed browser: class "CefBrowserWindow", created and served on the UI thread.
//
// WM_PAINT fills the background (browser settings' colour, else the engine settings' colour, else white) and draws
// the title and URL; a print request of another process (window_print.h) gets the same painting. Keyboard messages
// go to BrowserExtras::OnWindowKeyMessage; WM_CLOSE destroys the window when the engine posted it after DoClose,
// else starts the close flow; the window's end destroys the browser.
#ifndef CEF_ENGINE_BROWSER_WINDOW_H_
#define CEF_ENGINE_BROWSER_WINDOW_H_

#include <windows.h>

#include "include/cef_browser.h"

namespace cefengine {

class BrowserImpl;

extern const wchar_t kBrowserWindowClass[];

// UI. Creates a browser window from `info`. Null (GetLastError kept) on failure. Until AttachBrowserWindow the
// window behaves as a plain window.
HWND CreateBrowserWindow(const CefWindowInfo& info);
// UI. From now on the window serves `browser` (not referenced: the browser outlives its window).
void AttachBrowserWindow(HWND hwnd, BrowserImpl* browser);

// The browser whose window `hwnd` is; null for other windows. UI.
BrowserImpl* BrowserFromWindow(HWND hwnd);

}  // namespace cefengine

#endif  // CEF_ENGINE_BROWSER_WINDOW_H_
