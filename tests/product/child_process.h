// Runs a helper program of the tests to its end.
#pragma once

#include <windows.h>

#include <string>

// The child's exit code; 100 when it did not start, 101 when it did not end within a minute.
inline DWORD RunChildForExitCode(std::wstring command) {
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 100;
  DWORD code = 101;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}
