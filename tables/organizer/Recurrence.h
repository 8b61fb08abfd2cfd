// Recurrence of tasks and appointments: the one place that maps the phone's recurrence
// pattern ("IsRecurring", "RecurrPattern.RecurrenceType" and the pattern fields) to the
// recurrence columns and back, and that expands a pattern into its occurrences. The encoding
// of the columns themselves is link/Recurrence.h.
//
// Columns: RECURRENCE_TYPE 0 none, 1 daily, 2 weekly, 3 monthly on a day, 4 monthly on the
// n-th weekday, 5 yearly on a date, 6 yearly on the n-th weekday of a month. RECURRENCE_FLAG
// is the phone's DayOfWeekMask (bit 0 Sunday .. bit 6 Saturday) plus, for types 4 and 6, one
// instance bit (128 first, 256 second, 512 third, 1024 fourth, 2048 last); for type 1 the
// flag 1 means every weekday (Monday to Friday, mask 62).
// Phone: RecurrenceType -1 none, 0 daily, 1 weekly, 2 monthly, 3 monthly by weekday,
// 5 yearly, 6 yearly by weekday (4 is not used).
#pragma once

#include <functional>
#include <optional>

#include "core/FieldMap.h"
#include "wincompat/wintypes.h"

namespace qwb {

class CPropertyMap;
class CPropertyList;

// ---- Device -> column ------------------------------------------------------------------------

// How a yearly pattern (type 5) read from the phone fills RECURRENCE_EVERY_DATE when it
// carries both "RecurrPattern.DayOfMonth" and "RecurrPattern.MonthOfYear":
// kDayAndMonth: that day and month, in the year and at the time of day of `start`, when that
// date exists (tasks); kStartDay: `start` without its time of day (appointments, whose day and
// month are those of the start).
enum class YearlyEveryDate { kDayAndMonth, kStartDay };

// "RecurrPattern.RecurrenceType" and its pattern fields -> RECURRENCE_TYPE and
// RECURRENCE_FLAG (and RECURRENCE_EVERY_DATE for yearly patterns). Nothing is set when the
// property is missing; types 4 and unknown set nothing.
void RecurrenceTypeToFields(const CPropertyMap& props, FieldMap* fields, YearlyEveryDate yearly,
                            DATE start);

// ---- Column -> device ------------------------------------------------------------------------

// The day and month the pattern fields take where the columns leave them to the table:
// "RecurrPattern.DayOfMonth" of a monthly pattern (3), DayOfMonth and "MonthOfYear" of a
// yearly one (5), MonthOfYear of a yearly-by-weekday one (6).
struct PatternDays {
  int monthlyDay = 0;
  int yearlyDay = 0, yearlyMonth = 0;
  int weekdayMonth = 0;
};

// Adds, for RECURRENCE_TYPE `type` and RECURRENCE_FLAG `flag`: "IsRecurring" (true, for
// types 1..6), "RecurrPattern.RecurrenceType" (-1 for type 0) and the pattern fields of the
// type. Types above 6 add nothing.
void RecurrencePatternToRecord(LONG type, LONG flag, const PatternDays& days,
                               CPropertyList* list);
// "RecurrPattern.Interval": RECURRENCE_EVERY when at least 1, else 1.
void RecurrenceIntervalToRecord(LONG every, CPropertyList* list);

// ---- Expansion -------------------------------------------------------------------------------

// The phone's bounds on an expansion: occurrences up to 1 January 9999, at most 999 of them.
inline constexpr int kMaxOccurrences = 999;
DATE LatestOccurrenceDate();

// Calls `visit` with each occurrence (a local date and time) of the pattern that starts at
// `start`, in order, until `maxCount` occurrences, a day after `latest`, or `visit` answering
// false. Returns the number visited. Occurrences are the pattern's days on or after the
// start's day, at the start's time of day:
// - daily: every `every` days; with flag 1 every Monday to Friday instead;
// - weekly: the mask's weekdays of every `every`-th week, weeks beginning on Sunday;
// - monthly: the start's day of every `every`-th month, the month's last day when it is
//   shorter;
// - monthly by weekday: the n-th (or last) day of every `every`-th month whose weekday is in
//   the mask;
// - yearly: the start's day and month every `every` years (28 February in other years for a
//   start on 29 February); yearly by weekday: the n-th (or last) mask day of the start's
//   month every `every` years.
// `every` below 1 counts as 1. A pattern without days (mask 0, no instance bit where one is
// needed, an unknown type) has no occurrence.
int ForEachOccurrence(DATE start, LONG type, LONG every, LONG flag, DATE latest, int maxCount,
                      const std::function<bool(DATE)>& visit);

// The last occurrence within the bounds; nullopt when the pattern has none.
std::optional<DATE> LastOccurrence(DATE start, LONG type, LONG every, LONG flag,
                                   DATE latest = LatestOccurrenceDate(),
                                   int maxCount = kMaxOccurrences);

}  // namespace qwb
