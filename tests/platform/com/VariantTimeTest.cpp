#include <gtest/gtest.h>

#include <string>

#include "wincompat/com.h"

namespace {

SYSTEMTIME St(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

// "y-m-d h:m:s" of a variant time, or "invalid"; milliseconds must come out 0.
std::string FromVariant(double v) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(v, &st)) return "invalid";
  EXPECT_EQ(st.wMilliseconds, 0);
  return std::to_string(st.wYear) + "-" + std::to_string(st.wMonth) + "-" +
         std::to_string(st.wDay) + " " + std::to_string(st.wHour) + ":" +
         std::to_string(st.wMinute) + ":" + std::to_string(st.wSecond) + " w" +
         std::to_string(st.wDayOfWeek);
}

TEST(VariantTime, BothWaysAtTheBoundaries) {
  const struct {
    SYSTEMTIME st;
    double v;
    const char* back;  // what v converts back to
  } cases[] = {
      {St(1899, 12, 30), 0.0, "1899-12-30 0:0:0 w6"},
      {St(1900, 1, 1, 6), 2.25, "1900-1-1 6:0:0 w1"},
      {St(1899, 12, 29, 6), -1.25, "1899-12-29 6:0:0 w5"},  // the fraction counts forward
      {St(9999, 12, 31), 2958465.0, "9999-12-31 0:0:0 w5"},
      {St(2024, 2, 29, 12), 45351.5, "2024-2-29 12:0:0 w4"},
  };
  for (const auto& c : cases) {
    double v = -1;
    SYSTEMTIME st = c.st;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &v)) << c.back;
    EXPECT_DOUBLE_EQ(v, c.v);
    EXPECT_EQ(FromVariant(c.v), c.back);
  }
  double v;
  for (const SYSTEMTIME& bad :
       {St(99, 12, 31), St(10000, 1, 1), St(2023, 2, 29), St(2024, 1, 1, 24)}) {
    EXPECT_FALSE(SystemTimeToVariantTime(const_cast<SYSTEMTIME*>(&bad), &v)) << bad.wYear;
  }
  EXPECT_EQ(FromVariant(-657435.0), "invalid");
  EXPECT_EQ(FromVariant(2958466.0), "invalid");
}

TEST(VariantTime, MillisecondsIgnoredOnInputAndSecondsRounded) {
  double a, b;
  SYSTEMTIME st = St(2024, 1, 15, 10, 20, 30, 0), ms = St(2024, 1, 15, 10, 20, 30, 999);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &a) && SystemTimeToVariantTime(&ms, &b));
  EXPECT_EQ(a, b);

  const double day = 45306.0;  // Monday 15 January 2024
  EXPECT_EQ(FromVariant(day + 10.4 / 86400.0), "2024-1-15 0:0:10 w1");
  EXPECT_EQ(FromVariant(day + 10.6 / 86400.0), "2024-1-15 0:0:11 w1");
  // Half a second before midnight belongs to the next day.
  EXPECT_EQ(FromVariant(day + 86399.6 / 86400.0), "2024-1-16 0:0:0 w2");
  EXPECT_EQ(FromVariant(-0.5), "1899-12-30 12:0:0 w6");  // same day as +0.5
}

}  // namespace
