#include "base/log_utils.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <shlwapi.h>
#include <sys/stat.h>
#include <sys/timeb.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <new>

namespace {

constexpr wchar_t kLogStart[] = L"-------log start";
constexpr wchar_t kLogEnd[] = L"-------log end";
constexpr wchar_t kLogReset[] = L"-------log reset";
constexpr wchar_t kLogOff[] = L"-------log off";
constexpr wchar_t kLogLevelChange[] = L"-------log lev change";
constexpr wchar_t kLogReloadSwitch[] = L"-------log reload switch";
constexpr wchar_t kLogFull[] = L"-------log full";
constexpr wchar_t kLogFullReset[] = L"-------log full reset";
constexpr wchar_t kLogFullResetFailed[] = L"-------log full reset failed. ";
constexpr size_t kHeadUnits = 100;  // with the terminator

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string ansi(size_t(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), &ansi[0], bytes, nullptr, nullptr);
  return ansi;
}

std::wstring FromAnsi(const char* text, size_t length) {
  if (length == 0) return std::wstring();
  const int units = MultiByteToWideChar(CP_ACP, 0, text, int(length), nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(size_t(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, int(length), &wide[0], units);
  return wide;
}

// The system's text for an error without its line breaks, or "".
ATL::CStringW SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  ATL::CStringW message;
  if (length > 0 && text != nullptr) {
    message = text;
    message.Replace(L"\r\n", L"");
  }
  if (text != nullptr) LocalFree(text);
  return message;
}

void AppendSystemMessage(ATL::CStringW& out, DWORD code) {
  const ATL::CStringW message = SystemMessage(code);
  if (!message.IsEmpty()) out.AppendFormat(L":%s", message.GetString());
}

// The process-wide logger: created under its lock, read without one.
std::atomic<LogUtils::Logger*> g_logger{nullptr};
LogUtils::CriticalSection g_loggerLock;

template <typename Apply>
void WithLogger(Apply apply) {
  if (LogUtils::Logger* logger = LogUtils::GetLogger()) apply(logger);
}

template <typename Text, typename Char>
void FormatOrCopy(Text& out, BOOL format, const Char* text, va_list args) {
  if (format) {
    out.FormatV(text, args);
  } else {
    out = text;
  }
}

bool ContainsNoCase(std::wstring haystack, const wchar_t* needle) {
  for (wchar_t& c : haystack) {
    if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
  }
  return haystack.find(needle) != std::wstring::npos;
}

}  // namespace

// ---- LogLineBuilder ----

LogLineBuilder::LogLineBuilder(const std::string& levelMark, const std::string& sourcePath, int line) {
  const size_t slash = sourcePath.rfind('\\');
  const size_t dot = sourcePath.rfind('.');
  char head[kHeadUnits] = {};
  if (slash != std::string::npos && dot != std::string::npos && slash < dot && dot - slash > 1) {
    const std::string base = sourcePath.substr(slash + 1, dot - slash - 1);
    snprintf(head, sizeof(head), "[%4d][%s] ", line, base.c_str());
  } else {
    snprintf(head, sizeof(head), "[%4d] ", line);
  }
  *this << levelMark << head;
}

LogLineBuilder& LogLineBuilder::operator<<(const char* text) {
  if (text == nullptr) {
    m_stream << L"(null)";
    return *this;
  }
  m_stream << FromAnsi(text, strlen(text));
  return *this;
}

LogLineBuilder& LogLineBuilder::operator<<(const std::string& text) {
  m_stream << FromAnsi(text.data(), text.size());
  return *this;
}

namespace LogUtils {

// ---- Helpers ----

void FdHolder::Close() {
  if (m_fd != -1) _close(m_fd);
  m_fd = -1;
}

void GetErrorText(ATL::CStringW& out, DWORD code) {
  out.Format(L"0x%08x", static_cast<unsigned>(code));
  AppendSystemMessage(out, code);
}

void GetLastErrorText(ATL::CStringW& out) {
  const DWORD code = GetLastError();
  out.Format(L"%d", static_cast<int>(code));
  AppendSystemMessage(out, code);
}

void FormatTextW(ATL::CStringW& out, BOOL format, const wchar_t* text, ...) {
  va_list args;
  va_start(args, text);
  FormatOrCopy(out, format, text, args);
  va_end(args);
}

void FormatTextA(ATL::CStringA& out, BOOL format, const char* text, ...) {
  va_list args;
  va_start(args, text);
  FormatOrCopy(out, format, text, args);
  va_end(args);
}

void MakeMutexName(ATL::CStringW& out, const ATL::CStringW& text) {
  out.Empty();
  for (int i = 0; i < text.GetLength(); ++i) {
    const wchar_t c = text[i];
    if (c >= L'a' && c <= L'z') {
      out.AppendChar(wchar_t(c - L'a' + L'A'));
    } else if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
      out.AppendChar(c);
    }
  }
}

// ---- LogAppender ----

