#include "tools/hostsim/host_launch.h"

#include <cwchar>

namespace hostsim {

std::wstring HandleHex(HWND hwnd) {
  wchar_t text[16] = {};
  _snwprintf(text, 15, L"%X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(hwnd)));
  return text;
}

std::wstring QuotedArgument(const std::wstring& value) {
  return value.find_first_of(L" \t\"") == std::wstring::npos ? value : L"\"" + value + L"\"";
}

std::wstring BrowserCommandLine(const BrowserLaunch& launch, HWND parent) {
  std::wstring command = L"\"" + launch.exe + L"\"";
  command += L" --parent_wnd=" + HandleHex(parent);
  command += L" --tab_ids=" + QuotedArgument(launch.id);
  command += L" --tab_rect=" + launch.rect;
  command += L" --workarea=" + launch.workarea;
  command += L" --web_view_id=" + std::to_wstring(launch.view);
  command += L" --url=" + QuotedArgument(launch.url);
  for (const std::wstring& extra : launch.switches) command += L" " + extra;
  return command;
}

HWND CreateHostWindow(WNDPROC proc) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_APPWORKSPACE + 1));
  wc.lpszClassName = L"BriveloHostSimulator";
  RegisterClassExW(&wc);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"Brivelo host simulator", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                CW_USEDEFAULT, CW_USEDEFAULT, 1024, 768, nullptr, nullptr, wc.hInstance, nullptr);
  if (window) ShowWindow(window, SW_SHOW);
  return window;
}

}  // namespace hostsim
