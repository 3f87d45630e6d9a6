// Sends this test process's main log, all levels, to a fresh file and reads it back.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "base/log.h"

class LogCapture {
 public:
  LogCapture() {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    m_strPath = std::wstring(dir) + L"channel_log_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(GetTickCount64()) + L".log";
    DeleteFileW(m_strPath.c_str());
    SetLogFilePath(m_strPath.c_str());
    AddLogLevels(15);
  }
  ~LogCapture() { DeleteFileW(m_strPath.c_str()); }

  // The whole file as text (UTF-16LE, byte-order mark dropped).
  std::wstring Text() const { return ReadText(m_strPath); }
  // The same for a log file that another process writes.
  static std::wstring ReadText(const std::wstring& path) {
    std::wstring text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
      wchar_t buffer[4096];
      size_t n;
      while ((n = fread(buffer, sizeof(wchar_t), 4096, f)) > 0) text.append(buffer, n);
      fclose(f);
    }
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    return text;
  }
  size_t Count(const std::wstring& needle) const {
    const std::wstring text = Text();
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  }
  // Position of the first occurrence, or npos.
  size_t Find(const std::wstring& needle) const { return Text().find(needle); }

 private:
  std::wstring m_strPath;
};
