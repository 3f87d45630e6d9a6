#include "base/time_text.h"

#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include <gtest/gtest.h>

namespace {

// The test runner's TZ rule makes the C run time use US summer-time dates; without TZ it
// follows the system's zone (Wine's, from the same rule: Berlin, with EU dates), as on a
// user's machine. Each test of this file runs there.
class TimeText : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = getenv("TZ");
    m_savedTz = tz != nullptr ? tz : "";
    _putenv("TZ=");
    _tzset();
  }
  void TearDown() override {
    _putenv(("TZ=" + m_savedTz).c_str());
    _tzset();
  }

 private:
  std::string m_savedTz;
};

// 2024-01-15 10:30:45 in Berlin (UTC+1), and 2024-07-01 12:00:00 there in summer (UTC+2).
constexpr __time64_t kWinter = 1705311045;
constexpr __time64_t kSummerNoon = 1719828000;

TEST_F(TimeText, ReadingTextsOfSixteenToNineteenCharacters) {
  EXPECT_EQ(CommonUtil::TimeFromText(L"2024-01-15 10:30:45"), kWinter);
  EXPECT_EQ(CommonUtil::TimeFromTextA("2024-01-15 10:30:45"), kWinter);
  EXPECT_EQ(CommonUtil::TimeFromText(L"2024-01-15 10:30"), kWinter - 45);
  EXPECT_EQ(CommonUtil::TimeFromText(L"2024-01-15 10:30:4"), kWinter - 45);  // seconds need 19 characters
  EXPECT_EQ(CommonUtil::TimeFromText(L"2024-01-15 10:3"), 0);
  // The separators are not looked at; fields out of range are normalised.
  EXPECT_EQ(CommonUtil::TimeFromText(L"2024/01/15T10.30.45"), kWinter);
  EXPECT_EQ(CommonUtil::TimeFromText(L"2024-13-01 00:00:00"), CommonUtil::TimeFromText(L"2025-01-01 00:00:00"));
  EXPECT_EQ(CommonUtil::TimeFromText(L"abcd-ef-gh ij:kl:mn"), -1);  // year 0 cannot be shown

  ATL::CTime read(__time64_t(7));
  CommonUtil::CTimeFromText(L"2024-01-15 10:30", &read);  // 16 characters: too short here
  EXPECT_EQ(read.GetTime(), 7);
  CommonUtil::CTimeFromText(L"2024-01-15 10:30:4", &read);
  EXPECT_EQ(read.GetTime(), kWinter - 41);
  // Fields that make no time leave it as it was; nothing ends the process.
  read = ATL::CTime(__time64_t(7));
  CommonUtil::CTimeFromText(L"2024-13-40 25:61:61", &read);
  CommonUtil::CTimeFromText(L"1969-12-31 23:59:59", &read);
  CommonUtil::CTimeFromText(L"xxxx-xx-xx xx:xx:xx", &read);
  EXPECT_EQ(read.GetTime(), 7);
}

TEST_F(TimeText, SummerTextsAreReadAsStandardTimeByTimeFromText) {
  ATL::CTime summer;
  CommonUtil::CTimeFromText(L"2024-07-01 12:00:00", &summer);
  EXPECT_EQ(summer.GetTime(), kSummerNoon);
  EXPECT_EQ(CommonUtil::TimeFromText(L"2024-07-01 12:00:00"), kSummerNoon + 3600);
  ATL::CTime winter;
  CommonUtil::CTimeFromText(L"2024-01-15 10:30:45", &winter);
  EXPECT_EQ(winter.GetTime(), CommonUtil::TimeFromText(L"2024-01-15 10:30:45"));
}

