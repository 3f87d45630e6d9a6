#include "compat/atltime.h"

#include <cstdlib>
#include <ctime>
#include <ostream>

#include <gtest/gtest.h>

namespace {

struct FieldsCase {
  const char* name;
  int year, month, day, hour, minute, second;
  __time64_t expected;  // -1: invalid
};

void PrintTo(const FieldsCase& c, std::ostream* os) { *os << c.name; }

// The test runner pins the zone to Europe/Berlin (UTC+1, UTC+2 in summer) through the TZ
// variable, which Wine hands on to Windows processes as well. The Microsoft run time does not
// understand that form and would fall back to UTC, so the variable is removed here: the run
// time then follows the system's zone, as on a user's machine, where TZ is not set.
class CTimeZoneFromSystem : public ::testing::Environment {
 public:
  void SetUp() override {
    _putenv("TZ=");
    _tzset();
  }
};
const ::testing::Environment* const kZone =
    ::testing::AddGlobalTestEnvironment(new CTimeZoneFromSystem);

class CTimeFields : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(CTimeFields, GivesTheLocalTimeOrReportsInvalid) {
  const FieldsCase& c = GetParam();
  CTime t(c.year, c.month, c.day, c.hour, c.minute, c.second, -1);
  EXPECT_EQ(t.GetTime(), c.expected);
  EXPECT_EQ(t.IsValid(), c.expected != -1);
  if (!t.IsValid()) {
    struct tm local;
    EXPECT_EQ(t.GetLocalTm(&local), nullptr);
    EXPECT_EQ(t.GetYear(), -1);
    EXPECT_TRUE(t.Format(L"%Y").IsEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CTimeFields,
    ::testing::Values(FieldsCase{"Winter", 2019, 3, 7, 14, 5, 9, 1551963909},
                      FieldsCase{"SummerDaylightSaving", 2019, 7, 1, 12, 0, 0, 1561975200},
                      FieldsCase{"MonthThirteen", 2019, 13, 1, 0, 0, 0, -1},
                      FieldsCase{"DayZero", 2019, 1, 0, 0, 0, 0, -1},
                      FieldsCase{"HourTwentyFour", 2019, 1, 1, 24, 0, 0, -1},
                      FieldsCase{"SecondSixty", 2019, 1, 1, 0, 0, 60, -1},
                      FieldsCase{"BeforeNineteenSeventy", 1969, 12, 31, 23, 0, 0, -1},
                      FieldsCase{"BeforeTheEpochInUtc", 1970, 1, 1, 0, 30, 0, -1}),
    [](const ::testing::TestParamInfo<FieldsCase>& info) { return info.param.name; });

TEST(CTime, ReadsLocalFieldsAndFormats) {
  CTime t(2019, 7, 1, 12, 3, 4);
  EXPECT_EQ(t.GetYear(), 2019);
  EXPECT_EQ(t.GetMonth(), 7);
  EXPECT_EQ(t.GetDay(), 1);
  EXPECT_EQ(t.GetHour(), 12);
  EXPECT_EQ(t.GetMinute(), 3);
  EXPECT_EQ(t.GetSecond(), 4);
  EXPECT_EQ(t.GetDayOfWeek(), 2);  // a Monday
  EXPECT_STREQ(t.Format(L"%Y-%m-%d %H:%M:%S"), L"2019-07-01 12:03:04");
  EXPECT_TRUE(CTime(2019, 7, 1, 12, 3, 3) < t);
  EXPECT_TRUE(CTime::GetCurrentTime() > t);
}

}  // namespace
