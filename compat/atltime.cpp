#include "compat/atltime.h"

#include <cwchar>

namespace ATL {

CTime CTime::GetCurrentTime() { return CTime(_time64(nullptr)); }

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst) {
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59) {
    m_time = kInvalid;
    return;
  }
  struct tm fields = {};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = dst;
  m_time = _mktime64(&fields);  // -1 when it cannot be represented
}

struct tm* CTime::GetLocalTm(struct tm* out) const {
  if (!out || !IsValid()) return nullptr;
  return _localtime64_s(out, &m_time) == 0 ? out : nullptr;
}

int CTime::Field(int tm::*field, int offset) const {
  struct tm local = {};
  return GetLocalTm(&local) ? local.*field + offset : -1;
}

int CTime::GetYear() const { return Field(&tm::tm_year, 1900); }
int CTime::GetMonth() const { return Field(&tm::tm_mon, 1); }
int CTime::GetDay() const { return Field(&tm::tm_mday, 0); }
int CTime::GetHour() const { return Field(&tm::tm_hour, 0); }
int CTime::GetMinute() const { return Field(&tm::tm_min, 0); }
int CTime::GetSecond() const { return Field(&tm::tm_sec, 0); }
int CTime::GetDayOfWeek() const { return Field(&tm::tm_wday, 1); }

CStringW CTime::Format(const wchar_t* format) const {
  struct tm local = {};
  if (!format || !GetLocalTm(&local)) return CStringW();
  wchar_t buffer[128] = {};
  if (wcsftime(buffer, 128, format, &local) == 0) return CStringW();
  return CStringW(buffer);
}

}  // namespace ATL
