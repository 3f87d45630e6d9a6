// The writer behind the main log: turns messages into dated lines and appends them to one
// UTF-16LE file, keeping the file below a size limit by cutting it down to its newest part.
//
// File format (byte-exact):
// - a file this logger creates or rewrites starts with FF FE;
// - the first write of each logger instance (one per process) begins with the start banner
//   "\r\n================== Start Log [pid:tid]: YYYY-MM-DD hh:mm:ss ==================\n ";
// - each line is "YYYY-MM-DD hh:mm:ss.mmm [pid:tid][TAG] " + message + "\n" (no line feed is
//   added when the message already ends with one);
// - once the file reaches the size limit it is rewritten as FF FE, the truncation banner
//   ("Truncate Log" in place of "Start Log") and the last min(size / 2, 102400) bytes.
//
// Threads: AddLine, AddLineV, Flush and Clear may be called from any thread; WriteToFile
// expects the caller to hold the lock (Flush does). SetFilePath and SetMaxSize take no lock:
// call them during start-up, before other threads log.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <vector>

#include "base/critical_section.h"
#include "compat/atlstr.h"

class CSmartLogger {
 public:
  // The log file is %APPDATA%\KIVVireDaredo\Log\KIVVireDaredo.log until SetFilePath.
  CSmartLogger();
  virtual ~CSmartLogger();  // drops pending lines without writing them
  CSmartLogger(const CSmartLogger&) = delete;
  CSmartLogger& operator=(const CSmartLogger&) = delete;

  // Queues one line built from the tag and the message; writes the queue when more than 100
  // lines are pending. Returns the number of lines still pending.
  int AddLine(const wchar_t* tag, const CStringW& message);
  // printf-style variant (Microsoft rules): the message is cut at 510 units and the prefix
  // has no trailing blank. Never writes. A null format only returns the pending count.
  int AddLineV(const wchar_t* tag, const wchar_t* format, va_list args);
  // Writes the pending lines under the lock; the result is WriteToFile's.
  int Flush();
  // Writes and drops the pending lines, then enforces the size limit. The caller holds the
  // lock. Returns 1 when the file could be opened for appending, else 0 (lines are dropped).
  int WriteToFile();
  void SetFilePath(const CStringW& path);
  // 0 switches the limit off.
  void SetMaxSize(uint32_t bytes);
  // Drops the pending lines without writing them.
  void Clear();
  // Size of the file, or 0 when the path is empty or the file cannot be opened exclusively.
  static uint64_t GetFileSize(const CStringW& path);

 private:
  // Writes FF FE, the truncation banner and the tail of the file, when the tail can be read.
  void Truncate(uint64_t size);

  _BaseModule::CCriticalSection m_lock;
  std::vector<CStringW> m_vecLines;
  CStringW m_strLogFile;
  uint32_t m_bFirstWrite;
  uint32_t m_nMaxSize;
  CStringW m_strLogDir;
};
