#include <windows.h>

#include "include/internal/cef_time.h"

static_assert(sizeof(time_t) == 8, "time_t must be 64-bit in every build (see the top CMakeLists.txt)");

namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
const long long kEpochDelta = 116444736000000000LL;

bool ToFileTime(const cef_time_t* t, long long* ticks) {
  SYSTEMTIME st = {};
  if (t->year < 1601 || t->year > 30827 || t->month < 1 || t->month > 12 || t->day_of_month < 1 ||
      t->day_of_month > 31 || t->hour < 0 || t->hour > 23 || t->minute < 0 || t->minute > 59 || t->second < 0 ||
      t->second > 60 || t->millisecond < 0 || t->millisecond > 999)
    return false;
  st.wYear = static_cast<WORD>(t->year);
  st.wMonth = static_cast<WORD>(t->month);
  st.wDay = static_cast<WORD>(t->day_of_month);
  st.wHour = static_cast<WORD>(t->hour);
  st.wMinute = static_cast<WORD>(t->minute);
  // A leap second counts as the last second of the minute.
  st.wSecond = static_cast<WORD>(t->second > 59 ? 59 : t->second);
  st.wMilliseconds = static_cast<WORD>(t->millisecond);
  FILETIME ft;
  if (!SystemTimeToFileTime(&st, &ft))
    return false;
  *ticks = (static_cast<long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return true;
}

bool FromFileTime(long long ticks, cef_time_t* t) {
  if (ticks < 0)
    return false;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft, &st))
    return false;
  t->year = st.wYear;
  t->month = st.wMonth;
  t->day_of_week = st.wDayOfWeek;
  t->day_of_month = st.wDay;
  t->hour = st.wHour;
  t->minute = st.wMinute;
  t->second = st.wSecond;
  t->millisecond = st.wMilliseconds;
  return true;
}

}  // namespace

extern "C" {

int cef_time_to_timet(const cef_time_t* cef_time, time_t* time) {
  long long ticks;
  if (!cef_time || !time || !ToFileTime(cef_time, &ticks))
    return 0;
  *time = static_cast<time_t>((ticks - kEpochDelta) / 10000000LL);
  return 1;
}

int cef_time_from_timet(time_t time, cef_time_t* cef_time) {
  if (!cef_time)
    return 0;
  return FromFileTime(static_cast<long long>(time) * 10000000LL + kEpochDelta, cef_time) ? 1 : 0;
}

int cef_time_to_doublet(const cef_time_t* cef_time, double* time) {
  long long ticks;
  if (!cef_time || !time || !ToFileTime(cef_time, &ticks))
    return 0;
  *time = static_cast<double>(ticks - kEpochDelta) / 1e7;
  return 1;
}

int cef_time_from_doublet(double time, cef_time_t* cef_time) {
  if (!cef_time)
    return 0;
  return FromFileTime(static_cast<long long>(time * 1e7) + kEpochDelta, cef_time) ? 1 : 0;
}

int cef_time_now(cef_time_t* cef_time) {
  if (!cef_time)
    return 0;
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return FromFileTime((static_cast<long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, cef_time) ? 1 : 0;
}

int cef_time_delta(const cef_time_t* from, const cef_time_t* to, long long* delta) {
  long long a, b;
  if (!from || !to || !delta || !ToFileTime(from, &a) || !ToFileTime(to, &b))
    return 0;
  *delta = (b - a) / 10000LL;
  return 1;
}

}  // extern "C"
