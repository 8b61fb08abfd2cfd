// Calendar-date arithmetic on the proleptic Gregorian calendar: day numbers (days since
// 1970-01-01) and back, month lengths, leap years, weekdays. The one implementation used by
// the platform's time calls, the component's time conversions and the CLI.
#pragma once

#include <cstdint>

namespace civil {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d);
void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d);
inline bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
// 0 for a month outside 1..12.
unsigned DaysInMonth(int64_t y, unsigned m);
// 0 = Sunday.
unsigned WeekdayFromDays(int64_t z);

}  // namespace civil
