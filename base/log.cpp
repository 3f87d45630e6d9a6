#include "base/log.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/smart_logger.h"
#include "compat/atlstr.h"

namespace {

const size_t kMessageBuffer = 10240;
// Longest message written; the formatter is told this many units so one more overflows.
const size_t kMaxMessage = 10238;

enum : uint32_t { kOutputFile = 1, kOutputDebugger = 2, kOutputConsole = 4 };

bool Passes(uint32_t level) { return (g_logLevelMask & level) == level; }

void Emit(uint32_t level, const CStringW& text) {
  if (g_logOutputs & kOutputFile) {
    g_smartLogger.AddLine(LogLevelTag(level), text);
    g_smartLogger.Flush();
  }
}

}  // namespace

uint32_t g_logOutputs = kOutputFile;
uint32_t g_logLevelMask = 1;
uint32_t g_logMaxSize = 512000;
int g_logInitialised = 0;
// Built before any other static object, so that their constructors and destructors may log.
CSmartLogger g_smartLogger __attribute__((init_priority(101)));

void LogInit(const wchar_t* logFile, const wchar_t* folder, const wchar_t* kind) {
  if (g_logInitialised) return;
  g_logInitialised = 1;
  CStringW path(logFile);
  if (path.IsEmpty()) {
    wchar_t logFolder[MAX_PATH + 1] = {};
    if (folder) {
      wcsncpy(logFolder, folder, MAX_PATH - 1);
      logFolder[MAX_PATH - 1] = L'\0';
    }
    PathAppendW(logFolder, L"Log");
    wchar_t exePath[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, exePath, MAX_PATH);
    wchar_t* name = PathFindFileNameW(exePath);
    *PathFindExtensionW(name) = L'\0';
    CStringW logName(name);
    if (kind && *kind) {
      logName += L'.';
      logName += kind;
    }
    path.Format(L"%s\\%s.log", logFolder, logName.GetString());
  }
  if (PathFileExistsW(path + L".on")) g_logLevelMask = 15;
  g_smartLogger.SetMaxSize(g_logMaxSize);
  g_smartLogger.SetFilePath(path);
}

bool IsLogLevelEnabled(uint32_t level) { return Passes(level); }

void WriteLogLineA(uint32_t level, const char* format, va_list args) {
  if (!Passes(level) || !format) return;
  char message[kMessageBuffer] = {};
  int length = _vsnprintf(message, kMaxMessage, format, args);
  if (length < 0) return;  // longer than the limit, or a bad format
  message[length] = '\0';
  if (g_logOutputs & kOutputFile) Emit(level, CStringW(message));
  if (g_logOutputs & kOutputDebugger) OutputDebugStringA(message);
  if (g_logOutputs & kOutputConsole) {
    fputs(message, stdout);
    fputs("\r\n", stdout);
  }
}

void WriteLogLineW(uint32_t level, const wchar_t* format, va_list args) {
  if (!Passes(level) || !format) return;
  wchar_t message[kMessageBuffer] = {};
  int length = _vsnwprintf(message, kMaxMessage, format, args);
  if (length < 0) return;
  message[length] = L'\0';
  if (g_logOutputs & kOutputFile) Emit(level, CStringW(message));
  if (g_logOutputs & kOutputDebugger) OutputDebugStringW(message);
  if (g_logOutputs & kOutputConsole) {
    fputws(message, stdout);
    fputws(L"\r\n", stdout);
  }
}

#define BRIVELO_LOG_WRITER(name, Char, writer, level) \
  void name(const Char* format, ...) {                \
    if (!Passes(level)) return;                       \
    va_list args;                                     \
    va_start(args, format);                           \
    writer(level, format, args);                      \
    va_end(args);                                     \
  }

BRIVELO_LOG_WRITER(LogErrorA, char, WriteLogLineA, 1)
BRIVELO_LOG_WRITER(LogWarnA, char, WriteLogLineA, 2)
BRIVELO_LOG_WRITER(LogInfoA, char, WriteLogLineA, 4)
BRIVELO_LOG_WRITER(LogDebugA, char, WriteLogLineA, 8)
BRIVELO_LOG_WRITER(LogErrorW, wchar_t, WriteLogLineW, 1)
BRIVELO_LOG_WRITER(LogWarnW, wchar_t, WriteLogLineW, 2)
BRIVELO_LOG_WRITER(LogInfoW, wchar_t, WriteLogLineW, 4)
BRIVELO_LOG_WRITER(LogDebugW, wchar_t, WriteLogLineW, 8)
#undef BRIVELO_LOG_WRITER

void LogA(uint32_t level, const char* format, ...) {
  if (!Passes(level)) return;
  va_list args;
  va_start(args, format);
  WriteLogLineA(level, format, args);
  va_end(args);
}

void LogW(uint32_t level, const wchar_t* format, ...) {
  if (!Passes(level)) return;
  va_list args;
  va_start(args, format);
  WriteLogLineW(level, format, args);
  va_end(args);
}

const wchar_t* LogLevelTag(uint32_t level) {
  switch (level) {
    case 1: return L"ERRO";
    case 2: return L"WARN";
    case 4: return L"INFO";
    case 8: return L"DEBG";
    default: return L"UKWN";
  }
}

void SetLogOutputs(uint32_t outputs) { g_logOutputs = outputs; }
bool IsLogOutputEnabled(uint32_t outputs) { return (g_logOutputs & outputs) == outputs; }
void AddLogLevels(uint32_t levels) { g_logLevelMask |= levels; }
void SetLogMaxSize(uint32_t bytes) { g_logMaxSize = bytes; }
uint32_t GetLogMaxSize() { return g_logMaxSize; }
void SetLogFilePath(const wchar_t* path) { g_smartLogger.SetFilePath(CStringW(path)); }
