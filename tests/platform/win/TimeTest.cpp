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
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  st.wMilliseconds = ms;
  return st;
}

int64_t Ticks(const FILETIME& ft) {
  return static_cast<int64_t>((uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime);
}

void ExpectRule(const SYSTEMTIME& st, WORD month, WORD week, WORD dow, WORD hour) {
  EXPECT_EQ(st.wYear, 0);
  EXPECT_EQ(st.wMonth, month);
  EXPECT_EQ(st.wDay, week);
  EXPECT_EQ(st.wDayOfWeek, dow);
  EXPECT_EQ(st.wHour, hour);
  EXPECT_EQ(st.wMinute, 0);
}

// The current offset must agree with what GetTimeZoneInformation says is in effect now.
void ExpectOffsetMatches(const TIME_ZONE_INFORMATION& tzi, DWORD id) {
  FILETIME utc{0, 0}, local;
  GetSystemTimeAsFileTime(&utc);
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  const LONG bias = tzi.Bias + (id == TIME_ZONE_ID_DAYLIGHT ? tzi.DaylightBias : tzi.StandardBias);
  EXPECT_EQ(Ticks(local) - Ticks(utc), -int64_t{bias} * 60 * 10000000);
}

TEST(TimeZone, NewYorkFromItsZoneFile) {
  ZoneGuard zone("America/New_York");
  TIME_ZONE_INFORMATION tzi;
  const DWORD id = GetTimeZoneInformation(&tzi);
  ASSERT_TRUE(id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT);
  EXPECT_EQ(tzi.Bias, 300);
  EXPECT_EQ(tzi.StandardBias, 0);
  EXPECT_EQ(tzi.DaylightBias, -60);
  ExpectRule(tzi.DaylightDate, 3, 2, 0, 2);   // second Sunday of March, 2:00
  ExpectRule(tzi.StandardDate, 11, 1, 0, 2);  // first Sunday of November, 2:00
  EXPECT_EQ(std::u16string(tzi.StandardName), u"EST");
  EXPECT_EQ(std::u16string(tzi.DaylightName), u"EDT");
  ExpectOffsetMatches(tzi, id);
}

TEST(TimeZone, BerlinUsesLastSundayAndThreeOClock) {
  ZoneGuard zone("Europe/Berlin");
  TIME_ZONE_INFORMATION tzi;
  const DWORD id = GetTimeZoneInformation(&tzi);
  ASSERT_TRUE(id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT);
  EXPECT_EQ(tzi.Bias, -60);
  EXPECT_EQ(tzi.DaylightBias, -60);
  ExpectRule(tzi.DaylightDate, 3, 5, 0, 2);
  ExpectRule(tzi.StandardDate, 10, 5, 0, 3);
  ExpectOffsetMatches(tzi, id);
}

TEST(TimeZone, SeoulHasNoDaylightTime) {
  ZoneGuard zone("Asia/Seoul");
  TIME_ZONE_INFORMATION tzi;
  EXPECT_EQ(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
  EXPECT_EQ(tzi.Bias, -540);
  EXPECT_EQ(tzi.StandardDate.wMonth, 0);
  EXPECT_EQ(tzi.DaylightDate.wMonth, 0);
  EXPECT_EQ(tzi.DaylightBias, 0);
  ExpectOffsetMatches(tzi, TIME_ZONE_ID_UNKNOWN);

  // Local file times move by exactly nine hours, both ways.
  FILETIME utc, local, back;
  SYSTEMTIME at = St(2024, 1, 31, 20, 30);
  ASSERT_TRUE(SystemTimeToFileTime(&at, &utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
  EXPECT_EQ(st.wYear, 2024);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wHour, 5);
  EXPECT_EQ(st.wMinute, 30);
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(Ticks(back), Ticks(utc));
}

TEST(TimeZone, RawRulesFromTheHookAndTheEnvironment) {
  TIME_ZONE_INFORMATION tzi;
  {
    // Southern hemisphere: daylight time spans the new year.
    ZoneGuard zone("AEST-10AEDT,M10.1.0,M4.1.0/3");
    GetTimeZoneInformation(&tzi);
    EXPECT_EQ(tzi.Bias, -600);
    ExpectRule(tzi.DaylightDate, 10, 1, 0, 2);
    ExpectRule(tzi.StandardDate, 4, 1, 0, 3);
  }
  {
    ZoneGuard zone("<+0330>-3:30");  // quoted name, minutes in the offset
    EXPECT_EQ(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(tzi.Bias, -210);
  }
  {
    ZoneGuard zone("XST5XDT4:30,M3.2.0/1:30,M11.1.0");  // daylight 30 minutes ahead
    GetTimeZoneInformation(&tzi);
    EXPECT_EQ(tzi.DaylightBias, -30);
    EXPECT_EQ(tzi.DaylightDate.wHour, 1);
    EXPECT_EQ(tzi.DaylightDate.wMinute, 30);
  }
  {
    ZoneGuard zone("No/Such_Zone");  // unknown: UTC
    EXPECT_EQ(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(tzi.Bias, 0);
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
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
}

TEST(FileTime, SystemTimeRoundTripsAndValidatesFields) {
  FILETIME ft;
  SYSTEMTIME st = St(1601, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_EQ(Ticks(ft), 0);
  st = St(1970, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_EQ(Ticks(ft), 116444736000000000LL);
  st = St(2024, 2, 29, 23, 59, 59, 999);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(back.wYear, 2024);
  EXPECT_EQ(back.wMonth, 2);
  EXPECT_EQ(back.wDay, 29);
  EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
  EXPECT_EQ(back.wHour, 23);
  EXPECT_EQ(back.wMinute, 59);
  EXPECT_EQ(back.wSecond, 59);
  EXPECT_EQ(back.wMilliseconds, 999);

  for (const SYSTEMTIME& bad : {St(2023, 2, 29), St(2024, 13, 1), St(2024, 0, 1), St(2024, 4, 31),
                                St(2024, 1, 1, 24), St(2024, 1, 1, 0, 60), St(2024, 1, 1, 0, 0, 60),
                                St(2024, 1, 1, 0, 0, 0, 1000), St(1600, 12, 31)}) {
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft))
        << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  FILETIME negative{0, 0x80000000u};
  EXPECT_FALSE(FileTimeToSystemTime(&negative, &back));
}

TEST(FileTime, DosDateTimeRangeAndTwoSecondResolution) {
  WORD date = 0, time = 0;
  FILETIME ft;
  SYSTEMTIME st = St(1980, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
  EXPECT_EQ(date, 0x0021);
  EXPECT_EQ(time, 0);

  st = St(2107, 12, 31, 23, 59, 59);
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
  EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
  EXPECT_EQ(time, (23 << 11) | (59 << 5) | 29);  // the odd second is dropped
  FILETIME back;
  ASSERT_TRUE(DosDateTimeToFileTime(date, time, &back));
  EXPECT_EQ(Ticks(ft) - Ticks(back), 10000000);

  for (const SYSTEMTIME& out : {St(1979, 12, 31, 23, 59, 59), St(2108, 1, 1)}) {
    ASSERT_TRUE(SystemTimeToFileTime(&out, &ft));
    EXPECT_FALSE(FileTimeToDosDateTime(&ft, &date, &time)) << out.wYear;
  }
  EXPECT_FALSE(DosDateTimeToFileTime((44 << 9) | (13 << 5) | 1, 0, &back));  // month 13
}

TEST(FileTime, CompareIsUnsignedAndOrdered) {
  const FILETIME a{0xFFFFFFFFu, 1}, b{0, 2}, c{0, 2};
  EXPECT_EQ(CompareFileTime(&a, &b), -1);
  EXPECT_EQ(CompareFileTime(&b, &a), 1);
  EXPECT_EQ(CompareFileTime(&b, &c), 0);
  const FILETIME high{0, 0x90000000u};
  EXPECT_EQ(CompareFileTime(&high, &b), 1);
}

TEST(FileTime, ClockAgreesWithItself) {
  ZoneGuard zone("Asia/Seoul");
  SYSTEMTIME sys, local;
  GetSystemTime(&sys);
  GetLocalTime(&local);
  FILETIME a, b;
  ASSERT_TRUE(SystemTimeToFileTime(&sys, &a));
  ASSERT_TRUE(SystemTimeToFileTime(&local, &b));
  const int64_t diff = Ticks(b) - Ticks(a) - 9LL * 3600 * 10000000;
  EXPECT_LT(diff < 0 ? -diff : diff, 5LL * 10000000);
  EXPECT_GE(sys.wYear, 2024);
}

}  // namespace
