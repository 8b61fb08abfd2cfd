// An appointment as the CLI sees it: the schedule columns read from an item by name, and the
// edits the calendar options ask for.
#pragma once

#include <optional>
#include <string>

#include "host/TaskRecord.h"
#include "qwbdcawm/qwbdcawm.h"

namespace qwbhost {

struct EventRecord {
  LONG id = -1;
  std::string subject, location, detail, categories, attendees, sensitivity, status, alarmType,
      dateType;
  bool allDay = false;
  std::optional<DATE> start, end, expireDate, everyDate;
  std::optional<LONG> alarmValue, recurType, recurEvery, recurFlag, expireType, expireValue;

  bool lunar() const { return dateType == "LUNAR" || dateType == "LEAP"; }
  Recurrence recurrence() const;
  // Minutes of the reminder before the start; nullopt without one.
  std::optional<int> reminderMinutes() const;
};

EventRecord ReadEvent(IItem* item);

// What add/update change. Unset members leave the column as it is.
struct EventEdit {
  std::optional<std::string> subject, location, detail, categories, attendees, sensitivity,
      status, dateType;
  std::optional<bool> allDay;
  std::optional<DATE> start, end;
  std::optional<std::optional<int>> reminder;  // minutes; inner nullopt: none
  std::optional<Recurrence> recurrence;
};

void ApplyEventEdit(IItem* item, const EventEdit& edit);

}  // namespace qwbhost
