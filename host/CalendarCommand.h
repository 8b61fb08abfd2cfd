// `qwbdcawm calendar list|add|update|delete`.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/EventRecord.h"
#include "host/Session.h"
#include "host/TasksCommand.h"

namespace qwbhost {

// The field options as given on the command line, unchecked. The recurrence options are
// those of the tasks (recur, every, days, until, count).
struct CalendarOptions {
  std::optional<std::string> subject, location, detail, start, end, categories, sensitivity,
      status, attendees, reminder, dateType;
  bool allDay = false, timed = false;
  TaskOptions recurrence;
};

// Checks the options and turns them into an edit; `currentStart` is the appointment's start
// before the edit. Usage errors throw HostError(kExitUsage).
EventEdit MakeEventEdit(const CalendarOptions& o, std::optional<DATE> currentStart, bool adding);

nlohmann::json EventJson(const EventRecord& e);

// Lists the appointments; --from/--to keep those that start within the days given (a
// recurring one when any of its occurrences could: it starts before the end of the range).
void ListEvents(Session& session, bool json, std::optional<std::string> from,
                std::optional<std::string> to, std::ostream& out);
EventRecord AddEvent(Session& session, const CalendarOptions& o);
EventRecord UpdateEvent(Session& session, LONG id, const CalendarOptions& o);
void DeleteEvent(Session& session, LONG id);

}  // namespace qwbhost
