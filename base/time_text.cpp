#include "base/time_text.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "base/string_util.h"

namespace {

constexpr __int64 kSecondsPerDay = 86400;

// Local time of t; a zeroed structure when the conversion fails.
struct tm LocalTime(__time64_t t) {
  struct tm local = {};
  if (_localtime64_s(&local, &t) != 0) local = tm();
  return local;
}

std::string Print(const struct tm& t) {
  char text[100] = {};
  snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
           t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

int ToInt(const std::wstring& digits) { return _wtoi(digits.c_str()); }
int ToInt(const std::string& digits) { return atoi(digits.c_str()); }

// The number at a fixed position, as far as the text reaches.
template <typename Text>
int FieldAt(const Text& text, size_t position) {
  return position < text.size() ? ToInt(text.substr(position, 2)) : 0;
}

template <typename Text>
__time64_t ReadAsStandardTime(const Text& text) {
  if (text.size() < 16) return 0;
  struct tm fields = {};  // tm_isdst 0: standard time
  fields.tm_year = ToInt(text.substr(0, 4)) - 1900;
  fields.tm_mon = FieldAt(text, 5) - 1;
  fields.tm_mday = FieldAt(text, 8);
  fields.tm_hour = FieldAt(text, 11);
  fields.tm_min = FieldAt(text, 14);
  fields.tm_sec = text.size() >= 19 ? FieldAt(text, 17) : 0;
  return _mktime64(&fields);
}

bool SameCalendarDate(__time64_t a, __time64_t b) {
  const struct tm x = LocalTime(a);
  const struct tm y = LocalTime(b);
  return x.tm_year == y.tm_year && x.tm_mon == y.tm_mon && x.tm_mday == y.tm_mday;
}

}  // namespace

namespace CommonUtil {

__time64_t GetNowTextA(std::string* out) {
  const __time64_t now = _time64(nullptr);
  if (out != nullptr) *out = Print(LocalTime(now));
  return now;
}

ATL::CStringW GetNowText() {
  std::string text;
  GetNowTextA(&text);
  return StringUtil::MbToWide(text.c_str(), CP_ACP);
}

__time64_t GetNowTextAndTime(ATL::CStringW& out) {
  std::string text;
  const __time64_t now = GetNowTextA(&text);
  out = StringUtil::MbToWide(text.c_str(), CP_ACP);
  return now;
}

__time64_t GetNowTextW(std::wstring* out) {
  std::string text;
  const __time64_t now = GetNowTextA(&text);
  if (out != nullptr) *out = StringUtil::MbToWString(text, CP_ACP);
  return now;
}

void FormatNow(ATL::CStringW& out) {
  out.Empty();
  const __time64_t now = _time64(nullptr);
  struct tm local = {};
  if (_localtime64_s(&local, &now) != 0) return;
  wchar_t text[128] = {};
  if (wcsftime(text, 128, L"%Y-%m-%d %H:%M:%S", &local) > 0) out = text;
}

void FormatNowA(std::string* out) {
  if (out == nullptr) return;
  const __time64_t now = _time64(nullptr);
  auto field = [now](int tm::*member, int offset, int failed) {
    struct tm local = {};
    return _localtime64_s(&local, &now) == 0 ? local.*member + offset : failed;
  };
  char text[64] = {};
  snprintf(text, 63, "%04d-%02d-%02d %02d:%02d:%02d", field(&tm::tm_year, 1900, 0), field(&tm::tm_mon, 1, 0),
           field(&tm::tm_mday, 0, 0), field(&tm::tm_hour, 0, -1), field(&tm::tm_min, 0, -1),
           field(&tm::tm_sec, 0, -1));
  *out = text;
}

__time64_t GetBootTimeText(ATL::CStringW& out) {
  const __time64_t boot = _time64(nullptr) - __time64_t(GetTickCount() / 1000);
  out = StringUtil::MbToWide(Print(LocalTime(boot)).c_str(), CP_THREAD_ACP);
  return boot;
}

ATL::CStringW TimeToText(__time64_t time) { return StringUtil::MbToWide(Print(LocalTime(time)).c_str(), CP_ACP); }

void TimeToTextA(__time64_t time, std::string* out) {
  if (out != nullptr) *out = Print(LocalTime(time));
}

__time64_t TimeFromText(const ATL::CStringW& text) {
  return ReadAsStandardTime(std::wstring(text.GetString(), size_t(text.GetLength())));
}

__time64_t TimeFromTextA(const std::string& text) { return ReadAsStandardTime(text); }

void CTimeFromText(const std::wstring& text, ATL::CTime* out) {
  if (out == nullptr || text.size() < 17) return;
  const ATL::CTime read(ToInt(text.substr(0, 4)), FieldAt(text, 5), FieldAt(text, 8), FieldAt(text, 11),
                        FieldAt(text, 14), FieldAt(text, 17), -1);
  // Fields out of range, or a time the run time cannot represent, are not a time.
  if (read.IsValid()) *out = read;
}

int CompareTimeText(const std::wstring& a, const std::wstring& b) {
  ATL::CTime x(__time64_t(0)), y(__time64_t(0));
  CTimeFromText(a, &x);
  CTimeFromText(b, &y);
  return x > y ? 1 : x == y ? 0 : -1;
}

__int64 TimeTextDiff(const wchar_t* a, const wchar_t* b) {
  const __time64_t x = a != nullptr ? TimeFromTextA(StringUtil::WideToMbString(a, CP_ACP)) : 0;
  const __time64_t y = b != nullptr ? TimeFromTextA(StringUtil::WideToMbString(b, CP_ACP)) : 0;
  return x - y;
}

BOOL IsDaysLater(const ATL::CStringW& from, const ATL::CStringW& to, int days) {
  // 64-bit: days * 86400 leaves 32 bits past 24,855 days.
  return TimeFromText(to) >= TimeFromText(from) + static_cast<__int64>(days) * kSecondsPerDay ? TRUE : FALSE;
}

BOOL HasDaysPassed(__time64_t from, __time64_t to, int days) {
  if (days < 1 || to <= from) return FALSE;
  const __int64 passed = to - from;
  if (passed >= static_cast<__int64>(days) * kSecondsPerDay) return TRUE;
  if (passed < static_cast<__int64>(days - 1) * kSecondsPerDay) return FALSE;
  return SameCalendarDate(from + static_cast<__int64>(days) * kSecondsPerDay, to) ? TRUE : FALSE;
}

BOOL HasDayPassed(const ATL::CStringW& from, const ATL::CStringW& to) {
  return HasDaysPassed(TimeFromText(from), TimeFromText(to), 1);
}

BOOL HasDayPassedT(__time64_t from, __time64_t to) { return HasDaysPassed(from, to, 1); }

}  // namespace CommonUtil
