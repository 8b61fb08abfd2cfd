// The tasks as iCalendar (RFC 5545) VTODO components.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "host/Export.h"
#include "host/TaskRecord.h"

namespace qwbhost {

// One task's VTODO. Only what the phone holds is written: no COMPLETED time (the phone keeps
// none), no DTSTART or DUE for a task without them.
ExportRecord TaskToTodo(const TaskRecord& task, const ExportContext& context);

// A local wall-clock date (OLE date, the PC's zone) as seconds since the epoch.
std::time_t LocalDateToEpoch(DATE local);

std::unique_ptr<Exporter> MakeTasksExporter();

}  // namespace qwbhost
