// libConvLunar against dates of the published Korean lunar calendar: New Year's Days and
// Chuseok, the first days of the leap months of 2017, 2020, 2023 and 2025 (2017's leap
// month is the 5th in Korea), and the New Year's Days that fall a day later in Korea than at
// the meridian of China (1997, 2027).
#include "convlunar/ConvLunar.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

struct Pair {
  int sy, sm, sd;  // solar
  int ly, lm, ld;  // lunar
  bool leap;
};

const Pair kPublished[] = {
    {1900, 1, 31, 1900, 1, 1, false},  // New Year's Day of the first covered lunar year
    {1997, 2, 8, 1997, 1, 1, false},
    {2017, 6, 24, 2017, 5, 1, true},
    {2017, 7, 23, 2017, 6, 1, false},
    {2020, 1, 25, 2020, 1, 1, false},
    {2020, 5, 22, 2020, 4, 30, false},
    {2020, 5, 23, 2020, 4, 1, true},
    {2020, 6, 20, 2020, 4, 29, true},
    {2020, 6, 21, 2020, 5, 1, false},
    {2020, 10, 1, 2020, 8, 15, false},
    {2023, 1, 22, 2023, 1, 1, false},
    {2023, 3, 21, 2023, 2, 30, false},
    {2023, 3, 22, 2023, 2, 1, true},
    {2023, 4, 20, 2023, 3, 1, false},
    {2023, 9, 29, 2023, 8, 15, false},
    {2024, 2, 10, 2024, 1, 1, false},
    {2024, 9, 17, 2024, 8, 15, false},
    {2025, 1, 29, 2025, 1, 1, false},
    {2025, 1, 28, 2024, 12, 29, false},  // lunar New Year's Eve still in the old year
    {2025, 7, 25, 2025, 6, 1, true},
    {2025, 8, 22, 2025, 6, 29, true},
    {2025, 8, 23, 2025, 7, 1, false},
    {2025, 10, 6, 2025, 8, 15, false},
    {2026, 2, 17, 2026, 1, 1, false},
    {2027, 2, 7, 2027, 1, 1, false},
};

TEST(ConvLunar, PublishedDatesBothWays) {
  for (const Pair& p : kPublished) {
    SCOPED_TRACE(testing::Message() << p.sy << "-" << p.sm << "-" << p.sd);
    int32_t y = p.sy, m = p.sm, d = p.sd;
    EXPECT_EQ(solar_to_lunar(&y, &m, &d), p.leap ? 1 : 0);
    EXPECT_EQ(y, p.ly);
    EXPECT_EQ(m, p.lm);
    EXPECT_EQ(d, p.ld);
    y = p.ly, m = p.lm, d = p.ld;
    EXPECT_EQ(lunar_to_solar(&y, &m, &d, p.leap), 1);
    EXPECT_EQ(y, p.sy);
    EXPECT_EQ(m, p.sm);
    EXPECT_EQ(d, p.sd);
  }
}

TEST(ConvLunar, MonthEnds) {
  struct Case {
    int year, month, leap, end;
  } const cases[] = {
      {2020, 4, 0, 30}, {2020, 4, 1, 29}, {2023, 2, 0, 30}, {2023, 2, 1, 29},
      {2025, 1, 0, 30}, {2025, 6, 1, 29}, {2024, 12, 0, 29},
      // Months that do not exist: no leap 3rd month in 2020, month 13, month 0.
      {2020, 3, 1, 0}, {2020, 13, 0, 0}, {2020, 0, 0, 0},
      // Coverage: the lunar month that holds 1 January 1900 begins on it; the one holding
      // 31 December 2099 has its full length though it ends in 2100; the next is outside.
      {1899, 12, 0, 30}, {2099, 12, 0, 0}, {1899, 11, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year << "/" << c.month << (c.leap ? " leap" : ""));
    EXPECT_EQ(end_day_of_lunar_month(c.year, c.month, c.leap), c.end);
  }
  EXPECT_NE(end_day_of_lunar_month(2099, 11, 0), 0);
}

