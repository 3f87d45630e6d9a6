// LogUtils: a second logger beside the main log. One process-wide logger with a numeric level
// (a message of level L passes when L >= the level; 0 lets everything through, 3 is "off"),
// switches given as command texts, a size limit with two policies for a full file (stop, or
// delete it and start again), and a file appender that writes ANSI-code-page lines ending in
// CR LF to a file that several processes may share, one writer at a time through a named mutex
// made from the path. Messages are composed in a LogLineBuilder.
//
// A line in the file: "MM-DD hh:mm:ss.mmm [  pid][  tid][tag]" (without "[tag]" for an empty
// tag), then the builder's "<mark>[line][base name] " and the message. The library's own lines
// carry the first head and a marker such as "-------log start".
//
// Until Init the logger stays at level 3 with no appender: every level question answers false
// except for level 3, and nothing is written. Callers ask IsLevelEnabled before building a line;
// WriteLine does not test the level itself.
//
// Threads: every logger operation runs under the logger's critical section; the singleton is
// created under a lock of its own. Nothing throws or reports failure to its caller (a file that
// cannot be opened is reported to the debugger output only).
#pragma once

#include <windows.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "compat/atlstr.h"

// A message under construction: the constructor writes the head, the caller streams the text
// (narrow texts are read in the ANSI code page; a null one shows as "(null)").
class LogLineBuilder {
 public:
  // sourcePath's base name goes into the head when it has a backslash and a dot after it with
  // something between them.
  LogLineBuilder(const std::string& levelMark, const std::string& sourcePath, int line);

  LogLineBuilder& operator<<(const char* text);
  LogLineBuilder& operator<<(const std::string& text);
  template <typename T>
  LogLineBuilder& operator<<(const T& value) {
    m_stream << value;
    return *this;
  }

  std::wstring str() const { return m_stream.str(); }

 private:
  std::wostringstream m_stream;
};

namespace LogUtils {

constexpr uint32_t kDefaultMaxSize = 104857600;  // 100 MiB

class Logger {
 public:
  virtual ~Logger() = default;
  virtual void SetLevel(int level) = 0;
  virtual bool IsLevelEnabled(int level) = 0;
  // May be called again: path, limit, policy and level change, the first appender (and so the
  // first file) stays. "<path>.on" beside the file gives level 0 and, with enable, locks it.
  virtual void Init(const wchar_t* path, const wchar_t* tag, BOOL enable, BOOL stopWhenFull, uint32_t maxSize) = 0;
  virtual void Reset() = 0;
  virtual void Uninit() = 0;
  // "--set_log_lev=0" to "=3" and "--reload_log_switch", anywhere in the text, case ignored;
  // the first of them (in that order) that occurs decides.
  virtual void HandleCommand(const wchar_t* command) = 0;
  virtual void WriteLine(LogLineBuilder& line) = 0;
};

// A CRITICAL_SECTION that lives and dies with the object.
class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&m_cs); }
  ~CriticalSection() { DeleteCriticalSection(&m_cs); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  CRITICAL_SECTION* Get() { return &m_cs; }

 private:
  CRITICAL_SECTION m_cs;
};

// Holds a critical section from construction to the end of the scope.
class CsLocker {
 public:
  explicit CsLocker(CRITICAL_SECTION* cs) : m_pCs(cs) { EnterCriticalSection(m_pCs); }
  ~CsLocker() {
    if (m_pCs != nullptr) LeaveCriticalSection(m_pCs);
    m_pCs = nullptr;
  }
  CsLocker(const CsLocker&) = delete;
  CsLocker& operator=(const CsLocker&) = delete;

 private:
  CRITICAL_SECTION* m_pCs;
};

// A C run-time file descriptor; -1 when closed.
class FdHolder {
 public:
  FdHolder() = default;
  ~FdHolder() { Close(); }
  FdHolder(const FdHolder&) = delete;
  FdHolder& operator=(const FdHolder&) = delete;
  int Get() const { return m_fd; }
  int* Put() { return &m_fd; }
  void Close();

