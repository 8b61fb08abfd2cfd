#include "tables/organizer/TimeConv.h"

#include <cmath>
#include <cstdint>

#include "platform/util/CivilDate.h"
#include "wincompat/winbase.h"

namespace qwb {
namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr int64_t kOleEpochToUnixDays = 25569;  // 1899-12-30 .. 1970-01-01

// The OLE encoding is not monotonic below zero (the fraction counts forward from a negative
// day), so arithmetic runs on a plain day count and converts at the edges.
double ToLinear(DATE d) {
  if (d >= 0) return d;
  double day = std::ceil(d);
  return day + (day - d);
}

DATE FromLinear(double lin) {
  double day = std::floor(lin);
  double frac = lin - day;
  if (day >= 0) return lin;
  return day - frac;
}

using civil::DaysFromCivil;

// The calendar parts of a day number, as ints.
void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  int64_t year = 0;
  unsigned month = 0, day = 0;
  civil::CivilFromDays(z, &year, &month, &day);
  *y = static_cast<int>(year);
  *m = static_cast<int>(month);
  *d = static_cast<int>(day);
}

int DaysInMonth(int year, int month) {
  return static_cast<int>(civil::DaysInMonth(year, static_cast<unsigned>(month)));
}

// Milliseconds on the linear time line of a transition of `year` given as a SYSTEMTIME rule,
// in the clock the rule is written in. False when the rule names no transition. Whole
// milliseconds keep the comparison at the switch exact.
bool TransitionOf(const SYSTEMTIME& rule, int year, int64_t* ms) {
  if (rule.wMonth < 1 || rule.wMonth > 12) return false;
  int y = rule.wYear != 0 ? rule.wYear : year;
  int day;
  if (rule.wYear != 0) {
    day = rule.wDay;
    if (day < 1 || day > DaysInMonth(y, rule.wMonth)) return false;
  } else {
    if (rule.wDay < 1 || rule.wDayOfWeek > 6) return false;
    day = NthWeekdayOfMonth(y, rule.wMonth, rule.wDayOfWeek, rule.wDay > 5 ? 5 : rule.wDay);
  }
  int64_t days = DaysFromCivil(y, rule.wMonth, static_cast<unsigned>(day)) + kOleEpochToUnixDays;
  *ms = days * 86400000 + ((rule.wHour * int64_t{60} + rule.wMinute) * 60 + rule.wSecond) * 1000 +
        rule.wMilliseconds;
  return true;
}

int YearOfLinear(double lin) {
  int y, m, d;
  CivilFromDays(static_cast<int64_t>(std::floor(lin)) - kOleEpochToUnixDays, &y, &m, &d);
  return y;
}

double RoundToMs(double lin) { return std::round(lin * kMsPerDay) / kMsPerDay; }

TIME_ZONE_INFORMATION CurrentZone() {
  TIME_ZONE_INFORMATION tz{};
  if (GetTimeZoneInformation(&tz) == TIME_ZONE_ID_INVALID) tz = TIME_ZONE_INFORMATION{};
  return tz;
}

}  // namespace

int NthWeekdayOfMonth(int year, int month, int dayOfWeek, int nth) {
  // 1970-01-01 was a Thursday (4).
  int64_t first = DaysFromCivil(year, static_cast<unsigned>(month), 1);
  int firstDow = static_cast<int>(((first % 7) + 7 + 4) % 7);
  int day = 1 + (dayOfWeek - firstDow + 7) % 7 + (nth - 1) * 7;
  while (day > DaysInMonth(year, month)) day -= 7;
  return day;
}

bool InDaylightPeriod(DATE date, const TIME_ZONE_INFORMATION& tz, bool isUtc) {
  if (tz.DaylightBias == 0 || std::isnan(date)) return false;
  double lin = ToLinear(date);
  int64_t at = std::llround(lin * kMsPerDay);
  int year = YearOfLinear(lin);
  int64_t start, end;  // start on standard local time, end on daylight local time
  if (!TransitionOf(tz.DaylightDate, year, &start) || !TransitionOf(tz.StandardDate, year, &end))
    return false;
  if (isUtc) {
    start += int64_t{tz.Bias} * 60000;
    end += (int64_t{tz.Bias} + tz.DaylightBias) * 60000;
  }
  if (start < end) return at >= start && at < end;
  // Southern hemisphere: the daylight period spans the turn of the year.
  return at >= start || at < end;
}

DATE UtcToLocal(DATE utc, const TIME_ZONE_INFORMATION& tz) {
  double minutes = tz.Bias;
  if (InDaylightPeriod(utc, tz, true)) minutes += tz.DaylightBias;
  return OleAddMinutes(utc, -minutes);
}

DATE LocalToUtc(DATE local, const TIME_ZONE_INFORMATION& tz) {
  double minutes = tz.Bias;
  if (InDaylightPeriod(local, tz, false)) minutes += tz.DaylightBias;
  return OleAddMinutes(local, minutes);
}

DATE UtcToLocal(DATE utc) { return UtcToLocal(utc, CurrentZone()); }
DATE LocalToUtc(DATE local) { return LocalToUtc(local, CurrentZone()); }

DATE OleAddMinutes(DATE d, double minutes) {
  if (minutes == 0) return d;
  return FromLinear(RoundToMs(ToLinear(d) + minutes / 1440.0));
}

DATE OleDatePart(DATE d) {
  // Midnight of the calendar day: the integer part in both halves of the encoding.
  return std::trunc(d);
}

DATE OleTimePart(DATE d) {
  // Whole seconds are kept exact (as MakeOleDate builds them); a fraction of a second to the
  // millisecond.
  const double ms = std::round(std::fabs(d - std::trunc(d)) * kMsPerDay);
  if (std::fmod(ms, 1000.0) == 0) return (ms / 1000.0) / 86400.0;
  return ms / kMsPerDay;
}

DATE KeepWithinTableYears(DATE d) {
  if (d < kEarliestTableDate) return kEarliestTableDate;
  if (d > kLatestTableDate) return kLatestTableDate;
  return d;
}

bool SplitOleDate(DATE d, OleDateParts* out) {
  if (std::isnan(d) || d < -657434.0 || d >= 2958466.0) return false;  // years 100..9999
  double ms = std::round(ToLinear(d) * kMsPerDay);
  int64_t total = static_cast<int64_t>(ms);
  int64_t days = total >= 0 ? total / 86400000 : -((-total + 86399999) / 86400000);
  int64_t inDay = total - days * 86400000;
  CivilFromDays(days - kOleEpochToUnixDays, &out->year, &out->month, &out->day);
  out->hour = static_cast<int>(inDay / 3600000);
  out->minute = static_cast<int>(inDay / 60000 % 60);
  out->second = static_cast<int>(inDay / 1000 % 60);
  out->millisecond = static_cast<int>(inDay % 1000);
  out->dayOfWeek = static_cast<int>((((days - kOleEpochToUnixDays) % 7) + 7 + 4) % 7);
  return true;
}

bool MakeOleDate(int year, int month, int day, int hour, int minute, int second, DATE* out) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59)
    return false;
  double days = static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
      kOleEpochToUnixDays);
  double frac = ((hour * 60.0 + minute) * 60.0 + second) / 86400.0;
  *out = FromLinear(days + frac);
  return true;
}

}  // namespace qwb