LogAppender::LogAppender(const wchar_t* path, const wchar_t* tag, BOOL deleteOnStart)
    : m_bDeleteOnStart(deleteOnStart), m_strPath(path), m_strTag(tag) {
  MakeMutexName(m_strMutexName, m_strPath);
  m_hMutex = CreateMutexW(nullptr, TRUE, m_strMutexName);
  if (m_hMutex == nullptr) return;
  // Another process holds the name: it was the first writer of this file.
  if (GetLastError() == ERROR_ALREADY_EXISTS) return;
  if (m_bDeleteOnStart) DeleteFileW(m_strPath);
  ReleaseMutex(m_hMutex);
}

LogAppender::~LogAppender() {
  m_fd.Close();
  if (m_hMutex != nullptr) CloseHandle(m_hMutex);
}

void LogAppender::Append(const std::wstring& text) {
  __timeb64 now = {};
  _ftime64_s(&now);
  struct tm local = {};
  _localtime64_s(&local, &now.time);
  wchar_t head[kHeadUnits] = {};
  const int month = local.tm_mon + 1, pid = int(GetCurrentProcessId()), tid = int(GetCurrentThreadId());
  // Bounded: a tag too long for the head is cut.
  if (m_strTag.IsEmpty()) {
    _snwprintf(head, kHeadUnits - 1, L"%02d-%02d %02d:%02d:%02d.%03d [%5d][%5d]", month, local.tm_mday,
               local.tm_hour, local.tm_min, local.tm_sec, int(now.millitm), pid, tid);
  } else {
    _snwprintf(head, kHeadUnits - 1, L"%02d-%02d %02d:%02d:%02d.%03d [%5d][%5d][%s]", month, local.tm_mday,
               local.tm_hour, local.tm_min, local.tm_sec, int(now.millitm), pid, tid, m_strTag.GetString());
  }
  std::string line = ToAnsi(head + text);
  line += "\r\n";
  CsLocker lock(m_cs.Get());
  m_vecPending.push_back(std::move(line));
}

int LogAppender::Flush(const std::wstring& text, BOOL wait) {
  Append(text);
  if (m_bNeedOpen) {
    const errno_t error = _wsopen_s(m_fd.Put(), m_strPath, _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _SH_DENYNO,
                                    _S_IREAD | _S_IWRITE);
    if (error != 0 || m_fd.Get() == -1) {
      wchar_t number[16] = {};
      _snwprintf(number, 15, L"%d", int(error));
      OutputDebugStringW(L"open " + m_strPath + L" error. [" + number + L"]\r\n");
      m_nFileSize = -1;
    } else {
      m_nFileSize = int(_lseek(m_fd.Get(), 0, SEEK_END));
    }
    m_bNeedOpen = false;
  }
  if (m_hMutex == nullptr) return m_nFileSize;

  // An abandoned mutex (a writer ended while holding it) is ours all the same.
  DWORD state = WaitForSingleObject(m_hMutex, 0);
  bool owned = state == WAIT_OBJECT_0 || state == WAIT_ABANDONED;
  if (!owned && wait) {
    state = WaitForSingleObject(m_hMutex, INFINITE);
    owned = state == WAIT_OBJECT_0 || state == WAIT_ABANDONED;
  }
  if (!owned) return m_nFileSize;

  std::vector<std::string> lines;
  {
    CsLocker lock(m_cs.Get());
    lines.swap(m_vecPending);
  }
  for (const std::string& line : lines) {
    m_nFileSize += m_fd.Get() != -1 ? _write(m_fd.Get(), line.data(), unsigned(line.size())) : -1;
  }
  ReleaseMutex(m_hMutex);
  return m_nFileSize;
}

bool LogAppender::Reset() {
  if (m_fd.Get() != -1) {
    m_fd.Close();
    m_bNeedOpen = true;
  }
  CsLocker lock(m_cs.Get());
  m_nFileSize = 0;
  m_vecPending.clear();
  return DeleteFileW(m_strPath) != FALSE;
}

// ---- LoggerImpl ----

LoggerImpl::~LoggerImpl() { delete m_pAppender; }

LogAppender* LoggerImpl::TakeAppender() {
  CsLocker lock(m_cs.Get());
  LogAppender* appender = m_pAppender;
  m_pAppender = nullptr;
  return appender;
}

bool LoggerImpl::MarkerExists() const { return PathFileExistsW((m_strPath + L".on").c_str()) != FALSE; }

void LoggerImpl::Init(const wchar_t* path, const wchar_t* tag, BOOL enable, BOOL stopWhenFull, uint32_t maxSize) {
  CsLocker lock(m_cs.Get());
  m_strPath = path != nullptr ? path : L"";
  m_nMaxSize = maxSize;
  m_bStopWhenFull = stopWhenFull;
  if (m_pAppender == nullptr) {
    // The stop policy also asks for a fresh file at the first start.
    m_pAppender = new (std::nothrow) LogAppender(m_strPath.c_str(), tag != nullptr ? tag : L"", stopWhenFull);
  }
  m_nLevel = enable ? 1 : 3;
  if (MarkerExists()) {
    m_nLevel = 0;
    m_bLevelLocked = enable;
  }
  if (IsLevelEnabled(1) && m_pAppender != nullptr) m_pAppender->Append(kLogStart);
}

