// The pattern expansion that gives an appointment's last occurrence: every recurrence type,
// the day clamps of short months and of 29 February, the 999 cap and the latest date.
#include "tables/organizer/Recurrence.h"

#include <gtest/gtest.h>

#include <vector>

#include "tables/organizer/TimeConv.h"
#include "tests/tables/organizer/MappingTestUtil.h"

namespace qwb {
namespace {

std::vector<DATE> Expand(DATE start, LONG type, LONG every, LONG flag, int count) {
  std::vector<DATE> out;
  ForEachOccurrence(start, type, every, flag, LatestOccurrenceDate(), count, [&](DATE d) {
    out.push_back(d);
    return true;
  });
  return out;
}

// Weekday bits, Sunday first.
constexpr LONG SU = 1, MO = 2, TU = 4, WE = 8, TH = 16, FR = 32, SA = 64;

TEST(Recurrence, OccurrencesOfEveryType) {
  struct Case {
    const char* what;
    DATE start;
    LONG type, every, flag;
    std::vector<DATE> expected;
  } const cases[] = {
      {"daily, time of day kept", At(2026, 1, 30, 10, 15), 1, 1, 0,
       {At(2026, 1, 30, 10, 15), At(2026, 1, 31, 10, 15), At(2026, 2, 1, 10, 15)}},
      {"every third day", At(2026, 12, 30), 1, 3, 0,
       {At(2026, 12, 30), At(2027, 1, 2), At(2027, 1, 5)}},
      {"weekdays from a Saturday", At(2026, 1, 3, 9), 1, 1, 1,
       {At(2026, 1, 5, 9), At(2026, 1, 6, 9), At(2026, 1, 7, 9), At(2026, 1, 8, 9),
        At(2026, 1, 9, 9), At(2026, 1, 12, 9)}},
      {"Monday and Wednesday every other week, from a Wednesday", At(2026, 1, 7), 2, 2, MO | WE,
       {At(2026, 1, 7), At(2026, 1, 19), At(2026, 1, 21), At(2026, 2, 2)}},
      {"Sunday and Saturday: the week starts on Sunday", At(2026, 1, 4), 2, 1, SU | SA,
       {At(2026, 1, 4), At(2026, 1, 10), At(2026, 1, 11)}},
      {"monthly on the 31st, short months on their last day", At(2026, 1, 31), 3, 1, 0,
       {At(2026, 1, 31), At(2026, 2, 28), At(2026, 3, 31), At(2026, 4, 30)}},
      {"every third month on the 30th across a leap February", At(2023, 11, 30), 3, 3, 0,
       {At(2023, 11, 30), At(2024, 2, 29), At(2024, 5, 30)}},
      {"second Tuesday", At(2026, 1, 1), 4, 1, TU + 256,
       {At(2026, 1, 13), At(2026, 2, 10), At(2026, 3, 10)}},
      {"last Friday every two months", At(2026, 1, 31), 4, 2, FR + 2048,
       {At(2026, 3, 27), At(2026, 5, 29)}},
      {"first weekday of the month", At(2026, 2, 1), 4, 1, 62 + 128,
       {At(2026, 2, 2), At(2026, 3, 2), At(2026, 4, 1), At(2026, 5, 1)}},
      {"29 February, yearly", At(2024, 2, 29), 5, 1, 0,
       {At(2024, 2, 29), At(2025, 2, 28), At(2026, 2, 28), At(2027, 2, 28), At(2028, 2, 29)}},
      {"every second year", At(2025, 7, 4, 18), 5, 2, 0, {At(2025, 7, 4, 18), At(2027, 7, 4, 18)}},
      {"fourth Thursday of the start's month", At(2026, 11, 27), 6, 1, TH + 1024,
       {At(2027, 11, 25), At(2028, 11, 23)}},
      {"weekly without days", At(2026, 1, 1), 2, 1, 0, {}},
      {"by weekday without an instance", At(2026, 1, 1), 4, 1, MO, {}},
      {"no recurrence", At(2026, 1, 1), 0, 1, 0, {}},
      {"unknown type", At(2026, 1, 1), 7, 1, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Expand(c.start, c.type, c.every, c.flag, static_cast<int>(c.expected.size())),
              c.expected);
  }
}

TEST(Recurrence, LastOccurrenceBounds) {
  // 999 occurrences at most.
  EXPECT_EQ(LastOccurrence(At(2026, 1, 1, 8), 1, 1, 0), At(2026, 1, 1, 8) + 998);
  EXPECT_EQ(LastOccurrence(At(2026, 1, 4), 2, 1, 127), At(2026, 1, 4) + 998);
  // Up to 1 January 9999 (that day included).
  EXPECT_EQ(LastOccurrence(At(9998, 12, 30, 7), 1, 1, 0), At(9999, 1, 1, 7));
  EXPECT_EQ(LastOccurrence(At(9990, 3, 1), 5, 1, 0), At(9998, 3, 1));
  EXPECT_EQ(LastOccurrence(At(9998, 12, 1), 4, 1, FR + 2048), At(9998, 12, 25));
  EXPECT_EQ(LastOccurrence(At(2026, 1, 1), 3, 100000, 0), At(2026, 1, 1));
  // An interval below 1 counts as 1; a later latest date or count is the caller's.
  EXPECT_EQ(LastOccurrence(At(2026, 1, 1), 1, 0, 0, At(2026, 1, 10)), At(2026, 1, 10));
  EXPECT_EQ(LastOccurrence(At(2026, 1, 1), 1, 1, 0, At(2026, 6, 1), 3), At(2026, 1, 3));
  EXPECT_EQ(LastOccurrence(At(2026, 1, 1), 2, 1, 0), std::nullopt);
  EXPECT_EQ(LastOccurrence(At(2026, 1, 10), 1, 1, 0, At(2026, 1, 9)), std::nullopt);
}

}  // namespace
}  // namespace qwb
