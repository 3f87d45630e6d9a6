// Helpers shared by the log tests: scratch folders, raw file bytes, and regular expressions
// for the time-stamped banner and line prefix.
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace log_test {

// Removes the folder with everything in it; a missing folder is fine.
inline void RemoveTree(const std::wstring& folder) {
  std::wstring from = folder + L'\0';  // double-terminated list
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationW(&op);
}

// A fresh folder under the temporary folder, removed with its content at the end.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    static LONG s_counter = 0;
    wchar_t name[MAX_PATH + 1] = {};
    _snwprintf(name, MAX_PATH, L"%sbrivelo-log-%lu-%lu-%ld", temp, GetCurrentProcessId(),
               GetTickCount(), InterlockedIncrement(&s_counter));
    m_path = name;
    CreateDirectoryW(m_path.c_str(), nullptr);
  }
  ~TempFolder() { RemoveTree(m_path); }
  const std::wstring& Path() const { return m_path; }

 private:
  std::wstring m_path;
};

inline std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  if (FILE* f = _wfopen(path.c_str(), L"rb")) {
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) bytes.append(chunk, n);
    fclose(f);
  }
  return bytes;
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

// UTF-16LE bytes as text (an odd last byte is dropped).
inline std::wstring WideText(const std::string& bytes) {
  std::wstring text(bytes.size() / 2, L'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return text;
}

// Printable form of raw bytes for failure messages (first 256 bytes).
inline std::string Bytes(const std::string& bytes) {
  std::string out;
  char hex[4];
  for (size_t i = 0; i < bytes.size() && i < 256; ++i) {
    snprintf(hex, sizeof(hex), "%02X ", static_cast<unsigned char>(bytes[i]));
    out += hex;
  }
  return out;
}

// Regular-expression form of a literal text.
inline std::wstring Escape(const std::wstring& literal) {
  std::wstring out;
  for (wchar_t c : literal) {
    if (wcschr(L"\\^$.|?*+()[]{}", c) && c) out += L'\\';
    out += c;
  }
  return out;
}

inline std::wstring FormatIds(DWORD pid, DWORD tid) {
  wchar_t ids[32] = {};
  _snwprintf(ids, 31, L"%06d:%06d", static_cast<int>(pid), static_cast<int>(tid));
  return ids;
}

inline std::wstring Ids() { return FormatIds(GetCurrentProcessId(), GetCurrentThreadId()); }

// "\r\n================== <title> [pid:tid]: YYYY-MM-DD hh:mm:ss ==================\n "
inline std::wstring Banner(const std::wstring& title, const std::wstring& ids) {
  return L"\r\n={18} " + title + L" \\[" + ids +
         L"\\]: \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} ={18}\n ";
}

// "YYYY-MM-DD hh:mm:ss.mmm [pid:tid][TAG] "
inline std::wstring LinePrefix(const std::wstring& tag, const std::wstring& ids) {
  return L"\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} \\[" + ids + L"\\]\\[" + tag + L"\\] ";
}

// Runs the helper process that appends one error line; returns its exit code.
inline DWORD RunChild(const std::wstring& logFile, const std::wstring& message, DWORD* pid,
                      DWORD* tid) {
  wchar_t exe[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  PathRemoveFileSpecW(exe);
  PathAppendW(exe, L"log_writer_child.exe");
  std::wstring command = L"\"" + std::wstring(exe) + L"\" \"" + logFile + L"\" \"" + message + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(exe, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return static_cast<DWORD>(-1);
  WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(pi.hProcess, &code);
  *pid = pi.dwProcessId;
  *tid = pi.dwThreadId;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

}  // namespace log_test
