// The iCalendar pieces the task and calendar exports share (libical): dates, the RRULE of a
// recurrence, the CLASS of a sensitivity, the CATEGORIES of a category text.
#pragma once

#include <libical/ical.h>

#include <ctime>
#include <string>
#include <vector>

#include "host/TaskRecord.h"

namespace qwbhost {

// A DATE value of the day of an OLE date.
icaltimetype DayOf(DATE d);
// A UTC DATE-TIME of a moment.
icaltimetype UtcOf(std::time_t when);
// libical's encoding of a BYDAY entry (weekday 0 = Sunday, position 0 for every one).
short EncodeDay(int weekday0, int position);
void AddDays(icalrecurrencetype* r, int mask, int position);
// The RRULE of a recurrence; false when it does not recur. UNTIL is a DATE.
bool RuleOf(const Recurrence& rec, icalrecurrencetype* r);
icalproperty_class ClassOf(const std::string& sensitivity);
// "Work, 회사" -> {"Work", "회사"}: split at commas and semicolons, trimmed, empties dropped.
std::vector<std::string> SplitCategories(const std::string& text);

}  // namespace qwbhost
