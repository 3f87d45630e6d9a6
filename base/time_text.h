// Points in time as local-time texts "YYYY-MM-DD hh:mm:ss": the current time, the time of the
// last system start and any time value as text; such texts read back; their comparison and
// difference; and whether days have passed between two times.
//
// Contracts:
// - A time value counts seconds since 1970-01-01 00:00:00 UTC (__time64_t); local time is the
//   C run time's.
// - Reading takes the fields from fixed positions (year 0-3, month 5-6, day 8-9, hour 11-12,
//   minute 14-15, second 17-18), each as _wtoi / atoi would; the separators are not looked at.
//   TimeFromText reads the text as standard time (also in summer, an hour away from what
//   CTimeFromText gives then) and normalises fields out of range (month 13 is January of the
//   next year); it gives 0 for a text under 16 characters and -1 for a time the run time
//   cannot represent.
// - Nothing throws or logs; a time that cannot be converted to local time prints the fields of
//   a zeroed structure. Reentrant, any thread.
#pragma once

#include <windows.h>

#include <ctime>
#include <string>

#include "compat/atlstr.h"
#include "compat/atltime.h"

namespace CommonUtil {

// The current time as text; the time shown is returned.
__time64_t GetNowTextA(std::string* out);
ATL::CStringW GetNowText();
__time64_t GetNowTextAndTime(ATL::CStringW& out);
__time64_t GetNowTextW(std::wstring* out);
// The same text through wcsftime; "" when the time cannot be converted.
void FormatNow(ATL::CStringW& out);
// Each field from a conversion of its own; a failed one prints -1 (hour, minute, second) or 0.
void FormatNowA(std::string* out);
// Now minus the milliseconds since the system started, as text ("" when empty); the start
// time is returned.
__time64_t GetBootTimeText(ATL::CStringW& out);
ATL::CStringW TimeToText(__time64_t time);
void TimeToTextA(__time64_t time, std::string* out);

__time64_t TimeFromText(const ATL::CStringW& text);
__time64_t TimeFromTextA(const std::string& text);
// Needs 17 characters at least; the run time decides whether summer time applies. *out is
// left unchanged for a shorter text and for fields that give no valid time.
void CTimeFromText(const std::wstring& text, ATL::CTime* out);

// 1, 0 or -1 as a is later than, equal to or earlier than b (read with CTimeFromText; a text
// that cannot be read counts as time 0).
int CompareTimeText(const std::wstring& a, const std::wstring& b);
// time(a) - time(b) in seconds, read with TimeFromTextA; a null text counts as 0.
__int64 TimeTextDiff(const wchar_t* a, const wchar_t* b);
// to is at least days whole days after from.
BOOL IsDaysLater(const ATL::CStringW& from, const ATL::CStringW& to, int days);
// The calendar has moved on by days days from from to to: a full days * 24 hours, or an
// interval longer than days - 1 days that ends on the calendar date of from + days. FALSE for
// days < 1 and when to is not after from.
BOOL HasDaysPassed(__time64_t from, __time64_t to, int days);
BOOL HasDayPassed(const ATL::CStringW& from, const ATL::CStringW& to);
BOOL HasDayPassedT(__time64_t from, __time64_t to);

}  // namespace CommonUtil
