#ifndef CEF_INCLUDE_INTERNAL_CEF_LOGGING_INTERNAL_H_
#define CEF_INCLUDE_INTERNAL_CEF_LOGGING_INTERNAL_H_

#include <stddef.h>

#include "include/internal/cef_export.h"

extern "C" {
// Lowest severity that is written (the log level of CefSettings mapped to 0 INFO .. 3 FATAL).
CEF_EXPORT int cef_get_min_log_level();
CEF_EXPORT int cef_get_vlog_level(const char* file_start, size_t N);
// Writes one log line. Severity: 0 INFO, 1 WARNING, 2 ERROR, 3 FATAL (FATAL then ends the process
// through the fatal handler). `message` is UTF-8; file and line may be null/0.
CEF_EXPORT void cef_log(const char* file, int line, int severity, const char* message);
}

#endif  // CEF_INCLUDE_INTERNAL_CEF_LOGGING_INTERNAL_H_
