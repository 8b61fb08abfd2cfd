#include "host/CalendarIcs.h"

#include <libical/ical.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "host/ContentLines.h"
#include "host/HostError.h"
#include "host/IcsShared.h"
#include "host/Progress.h"
#include "host/Session.h"
#include "host/TasksIcs.h"
#include "host/Text.h"
#include "wincompat/winbase.h"

namespace qwbhost {
namespace {

// The lunar calendar library, as the component loads it; absent, lunar dates are not named.
class LunarLibrary {
 public:
  LunarLibrary() {
    module_ = LoadLibraryW(u"ConvLunar.dll");
    if (module_)
      solarToLunar_ = reinterpret_cast<Fn>(reinterpret_cast<void*>(
          GetProcAddress(module_, "solar_to_lunar")));
  }
  ~LunarLibrary() {
    if (module_) FreeLibrary(module_);
  }
  LunarLibrary(const LunarLibrary&) = delete;
  LunarLibrary& operator=(const LunarLibrary&) = delete;
  // "2009-05-10" (with "leap" set for a leap month); empty without the library.
  std::string LunarDate(DATE solar, bool* leap) const {
    auto p = SplitDate(solar);
    if (!solarToLunar_ || !p) return {};
    int32_t y = p->year, m = p->month, d = p->day;
    *leap = solarToLunar_(&y, &m, &d) != 0;
    if (!y) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
    return text;
  }

 private:
  using Fn = int (*)(int32_t*, int32_t*, int32_t*);
  HMODULE module_ = nullptr;
  Fn solarToLunar_ = nullptr;
};

std::string DateValue(DATE d) {
  auto p = SplitDate(d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", p ? p->year : 1899, p ? p->month : 12,
                p ? p->day : 30);
  return buf;
}

std::string WallClockValue(DATE d) {
  auto p = SplitDate(d);
  char buf[24];
  std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d", p ? p->year : 1899,
                p ? p->month : 12, p ? p->day : 30, p ? p->hour : 0, p ? p->minute : 0,
                p ? p->second : 0);
  return buf;
}

// The VTIMEZONE of a zone under the name the TZID parameters use; empty for an unknown zone.
std::string TimezoneBlock(const std::string& zoneName) {
  icaltimezone* zone =
      zoneName.empty() ? nullptr : icaltimezone_get_builtin_timezone(zoneName.c_str());
  if (!zone) return {};
  icalcomponent* vtimezone = icalcomponent_new_clone(icaltimezone_get_component(zone));
  if (icalproperty* tzid = icalcomponent_get_first_property(vtimezone, ICAL_TZID_PROPERTY))
    icalproperty_set_tzid(tzid, zoneName.c_str());
  char* text = icalcomponent_as_ical_string_r(vtimezone);
  std::string out = text ? text : "";
  free(text);
  icalcomponent_free(vtimezone);
  return out;
}

// The RRULE of an appointment: the shared rule, with weeks starting on Sunday, a monthly or
// yearly day the month may not have taken as the month's last day (as the phone does), and
// for timed appointments an UNTIL at the last day's start time in UTC.
bool EventRuleOf(const EventRecord& e, icalrecurrencetype* r) {
  const Recurrence rec = e.recurrence();
  if (!RuleOf(rec, r)) return false;
  r->week_start = ICAL_SUNDAY_WEEKDAY;
  const bool monthlyLate = rec.kind == RecurKind::kMonthly && rec.monthDay > 28;
  const bool leapDay = rec.kind == RecurKind::kYearly && rec.month == 2 && rec.monthDay == 29;
  if (monthlyLate || leapDay) {
    int n = 0;
    for (int d = 28; d <= rec.monthDay; ++d) r->by_month_day[n++] = static_cast<short>(d);
    r->by_month_day[n] = ICAL_RECURRENCE_ARRAY_MAX;
    r->by_set_pos[0] = -1;
    r->by_set_pos[1] = ICAL_RECURRENCE_ARRAY_MAX;
  }
  if (rec.end == Recurrence::End::kUntil && rec.until && !e.allDay && e.start) {
    auto s = SplitDate(*e.start);
    auto u = SplitDate(*rec.until);
    if (s && u) {
      if (auto last = MakeDate(u->year, u->month, u->day, s->hour, s->minute, s->second))
        r->until = UtcOf(LocalDateToEpoch(*last));
    }
  }
  return true;
}

// A timed moment: wall clock with TZID when the zone is known, else UTC.
void PutTimed(ContentLines& out, const char* name, DATE local, const std::string& zone) {
  if (zone.empty()) {
    out.Raw(name, UtcDateTimeValue(LocalDateToEpoch(local)));
  } else {
    out.Raw(name, WallClockValue(local), {{"TZID", {zone}}});
  }
}

class CalendarExporter : public Exporter {
 public:
  std::string name() const override { return "calendar"; }
  ExportFormat format() const override { return ExportFormat::kICalendar; }
  std::vector<ExportRecord> Read(Session& session, const ExportContext& context,
                                 Progress& progress) override {
    std::vector<ExportRecord> records;
    ReadEach(session, context, progress,
             [&](ExportRecord&& r) { records.push_back(std::move(r)); });
    return records;
  }
  void ReadEach(Session& session, const ExportContext& context, Progress& progress,
                const std::function<void(ExportRecord&&)>& sink) override {
    const std::string zone = LocalZoneName();
    ComPtr<IDataTable> table = session.Table(DTID_CALENDAR);
    ForEachItem(table.Get(), "calendar", [&](IItem* item, ULONG n, ULONG total) {
      sink(EventToVevent(ReadEvent(item), context, zone));
      progress.Update(n + 1, total);
    });
  }
};

}  // namespace

