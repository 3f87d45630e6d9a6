#ifndef CEF_INCLUDE_INTERNAL_CEF_TIME_H_
#define CEF_INCLUDE_INTERNAL_CEF_TIME_H_

#include <ctime>

#include "include/base/cef_basictypes.h"
#include "include/internal/cef_export.h"

extern "C" {

// A UTC calendar time.
typedef struct _cef_time_t {
  int year;          // four digits, e.g. 2007
  int month;         // 1 = January
  int day_of_week;   // 0 = Sunday
  int day_of_month;  // 1-based
  int hour;
  int minute;
  int second;        // 0-60 (leap second)
  int millisecond;
} cef_time_t;

// time_t (seconds since 1970-01-01 UTC, 64-bit) <-> calendar time. Return 1 on success,
// 0 for a null argument or a time outside years 1601-30827.
CEF_EXPORT int cef_time_to_timet(const cef_time_t* cef_time, time_t* time);
CEF_EXPORT int cef_time_from_timet(time_t time, cef_time_t* cef_time);
// Seconds since the epoch as a double (fractions hold the milliseconds).
CEF_EXPORT int cef_time_to_doublet(const cef_time_t* cef_time, double* time);
CEF_EXPORT int cef_time_from_doublet(double time, cef_time_t* cef_time);
CEF_EXPORT int cef_time_now(cef_time_t* cef_time);
// Milliseconds from `from` to `to`.
CEF_EXPORT int cef_time_delta(const cef_time_t* from, const cef_time_t* to, long long* delta);
}

#endif  // CEF_INCLUDE_INTERNAL_CEF_TIME_H_
