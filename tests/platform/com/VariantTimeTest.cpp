#include <gtest/gtest.h>

#include "wincompat/com.h"

namespace {

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

void ExpectSt(const SYSTEMTIME& st, WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
  EXPECT_EQ(st.wYear, y);
  EXPECT_EQ(st.wMonth, mo);
  EXPECT_EQ(st.wDay, d);
  EXPECT_EQ(st.wHour, h);
  EXPECT_EQ(st.wMinute, mi);
  EXPECT_EQ(st.wSecond, s);
  EXPECT_EQ(st.wMilliseconds, 0);
}

TEST(VariantTime, EpochBoundariesAndValidity) {
  double v = -1;
  SYSTEMTIME st = St(1899, 12, 30);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &v));
  EXPECT_EQ(v, 0.0);
  st = St(1900, 1, 1, 6);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &v));
  EXPECT_DOUBLE_EQ(v, 2.25);
  st = St(100, 1, 1);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &v));
  EXPECT_EQ(v, -657434.0);
  st = St(9999, 12, 31, 23, 59, 59);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &v));
  EXPECT_NEAR(v, 2958465.0 + 86399.0 / 86400.0, 1e-9);

  for (const SYSTEMTIME& bad :
       {St(99, 12, 31), St(10000, 1, 1), St(2023, 2, 29), St(2024, 13, 1), St(2024, 1, 0),
        St(2024, 1, 1, 24), St(2024, 1, 1, 0, 60), St(2024, 1, 1, 0, 0, 60)}) {
    EXPECT_FALSE(SystemTimeToVariantTime(const_cast<SYSTEMTIME*>(&bad), &v)) << bad.wYear;
  }
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &st));
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
  ASSERT_TRUE(VariantTimeToSystemTime(-657434.0, &st));
  ExpectSt(st, 100, 1, 1, 0, 0, 0);
  ASSERT_TRUE(VariantTimeToSystemTime(2958465.0, &st));
  ExpectSt(st, 9999, 12, 31, 0, 0, 0);
  EXPECT_EQ(st.wDayOfWeek, 5);  // a Friday
}

TEST(VariantTime, MillisecondsIgnoredOnInputAndSecondsRounded) {
  double a, b;
  SYSTEMTIME st = St(2024, 1, 15, 10, 20, 30, 0);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &a));
  st.wMilliseconds = 999;
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &b));
  EXPECT_EQ(a, b);

  const double day = 45306.0;  // 15 January 2024
  ASSERT_TRUE(VariantTimeToSystemTime(day + 10.4 / 86400.0, &st));
  ExpectSt(st, 2024, 1, 15, 0, 0, 10);
  ASSERT_TRUE(VariantTimeToSystemTime(day + 10.6 / 86400.0, &st));
  ExpectSt(st, 2024, 1, 15, 0, 0, 11);
  // Half a second before midnight belongs to the next day.
  ASSERT_TRUE(VariantTimeToSystemTime(day + 86399.6 / 86400.0, &st));
  ExpectSt(st, 2024, 1, 16, 0, 0, 0);
  EXPECT_EQ(st.wDayOfWeek, 2);  // a Tuesday
  // Leap day.
  ASSERT_TRUE(VariantTimeToSystemTime(45351.5, &st));
  ExpectSt(st, 2024, 2, 29, 12, 0, 0);
}

TEST(VariantTime, NegativeDatesCountTheFractionForward) {
  SYSTEMTIME st;
  ASSERT_TRUE(VariantTimeToSystemTime(-1.25, &st));
  ExpectSt(st, 1899, 12, 29, 6, 0, 0);
  ASSERT_TRUE(VariantTimeToSystemTime(-0.5, &st));  // same day as +0.5
  ExpectSt(st, 1899, 12, 30, 12, 0, 0);
  ASSERT_TRUE(VariantTimeToSystemTime(-2.0, &st));
  ExpectSt(st, 1899, 12, 28, 0, 0, 0);
  double v;
  st = St(1899, 12, 29, 6);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &v));
  EXPECT_DOUBLE_EQ(v, -1.25);
  st = St(1800, 6, 1, 18);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &v));
  SYSTEMTIME back;
  ASSERT_TRUE(VariantTimeToSystemTime(v, &back));
  ExpectSt(back, 1800, 6, 1, 18, 0, 0);
}

TEST(VariantTime, DosDateTimes) {
  double v;
  ASSERT_TRUE(DosDateTimeToVariantTime((44 << 9) | (1 << 5) | 15, (13 << 11) | (5 << 5) | 4, &v));
  SYSTEMTIME st;
  ASSERT_TRUE(VariantTimeToSystemTime(v, &st));
  ExpectSt(st, 2024, 1, 15, 13, 5, 8);
  USHORT date, time;
  ASSERT_TRUE(VariantTimeToDosDateTime(v + 1.0 / 86400.0, &date, &time));  // 9 s -> 8 s
  EXPECT_EQ(date, (44 << 9) | (1 << 5) | 15);
  EXPECT_EQ(time, (13 << 11) | (5 << 5) | 4);
  EXPECT_FALSE(DosDateTimeToVariantTime((44 << 9) | (2 << 5) | 30, 0, &v));  // 30 February
  EXPECT_FALSE(DosDateTimeToVariantTime((44 << 9) | (1 << 5) | 1, 24 << 11, &v));
  EXPECT_FALSE(VariantTimeToDosDateTime(29220.5, &date, &time));  // 31 December 1979, noon
  ASSERT_TRUE(VariantTimeToDosDateTime(29221.0, &date, &time));   // 1 January 1980
  EXPECT_EQ(date, (0 << 9) | (1 << 5) | 1);
}

}  // namespace
