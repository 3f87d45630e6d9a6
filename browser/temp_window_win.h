// A hidden 1x1 top-level window ("Client_TempWindow") that parents pop-up browsers until they
// get a root window of their own. One lives for the whole life of the root-window manager.
#pragma once

#include <windows.h>

namespace client {

class TempWindowWin {
 public:
  // Main thread. Creates the window (never shown) and becomes the current temporary window;
  // a window that cannot be created ends the process through a failed check.
  TempWindowWin();
  // Main thread. Clears the current temporary window, then destroys the window.
  ~TempWindowWin();
  TempWindowWin(const TempWindowWin&) = delete;
  TempWindowWin& operator=(const TempWindowWin&) = delete;

  // The current temporary window's handle; null while none exists. Also read on CEF's UI
  // thread, without a lock: it does not change while browsers exist.
  static HWND GetWindowHandle();

 private:
  HWND hwnd_;
};

}  // namespace client
