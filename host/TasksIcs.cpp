#include "host/TasksIcs.h"

#include <libical/ical.h>

#include <cstdio>
#include <fstream>

#include "host/HostError.h"
#include "host/Progress.h"
#include "host/Text.h"

namespace qwbhost {
namespace {

icaltimetype DayOf(DATE d) {
  icaltimetype t = icaltime_null_date();
  if (auto p = SplitDate(d)) {
    t.year = p->year;
    t.month = p->month;
    t.day = p->day;
  }
  return t;
}

icaltimetype UtcOf(std::time_t when) {
  return icaltime_from_timet_with_zone(when, 0, icaltimezone_get_utc_timezone());
}

// libical's encoding of a BYDAY entry: weekday (Sunday 1) plus 8 times the position, the
// sign of the position on the whole.
short EncodeDay(int weekday0, int position) {
  int v = (weekday0 + 1) + 8 * (position < 0 ? -position : position);
  return static_cast<short>(position < 0 ? -v : v);
}

void AddDays(icalrecurrencetype* r, int mask, int position) {
  int n = 0;
  for (int d = 0; d < 7; ++d)
    if (mask & (1 << d)) r->by_day[n++] = EncodeDay(d, position);
  r->by_day[n] = ICAL_RECURRENCE_ARRAY_MAX;
}

// The RRULE of a recurrence; false when the task does not recur.
bool RuleOf(const TaskRecord& t, icalrecurrencetype* r) {
  Recurrence rec = t.recurrence();
  if (rec.kind == RecurKind::kNone) return false;
  icalrecurrencetype_clear(r);
  r->interval = static_cast<short>(rec.every);
  int position = rec.instance == 5 ? -1 : rec.instance;
  switch (rec.kind) {
    case RecurKind::kDaily:
      r->freq = ICAL_DAILY_RECURRENCE;
      if (rec.weekdaysOnly) AddDays(r, 62, 0);
      break;
    case RecurKind::kWeekly:
      r->freq = ICAL_WEEKLY_RECURRENCE;
      if (rec.dayMask) AddDays(r, rec.dayMask, 0);
      break;
    case RecurKind::kMonthly:
      r->freq = ICAL_MONTHLY_RECURRENCE;
      if (rec.monthDay) r->by_month_day[0] = static_cast<short>(rec.monthDay);
      break;
    case RecurKind::kMonthlyWeekday:
      r->freq = ICAL_MONTHLY_RECURRENCE;
      AddDays(r, rec.dayMask, position);
      break;
    case RecurKind::kYearly:
      r->freq = ICAL_YEARLY_RECURRENCE;
      if (rec.month) r->by_month[0] = static_cast<short>(rec.month);
      if (rec.monthDay) r->by_month_day[0] = static_cast<short>(rec.monthDay);
      break;
    case RecurKind::kYearlyWeekday:
      r->freq = ICAL_YEARLY_RECURRENCE;
      if (rec.month) r->by_month[0] = static_cast<short>(rec.month);
      AddDays(r, rec.dayMask, position);
      break;
    case RecurKind::kNone:
      return false;
  }
  if (rec.end == Recurrence::End::kUntil && rec.until) r->until = DayOf(*rec.until);
  if (rec.end == Recurrence::End::kCount) r->count = rec.count;
  return true;
}

icalproperty_class ClassOf(const std::string& sensitivity) {
  std::string s = Lower(sensitivity);
  if (s == "personal" || s == "private") return ICAL_CLASS_PRIVATE;
  if (s == "confidential") return ICAL_CLASS_CONFIDENTIAL;
  return ICAL_CLASS_PUBLIC;
}

std::vector<std::string> SplitCategories(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  auto flush = [&] {
    size_t b = cur.find_first_not_of(" \t");
    size_t e = cur.find_last_not_of(" \t");
    if (b != std::string::npos) out.push_back(cur.substr(b, e - b + 1));
    cur.clear();
  };
  for (char c : text) {
    if (c == ',' || c == ';') {
      flush();
    } else {
      cur += c;
    }
  }
  flush();
  return out;
}

icalcomponent* TodoOf(const TaskRecord& t, std::time_t now) {
  icalcomponent* todo = icalcomponent_new_vtodo();
  std::string uid = "qwbdcawm-task-" + std::to_string(static_cast<unsigned long>(t.id));
  icalcomponent_add_property(todo, icalproperty_new_uid(uid.c_str()));
  icalcomponent_add_property(todo, icalproperty_new_dtstamp(UtcOf(now)));
  if (!t.subject.empty())
    icalcomponent_add_property(todo, icalproperty_new_summary(t.subject.c_str()));
  if (!t.detail.empty())
    icalcomponent_add_property(todo, icalproperty_new_description(t.detail.c_str()));
  if (t.start) icalcomponent_add_property(todo, icalproperty_new_dtstart(DayOf(*t.start)));
  if (t.due) icalcomponent_add_property(todo, icalproperty_new_due(DayOf(*t.due)));
  if (!t.priority.empty()) {
    int p = t.priority == "High" ? 1 : t.priority == "Low" ? 9 : 5;
    icalcomponent_add_property(todo, icalproperty_new_priority(p));
  }
  if (t.done()) {
    icalcomponent_add_property(todo, icalproperty_new_status(ICAL_STATUS_COMPLETED));
    icalcomponent_add_property(todo, icalproperty_new_completed(UtcOf(now)));
  } else {
    icalcomponent_add_property(todo, icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
  }
  if (!t.sensitivity.empty())
    icalcomponent_add_property(todo, icalproperty_new_class(ClassOf(t.sensitivity)));
  for (const std::string& c : SplitCategories(t.categories))
    icalcomponent_add_property(todo, icalproperty_new_categories(c.c_str()));
  icalrecurrencetype rule;
  if (RuleOf(t, &rule)) icalcomponent_add_property(todo, icalproperty_new_rrule(rule));
  if (t.alarmType == "Time" && t.alarmTime) {
    icalcomponent* alarm = icalcomponent_new_valarm();
    icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icalcomponent_add_property(
        alarm, icalproperty_new_description(t.subject.empty() ? "Task" : t.subject.c_str()));
    icaltriggertype trigger = icaltriggertype_from_int(0);
    trigger.time = UtcOf(LocalDateToEpoch(*t.alarmTime));
    icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
    icalcomponent_add_component(todo, alarm);
  }
  return todo;
}

class TasksExporter : public Exporter {
 public:
  std::string name() const override { return "tasks"; }
  std::string fileName() const override { return "tasks.ics"; }
  size_t Export(Session& session, const std::filesystem::path& path, Progress& progress) override {
    std::vector<TaskRecord> tasks;
    ComPtr<IDataTable> table = session.Table(DTID_TASK);
    ForEachItem(table.Get(), "tasks", [&](IItem* item, ULONG n, ULONG total) {
      tasks.push_back(ReadTask(item));
      progress.Update(n + 1, total);
    });
    std::string text = TasksToICalendar(tasks, std::time(nullptr));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw HostError(kExitFailure, "cannot write " + path.string());
    return tasks.size();
  }
};

}  // namespace

std::time_t LocalDateToEpoch(DATE local) {
  auto p = SplitDate(local);
  if (!p) return 0;
  std::tm tm{};
  tm.tm_year = p->year - 1900;
  tm.tm_mon = p->month - 1;
  tm.tm_mday = p->day;
  tm.tm_hour = p->hour;
  tm.tm_min = p->minute;
  tm.tm_sec = p->second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::string TasksToICalendar(const std::vector<TaskRecord>& tasks, std::time_t now) {
  icalcomponent* cal = icalcomponent_new_vcalendar();
  icalcomponent_add_property(cal, icalproperty_new_version("2.0"));
  icalcomponent_add_property(cal, icalproperty_new_prodid("-//QWBDCAWM//qwbdcawm//EN"));
  for (const TaskRecord& t : tasks) icalcomponent_add_component(cal, TodoOf(t, now));
  char* text = icalcomponent_as_ical_string_r(cal);
  std::string out = text ? text : "";
  free(text);
  icalcomponent_free(cal);
  return out;
}

std::unique_ptr<Exporter> MakeTasksExporter() { return std::make_unique<TasksExporter>(); }

}  // namespace qwbhost
