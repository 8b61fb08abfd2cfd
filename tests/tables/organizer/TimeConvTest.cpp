// Dates in the OLE encoding, and local time in real zones across both daylight switches.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tables/organizer/TimeConv.h"
#include "wincompat/testhooks.h"
#include "wincompat/winbase.h"

namespace qwb {
namespace {

DATE At(int y, int mo, int d, int h, int mi, int s = 0) {
  DATE out = 0;
  EXPECT_TRUE(MakeOleDate(y, mo, d, h, mi, s, &out));
  return out;
}

std::string Show(DATE d) {
  OleDateParts p{};
  if (!SplitOleDate(d, &p)) return "invalid";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buf;
}

class ZoneScope {
 public:
  explicit ZoneScope(const char* rule) { wincompat::SetTimeZoneRuleForTesting(rule); }
  ~ZoneScope() { wincompat::SetTimeZoneRuleForTesting(""); }
};

TEST(TimeConvTest, OleDateCalendarRoundTrips) {
  EXPECT_EQ(Show(2.0), "1900-01-01 00:00:00");
  EXPECT_EQ(Show(949998.0), "4501-01-01 00:00:00");
  EXPECT_EQ(Show(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(Show(At(2099, 12, 31, 23, 59, 59)), "2099-12-31 23:59:59");
  EXPECT_EQ(Show(At(2024, 2, 29, 12, 0)), "2024-02-29 12:00:00");
  DATE bad = 7;
  for (int month : {2, 4, 13})
    EXPECT_FALSE(MakeOleDate(2023, month, month == 2 ? 29 : 31, 0, 0, 0, &bad));
  EXPECT_EQ(bad, 7);

  OleDateParts p{};
  ASSERT_TRUE(SplitOleDate(At(2026, 12, 5, 0, 0), &p));
  EXPECT_EQ(p.dayOfWeek, 6);  // a Saturday
  ASSERT_TRUE(SplitOleDate(-1.0, &p));
  EXPECT_EQ(p.dayOfWeek, 5);  // 1899-12-29, a Friday

  // Midnight of the same calendar day on both sides of the epoch.
  EXPECT_EQ(Show(OleDatePart(At(2026, 3, 8, 23, 59, 59))), "2026-03-08 00:00:00");
  EXPECT_EQ(Show(OleDatePart(-1.25)), "1899-12-29 00:00:00");
  // Minutes added across the epoch, where the encoding turns.
  EXPECT_EQ(Show(OleAddMinutes(0.25, -12 * 60)), "1899-12-29 18:00:00");
  EXPECT_EQ(Show(OleAddMinutes(-1.75, 12 * 60)), "1899-12-30 06:00:00");
  EXPECT_EQ(Show(OleAddMinutes(-1.25, 60)), "1899-12-29 07:00:00");

  EXPECT_EQ(NthWeekdayOfMonth(2026, 3, 0, 2), 8);   // second Sunday of March 2026
  EXPECT_EQ(NthWeekdayOfMonth(2026, 3, 0, 5), 29);  // last Sunday of March 2026
  EXPECT_EQ(NthWeekdayOfMonth(2026, 2, 1, 5), 23);  // no fifth Monday: the last one
  EXPECT_EQ(NthWeekdayOfMonth(2026, 11, 0, 1), 1);  // first Sunday of November 2026
}

// Eastern time: daylight from the second Sunday of March 02:00 to the first Sunday of
// November 02:00.
TEST(TimeConvTest, NewYorkAroundBothSwitches) {
  ZoneScope zone("EST5EDT,M3.2.0,M11.1.0");
  TIME_ZONE_INFORMATION tz{};
  GetTimeZoneInformation(&tz);
  EXPECT_EQ(tz.Bias, 300);
  EXPECT_EQ(tz.DaylightBias, -60);

  // Spring: 07:00 UTC is the switch.
  EXPECT_EQ(Show(UtcToLocal(At(2026, 3, 8, 6, 59))), "2026-03-08 01:59:00");
  EXPECT_EQ(Show(UtcToLocal(At(2026, 3, 8, 7, 0))), "2026-03-08 03:00:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 3, 8, 1, 59))), "2026-03-08 06:59:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 3, 8, 3, 0))), "2026-03-08 07:00:00");
  // Autumn: 06:00 UTC is the switch; the local hour 01:00-02:00 happens twice.
  EXPECT_EQ(Show(UtcToLocal(At(2026, 11, 1, 5, 59))), "2026-11-01 01:59:00");
  EXPECT_EQ(Show(UtcToLocal(At(2026, 11, 1, 6, 0))), "2026-11-01 01:00:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 11, 1, 1, 30))), "2026-11-01 05:30:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 11, 1, 2, 0))), "2026-11-01 07:00:00");
  // The rule is applied to each date's own year (2027: 14 March, 7 November).
  EXPECT_EQ(Show(UtcToLocal(At(2027, 3, 14, 7, 0))), "2027-03-14 03:00:00");
  EXPECT_EQ(Show(UtcToLocal(At(2027, 11, 7, 5, 59))), "2027-11-07 01:59:00");
}