std::string LocalZoneName() {
  if (const char* tz = std::getenv("TZ"); tz && *tz) {
    std::string name = tz[0] == ':' ? tz + 1 : tz;
    return icaltimezone_get_builtin_timezone(name.c_str()) ? name : std::string();
  }
  char target[PATH_MAX];
  const ssize_t n = ::readlink("/etc/localtime", target, sizeof target - 1);
  if (n <= 0) return {};
  const std::string path(target, static_cast<size_t>(n));
  const size_t at = path.find("zoneinfo/");
  return at == std::string::npos ? std::string() : path.substr(at + 9);
}

ExportRecord EventToVevent(const EventRecord& e, const ExportContext& context,
                           const std::string& zoneName) {
  static const LunarLibrary lunar;
  ExportRecord record;
  record.uid = context.Uid("event", e.id);
  const bool knownZone =
      !zoneName.empty() && icaltimezone_get_builtin_timezone(zoneName.c_str()) != nullptr;
  const std::string zone = knownZone ? zoneName : std::string();
  ContentLines out;
  out.Begin("VEVENT").Raw("UID", record.uid).Raw("DTSTAMP", context.Stamp());
  if (e.start) {
    if (e.allDay) {
      const ContentParams date = {{"VALUE", {"DATE"}}};
      out.Raw("DTSTART", DateValue(*e.start), date);
      out.Raw("DTEND", DateValue(std::floor(e.end.value_or(*e.start)) + 1), date);
    } else {
      PutTimed(out, "DTSTART", *e.start, zone);
      PutTimed(out, "DTEND", e.end.value_or(*e.start), zone);
      if (!zone.empty()) record.timezone = TimezoneBlock(zone);
    }
  }
  if (!e.subject.empty()) out.Text("SUMMARY", e.subject);
  if (!e.location.empty()) out.Text("LOCATION", e.location);
  if (!e.detail.empty()) out.Text("DESCRIPTION", e.detail);
  out.List("CATEGORIES", SplitCategories(e.categories));
  if (!e.sensitivity.empty()) out.Raw("CLASS", ClassText(e.sensitivity));
  // Busy status: free time is transparent; the phone's own word is kept beside it.
  out.Raw("TRANSP", e.status == "Free" ? "TRANSPARENT" : "OPAQUE");
  if (e.status == "Tentative") out.Raw("STATUS", "TENTATIVE");
  if (!e.status.empty()) out.Text("X-QWBDCAWM-BUSY-STATUS", e.status);
  for (const std::string& a : SplitCategories(e.attendees))
    out.Raw("ATTENDEE", a.find(':') == std::string::npos ? "mailto:" + a : a);
  icalrecurrencetype rule;
  const bool recurs = EventRuleOf(e, &rule);
  if (e.lunar()) {
    bool leap = false;
    const std::string date = e.start ? lunar.LunarDate(*e.start, &leap) : std::string();
    ContentParams params;
    if (leap) params.push_back({"X-LEAP", {"TRUE"}});
    out.Raw("X-QWBDCAWM-LUNAR-DATE", date.empty() ? e.dateType : date, params);
    if (recurs) out.Raw("X-QWBDCAWM-LUNAR-RRULE", RuleText(rule));
  } else if (recurs) {
    out.Raw("RRULE", RuleText(rule));
  }
  if (auto minutes = e.reminderMinutes()) {
    out.Begin("VALARM").Raw("ACTION", "DISPLAY");
    out.Text("DESCRIPTION", e.subject.empty() ? "Reminder" : e.subject);
    out.Raw("TRIGGER", *minutes ? "-PT" + std::to_string(*minutes) + "M" : "PT0M");
    out.End("VALARM");
  }
  out.End("VEVENT");
  record.body = out.str();
  return record;
}

std::unique_ptr<Exporter> MakeCalendarExporter() { return std::make_unique<CalendarExporter>(); }

}  // namespace qwbhost
