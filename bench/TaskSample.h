// The task record both benchmarks use: every field a task listing carries, a weekly repeat.
#pragma once

#include <string>
#include <vector>

#include "link/DeviceRecord.h"

inline std::vector<devrec::Property> TaskProperties(int n = 0) {
  using devrec::Property;
  return {Property::String("Subject", "Task number " + std::to_string(n)),
          Property::String("Body", "Compare three quotes; the broker's number is in contacts."),
          Property::Date("StartDate", 46100.0 + n),
          Property::Date("DueDate", 46107.0 + n),
          Property::Boolean("Complete", 0),
          Property::Integer("Importance", 1 + n % 3),
          Property::Boolean("ReminderSet", 0xFFFF),
          Property::Date("ReminderTime", 46099.375 + n),
          Property::String("Categories", "Business, Car"),
          Property::Integer("ulSensitivity", 0),
          Property::Boolean("IsRecurring", 0xFFFF),
          Property::Integer("RecurrPattern.RecurrenceType", 1),
          Property::Integer("RecurrPattern.DayOfWeekMask", 10),
          Property::Integer("RecurrPattern.Interval", 2),
          Property::Boolean("RecurrPattern.NoEndDate", 0xFFFF)};
}
