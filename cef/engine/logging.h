// The engine's log sink and fatal handler.
#ifndef CEF_ENGINE_LOGGING_H_
#define CEF_ENGINE_LOGGING_H_

#include <functional>
#include <string>

#include "include/internal/cef_types.h"

namespace cefengine {

// Applies CefSettings' log fields: `log_file` "" means "debug.log" beside the executable;
// LOGSEVERITY_DISABLE turns the file off and lets only FATAL through. Any thread.
void ConfigureLog(const std::wstring& log_file, cef_log_severity_t severity);
// Back to the state before start-up: no file, every severity.
void ResetLog();
// The file currently written, "" when none.
std::wstring CurrentLogFile();

// Called with the full log line of a FATAL message. The default breaks into the debugger (an
// unhandled breakpoint exception) and then ends the process. An empty function restores it.
typedef std::function<void(const std::string& message)> FatalHandler;
void SetFatalHandler(FatalHandler handler);

// Writes a WARNING about misuse of the API; with BRIVELO_CEF_STRICT=1 it is fatal instead.
void ReportMisuse(const char* file, int line, const std::string& what);
bool StrictMode();

}  // namespace cefengine

#define CEFENGINE_MISUSE(what) ::cefengine::ReportMisuse(__FILE__, __LINE__, (what))

#endif  // CEF_ENGINE_LOGGING_H_