bool LoggerImpl::IsLevelEnabled(int level) {
  CsLocker lock(m_cs.Get());
  return level >= m_nLevel;
}

void LoggerImpl::SetLevel(int level) {
  CsLocker lock(m_cs.Get());
  if (m_bLevelLocked) return;
  if (m_pAppender != nullptr) {
    if (m_nLevel <= 1) {
      if (level == 3) {
        m_pAppender->Flush(kLogOff, TRUE);
      } else {
        m_pAppender->Flush(kLogLevelChange, FALSE);
      }
    } else if (level <= 1) {
      m_pAppender->Flush(kLogLevelChange, FALSE);
    }
  }
  m_nLevel = level;
}

void LoggerImpl::WriteLine(LogLineBuilder& line) {
  CsLocker lock(m_cs.Get());
  if (m_pAppender == nullptr) return;
  const int size = m_pAppender->Flush(line.str(), FALSE);
  if (size <= int(m_nMaxSize)) return;
  if (m_bStopWhenFull) {
    m_pAppender->Flush(kLogFull, TRUE);
    m_nLevel = 3;
  } else if (m_pAppender->Reset()) {
    m_pAppender->Append(kLogFullReset);  // the first line of the new file
  } else {
    ATL::CStringW error;
    GetLastErrorText(error);
    m_pAppender->Append(kLogFullResetFailed + std::wstring(error.GetString()));
    m_nLevel = 3;
  }
}

void LoggerImpl::Reset() {
  CsLocker lock(m_cs.Get());
  if (m_pAppender == nullptr) return;
  m_pAppender->Reset();
  if (IsLevelEnabled(1)) m_pAppender->Append(kLogReset);
}

void LoggerImpl::Uninit() {
  CsLocker lock(m_cs.Get());
  if (m_pAppender != nullptr && IsLevelEnabled(1)) m_pAppender->Flush(kLogEnd, TRUE);
  m_nLevel = 3;
}

void LoggerImpl::HandleCommand(const wchar_t* command) {
  if (command == nullptr) return;
  static const wchar_t* const kLevels[] = {L"--set_log_lev=0", L"--set_log_lev=1", L"--set_log_lev=2",
                                           L"--set_log_lev=3"};
  for (int level = 0; level < 4; ++level) {
    if (ContainsNoCase(command, kLevels[level])) {
      SetLevel(level);
      return;
    }
  }
  if (!ContainsNoCase(command, L"--reload_log_switch")) return;
  CsLocker lock(m_cs.Get());
  m_nLevel = MarkerExists() ? 0 : 3;  // the lock flag stays as it is
  if (IsLevelEnabled(1) && m_pAppender != nullptr) m_pAppender->Append(kLogReloadSwitch);
}

// ---- The process-wide logger ----

Logger* GetLogger() {
  Logger* logger = g_logger.load(std::memory_order_acquire);
  if (logger != nullptr) return logger;
  CsLocker lock(g_loggerLock.Get());
  logger = g_logger.load(std::memory_order_relaxed);
  if (logger == nullptr) {
    logger = new (std::nothrow) LoggerImpl();
    g_logger.store(logger, std::memory_order_release);
  }
  return logger;
}

void InitLogger(const wchar_t* path, BOOL enable, BOOL stopWhenFull, uint32_t maxSize, const wchar_t* tag) {
  WithLogger([&](Logger* logger) { logger->Init(path, tag, enable, stopWhenFull, maxSize != 0 ? maxSize : kDefaultMaxSize); });
}

void InitLoggerDefault(const wchar_t* path) {
  WithLogger([&](Logger* logger) { logger->Init(path, L"", FALSE, FALSE, kDefaultMaxSize); });
}

void SetLoggerLevel(int level) {
  WithLogger([&](Logger* logger) { logger->SetLevel(level); });
}

void ResetLogger() {
  WithLogger([](Logger* logger) { logger->Reset(); });
}

void UninitLogger() {
  WithLogger([](Logger* logger) { logger->Uninit(); });
}

void LoggerCommand(const wchar_t* command) {
  WithLogger([&](Logger* logger) { logger->HandleCommand(command); });
}

void ReleaseLogger() {
  if (g_logger.load(std::memory_order_acquire) == nullptr) return;
  CsLocker lock(g_loggerLock.Get());
  Logger* logger = g_logger.exchange(nullptr);
  // Left alive on purpose until the process ends: closing the descriptor and the mutex would let
  // the next appender of this file find no other writer and delete the file.
  if (LoggerImpl* impl = dynamic_cast<LoggerImpl*>(logger)) (void)impl->TakeAppender();
  delete logger;
}

}  // namespace LogUtils
