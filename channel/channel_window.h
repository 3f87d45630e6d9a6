// A minimal Win32 window object: registers its class when needed, routes the window procedure
// to ProcessWindowMessage and falls back to DefWindowProcW. One object per window; the object
// must outlive its window.
#pragma once

#include <windows.h>

class CChannelWindow {
 public:
  CChannelWindow() = default;
  virtual ~CChannelWindow() = default;
  CChannelWindow(const CChannelWindow&) = delete;
  CChannelWindow& operator=(const CChannelWindow&) = delete;

  // Handles one message: returns TRUE with result set, or FALSE for DefWindowProcW.
  virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) = 0;

  HWND m_hWnd = nullptr;

 protected:
  // Registers class_name (when not yet registered in this module) and creates a hidden
  // top-level window of it with the given style. Null on failure.
  HWND CreateTopLevel(const wchar_t* class_name, const wchar_t* title, DWORD style);
  // After the last message of the window (WM_NCDESTROY); m_hWnd is already null.
  virtual void OnFinalMessage(HWND hWnd) {}

 private:
  static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
};
