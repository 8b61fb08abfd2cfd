// The tasks as an iCalendar (RFC 5545) document of VTODO components, built with libical.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "host/Export.h"
#include "host/TaskRecord.h"

namespace qwbhost {

// The VCALENDAR text of `tasks`. `now` is the DTSTAMP (and the COMPLETED time of done
// tasks, which the phone does not keep).
std::string TasksToICalendar(const std::vector<TaskRecord>& tasks, std::time_t now);

// A local wall-clock date (OLE date, the PC's zone) as seconds since the epoch.
std::time_t LocalDateToEpoch(DATE local);

std::unique_ptr<Exporter> MakeTasksExporter();

}  // namespace qwbhost
