// Dates in the OLE encoding, and local time in real zones across both daylight switches.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tables/organizer/TimeConv.h"
#include "wincompat/testhooks.h"

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
  EXPECT_EQ(Show(949998.0), "4501-01-01 00:00:00");
  EXPECT_EQ(Show(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(Show(At(2024, 2, 29, 12, 0)), "2024-02-29 12:00:00");
  DATE bad = 7;
  for (int month : {2, 4, 13})
    EXPECT_FALSE(MakeOleDate(2023, month, month == 2 ? 29 : 31, 0, 0, 0, &bad));
  EXPECT_EQ(bad, 7);

  OleDateParts p{};
  ASSERT_TRUE(SplitOleDate(-1.0, &p));
  EXPECT_EQ(p.dayOfWeek, 5);  // 1899-12-29, a Friday

  // Midnight of the same calendar day on both sides of the epoch.
  EXPECT_EQ(Show(OleDatePart(At(2026, 3, 8, 23, 59, 59))), "2026-03-08 00:00:00");
  EXPECT_EQ(Show(OleDatePart(-1.25)), "1899-12-29 00:00:00");
  // Minutes added across the epoch, where the encoding turns.
  EXPECT_EQ(Show(OleAddMinutes(0.25, -12 * 60)), "1899-12-29 18:00:00");
  EXPECT_EQ(Show(OleAddMinutes(-1.75, 12 * 60)), "1899-12-30 06:00:00");

  EXPECT_EQ(NthWeekdayOfMonth(2026, 3, 0, 2), 8);   // second Sunday of March 2026
  EXPECT_EQ(NthWeekdayOfMonth(2026, 2, 1, 5), 23);  // no fifth Monday: the last one
}

// Eastern time: daylight from the second Sunday of March 02:00 to the first Sunday of
// November 02:00.
TEST(TimeConvTest, NewYorkAroundBothSwitches) {
  ZoneScope zone("EST5EDT,M3.2.0,M11.1.0");
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
}

// Central Europe: daylight from the last Sunday of March 02:00 to the last Sunday of October
// 03:00, both 01:00 UTC.
TEST(TimeConvTest, BerlinAroundBothSwitches) {
  ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(Show(UtcToLocal(At(2026, 3, 29, 1, 0))), "2026-03-29 03:00:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 3, 29, 3, 0))), "2026-03-29 01:00:00");
  EXPECT_EQ(Show(UtcToLocal(At(2026, 10, 25, 0, 59))), "2026-10-25 02:59:00");
  EXPECT_EQ(Show(UtcToLocal(At(2026, 10, 25, 1, 0))), "2026-10-25 02:00:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 10, 25, 2, 30))), "2026-10-25 00:30:00");
  EXPECT_EQ(Show(LocalToUtc(At(2026, 10, 25, 3, 0))), "2026-10-25 02:00:00");
  // A day-crossing conversion keeps the calendar right.
  EXPECT_EQ(Show(LocalToUtc(At(2026, 1, 1, 0, 30))), "2025-12-31 23:30:00");
}

}  // namespace
}  // namespace qwb