 private:
  int m_fd = -1;
};

// Writes lines to one file. The file is opened at the first Flush and kept open; Reset closes
// and deletes it. Used by one logger, under its lock.
class LogAppender {
 public:
  // The first process to name this file (no other holds its mutex) deletes it when
  // deleteOnStart is set.
  LogAppender(const wchar_t* path, const wchar_t* tag, BOOL deleteOnStart);
  virtual ~LogAppender();
  LogAppender(const LogAppender&) = delete;
  LogAppender& operator=(const LogAppender&) = delete;

  // Formats one line and queues it.
  virtual void Append(const std::wstring& text);
  // Queues text, then writes the queue when the file's mutex is free (or, with wait, once it
  // is); otherwise the lines stay queued for a later flush. Returns the file size as tracked
  // (-1 when the file could not be opened).
  virtual int Flush(const std::wstring& text, BOOL wait);
  // Closes and deletes the file and drops the queue; true when the file was deleted.
  virtual bool Reset();

 private:
  HANDLE m_hMutex = nullptr;
  int m_nFileSize = 0;
  bool m_bNeedOpen = true;
  BOOL m_bDeleteOnStart;
  ATL::CStringW m_strPath;
  ATL::CStringW m_strMutexName;
  ATL::CStringW m_strTag;
  FdHolder m_fd;
  CriticalSection m_cs;
  std::vector<std::string> m_vecPending;
};

class LoggerImpl : public Logger {
 public:
  LoggerImpl() = default;
  ~LoggerImpl() override;
  LoggerImpl(const LoggerImpl&) = delete;
  LoggerImpl& operator=(const LoggerImpl&) = delete;

  void SetLevel(int level) override;
  bool IsLevelEnabled(int level) override;
  void Init(const wchar_t* path, const wchar_t* tag, BOOL enable, BOOL stopWhenFull, uint32_t maxSize) override;
  void Reset() override;
  void Uninit() override;
  void HandleCommand(const wchar_t* command) override;
  void WriteLine(LogLineBuilder& line) override;

  // Gives up the appender without deleting it (null when there is none); the logger then has
  // none, as before Init. The caller owns the appender.
  [[nodiscard]] LogAppender* TakeAppender();

 private:
  bool MarkerExists() const;

  CriticalSection m_cs;
  int m_nLevel = 3;
  BOOL m_bLevelLocked = FALSE;
  BOOL m_bStopWhenFull = FALSE;
  LogAppender* m_pAppender = nullptr;
  std::wstring m_strPath;
  uint32_t m_nMaxSize = kDefaultMaxSize;
};

// The process-wide logger, created on first use; null only when it cannot be allocated (the
// functions below then do nothing).
Logger* GetLogger();
// maxSize 0 means the default.
void InitLogger(const wchar_t* path, BOOL enable, BOOL stopWhenFull, uint32_t maxSize, const wchar_t* tag);
void InitLoggerDefault(const wchar_t* path);
void SetLoggerLevel(int level);
void ResetLogger();
void UninitLogger();
void LoggerCommand(const wchar_t* command);
// Deletes the process-wide logger; the next GetLogger makes a fresh one. Its appender is not
// deleted: the file stays open and the handle of the file's mutex kept until the process ends, so a later
// InitLogger of this process is not taken for the file's first writer (which would delete it).
void ReleaseLogger();

// "0x%08x" of code, then ":" and the system's text for it (line breaks removed) when it has one.
void GetErrorText(ATL::CStringW& out, DWORD code);
// The same for GetLastError, the number in decimal.
void GetLastErrorText(ATL::CStringW& out);
// out = text printed with the arguments when format is TRUE, else text as it is.
void FormatTextW(ATL::CStringW& out, BOOL format, const wchar_t* text, ...);
void FormatTextA(ATL::CStringA& out, BOOL format, const char* text, ...);
// The ASCII letters and digits of text, upper-cased; everything else dropped.
void MakeMutexName(ATL::CStringW& out, const ATL::CStringW& text);

}  // namespace LogUtils
