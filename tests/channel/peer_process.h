// Starts channel_peer.exe (beside the test executable) and kills it when the test ends.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring TestExeDir() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring file(path, n);
  return file.substr(0, file.find_last_of(L"\\/") + 1);
}

class PeerProcess {
 public:
  PeerProcess(const std::wstring& mode, const std::wstring& arg) {
    std::wstring command = L"\"" + TestExeDir() + L"channel_peer.exe\" " + mode + L" \"" + arg + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      CloseHandle(pi.hThread);
      m_hProcess = pi.hProcess;
      m_nProcessId = pi.dwProcessId;
    }
  }
  ~PeerProcess() {
    Kill();
    if (m_hProcess) CloseHandle(m_hProcess);
  }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  void Kill() {
    if (m_hProcess && WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(m_hProcess, 9);
      WaitForSingleObject(m_hProcess, 5000);
    }
  }

  HANDLE m_hProcess = nullptr;
  DWORD m_nProcessId = 0;
};
