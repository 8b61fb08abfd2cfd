// The calendar as iCalendar (RFC 5545) VEVENT components, written through the content-line
// writer the exports share, with the recurrence and date pieces the task export uses.
#pragma once

#include <memory>
#include <string>

#include "host/EventRecord.h"
#include "host/Export.h"

namespace qwbhost {

// One appointment's VEVENT. Timed events carry TZID `zone` (the PC's zone, whose local times
// the columns hold) and the record its VTIMEZONE; an empty or unknown zone writes them in
// UTC. A lunar appointment is its solar day with its lunar date beside it
// (X-QWBDCAWM-LUNAR-DATE, X-LEAP=TRUE in a leap month) and its recurrence, which follows the
// lunar calendar, as X-QWBDCAWM-LUNAR-RRULE.
ExportRecord EventToVevent(const EventRecord& event, const ExportContext& context,
                           const std::string& zone);

// The PC's zone name ("Asia/Seoul") from TZ or /etc/localtime; empty when it has none.
std::string LocalZoneName();

std::unique_ptr<Exporter> MakeCalendarExporter();

}  // namespace qwbhost
