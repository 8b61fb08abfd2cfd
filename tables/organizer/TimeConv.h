// Conversions between the phone's UTC dates and the PC's local dates, and the small OLE date
// helpers the organizer tables share. Dates are OLE automation dates (DATE): days since
// 30 December 1899, the fraction the time of day; before that day the integer part is
// negative while the fraction still counts forward (-1.25 is 29 December 1899 06:00).
#pragma once

#include "wincompat/wintypes.h"

namespace qwb {

// UTC -> local: subtracts the PC's bias (minutes) and, when the date lies in the daylight
// period of its own year, the daylight bias as well. Reads the zone with
// GetTimeZoneInformation on every call, so a changed zone applies at once.
DATE UtcToLocal(DATE utc);
// Local -> UTC: adds the same biases.
DATE LocalToUtc(DATE local);

// The same against an explicit zone.
DATE UtcToLocal(DATE utc, const TIME_ZONE_INFORMATION& tz);
DATE LocalToUtc(DATE local, const TIME_ZONE_INFORMATION& tz);

// Whether a date lies in the zone's daylight period of the date's own year. `isUtc` tells
// which clock the date is on: the period starts at DaylightDate (local standard time) and
// ends at StandardDate (local daylight time). A zone with a daylight bias of 0, or without
// transition dates, has no daylight period.
bool InDaylightPeriod(DATE date, const TIME_ZONE_INFORMATION& tz, bool isUtc);

// The calendar parts of an OLE date (time rounded to the millisecond). False when the date
// is outside the years 100..9999 or not a number.
struct OleDateParts {
  int year, month, day, hour, minute, second, millisecond;
  int dayOfWeek;  // 0 Sunday .. 6 Saturday
};
bool SplitOleDate(DATE d, OleDateParts* out);
// The OLE date of a calendar date and time; false for an invalid date (31 April, month 13).
bool MakeOleDate(int year, int month, int day, int hour, int minute, int second, DATE* out);

// The day without its time of day (midnight of the same calendar day).
DATE OleDatePart(DATE d);
// The time of day of a date, as a fraction of a day (0 <= t < 1).
DATE OleTimePart(DATE d);

// The dates the organizer tables write: 1 January 1900 00:00:00 to 31 December 2099 23:59:59.
inline constexpr DATE kEarliestTableDate = 2.0;
inline constexpr DATE kLatestTableDate = 73050.0 + (86399.0 / 86400.0);
DATE KeepWithinTableYears(DATE d);
// Adds minutes on the time line, honouring the encoding of dates before 1899-12-30.
DATE OleAddMinutes(DATE d, double minutes);

// The day of the month on which the n-th (1..4, 5 = last) `dayOfWeek` of a month falls.
int NthWeekdayOfMonth(int year, int month, int dayOfWeek, int nth);

}  // namespace qwb
