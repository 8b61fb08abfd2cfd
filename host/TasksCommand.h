// `qwbdcawm tasks list|add|update|delete`.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/Session.h"
#include "host/TaskRecord.h"

namespace qwbhost {

// The field options as given on the command line, unchecked.
struct TaskOptions {
  std::optional<std::string> subject, detail, start, due, priority, categories, sensitivity, alarm,
      recur, days, until;
  std::optional<int> every, count;
  bool done = false, undone = false;
};

// Checks the options and turns them into an edit. `currentStart` is the task's start date
// before the edit (update) and is what recurrences take their day from unless --start
// changes it. Usage errors throw HostError(kExitUsage).
TaskEdit MakeEdit(const TaskOptions& o, std::optional<DATE> currentStart, bool adding);

// The recurrence of --recur, --every, --days, --until and --count; monthly and yearly kinds
// take their day from `start`. Usage errors throw HostError(kExitUsage).
Recurrence MakeRecurrence(const TaskOptions& o, std::optional<DATE> start);

// Rendering of a listing.
std::string TasksTable(const std::vector<TaskRecord>& tasks);
nlohmann::json TaskJson(const TaskRecord& t);

void ListTasks(Session& session, bool json, std::ostream& out);
// Adds a task; returns the stored task (id and the values the phone kept).
TaskRecord AddTask(Session& session, const TaskOptions& o);
TaskRecord UpdateTask(Session& session, LONG id, const TaskOptions& o);
void DeleteTask(Session& session, LONG id);

}  // namespace qwbhost
