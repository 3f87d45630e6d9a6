// The main log: printf-style writers per level, in a narrow and a wide form, over the one
// process-wide CSmartLogger (see base/smart_logger.h for the file format).
//
// - Levels are bits: 1 error ("ERRO"), 2 warning ("WARN"), 4 information ("INFO"), 8 debug
//   ("DEBG"); any other value is tagged "UKWN". A message of level L is written when
//   (mask & L) == L. The mask is 1 until LogInit finds "<log file>.on", which makes it 15.
// - Formats follow Microsoft's printf rules: in the wide writers "%s" takes a wide string;
//   narrow messages are converted with the thread's ANSI code page.
// - A message whose formatted text is longer than 10,238 units is dropped whole, silently.
// - Every message is in the file when the writer returns. Writers never fail and never throw.
// - Any thread may log. LogInit and the setters are for start-up, before other threads log.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>

class CSmartLogger;

// Once per process (later calls do nothing): when logFile is null or empty the file becomes
// "<folder>\Log\<exe name without extension>[.<kind>].log"; "<file>.on" enables all levels.
// Until then, lines go to %APPDATA%\KIVVireDaredo\Log\KIVVireDaredo.log.
void LogInit(const wchar_t* logFile, const wchar_t* folder, const wchar_t* kind);
// For skipping costly message texts: (mask & level) == level.
bool IsLogLevelEnabled(uint32_t level);

void LogErrorA(const char* format, ...);
void LogWarnA(const char* format, ...);
void LogInfoA(const char* format, ...);
void LogDebugA(const char* format, ...);
void LogA(uint32_t level, const char* format, ...);

void LogErrorW(const wchar_t* format, ...);
void LogWarnW(const wchar_t* format, ...);
void LogInfoW(const wchar_t* format, ...);
void LogDebugW(const wchar_t* format, ...);
void LogW(uint32_t level, const wchar_t* format, ...);

void WriteLogLineA(uint32_t level, const char* format, va_list args);
void WriteLogLineW(uint32_t level, const wchar_t* format, va_list args);

// A static text: "ERRO", "WARN", "INFO", "DEBG" or "UKWN".
const wchar_t* LogLevelTag(uint32_t level);

// Outputs are bits: 1 the log file (the default), 2 the debugger, 4 standard output.
void SetLogOutputs(uint32_t outputs);
bool IsLogOutputEnabled(uint32_t outputs);
void AddLogLevels(uint32_t levels);
// Takes effect at LogInit. 0 switches the size limit off.
void SetLogMaxSize(uint32_t bytes);
uint32_t GetLogMaxSize();
// Points the logger at path directly (no ".on" test).
void SetLogFilePath(const wchar_t* path);

// Process-wide state, read without a lock (set only during start-up).
extern uint32_t g_logOutputs;
extern uint32_t g_logLevelMask;
extern uint32_t g_logMaxSize;
extern int g_logInitialised;
extern CSmartLogger g_smartLogger;
