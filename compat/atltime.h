// ATL-shaped point in time (ATL::CTime): a signed 64-bit count of seconds since
// 1970-01-01 00:00:00 UTC, shown in the C run time's local time.
//
// Nothing here throws. A time built from fields that are out of range (year below 1970,
// month outside 1-12, day outside 1-31, hour outside 0-23, minute or second outside 0-59) or
// that the run time cannot represent is invalid: IsValid() is false, GetTime() is -1, the
// field getters return -1, GetLocalTm returns null and Format returns an empty string.
#pragma once

#include <ctime>

#include "compat/atlstr.h"

namespace ATL {

class CTime {
 public:
  static CTime GetCurrentTime();

  CTime() = default;
  CTime(__time64_t time) : m_time(time) {}  // NOLINT: implicit as in ATL
  // Local date and time; dst -1 lets the run time decide whether daylight saving applies,
  // 0 means standard time, a positive value daylight-saving time.
  CTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);

  bool IsValid() const { return m_time != kInvalid; }
  __time64_t GetTime() const { return m_time; }
  // Local time into *out; null when the time is invalid or cannot be converted.
  struct tm* GetLocalTm(struct tm* out) const;
  int GetYear() const;
  int GetMonth() const;      // 1-12
  int GetDay() const;        // 1-31
  int GetHour() const;
  int GetMinute() const;
  int GetSecond() const;
  int GetDayOfWeek() const;  // 1 = Sunday
  // wcsftime over the local time, at most 127 units.
  CStringW Format(const wchar_t* format) const;

  bool operator==(CTime other) const { return m_time == other.m_time; }
  bool operator!=(CTime other) const { return m_time != other.m_time; }
  bool operator<(CTime other) const { return m_time < other.m_time; }
  bool operator>(CTime other) const { return m_time > other.m_time; }
  bool operator<=(CTime other) const { return m_time <= other.m_time; }
  bool operator>=(CTime other) const { return m_time >= other.m_time; }

 private:
  static const __time64_t kInvalid = -1;  // the run time's own "cannot represent"
  int Field(int tm::*field, int offset) const;

  __time64_t m_time = 0;
};

}  // namespace ATL

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif
