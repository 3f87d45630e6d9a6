// How the host simulator starts the browser: its host window and the browser's command line.
// Shared by hostsim and the benches, so that both start the executable the same way.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace hostsim {

// The first view's start-up switches, as hostsim's options give them.
struct BrowserLaunch {
  std::wstring exe;                        // the browser executable
  std::wstring id;                         // --tab_ids: the channel id
  uint32_t view = 256;                     // --web_view_id
  std::wstring url = L"about:blank";
  std::wstring rect = L"0,0,800,600";      // --tab_rect
  std::wstring workarea = L"0,0,0,0";
  std::vector<std::wstring> switches;      // further text, each appended after a blank
};

// The handle as hexadecimal digits, as --parent_wnd takes it.
std::wstring HandleHex(HWND hwnd);
// `value` in double quotes when it holds a blank, a tab or a quote.
std::wstring QuotedArgument(const std::wstring& value);

// The command line that starts `launch.exe` with `parent` as the host window.
std::wstring BrowserCommandLine(const BrowserLaunch& launch, HWND parent);

// A visible top-level host window of the simulator's class ("BriveloHostSimulator"), 1024 x 768, clipping its
// children; `proc` is its window procedure (the class is registered once per process, with the first proc). Null
// when it cannot be made. The calling thread owns it and must pump its messages.
HWND CreateHostWindow(WNDPROC proc);

}  // namespace hostsim