// Central Europe: daylight from the last Sunday of March 02:00 to the last Sunday of October
// 03:00, both 01:00 UTC.
TEST(TimeConvTest, BerlinAroundBothSwitches) {
  ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(Show(UtcToLocal(At(2026, 3, 29, 0, 59))), "2026-03-29 01:59:00");
  EXPECT_EQ(Show(UtcToLocal(At(2026, 3, 29, 1, 0))), "2026-03-29 03:00:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 3, 29, 1, 59))), "2026-03-29 00:59:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 3, 29, 3, 0))), "2026-03-29 01:00:00");
  EXPECT_EQ(Show(UtcToLocal(At(2026, 10, 25, 0, 59))), "2026-10-25 02:59:00");
  EXPECT_EQ(Show(UtcToLocal(At(2026, 10, 25, 1, 0))), "2026-10-25 02:00:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 10, 25, 2, 30))), "2026-10-25 00:30:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 10, 25, 3, 0))), "2026-10-25 02:00:00");
  // A day-crossing conversion keeps the calendar right.
  EXPECT_EQ(Show(LocalToUtc(At(2026, 1, 1, 0, 30))), "2025-12-31 23:30:00");
}

TEST(TimeConvTest, SouthernZoneAndZonesWithoutDaylight) {
  {
    // Sydney: daylight from the first Sunday of October to the first Sunday of April 03:00.
    ZoneScope zone("AEST-10AEDT,M10.1.0,M4.1.0/3");
    EXPECT_EQ(Show(UtcToLocal(At(2026, 1, 15, 0, 0))), "2026-01-15 11:00:00");
    EXPECT_EQ(Show(LocalToUtc(At(2026, 4, 5, 2, 59))), "2026-04-04 15:59:00");
    EXPECT_EQ(Show(LocalToUtc(At(2026, 4, 5, 3, 0))), "2026-04-04 17:00:00");
    EXPECT_EQ(Show(LocalToUtc(At(2026, 10, 4, 2, 0))), "2026-10-03 15:00:00");
  }
  {
    ZoneScope zone("JST-9");
    EXPECT_EQ(Show(UtcToLocal(At(2026, 7, 15, 12, 0))), "2026-07-15 21:00:00");
    EXPECT_EQ(Show(LocalToUtc(At(2026, 1, 1, 3, 0))), "2025-12-31 18:00:00");
  }
  // Transition dates with a daylight bias of 0 mean no daylight period.
  TIME_ZONE_INFORMATION tz{};
  tz.Bias = 300;
  tz.DaylightDate = {0, 3, 0, 2, 2, 0, 0, 0};
  tz.StandardDate = {0, 11, 0, 1, 2, 0, 0, 0};
  EXPECT_FALSE(InDaylightPeriod(At(2026, 7, 1, 0, 0), tz, false));
  EXPECT_EQ(Show(UtcToLocal(At(2026, 7, 1, 12, 0), tz)), "2026-07-01 07:00:00");
  // Absolute transition dates (year set) hold for that year only.
  tz.DaylightBias = -60;
  tz.DaylightDate = {2026, 4, 0, 10, 0, 0, 0, 0};
  tz.StandardDate = {2026, 9, 0, 20, 0, 0, 0, 0};
  EXPECT_TRUE(InDaylightPeriod(At(2026, 4, 10, 0, 0), tz, false));
  EXPECT_FALSE(InDaylightPeriod(At(2026, 4, 9, 23, 59), tz, false));
  EXPECT_FALSE(InDaylightPeriod(At(2026, 9, 20, 0, 0), tz, false));
  EXPECT_FALSE(InDaylightPeriod(At(2027, 6, 1, 0, 0), tz, false));
}

TEST(TimeConvTest, RoundTripOutsideTheRepeatedHour) {
  ZoneScope zone("EST5EDT,M3.2.0,M11.1.0");
  for (int day = 0; day < 366; day += 3) {
    for (int minute = 0; minute < 1440; minute += 97) {
      DATE utc = At(2026, 1, 1, 0, 0) + day + minute / 1440.0;
      DATE back = LocalToUtc(UtcToLocal(utc));
      OleDateParts a{}, b{};
      ASSERT_TRUE(SplitOleDate(utc, &a));
      ASSERT_TRUE(SplitOleDate(back, &b));
      if (a.month == 11 && a.day == 1 && (a.hour == 5 || a.hour == 6)) continue;
      EXPECT_EQ(Show(utc), Show(back));
    }
  }
}

}  // namespace
}  // namespace qwb
