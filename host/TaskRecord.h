// A task as the CLI sees it: the task columns read from an item by name, the edits the
// options ask for, and the recurrence in a form the outputs share (table, JSON, iCalendar).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "qwbdcawm/qwbdcawm.h"

namespace qwbhost {

// Recurrence kinds of the RECURRENCE_TYPE column.
enum class RecurKind : int {
  kNone = 0,
  kDaily = 1,
  kWeekly = 2,
  kMonthly = 3,
  kMonthlyWeekday = 4,
  kYearly = 5,
  kYearlyWeekday = 6,
};

struct Recurrence {
  RecurKind kind = RecurKind::kNone;
  int every = 1;
  int dayMask = 0;              // bit 0 Sunday .. bit 6 Saturday
  int instance = 0;             // 1..4, 5 = last; by-weekday kinds only
  bool weekdaysOnly = false;    // daily on Monday to Friday
  int month = 0, monthDay = 0;  // yearly: from the every-date, else the start date
  enum class End { kNone, kUntil, kCount } end = End::kNone;
  std::optional<DATE> until;
  int count = 0;
};

struct TaskRecord {
  LONG id = -1;
  std::string subject, detail, categories, sensitivity, priority, doneState, alarmType;
  std::optional<DATE> start, due, alarmTime, expireDate, everyDate;
  std::optional<LONG> recurType, recurEvery, recurFlag, expireType, expireValue;

  bool done() const { return doneState == "Done"; }
  // The recurrence the columns describe (kind kNone when the task does not recur).
  Recurrence recurrence() const;
};

// Reads every task column of `item` by name (GetOrdinal, GetValue) and its SUID.
TaskRecord ReadTask(IItem* item);

// What add/update change. Unset members leave the column as it is.
struct TaskEdit {
  std::optional<std::string> subject, detail, categories, sensitivity, priority;
  std::optional<bool> done;
  std::optional<DATE> start, due;
  std::optional<std::optional<DATE>> alarm;  // inner nullopt: no alarm
  std::optional<Recurrence> recurrence;
};

// Writes the edits into the item's columns (SetValue by ordinal). A recurrence needs the
// task's start date for the kinds that take their day from it: `start` is the date the task
// will have.
void ApplyEdit(IItem* item, const TaskEdit& edit, std::optional<DATE> start);

// Two-letter weekday names, Sunday first, as iCalendar spells them.
extern const char* const kWeekdayNames[7];
// "MO,WE" -> mask; an optional ordinal before a name ("2TU", "-1FR") sets *instance
// (-1 and 5 mean the last). Throws a usage error for a malformed list.
int ParseDays(const std::string& text, int* instance);
std::string FormatDays(int mask);

// A short readable summary ("weekly on MO,WE every 2 weeks until 2026-05-01").
std::string DescribeRecurrence(const Recurrence& r);

}  // namespace qwbhost