TEST(ConvLunar, InvalidInputConvertsNothing) {
  struct Case {
    int y, m, d;
  } const solar[] = {{2023, 2, 29}, {2024, 13, 1}, {2024, 1, 0}, {2024, 4, 31},
                     {1899, 12, 31}, {2100, 1, 1}, {-5, 1, 1}, {2024, 1, 32}};
  for (const Case& c : solar) {
    SCOPED_TRACE(testing::Message() << c.y << "-" << c.m << "-" << c.d);
    int32_t y = c.y, m = c.m, d = c.d;
    EXPECT_EQ(solar_to_lunar(&y, &m, &d), 0);
    EXPECT_EQ(y | m | d, 0);
  }
  struct LunarCase {
    int y, m, d, leap;
  } const lunar[] = {{2020, 3, 1, 1},   {2020, 4, 30, 1}, {2023, 2, 30, 1}, {2024, 0, 1, 0},
                     {2024, 1, 31, 0},  {1899, 11, 30, 0}, {2099, 11, 22, 0}, {2100, 1, 1, 0},
                     {2024, -1, 1, 0}};
  for (const LunarCase& c : lunar) {
    SCOPED_TRACE(testing::Message() << c.y << "/" << c.m << "/" << c.d << (c.leap ? " leap" : ""));
    int32_t y = c.y, m = c.m, d = c.d;
    EXPECT_EQ(lunar_to_solar(&y, &m, &d, c.leap), 0);
    EXPECT_EQ(y | m | d, 0);
  }
  int32_t y = 2024, m = 1;
  EXPECT_EQ(solar_to_lunar(&y, &m, nullptr), 0);
  EXPECT_EQ(lunar_to_solar(nullptr, &m, &y, 0), 0);
  EXPECT_EQ(y, 2024);  // nothing written through a call with a null pointer
}

// Every covered solar day converts and follows its predecessor: the next day of the same
// month, or day 1 of the next month after a day 29 or 30 that is that month's end; first
// and last days of months convert back. Catches a lost or repeated day anywhere in the two
// centuries, including the ends.
TEST(ConvLunar, EveryCoveredDayIsContinuous) {
  namespace chr = std::chrono;
  const chr::sys_days first = chr::year{1900} / 1 / 1, last = chr::year{2099} / 12 / 31;
  int32_t py = 0, pm = 0, pd = 0, pleap = 0;
  int leapMonths = 0;
  for (chr::sys_days day = first; day <= last; day += chr::days{1}) {
    const chr::year_month_day ymd{day};
    const int32_t sy = static_cast<int>(ymd.year()), sm = static_cast<unsigned>(ymd.month()),
                  sd = static_cast<unsigned>(ymd.day());
    int32_t y = sy, m = sm, d = sd;
    const int leap = solar_to_lunar(&y, &m, &d);
    ASSERT_NE(y, 0) << sy << "-" << sm << "-" << sd;
    if (day != first) {
      if (d == pd + 1) {
        ASSERT_TRUE(y == py && m == pm && leap == pleap) << sy << "-" << sm << "-" << sd;
      } else {
        ASSERT_EQ(d, 1) << sy << "-" << sm << "-" << sd;
        ASSERT_EQ(end_day_of_lunar_month(py, pm, pleap), pd) << sy << "-" << sm << "-" << sd;
        ASSERT_TRUE(pd == 29 || pd == 30);
        if (leap) {
          ++leapMonths;
          ASSERT_TRUE(y == py && m == pm && !pleap);  // a leap month follows its namesake
        } else {
          ASSERT_EQ(m, pm == 12 ? 1 : pm + 1);
          ASSERT_EQ(y, pm == 12 ? py + 1 : py);
        }
      }
    }
    if (d == 1 || d == 30 || day == last) {
      int32_t ry = y, rm = m, rd = d;
      ASSERT_EQ(lunar_to_solar(&ry, &rm, &rd, leap), 1);
      ASSERT_TRUE(ry == sy && rm == sm && rd == sd) << sy << "-" << sm << "-" << sd;
    }
    py = y, pm = m, pd = d, pleap = leap;
  }
  // 200 years hold 73 or 74 leap months (7 in every 19 years).
  EXPECT_GE(leapMonths, 72);
  EXPECT_LE(leapMonths, 75);
  // The last covered day.
  EXPECT_EQ(py, 2099);
  EXPECT_EQ(pm, 11);
  EXPECT_EQ(pd, 20);
}

}  // namespace
