#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/cef/probe_paths.h"

namespace {

// Runs the probe with `switches` and returns its exit code.
DWORD RunProbe(const std::wstring& switches) {
  std::wstring line = L"\"" + probe_paths::SubprocessProbePath() + L"\" " + switches;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 0xDEAD;
  DWORD code = 0xBEEF;
  if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

struct ProcessCase {
  const wchar_t* switches;
  DWORD exit_code;
};

class ExecuteProcess : public ::testing::TestWithParam<ProcessCase> {};

TEST_P(ExecuteProcess, ReturnsBySubProcessType) {
  EXPECT_EQ(RunProbe(GetParam().switches), GetParam().exit_code) << GetParam().switches;
}

INSTANTIATE_TEST_SUITE_P(
    Types, ExecuteProcess,
    ::testing::Values(
        // The browser process: -1, and the application is not called.
        ProcessCase{L"--other-switch", static_cast<DWORD>(-1)},
        // Other sub-process kinds end at once with 0, after the application saw the type.
        ProcessCase{L"--type=ppapi --ppapi-flash-path=x", 100}, ProcessCase{L"--Type=gpu-process", 100},
        // A renderer needs its channel.
        ProcessCase{L"--type=renderer", 101}),
    [](const ::testing::TestParamInfo<ProcessCase>& info) { return "Case" + std::to_string(info.index); });

}  // namespace
