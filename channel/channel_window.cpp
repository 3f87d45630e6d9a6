#include "channel/channel_window.h"

HWND CChannelWindow::CreateTopLevel(const wchar_t* class_name, const wchar_t* title, DWORD style) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof(existing);
  if (!GetClassInfoExW(instance, class_name, &existing)) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &CChannelWindow::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = class_name;
    if (!RegisterClassExW(&wc)) return nullptr;
  }
  return CreateWindowExW(0, class_name, title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                         nullptr, nullptr, instance, this);
}

LRESULT CALLBACK CChannelWindow::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CChannelWindow* self;
  if (uMsg == WM_NCCREATE) {
    self = static_cast<CChannelWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hWnd = hWnd;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CChannelWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hWnd, uMsg, wParam, lParam);
  LRESULT result = 0;
  if (uMsg != WM_NCDESTROY && self->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, result)) return result;
  result = DefWindowProcW(hWnd, uMsg, wParam, lParam);
  if (uMsg == WM_NCDESTROY) {
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
    self->OnFinalMessage(hWnd);
  }
  return result;
}
