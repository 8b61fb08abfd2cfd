// The calendar as an iCalendar (RFC 5545) document of VEVENT components, built with libical
// through the pieces the task export shares (IcsShared.h).
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "host/EventRecord.h"
#include "host/Export.h"

namespace qwbhost {

// The VCALENDAR text of `events`. Timed events carry TZID `zone` with its VTIMEZONE (the
// PC's zone, whose local times the columns hold); an empty or unknown zone writes them in
// UTC. `now` is the DTSTAMP.
std::string EventsToICalendar(const std::vector<EventRecord>& events, std::time_t now,
                              const std::string& zone);

// The PC's zone name ("Asia/Seoul") from TZ or /etc/localtime; empty when it has none.
std::string LocalZoneName();

std::unique_ptr<Exporter> MakeCalendarExporter();

}  // namespace qwbhost
