#include "host/TasksIcs.h"

#include <libical/ical.h>

#include <cstdio>

#include "host/ContentLines.h"
#include "host/HostError.h"
#include "host/IcsShared.h"
#include "host/Progress.h"
#include "host/Text.h"

namespace qwbhost {
namespace {

// "YYYYMMDD" of a date column.
std::string DateValue(DATE d) {
  auto p = SplitDate(d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", p ? p->year : 1899, p ? p->month : 12,
                p ? p->day : 30);
  return buf;
}

std::string RuleText(const TaskRecord& t) {
  icalrecurrencetype rule;
  return RuleOf(t.recurrence(), &rule) ? qwbhost::RuleText(rule) : std::string();
}

class TasksExporter : public Exporter {
 public:
  std::string name() const override { return "tasks"; }
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
    ComPtr<IDataTable> table = session.Table(DTID_TASK);
    ForEachItem(table.Get(), "tasks", [&](IItem* item, ULONG n, ULONG total) {
      sink(TaskToTodo(ReadTask(item), context));
      progress.Update(n + 1, total);
    });
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
  ExportRecord record{context.Uid("task", t.id), {}, {}};
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
  if (!t.sensitivity.empty()) out.Raw("CLASS", ClassText(t.sensitivity));
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
