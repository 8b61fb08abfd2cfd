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
      {"No/Such_Zone", 0, 0, "", ""},  // unknown: UTC
      // Not rules (an offset past 24 hours, a switch past 167 hours), and an endless file
      // in place of a zone file: UTC, at once.
      {"XYZ-37", 0, 0, "", ""},
      {"ABC3DEF,M3.2.0/170,M11.1.0", 0, 0, "", ""},
      {"/dev/zero", 0, 0, "", ""},
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
  // Without the hook, TZ decides.
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "Asia/Seoul", 1);
  GetTimeZoneInformation(&tzi);
  EXPECT_EQ(tzi.Bias, -540);
  old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
}

}  // namespace
