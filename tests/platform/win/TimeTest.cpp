#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "wincompat/testhooks.h"
#include "wincompat/winbase.h"

namespace {

struct ZoneGuard {
  explicit ZoneGuard(const std::string& rule) { wincompat::SetTimeZoneRuleForTesting(rule); }
  ~ZoneGuard() { wincompat::SetTimeZoneRuleForTesting(""); }
};

SYSTEMTIME St(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

int64_t Ticks(const FILETIME& ft) {
  return static_cast<int64_t>((uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime);
}

// "year:month/day/weekday/hour:minute"; for a transition rule the year is 0 and the day a week.
std::string Rule(const SYSTEMTIME& st) {
  return std::to_string(st.wYear) + ":" + std::to_string(st.wMonth) + "/" +
         std::to_string(st.wDay) + "/" + std::to_string(st.wDayOfWeek) + "/" +
         std::to_string(st.wHour) + ":" + std::to_string(st.wMinute);
}

TEST(TimeZone, DerivedFromZoneFilesAndRawRules) {
  const struct {
    const char* zone;
    LONG bias, daylightBias;
    const char* daylight;  // "" when the zone has no daylight time
    const char* standard;
  } cases[] = {
      {"America/New_York", 300, -60, "0:3/2/0/2:0", "0:11/1/0/2:0"},
      {"Europe/Berlin", -60, -60, "0:3/5/0/2:0", "0:10/5/0/3:0"},  // last Sunday, 3:00 back
      {"Asia/Seoul", -540, 0, "", ""},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", -600, -60, "0:10/1/0/2:0", "0:4/1/0/3:0"},  // south
      {"<+0330>-3:30", -210, 0, "", ""},  // quoted name, minutes in the offset
      {"XST5XDT4:30,M3.2.0/1:30,M11.1.0", 300, -30, "0:3/2/0/1:30", "0:11/1/0/2:0"},
      {"No/Such_Zone", 0, 0, "", ""},  // unknown: UTC
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zone);
    ZoneGuard zone(c.zone);
    TIME_ZONE_INFORMATION tzi;
    const DWORD id = GetTimeZoneInformation(&tzi);
    EXPECT_EQ(tzi.Bias, c.bias);
    EXPECT_EQ(tzi.StandardBias, 0);
    EXPECT_EQ(tzi.DaylightBias, c.daylightBias);
    if (*c.daylight) {
      EXPECT_TRUE(id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT);
      EXPECT_EQ(Rule(tzi.DaylightDate), c.daylight);
      EXPECT_EQ(Rule(tzi.StandardDate), c.standard);
    } else {
      EXPECT_EQ(id, static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
      EXPECT_EQ(tzi.StandardDate.wMonth, 0);
      EXPECT_EQ(tzi.DaylightDate.wMonth, 0);
    }
    // The current offset agrees with what is said to be in effect now.
    FILETIME utc{0, 0}, local;
    GetSystemTimeAsFileTime(&utc);
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    const LONG bias =
        tzi.Bias + (id == TIME_ZONE_ID_DAYLIGHT ? tzi.DaylightBias : tzi.StandardBias);
    EXPECT_EQ(Ticks(local) - Ticks(utc), -int64_t{bias} * 60 * 10000000);
  }
  TIME_ZONE_INFORMATION tzi;
  {
    ZoneGuard zone("America/New_York");
    GetTimeZoneInformation(&tzi);
    EXPECT_EQ(std::u16string(tzi.StandardName), u"EST");
    EXPECT_EQ(std::u16string(tzi.DaylightName), u"EDT");
  }
  // Without the hook, TZ decides.
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "Asia/Seoul", 1);
  GetTimeZoneInformation(&tzi);
  EXPECT_EQ(tzi.Bias, -540);
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  GetTimeZoneInformation(&tzi);
  EXPECT_EQ(tzi.Bias, 300);
  old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
}

TEST(TimeZone, LocalTimesMoveByTheOffsetBothWays) {
  ZoneGuard zone("Asia/Seoul");
  FILETIME utc, local, back;
  SYSTEMTIME at = St(2024, 1, 31, 20, 30), st;
  ASSERT_TRUE(SystemTimeToFileTime(&at, &utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
  EXPECT_EQ(Rule(st), "2024:2/1/4/5:30");  // Thursday 1 February, 5:30
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(Ticks(back), Ticks(utc));

  // The local clock is the system clock moved by nine hours: bracketed by two system readings,
  // so that no amount of delay between the calls matters.
  SYSTEMTIME before, loc, after;
  GetSystemTime(&before);
  GetLocalTime(&loc);
  GetSystemTime(&after);
  FILETIME a, l, b;
  ASSERT_TRUE(SystemTimeToFileTime(&before, &a));
  ASSERT_TRUE(SystemTimeToFileTime(&loc, &l));
  ASSERT_TRUE(SystemTimeToFileTime(&after, &b));
  const int64_t shifted = Ticks(l) - 9LL * 3600 * 10000000;
  EXPECT_LE(Ticks(a), shifted);
  EXPECT_LE(shifted, Ticks(b));
  EXPECT_GE(before.wYear, 2024);
}

TEST(FileTime, SystemTimeRoundTripsAndValidatesFields) {
  FILETIME ft;
  SYSTEMTIME st = St(1601, 1, 1), back;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_EQ(Ticks(ft), 0);
  st = St(1970, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_EQ(Ticks(ft), 116444736000000000LL);
  st = St(2024, 2, 29, 23, 59, 59, 999);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(Rule(back), "2024:2/29/4/23:59");  // a Thursday
  EXPECT_EQ(back.wSecond, 59);
  EXPECT_EQ(back.wMilliseconds, 999);

  for (const SYSTEMTIME& bad : {St(2023, 2, 29), St(2024, 13, 1), St(2024, 0, 1), St(2024, 4, 31),
                                St(2024, 1, 1, 24), St(2024, 1, 1, 0, 60), St(2024, 1, 1, 0, 0, 60),
                                St(2024, 1, 1, 0, 0, 0, 1000), St(1600, 12, 31)}) {
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft)) << Rule(bad);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  FILETIME negative{0, 0x80000000u};
  EXPECT_FALSE(FileTimeToSystemTime(&negative, &back));
}

TEST(FileTime, DosDateTimeRangeAndTwoSecondResolution) {
  WORD date = 0, time = 0;
  FILETIME ft, back;
  SYSTEMTIME st = St(2107, 12, 31, 23, 59, 59);  // the last representable second
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
  EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
  EXPECT_EQ(time, (23 << 11) | (59 << 5) | 29);  // the odd second is dropped
  ASSERT_TRUE(DosDateTimeToFileTime(date, time, &back));
  EXPECT_EQ(Ticks(ft) - Ticks(back), 10000000);
  ASSERT_TRUE(DosDateTimeToFileTime(0x0021, 0, &back));  // 1 January 1980, the first day
  ASSERT_TRUE(FileTimeToSystemTime(&back, &st));
  EXPECT_EQ(Rule(st), "1980:1/1/2/0:0");
  for (const SYSTEMTIME& out : {St(1979, 12, 31, 23, 59, 59), St(2108, 1, 1)}) {
    ASSERT_TRUE(SystemTimeToFileTime(&out, &ft));
    EXPECT_FALSE(FileTimeToDosDateTime(&ft, &date, &time)) << out.wYear;
  }
  EXPECT_FALSE(DosDateTimeToFileTime((44 << 9) | (13 << 5) | 1, 0, &back));  // month 13
}

}  // namespace
