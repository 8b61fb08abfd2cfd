#include "host/TasksIcs.h"

#include <libical/ical.h>

#include <cstdio>

#include "host/ContentLines.h"
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

// "YYYYMMDD" of a date column.
std::string DateValue(DATE d) {
  auto p = SplitDate(d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", p ? p->year : 1899, p ? p->month : 12,
                p ? p->day : 30);
  return buf;
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

const char* ClassOf(const std::string& sensitivity) {
  std::string s = Lower(sensitivity);
  if (s == "personal" || s == "private") return "PRIVATE";
  if (s == "confidential") return "CONFIDENTIAL";
  return "PUBLIC";
}

std::string RuleText(const TaskRecord& t) {
  icalrecurrencetype rule;
  if (!RuleOf(t, &rule)) return {};
  char* text = icalrecurrencetype_as_string_r(&rule);
  std::string out = text ? text : "";
  free(text);
  return out;
}

class TasksExporter : public Exporter {
 public:
  std::string name() const override { return "tasks"; }
  ExportFormat format() const override { return ExportFormat::kICalendar; }
  std::vector<ExportRecord> Read(Session& session, const ExportContext& context,
                                 Progress& progress) override {
    std::vector<ExportRecord> records;
    ComPtr<IDataTable> table = session.Table(DTID_TASK);
    ForEachItem(table.Get(), "tasks", [&](IItem* item, ULONG n, ULONG total) {
      records.push_back(TaskToTodo(ReadTask(item), context));
      progress.Update(n + 1, total);
    });
    return records;
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

ExportRecord TaskToTodo(const TaskRecord& t, const ExportContext& context) {
  ExportRecord record{context.Uid("task", t.id), {}};
  ContentLines out;
  out.Begin("VTODO").Raw("UID", record.uid).Raw("DTSTAMP", context.Stamp());
  if (!t.subject.empty()) out.Text("SUMMARY", t.subject);
  if (!t.detail.empty()) out.Text("DESCRIPTION", t.detail);
  const ContentParams date{{"VALUE", {"DATE"}}};
  if (t.start) out.Raw("DTSTART", DateValue(*t.start), date);
  if (t.due) out.Raw("DUE", DateValue(*t.due), date);
  if (!t.priority.empty())
    out.Raw("PRIORITY", t.priority == "High" ? "1" : t.priority == "Low" ? "9" : "5");
  out.Raw("STATUS", t.done() ? "COMPLETED" : "NEEDS-ACTION");
  if (!t.sensitivity.empty()) out.Raw("CLASS", ClassOf(t.sensitivity));
  out.List("CATEGORIES", SplitCategories(t.categories));
  std::string rule = RuleText(t);
  if (!rule.empty()) out.Raw("RRULE", rule);
  if (t.alarmType == "Time" && t.alarmTime) {
    out.Begin("VALARM").Raw("ACTION", "DISPLAY");
    out.Text("DESCRIPTION", t.subject.empty() ? "Task" : t.subject);
    out.Raw("TRIGGER", UtcDateTimeValue(LocalDateToEpoch(*t.alarmTime)),
            {{"VALUE", {"DATE-TIME"}}});
    out.End("VALARM");
  }
  out.End("VTODO");
  record.body = out.str();
  return record;
}

std::unique_ptr<Exporter> MakeTasksExporter() { return std::make_unique<TasksExporter>(); }

}  // namespace qwbhost
