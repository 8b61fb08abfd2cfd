// The iCalendar pieces the task and calendar exports share: dates and the RRULE of a
// recurrence (libical's recurrence type and its text), the CLASS of a sensitivity.
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
// The RRULE value text of a recurrence; empty when it does not recur.
std::string RuleText(const icalrecurrencetype& rule);
// "PUBLIC", "PRIVATE" (Personal and Private) or "CONFIDENTIAL" of a sensitivity.
const char* ClassText(const std::string& sensitivity);

}  // namespace qwbhost
