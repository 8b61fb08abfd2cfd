#include "host/CalendarIcs.h"

#include <libical/ical.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

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

icaltimetype WallClock(DATE d) {
  icaltimetype t = icaltime_null_time();
  if (auto p = SplitDate(d)) {
    t.year = p->year, t.month = p->month, t.day = p->day;
    t.hour = p->hour, t.minute = p->minute, t.second = p->second;
  }
  return t;
}

// A timed moment: wall clock with TZID when the zone is known, else UTC.
icalproperty* Timed(icalproperty* (*make)(icaltimetype), DATE local, icaltimezone* zone,
                    const std::string& zoneName) {
  if (!zone) return make(UtcOf(LocalDateToEpoch(local)));
  icalproperty* p = make(WallClock(local));
  icalproperty_add_parameter(p, icalparameter_new_tzid(zoneName.c_str()));
  return p;
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

icalcomponent* EventOf(const EventRecord& e, std::time_t now, icaltimezone* zone,
                       const std::string& zoneName, const LunarLibrary& lunar) {
  icalcomponent* ev = icalcomponent_new_vevent();
  const std::string uid = "qwbdcawm-event-" + std::to_string(static_cast<unsigned long>(e.id));
  icalcomponent_add_property(ev, icalproperty_new_uid(uid.c_str()));
  icalcomponent_add_property(ev, icalproperty_new_dtstamp(UtcOf(now)));
  if (e.start) {
    if (e.allDay) {
      icalcomponent_add_property(ev, icalproperty_new_dtstart(DayOf(*e.start)));
      icalcomponent_add_property(ev, icalproperty_new_dtend(DayOf(e.end.value_or(*e.start) + 1)));
    } else {
      icalcomponent_add_property(ev, Timed(icalproperty_new_dtstart, *e.start, zone, zoneName));
      icalcomponent_add_property(
          ev, Timed(icalproperty_new_dtend, e.end.value_or(*e.start), zone, zoneName));
    }
  }
  if (!e.subject.empty()) icalcomponent_add_property(ev, icalproperty_new_summary(e.subject.c_str()));
  if (!e.location.empty())
    icalcomponent_add_property(ev, icalproperty_new_location(e.location.c_str()));
  if (!e.detail.empty())
    icalcomponent_add_property(ev, icalproperty_new_description(e.detail.c_str()));
  for (const std::string& c : SplitCategories(e.categories))
    icalcomponent_add_property(ev, icalproperty_new_categories(c.c_str()));
  if (!e.sensitivity.empty())
    icalcomponent_add_property(ev, icalproperty_new_class(ClassOf(e.sensitivity)));
  // Busy status: free time is transparent; the phone's own word is kept beside it.
  icalcomponent_add_property(ev, icalproperty_new_transp(e.status == "Free" ? ICAL_TRANSP_TRANSPARENT
                                                                            : ICAL_TRANSP_OPAQUE));
  if (e.status == "Tentative")
    icalcomponent_add_property(ev, icalproperty_new_status(ICAL_STATUS_TENTATIVE));
  if (!e.status.empty()) {
    icalproperty* busy = icalproperty_new_x(e.status.c_str());
    icalproperty_set_x_name(busy, "X-QWBDCAWM-BUSY-STATUS");
    icalcomponent_add_property(ev, busy);
  }
  for (const std::string& a : SplitCategories(e.attendees)) {
    const std::string address = a.find(':') == std::string::npos ? "mailto:" + a : a;
    icalcomponent_add_property(ev, icalproperty_new_attendee(address.c_str()));
  }
  if (e.lunar()) {
    // A lunar entry is exported as its solar day; its lunar date travels beside it.
    bool leap = false;
    const std::string date = e.start ? lunar.LunarDate(*e.start, &leap) : std::string();
    icalproperty* x = icalproperty_new_x(date.empty() ? e.dateType.c_str() : date.c_str());
    icalproperty_set_x_name(x, "X-QWBDCAWM-LUNAR-DATE");
    if (leap) icalproperty_add_parameter(x, icalparameter_new_x("TRUE"));
    if (leap) icalparameter_set_xname(icalproperty_get_first_parameter(x, ICAL_X_PARAMETER), "X-LEAP");
    icalcomponent_add_property(ev, x);
    icalrecurrencetype rule;
    if (EventRuleOf(e, &rule)) {
      char* text = icalrecurrencetype_as_string_r(&rule);
      icalproperty* lr = icalproperty_new_x(text ? text : "");
      free(text);
      icalproperty_set_x_name(lr, "X-QWBDCAWM-LUNAR-RRULE");
      icalcomponent_add_property(ev, lr);
    }
  } else {
    icalrecurrencetype rule;
    if (EventRuleOf(e, &rule)) icalcomponent_add_property(ev, icalproperty_new_rrule(rule));
  }
  if (auto minutes = e.reminderMinutes()) {
    icalcomponent* alarm = icalcomponent_new_valarm();
    icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icalcomponent_add_property(
        alarm, icalproperty_new_description(e.subject.empty() ? "Reminder" : e.subject.c_str()));
    icaltriggertype trigger = icaltriggertype_from_int(-60 * *minutes);
    icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
    icalcomponent_add_component(ev, alarm);
  }
  return ev;
}

class CalendarExporter : public Exporter {
 public:
  std::string name() const override { return "calendar"; }
  std::string fileName() const override { return "calendar.ics"; }
  size_t Export(Session& session, const std::filesystem::path& path, Progress& progress) override {
    std::vector<EventRecord> events;
    ComPtr<IDataTable> table = session.Table(DTID_CALENDAR);
    ForEachItem(table.Get(), "calendar", [&](IItem* item, ULONG n, ULONG total) {
      events.push_back(ReadEvent(item));
      progress.Update(n + 1, total);
    });
    const std::string text = EventsToICalendar(events, std::time(nullptr), LocalZoneName());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw HostError(kExitFailure, "cannot write " + path.string());
    return events.size();
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

std::string EventsToICalendar(const std::vector<EventRecord>& events, std::time_t now,
                              const std::string& zoneName) {
  icaltimezone* zone =
      zoneName.empty() ? nullptr : icaltimezone_get_builtin_timezone(zoneName.c_str());
  LunarLibrary lunar;
  icalcomponent* cal = icalcomponent_new_vcalendar();
  icalcomponent_add_property(cal, icalproperty_new_version("2.0"));
  icalcomponent_add_property(cal, icalproperty_new_prodid("-//QWBDCAWM//qwbdcawm//EN"));
  if (zone) {
    // The zone under the name the events' TZID parameters use.
    icalcomponent* vtimezone = icalcomponent_new_clone(icaltimezone_get_component(zone));
    if (icalproperty* tzid = icalcomponent_get_first_property(vtimezone, ICAL_TZID_PROPERTY))
      icalproperty_set_tzid(tzid, zoneName.c_str());
    icalcomponent_add_component(cal, vtimezone);
  }
  for (const EventRecord& e : events) icalcomponent_add_component(cal, EventOf(e, now, zone, zoneName, lunar));
  char* text = icalcomponent_as_ical_string_r(cal);
  std::string out = text ? text : "";
  free(text);
  icalcomponent_free(cal);
  return out;
}

std::unique_ptr<Exporter> MakeCalendarExporter() { return std::make_unique<CalendarExporter>(); }

}  // namespace qwbhost
