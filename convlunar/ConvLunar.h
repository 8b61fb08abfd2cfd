// libConvLunar: conversions between solar (Gregorian) dates and dates of the Korean lunar
// calendar, for the calendar table's lunar appointments. C linkage; loaded at run time by
// name ("ConvLunar.dll", found as libConvLunar.so).
//
// Coverage: solar dates 1 January 1900 .. 31 December 2099 and the lunar dates that fall on
// them (lunar 1899-12-01, which is 1 January 1900, up to lunar 2099-11-21). Lunar months are
// numbered 1..12; a leap (intercalary) month carries the number of the month it follows and
// is told apart by a flag. Months and days are counted from 1.
//
// Invalid input (a null pointer, a date that does not exist, a date outside the coverage)
// converts nothing: the three integers are set to 0 and the call answers 0.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Solar -> lunar, in place. Answers 1 when the lunar month is a leap month, 0 when it is an
// ordinary month or the input was invalid (then all three are 0).
int solar_to_lunar(int32_t* year, int32_t* month, int32_t* day);

// Lunar -> solar, in place; `leap` non-zero names the leap month that follows `month`.
// Answers 1 when converted, 0 when the lunar date does not exist or is outside the coverage
// (then all three are 0).
int lunar_to_solar(int32_t* year, int32_t* month, int32_t* day, int32_t leap);

// The last day (29 or 30) of a lunar month; 0 when the month does not exist or does not
// begin within the coverage.
int end_day_of_lunar_month(int32_t year, int32_t month, int32_t leap);

#ifdef __cplusplus
}
#endif
