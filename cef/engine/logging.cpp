#include "engine/logging.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "engine/utf.h"
#include "include/base/cef_logging.h"

namespace cefengine {

namespace {

struct LogState {
  std::mutex mutex;
  std::wstring file;
  int min_level = cef_logging::LOG_INFO;
  FatalHandler fatal;
};

LogState& State() {
  static LogState* state = new LogState();  // never destroyed: logging works during exit
  return *state;
}

const char* SeverityName(int severity) {
  switch (severity) {
    case cef_logging::LOG_VERBOSE:
      return "VERBOSE";
    case cef_logging::LOG_INFO:
      return "INFO";
    case cef_logging::LOG_WARNING:
      return "WARNING";
    case cef_logging::LOG_ERROR:
      return "ERROR";
    case cef_logging::LOG_FATAL:
      return "FATAL";
    default:
      return "UNKNOWN";
  }
}

std::wstring DefaultLogFile() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  size_t slash = dir.find_last_of(L"\\/");
  dir = slash == std::wstring::npos ? std::wstring() : dir.substr(0, slash + 1);
  return dir + L"debug.log";
}

}  // namespace

void ConfigureLog(const std::wstring& log_file, cef_log_severity_t severity) {
  LogState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  switch (severity) {
    case LOGSEVERITY_VERBOSE:
      s.min_level = cef_logging::LOG_VERBOSE;
      break;
    case LOGSEVERITY_WARNING:
      s.min_level = cef_logging::LOG_WARNING;
      break;
    case LOGSEVERITY_ERROR:
      s.min_level = cef_logging::LOG_ERROR;
      break;
    case LOGSEVERITY_DISABLE:
      s.min_level = cef_logging::LOG_FATAL;
      break;
    default:
      s.min_level = cef_logging::LOG_INFO;
      break;
  }
  s.file = severity == LOGSEVERITY_DISABLE ? std::wstring() : (log_file.empty() ? DefaultLogFile() : log_file);
}

void ResetLog() {
  LogState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.file.clear();
  s.min_level = cef_logging::LOG_INFO;
}

std::wstring CurrentLogFile() {
  LogState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.file;
}

void SetFatalHandler(FatalHandler handler) {
  LogState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.fatal = std::move(handler);
}

bool StrictMode() {
  wchar_t value[8] = {};
  DWORD n = GetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", value, 8);
  return n == 1 && value[0] == L'1';
}

void ReportMisuse(const char* file, int line, const std::string& what) {
  cef_log(file, line, StrictMode() ? cef_logging::LOG_FATAL : cef_logging::LOG_WARNING, what.c_str());
}

}  // namespace cefengine

extern "C" {

int cef_get_min_log_level() {
  cefengine::LogState& s = cefengine::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.min_level;
}

int cef_get_vlog_level(const char* file_start, size_t N) {
  return 0;
}

void cef_log(const char* file, int line, int severity, const char* message) {
  using namespace cefengine;
  LogState& s = State();
  SYSTEMTIME now;
  GetLocalTime(&now);
  const char* base = file ? file : "";
  for (const char* p = base; *p; ++p)
    if (*p == '\\' || *p == '/')
      base = p + 1;
  char head[160];
  _snprintf_s(head, sizeof(head), _TRUNCATE, "[%02u%02u/%02u%02u%02u.%03u:%s:%s(%d)] ", now.wMonth, now.wDay,
              now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, SeverityName(severity), base, line);
  std::string text = std::string(head) + (message ? message : "") + "\n";

  FatalHandler fatal;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (severity >= s.min_level || severity >= cef_logging::LOG_FATAL) {
      OutputDebugStringA(text.c_str());
      if (!s.file.empty()) {
        FILE* f = _wfopen(s.file.c_str(), L"ab");
        if (f) {
          fwrite(text.data(), 1, text.size(), f);
          fclose(f);
        }
      }
    }
    if (severity >= cef_logging::LOG_FATAL)
      fatal = s.fatal;
  }
  if (severity < cef_logging::LOG_FATAL)
    return;
  if (fatal) {
    fatal(text);
    return;
  }
  // Like a real failed check: an unhandled breakpoint exception reaches the application's
  // crash handling; should anything continue after it, the process still ends.
  DebugBreak();
  TerminateProcess(GetCurrentProcess(), 3);
}

}  // extern "C"
