// Where the helper executables of the CEF tests are (beside the test executable), and whether the renderer
// processes they were started as have ended.
#ifndef TESTS_CEF_PROBE_PATHS_H_
#define TESTS_CEF_PROBE_PATHS_H_

#include <windows.h>

#include <string>

#include "include/cef_app.h"
#include "testing/browser_testing.h"
#include "testing/cefengine_testing.h"
#include "testing/renderer_testing.h"

namespace probe_paths {

// The folder of the running executable, with its trailing separator.
inline std::wstring ExeDir() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

// The child the start-up and renderer tests launch (subprocess_probe.cpp).
inline std::wstring SubprocessProbePath() {
  return ExeDir() + L"cef_subprocess_probe.exe";
}

// The browser process the control-pipe tests drive (control_probe.cpp).
inline std::wstring ControlProbePath() {
  return ExeDir() + L"cef_control_probe.exe";
}

// True when every renderer process started so far has ended (for waits at the end of a test).
inline bool AllChildrenEnded() {
  for (const auto& child : cefengine::test::ChildProcesses())
    if (!child.ended)
      return false;
  return true;
}

// Closes every browser at once, waits up to `wait_ms` for the browsers and then for every renderer child to be gone,
// and shuts the engine down. False when something was still there.
inline bool CloseBrowsersAndShutdown(int wait_ms) {
  for (const auto& browser : cefengine::test::Browsers())
    browser->GetHost()->CloseBrowser(true);
  const bool browsers_gone = cefengine::test::WaitFor([] { return cefengine::test::Browsers().empty(); }, wait_ms);
  const bool children_ended = cefengine::test::WaitFor(AllChildrenEnded, wait_ms);
  CefShutdown();
  return browsers_gone && children_ended;
}

}  // namespace probe_paths

#endif  // TESTS_CEF_PROBE_PATHS_H_
