#include "host/TasksIcs.h"

#include <libical/ical.h>

#include <cstdio>
#include <fstream>

#include "host/HostError.h"
#include "host/IcsShared.h"
#include "host/Progress.h"
#include "host/Text.h"

namespace qwbhost {
namespace {

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
  if (RuleOf(t.recurrence(), &rule)) icalcomponent_add_property(todo, icalproperty_new_rrule(rule));
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
