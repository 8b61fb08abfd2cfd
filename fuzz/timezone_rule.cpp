// The POSIX time-zone rule reader (TZ, and the rule line at the end of a zone file): any
// text either is refused or gives a zone whose biases and transition dates are ones Windows
// could report, and whose offset at any instant is the standard or the daylight one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/Check.h"
#include "wincompat/testhooks.h"

namespace {

using fuzzsupport::Check;

void CheckDate(const SYSTEMTIME& t) {
  Check(t.wMonth <= 12 && t.wDayOfWeek <= 6 && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60);
  if (t.wYear == 0 && t.wMonth != 0) Check(t.wDay >= 1 && t.wDay <= 5);  // n-th weekday
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string rule(reinterpret_cast<const char*>(data), size);
  // Instants around 1970, 2000, 2026 (both switches), 2099 and far out, as UTC file times.
  const int64_t times[] = {116444736000000000LL, 125911584000000000LL, 134185248000000000LL,
                           134340000000000000LL, 134500000000000000LL, 157000000000000000LL,
                           250000000000000000LL, 0};
  constexpr size_t n = sizeof times / sizeof times[0];
  LONG offsets[n] = {};
  TIME_ZONE_INFORMATION tzi{};
  if (!wincompat::TimeZoneFromRuleForTesting(rule, &tzi, offsets, times, n)) return 0;
  // POSIX offsets stop at 24:59:59 either way; names are cut to fit with their NUL.
  Check(tzi.Bias >= -25 * 60 && tzi.Bias <= 25 * 60);
  Check(tzi.StandardName[31] == 0 && tzi.DaylightName[31] == 0);
  CheckDate(tzi.StandardDate);
  CheckDate(tzi.DaylightDate);
  // Within a minute: offsets with seconds are cut to whole minutes on both sides.
  for (LONG offset : offsets) {
    const LONG standard = -tzi.Bias, daylight = -(tzi.Bias + tzi.DaylightBias);
    Check(std::labs(offset - standard) <= 1 || std::labs(offset - daylight) <= 1);
  }
  return 0;
}
