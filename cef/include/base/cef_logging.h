// Logging and check macros: LOG(INFO/WARNING/ERROR/FATAL) << ..., CHECK(cond) << ..., DCHECK,
// NOTREACHED. A failed check writes "Check failed: <condition>. <extra>" with severity FATAL,
// which ends the process (see cef_log).
#ifndef CEF_INCLUDE_BASE_CEF_LOGGING_H_
#define CEF_INCLUDE_BASE_CEF_LOGGING_H_

#include <sstream>
#include <string>

#include "include/base/cef_macros.h"
#include "include/internal/cef_logging_internal.h"

namespace cef_logging {

typedef int LogSeverity;
const LogSeverity LOG_VERBOSE = -1;
const LogSeverity LOG_INFO = 0;
const LogSeverity LOG_WARNING = 1;
const LogSeverity LOG_ERROR = 2;
const LogSeverity LOG_FATAL = 3;
const LogSeverity LOG_NUM_SEVERITIES = 4;
#ifdef NDEBUG
const LogSeverity LOG_DFATAL = LOG_ERROR;
#else
const LogSeverity LOG_DFATAL = LOG_FATAL;
#endif
// windows.h defines ERROR as 0; LOG(ERROR) then reads LOG(0).
const LogSeverity LOG_0 = LOG_ERROR;

// Collects one message and hands it to cef_log when destroyed.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity) : file_(file), line_(line), severity_(severity) {}
  // May throw when a test replaced the fatal handler with one that throws.
  ~LogMessage() noexcept(false) { cef_log(file_, line_, severity_, stream_.str().c_str()); }
  std::ostream& stream() { return stream_; }

 private:
  const char* file_;
  int line_;
  LogSeverity severity_;
  std::ostringstream stream_;
  DISALLOW_COPY_AND_ASSIGN(LogMessage);
};

// Turns a stream expression into void so it fits the ?: of the lazy macros.
class LogMessageVoidify {
 public:
  LogMessageVoidify() {}
  void operator&(std::ostream&) {}
};

// Accepts and drops what is streamed into a disabled check.
class NullStream : public std::ostream {
 public:
  NullStream() : std::ostream(nullptr) {}
};

inline bool ShouldCreateLogMessage(LogSeverity severity) {
  return severity >= cef_get_min_log_level();
}

}  // namespace cef_logging

namespace logging = cef_logging;

#define CEF_LOG_STREAM(severity) ::cef_logging::LogMessage(__FILE__, __LINE__, ::cef_logging::LOG_##severity).stream()
#define CEF_LAZY_STREAM(stream, condition) !(condition) ? (void)0 : ::cef_logging::LogMessageVoidify() & (stream)

#define LOG_IS_ON(severity) (::cef_logging::ShouldCreateLogMessage(::cef_logging::LOG_##severity))
#define LOG(severity) CEF_LAZY_STREAM(CEF_LOG_STREAM(severity), LOG_IS_ON(severity))
#define LOG_IF(severity, condition) CEF_LAZY_STREAM(CEF_LOG_STREAM(severity), LOG_IS_ON(severity) && (condition))
#define VLOG(verbose_level) CEF_LAZY_STREAM(CEF_LOG_STREAM(VERBOSE), false)
#define PLOG(severity) LOG(severity)

#define CHECK(condition) \
  CEF_LAZY_STREAM(CEF_LOG_STREAM(FATAL), !(condition)) << "Check failed: " #condition ". "
#define PCHECK(condition) CHECK(condition)

#define CEF_CHECK_OP(a, op, b) \
  CEF_LAZY_STREAM(CEF_LOG_STREAM(FATAL), !((a)op(b))) << "Check failed: " #a " " #op " " #b ". "
#define CHECK_EQ(a, b) CEF_CHECK_OP(a, ==, b)
#define CHECK_NE(a, b) CEF_CHECK_OP(a, !=, b)
#define CHECK_LE(a, b) CEF_CHECK_OP(a, <=, b)
#define CHECK_LT(a, b) CEF_CHECK_OP(a, <, b)
#define CHECK_GE(a, b) CEF_CHECK_OP(a, >=, b)
#define CHECK_GT(a, b) CEF_CHECK_OP(a, >, b)

#ifdef NDEBUG
#define DCHECK_IS_ON() 0
#else
#define DCHECK_IS_ON() 1
#endif

// Debug-only forms: in release builds the condition is not evaluated.
#define DLOG(severity) CEF_LAZY_STREAM(CEF_LOG_STREAM(severity), DCHECK_IS_ON() && LOG_IS_ON(severity))
#define DLOG_IF(severity, condition) \
  CEF_LAZY_STREAM(CEF_LOG_STREAM(severity), DCHECK_IS_ON() && LOG_IS_ON(severity) && (condition))
#define DVLOG(verbose_level) VLOG(verbose_level)
#define DCHECK(condition) \
  CEF_LAZY_STREAM(CEF_LOG_STREAM(FATAL), DCHECK_IS_ON() && !(condition)) << "Check failed: " #condition ". "
#define DPCHECK(condition) DCHECK(condition)
#define CEF_DCHECK_OP(a, op, b) \
  CEF_LAZY_STREAM(CEF_LOG_STREAM(FATAL), DCHECK_IS_ON() && !((a)op(b))) << "Check failed: " #a " " #op " " #b ". "
#define DCHECK_EQ(a, b) CEF_DCHECK_OP(a, ==, b)
#define DCHECK_NE(a, b) CEF_DCHECK_OP(a, !=, b)
#define DCHECK_LE(a, b) CEF_DCHECK_OP(a, <=, b)
#define DCHECK_LT(a, b) CEF_DCHECK_OP(a, <, b)
#define DCHECK_GE(a, b) CEF_DCHECK_OP(a, >=, b)
#define DCHECK_GT(a, b) CEF_DCHECK_OP(a, >, b)

#define NOTREACHED() DCHECK(false)
#define NOTIMPLEMENTED() LOG(ERROR) << "Not implemented reached in " << __FUNCTION__

#endif  // CEF_INCLUDE_BASE_CEF_LOGGING_H_
