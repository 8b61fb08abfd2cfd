#include "host/TasksCommand.h"

#include <algorithm>
#include <ctime>
#include <sstream>

#include "host/HostError.h"
#include "host/Text.h"
#include "host/ListSink.h"

namespace qwbhost {
namespace {

std::string Normalize(const std::string& value, std::initializer_list<const char*> allowed,
                      const char* option) {
  std::string want = Lower(value);
  std::string list;
  for (const char* a : allowed) {
    if (Lower(a) == want) return a;
    if (!list.empty()) list.push_back('|');
    list.append(a);
  }
  ThrowUsage(std::string(option) + ": '" + value + "' is not one of " + list);
}

DATE Day(const std::string& text, const char* option) {
  auto d = ParseDay(text);
  if (!d) ThrowUsage(std::string(option) + ": '" + text + "' is not a date (YYYY-MM-DD)");
  return *d;
}

DATE Today() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return *MakeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

}  // namespace

Recurrence MakeRecurrence(const TaskOptions& o, std::optional<DATE> start) {
  Recurrence r;
  std::string kind = Lower(*o.recur);
  auto needStart = [&](const char* what) {
    if (!start) ThrowUsage(std::string("--recur ") + what + " needs a start date (--start)");
    return *SplitDate(*start);
  };
  int instance = 0;
  int mask = o.days ? ParseDays(*o.days, &instance) : 0;
  if (kind == "none") {
    if (o.every || o.days || o.until || o.count)
      ThrowUsage("--recur none takes no --every, --days, --until or --count");
    return r;
  }
  if (kind == "daily") {
    r.kind = RecurKind::kDaily;
    if (o.days) {
      if (mask != 62 || instance) ThrowUsage("--recur daily: --days can only be MO,TU,WE,TH,FR");
      r.weekdaysOnly = true;
      r.dayMask = 62;
    }
  } else if (kind == "weekly") {
    r.kind = RecurKind::kWeekly;
    if (instance) ThrowUsage("--recur weekly: no ordinal in --days");
    r.dayMask = o.days ? mask : 1 << needStart("weekly").dayOfWeek;
  } else if (kind == "monthly") {
    r.kind = RecurKind::kMonthly;
    if (o.days) ThrowUsage("--recur monthly repeats on the start date's day; use monthly-weekday");
    r.monthDay = needStart("monthly").day;
  } else if (kind == "monthly-weekday") {
    r.kind = RecurKind::kMonthlyWeekday;
    if (o.days) {
      r.dayMask = mask;
      r.instance =
          instance ? instance : std::min(5, (needStart("monthly-weekday").day - 1) / 7 + 1);
    } else {
      DateTimeParts s = needStart("monthly-weekday");
      r.dayMask = 1 << s.dayOfWeek;
      r.instance = std::min(5, (s.day - 1) / 7 + 1);
    }
  } else if (kind == "yearly") {
    r.kind = RecurKind::kYearly;
    if (o.days) ThrowUsage("--recur yearly repeats on the start date; no --days");
    DateTimeParts s = needStart("yearly");
    r.month = s.month;
    r.monthDay = s.day;
  } else {
    ThrowUsage("--recur: '" + *o.recur +
               "' is not one of daily|weekly|monthly|monthly-weekday|yearly|none");
  }
  if (o.every) {
    if (*o.every < 1) ThrowUsage("--every must be at least 1");
    r.every = *o.every;
  }
  if (o.until) {
    r.end = Recurrence::End::kUntil;
    r.until = Day(*o.until, "--until");
  } else if (o.count) {
    if (*o.count < 1) ThrowUsage("--count must be at least 1");
    r.end = Recurrence::End::kCount;
    r.count = *o.count;
  }
  return r;
}

namespace {

// The item of task `id`, found by listing the table.
ComPtr<IItem> FindTask(IDataTable* table, LONG id) {
  ComPtr<IItem> found;
  ForEachItem(table, "tasks", [&](IItem* item, ULONG, ULONG) {
    SUID suid = SUID_NULL;
    if (!found && SUCCEEDED(item->get_SUID(&suid)) && suid == id) found = ComPtr<IItem>(item);
  });
  if (!found) throw HostError(kExitFailure, "no task with id " + std::to_string(id));
  return found;
}

}  // namespace

TaskEdit MakeEdit(const TaskOptions& o, std::optional<DATE> currentStart, bool adding) {
  TaskEdit e;
  if (adding && (!o.subject || o.subject->empty())) ThrowUsage("tasks add needs --subject");
  e.subject = o.subject;
  e.detail = o.detail;
  e.categories = o.categories;
  if (o.start) e.start = Day(*o.start, "--start");
  if (o.due) e.due = Day(*o.due, "--due");
  if (e.start && e.due && *e.due < *e.start) ThrowUsage("--due is before --start");
  // A new task without dates starts today: the phone stores a date either way.
  if (adding && !e.start) e.start = e.due ? *e.due : Today();
  if (o.priority) e.priority = Normalize(*o.priority, {"High", "Normal", "Low"}, "--priority");
  if (o.sensitivity)
    e.sensitivity = Normalize(*o.sensitivity, {"Normal", "Personal", "Private", "Confidential"},
                              "--sensitivity");
  if (o.done && o.undone) ThrowUsage("--done and --undone exclude each other");
  if (o.done) e.done = true;
  if (o.undone) e.done = false;
  if (o.alarm) {
    if (Lower(*o.alarm) == "none") {
      e.alarm = std::optional<DATE>();
    } else {
      auto a = ParseMinute(*o.alarm);
      if (!a) ThrowUsage("--alarm: '" + *o.alarm + "' is not \"YYYY-MM-DD HH:MM\" or none");
      e.alarm = a;
    }
  }
  if (!o.recur && (o.every || o.days || o.until || o.count))
    ThrowUsage("--every, --days, --until and --count go with --recur");
  if (o.until && o.count) ThrowUsage("--until and --count exclude each other");
  if (o.recur) e.recurrence = MakeRecurrence(o, e.start ? e.start : currentStart);
  return e;
}

nlohmann::json TaskJson(const TaskRecord& t) {
  nlohmann::json j;
  j["id"] = t.id;
  j["subject"] = t.subject;
  j["detail"] = t.detail;
  j["start"] = t.start ? nlohmann::json(FormatDay(*t.start)) : nlohmann::json();
  j["due"] = t.due ? nlohmann::json(FormatDay(*t.due)) : nlohmann::json();
  j["priority"] = t.priority;
  j["done"] = t.done();
  j["categories"] = t.categories;
  j["sensitivity"] = t.sensitivity;
  j["alarm"] = t.alarmType == "Time" && t.alarmTime ? nlohmann::json(FormatMinute(*t.alarmTime))
                                                    : nlohmann::json();
  Recurrence r = t.recurrence();
  if (r.kind == RecurKind::kNone) {
    j["recurrence"] = nullptr;
  } else {
    static const char* const kKinds[] = {
        "none", "daily", "weekly", "monthly", "monthly-weekday", "yearly", "yearly-weekday"};
    nlohmann::json rj;
    rj["kind"] = kKinds[static_cast<int>(r.kind)];
    rj["every"] = r.every;
    if (r.dayMask) rj["days"] = FormatDays(r.dayMask);
    if (r.instance) rj["instance"] = r.instance == 5 ? -1 : r.instance;
    if (r.month) rj["month"] = r.month;
    if (r.monthDay) rj["monthDay"] = r.monthDay;
    if (r.end == Recurrence::End::kUntil && r.until) rj["until"] = FormatDay(*r.until);
    if (r.end == Recurrence::End::kCount) rj["count"] = r.count;
    j["recurrence"] = rj;
  }
  return j;
}

namespace {

TextTable TasksLayout() {
  TextTable table({"ID", "SUBJECT", "START", "DUE", "PRIORITY", "DONE", "ALARM", "RECURRENCE"});
  table.SetMaxWidth(1, 40);
  return table;
}

std::vector<std::string> TaskCells(const TaskRecord& t) {
  return {std::to_string(t.id), t.subject, t.start ? FormatDay(*t.start) : "",
          t.due ? FormatDay(*t.due) : "", t.priority, t.done() ? "yes" : "no",
          t.alarmType == "Time" && t.alarmTime ? FormatMinute(*t.alarmTime) : "",
          DescribeRecurrence(t.recurrence())};
}

}  // namespace

std::string TasksTable(const std::vector<TaskRecord>& tasks) {
  TextTable table = TasksLayout();
  for (const TaskRecord& t : tasks) table.AddRow(TaskCells(t));
  return table.str();
}

void ListTasks(Session& session, bool json, std::ostream& out) {
  ComPtr<IDataTable> table = session.Table(DTID_TASK);
  ListSink sink(out, json, TasksLayout());
  ForEachItem(table.Get(), "tasks", [&](IItem* item, ULONG, ULONG) {
    const TaskRecord t = ReadTask(item);
    sink.Add([&] { return TaskJson(t); }, [&] { return TaskCells(t); });
  });
  sink.Finish();
}

TaskRecord AddTask(Session& session, const TaskOptions& o) {
  TaskEdit edit = MakeEdit(o, std::nullopt, true);
  ComPtr<IDataTable> table = session.Table(DTID_TASK);
  ComPtr<IItem> item;
  CheckHr("NewItem",
          table->NewItem(DCADT_TASK, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
  if (!edit.recurrence) edit.recurrence = Recurrence{};
  ApplyEdit(item.Get(), edit, edit.start);
  SUID id = SUID_NULL;
  CheckHr("CreateItem", table->CreateItem(item.Get(), &id));
  return ReadTask(item.Get());
}

TaskRecord UpdateTask(Session& session, LONG id, const TaskOptions& o) {
  ComPtr<IDataTable> table = session.Table(DTID_TASK);
  ComPtr<IItem> item = FindTask(table.Get(), id);
  TaskRecord current = ReadTask(item.Get());
  TaskEdit edit = MakeEdit(o, current.start, false);
  std::optional<DATE> start = edit.start ? edit.start : current.start;
  if (edit.due && !edit.start && current.start && *edit.due < *current.start)
    ThrowUsage("--due is before the task's start date " + FormatDay(*current.start));
  ApplyEdit(item.Get(), edit, start);
  CheckHr("UpdateItem", table->UpdateItem(item.Get()));
  return ReadTask(item.Get());
}

void DeleteTask(Session& session, LONG id) {
  ComPtr<IDataTable> table = session.Table(DTID_TASK);
  ComPtr<IItem> item = FindTask(table.Get(), id);
  CheckHr("DeleteItem", table->DeleteItem(item.Get()));
}

}  // namespace qwbhost