TEST_F(TimeText, TimesPrintAsLocalTimeTexts) {
  EXPECT_EQ(CommonUtil::TimeToText(kWinter), L"2024-01-15 10:30:45");
  std::string text;
  CommonUtil::TimeToTextA(kSummerNoon, &text);
  EXPECT_EQ(text, "2024-07-01 12:00:00");
  CommonUtil::TimeToTextA(-5, &text);  // before 1970: the zeroed fields
  EXPECT_EQ(text, "1900-01-00 00:00:00");

  const std::wregex form(L"\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}");
  std::string nowA;
  const __time64_t now = CommonUtil::GetNowTextA(&nowA);
  std::string again;
  CommonUtil::TimeToTextA(now, &again);
  EXPECT_EQ(nowA, again);
  std::wstring nowW;
  EXPECT_GE(CommonUtil::GetNowTextW(&nowW), now);
  EXPECT_TRUE(std::regex_match(nowW, form));
  ATL::CStringW nowC;
  EXPECT_GE(CommonUtil::GetNowTextAndTime(nowC), now);
  EXPECT_TRUE(std::regex_match(std::wstring(nowC.GetString()), form));
  EXPECT_TRUE(std::regex_match(std::wstring(CommonUtil::GetNowText().GetString()), form));
  ATL::CStringW formatted;
  CommonUtil::FormatNow(formatted);
  EXPECT_TRUE(std::regex_match(std::wstring(formatted.GetString()), form)) << formatted.GetString();
  std::string formattedA;
  CommonUtil::FormatNowA(&formattedA);
  EXPECT_TRUE(std::regex_match(std::wstring(formattedA.begin(), formattedA.end()), form)) << formattedA;

  ATL::CStringW bootText;
  const __time64_t boot = CommonUtil::GetBootTimeText(bootText);
  EXPECT_LE(boot, _time64(nullptr));
  EXPECT_GE(boot, _time64(nullptr) - __time64_t(GetTickCount() / 1000) - 2);
  EXPECT_EQ(bootText, CommonUtil::TimeToText(boot));
}

TEST_F(TimeText, ComparisonsAndDifferences) {
  EXPECT_EQ(CommonUtil::CompareTimeText(L"2024-01-01 00:00:00", L"2023-12-31 23:59:59"), 1);
  EXPECT_EQ(CommonUtil::CompareTimeText(L"2023-12-31 23:59:59", L"2024-01-01 00:00:00"), -1);
  EXPECT_EQ(CommonUtil::CompareTimeText(L"2024-01-01 00:00:00", L"2024-01-01 00:00:00"), 0);
  EXPECT_EQ(CommonUtil::CompareTimeText(L"garbage", L"nonsense text here!"), 0);
  EXPECT_EQ(CommonUtil::CompareTimeText(L"short", L"2024-01-01 00:00:00"), -1);  // unread is time 0

  EXPECT_EQ(CommonUtil::TimeTextDiff(L"2024-01-01 01:00:00", L"2024-01-01 00:00:00"), 3600);
  EXPECT_EQ(CommonUtil::TimeTextDiff(nullptr, L"2024-01-01 00:00:00"), -CommonUtil::TimeFromText(L"2024-01-01 00:00:00"));

  EXPECT_TRUE(CommonUtil::IsDaysLater(L"2024-01-01 00:00:00", L"2024-01-03 00:00:00", 2));
  EXPECT_FALSE(CommonUtil::IsDaysLater(L"2024-01-01 00:00:00", L"2024-01-02 23:59:59", 2));
  // Beyond 24,855 days the day count no longer fits 32 bits as seconds.
  EXPECT_FALSE(CommonUtil::IsDaysLater(L"2000-01-01 00:00:00", L"2000-01-02 00:00:00", 30000));
}

TEST_F(TimeText, DaysPassedFollowTheCalendar) {
  const __time64_t mondayLate = CommonUtil::TimeFromText(L"2024-01-15 23:00:00");
  const __time64_t mondayEarly = CommonUtil::TimeFromText(L"2024-01-15 01:00:00");
  const __time64_t tuesdayEarly = CommonUtil::TimeFromText(L"2024-01-16 01:00:00");
  const __time64_t wednesdayHalfPast = CommonUtil::TimeFromText(L"2024-01-17 00:30:00");
  EXPECT_TRUE(CommonUtil::HasDayPassedT(mondayLate, tuesdayEarly));   // over midnight
  EXPECT_FALSE(CommonUtil::HasDayPassedT(mondayEarly, mondayLate));   // the same day
  EXPECT_TRUE(CommonUtil::HasDayPassedT(mondayEarly, wednesdayHalfPast));  // more than a day
  EXPECT_FALSE(CommonUtil::HasDayPassedT(tuesdayEarly, mondayLate));  // backwards
  EXPECT_FALSE(CommonUtil::HasDaysPassed(mondayEarly, wednesdayHalfPast, 0));
  EXPECT_TRUE(CommonUtil::HasDaysPassed(mondayLate, wednesdayHalfPast, 2));  // two midnights
  EXPECT_FALSE(CommonUtil::HasDaysPassed(mondayLate, tuesdayEarly, 2));
  EXPECT_TRUE(CommonUtil::HasDayPassed(L"2024-01-15 23:00:00", L"2024-01-16 01:00:00"));
  EXPECT_FALSE(CommonUtil::HasDaysPassed(mondayEarly, mondayEarly + 86400, 30000));
  EXPECT_TRUE(CommonUtil::HasDaysPassed(mondayEarly, mondayEarly + 30000LL * 86400, 30000));
}

}  // namespace
