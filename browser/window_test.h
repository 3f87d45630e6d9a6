// A message-router handler for test pages that move, minimise, maximise and restore the
// top-level window holding their browser, with the window operations it uses. The program
// registers it nowhere; a router that wants it adds what CreateMessageHandlers makes.
//
// Threads: queries on the engine's UI thread; the window operations on the main thread, where
// the handler posts them (each holding its browser until it ran).
#pragma once

#include <windows.h>

#include <set>

#include "include/cef_browser.h"
#include "include/wrapper/cef_message_router.h"

namespace client {
namespace window_test {

// Pages under this prefix may send the window queries.
extern const char kTestUrlPrefix[];

// Adds one new handler to handlers; the set's owner registers it with its router and deletes it.
void CreateMessageHandlers(std::set<CefMessageRouterBrowserSide::Handler*>& handlers);

// The top-level window of the browser's window.
HWND GetRootHwnd(CefRefPtr<CefBrowser> browser);

// Main thread. Minimize and Maximize undo themselves on a window already in that state.
void Minimize(CefRefPtr<CefBrowser> browser);
void Maximize(CefRefPtr<CefBrowser> browser);
void Restore(CefRefPtr<CefBrowser> browser);
// Moves and sizes the root window within its monitor's work area (x and y taken from the work
// area's origin); a minimised or maximised window is restored to that rectangle.
void SetPos(CefRefPtr<CefBrowser> browser, int x, int y, int width, int height);

// Fits window (x, y relative to display's origin) into display: at least 100 x 100, no larger
// than the display, and inside it.
void ModifyBounds(const CefRect& display, CefRect& window);

}  // namespace window_test
}  // namespace client
