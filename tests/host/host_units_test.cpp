// The CLI's own pieces: option parsing into task edits, the text and date forms, the
// recurrence the columns describe, and the iCalendar text read back with libical.
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "IcalCheck.h"
#include "host/HostError.h"
#include "host/Progress.h"
#include "host/TaskRecord.h"
#include "host/TasksCommand.h"
#include "host/TasksIcs.h"
#include "host/Text.h"

namespace qwbhost {
namespace {

using namespace icalcheck;

DATE D(int y, int m, int d, int h = 0, int mi = 0) { return *MakeDate(y, m, d, h, mi); }

int UsageExit(const std::function<void()>& f) {
  try {
    f();
  } catch (const HostError& e) {
    return e.exitCode();
  }
  return -1;
}

TEST(HostUnits, TextAndDateForms) {
  EXPECT_EQ(FormatDay(*ParseDay("2026-02-28")), "2026-02-28");
  for (const char* bad : {"2026-02-29", "2026-2-28", "2026-02-28x", ""})
    EXPECT_FALSE(ParseDay(bad)) << bad;
  EXPECT_EQ(FormatMinute(*ParseMinute("2026-03-08 09:05")), "2026-03-08 09:05");
  EXPECT_EQ(FormatIso(*ParseMinute("2026-03-08T23:59")), "2026-03-08T23:59:00");
  EXPECT_FALSE(ParseMinute("2026-03-08 24:00"));
  EXPECT_FALSE(ParseMinute("2026-03-08 09:5"));

  std::u16string wide = u"Caf\u00E9 \u20AC \U0001F600";
  EXPECT_EQ(Utf8(wide), "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16(Utf8(wide)), wide);
  // Malformed text is replaced, not refused.
  EXPECT_EQ(Utf16("ab\xE2\x82"), u"ab\uFFFD");
  EXPECT_EQ(Utf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(HostUnits, DaysAndRecurrenceOptions) {
  int instance = 0;
  EXPECT_EQ(ParseDays("MO,we", &instance), 10);
  EXPECT_EQ(instance, 0);
  EXPECT_EQ(ParseDays("2TU", &instance), 4);
  EXPECT_EQ(instance, 2);
  instance = 0;
  EXPECT_EQ(ParseDays("-1FR,-1SA", &instance), 32 + 64);
  EXPECT_EQ(instance, 5);
  for (const char* bad : {"1MO,2TU", "XX", "MO,", "6MO"}) {
    instance = 0;
    EXPECT_EQ(UsageExit([&] { ParseDays(bad, &instance); }), kExitUsage) << bad;
  }
  EXPECT_EQ(FormatDays(10), "MO,WE");

  TaskOptions o;
  o.subject = "s";
  o.start = "2026-03-10";  // the second Tuesday of March
  o.recur = "monthly-weekday";
  TaskEdit e = MakeEdit(o, std::nullopt, true);
  ASSERT_TRUE(e.recurrence);
  EXPECT_EQ(e.recurrence->kind, RecurKind::kMonthlyWeekday);
  EXPECT_EQ(e.recurrence->dayMask, 4);
  EXPECT_EQ(e.recurrence->instance, 2);
  EXPECT_EQ(e.recurrence->end, Recurrence::End::kNone);

  o.recur = "weekly";
  o.count = 4;
  e = MakeEdit(o, std::nullopt, true);
  EXPECT_EQ(e.recurrence->dayMask, 4);  // the start date's weekday
  EXPECT_EQ(e.recurrence->end, Recurrence::End::kCount);
  EXPECT_EQ(e.recurrence->count, 4);

  o.count.reset();
  o.recur = "daily";
  o.days = "MO,TU,WE,TH,FR";
  o.until = "2026-04-01";
  o.every = 2;
  e = MakeEdit(o, std::nullopt, true);
  EXPECT_TRUE(e.recurrence->weekdaysOnly);
  EXPECT_EQ(e.recurrence->every, 2);
  EXPECT_EQ(FormatDay(*e.recurrence->until), "2026-04-01");

  o.days = "MO";
  EXPECT_EQ(UsageExit([&] { MakeEdit(o, std::nullopt, true); }), kExitUsage);
  o.days.reset();
  o.count = 3;
  EXPECT_EQ(UsageExit([&] { MakeEdit(o, std::nullopt, true); }), kExitUsage);  // until + count
  o.count.reset();
  o.every = 0;
  EXPECT_EQ(UsageExit([&] { MakeEdit(o, std::nullopt, true); }), kExitUsage);

  // Without a start date the day-based kinds cannot be set on an update.
  TaskOptions u;
  u.recur = "monthly";
  EXPECT_EQ(UsageExit([&] { MakeEdit(u, std::nullopt, false); }), kExitUsage);
  EXPECT_EQ(MakeEdit(u, D(2026, 1, 31), false).recurrence->monthDay, 31);
  u.recur = "fortnightly";
  EXPECT_EQ(UsageExit([&] { MakeEdit(u, D(2026, 1, 31), false); }), kExitUsage);
  TaskOptions v;
  v.every = 3;
  EXPECT_EQ(UsageExit([&] { MakeEdit(v, std::nullopt, false); }), kExitUsage);
}

TEST(HostUnits, FieldOptions) {
  TaskOptions o;
  o.priority = "high";
  o.sensitivity = "CONFIDENTIAL";
  o.alarm = "2026-05-01 07:30";
  o.done = true;
  TaskEdit e = MakeEdit(o, std::nullopt, false);
  EXPECT_EQ(*e.priority, "High");
  EXPECT_EQ(*e.sensitivity, "Confidential");
  EXPECT_EQ(FormatMinute(**e.alarm), "2026-05-01 07:30");
  EXPECT_TRUE(*e.done);
  EXPECT_FALSE(e.start);  // an update keeps its dates

  o.alarm = "none";
  e = MakeEdit(o, std::nullopt, false);
  ASSERT_TRUE(e.alarm);
  EXPECT_FALSE(*e.alarm);

  // A new task without dates starts on its due date, or today.
  TaskOptions a;
  EXPECT_EQ(UsageExit([&] { MakeEdit(a, std::nullopt, true); }), kExitUsage);  // no subject
  a.subject = "s";
  a.due = "2026-06-01";
  EXPECT_EQ(FormatDay(*MakeEdit(a, std::nullopt, true).start), "2026-06-01");
  a.due.reset();
  EXPECT_TRUE(MakeEdit(a, std::nullopt, true).start.has_value());

  for (auto bad : std::vector<std::function<void(TaskOptions&)>>{
           [](TaskOptions& x) { x.priority = "urgent"; },
           [](TaskOptions& x) { x.sensitivity = "secret"; },
           [](TaskOptions& x) { x.alarm = "tomorrow"; },
           [](TaskOptions& x) { x.start = "2026-13-01"; },
           [](TaskOptions& x) {
             x.start = "2026-05-02";
             x.due = "2026-05-01";
           },
           [](TaskOptions& x) { x.done = x.undone = true; }}) {
    TaskOptions x;
    x.subject = "s";
    bad(x);
    EXPECT_EQ(UsageExit([&] { MakeEdit(x, std::nullopt, true); }), kExitUsage);
  }
}

TaskRecord Task(LONG id, const std::string& subject) {
  TaskRecord t;
  t.id = id;
  t.subject = subject;
  t.doneState = "Undone";
  return t;
}

TEST(HostUnits, ICalendarReadsBack) {
  setenv("TZ", "UTC0", 1);
  tzset();
  TaskRecord full = Task(7, "Pay rent, now; really");
  full.detail = "Line one\nLine two";
  full.start = D(2026, 3, 2);
  full.due = D(2026, 3, 5);
  full.priority = "High";
  full.doneState = "Done";
  full.sensitivity = "Confidential";
  full.categories = "Home, Money";
  full.alarmType = "Time";
  full.alarmTime = D(2026, 3, 1, 9, 15);
  full.recurType = 2;
  full.recurFlag = 10;
  full.recurEvery = 2;
  full.expireType = 1;
  full.expireValue = 5;
  std::vector<TaskRecord> tasks{full};

  // One task per other recurrence form, ids 8 and up; expiry type 2 is "no end".
  struct Form {
    LONG type, flag, every, expireType;
    std::optional<DATE> start, everyDate, until;
    const char* rule;
  };
  const Form forms[] = {
      {4, 4 + 256, 1, 0, {}, {}, D(2026, 12, 31), "FREQ=MONTHLY;UNTIL=20261231;BYDAY=2TU"},
      {6, 32 + 2048, 1, 2, {}, D(2026, 11, 1), {}, "FREQ=YEARLY;BYDAY=-1FR;BYMONTH=11"},
      {5, 0, 1, 2, D(2026, 6, 15), D(2026, 6, 20), {}, "FREQ=YEARLY;BYMONTHDAY=20;BYMONTH=6"},
      {1, 1, 1, 2, {}, {}, {}, "FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR"},
      {3, 0, 3, 2, D(2026, 1, 28), {}, {}, "FREQ=MONTHLY;INTERVAL=3;BYMONTHDAY=28"}};
  for (const Form& f : forms) {
    TaskRecord t = Task(LONG(7 + tasks.size()), f.rule);
    t.recurType = f.type;
    t.recurFlag = f.flag;
    t.recurEvery = f.every;
    t.expireType = f.expireType;
    t.start = f.start;
    t.everyDate = f.everyDate;
    t.expireDate = f.until;
    tasks.push_back(t);
  }
  tasks[1].priority = "Low";
  tasks[2].priority = "Normal";
  tasks[2].sensitivity = "Personal";

  std::time_t now = 1780000000;  // 2026-05-28T20:26:40Z
  std::string text = TasksToICalendar(tasks, now);
  icalcomponent* cal = icalparser_parse_string(text.c_str());
  ASSERT_NE(cal, nullptr);
  EXPECT_EQ(icalcomponent_isa(cal), ICAL_VCALENDAR_COMPONENT);
  EXPECT_EQ(icalcomponent_count_components(cal, ICAL_VTODO_COMPONENT), 6);

  icalcomponent* t = Todo(cal, "qwbdcawm-task-7");
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(icalcomponent_get_summary(t), "Pay rent, now; really");
  EXPECT_STREQ(icalcomponent_get_description(t), "Line one\nLine two");
  icaltimetype start = icalcomponent_get_dtstart(t);
  EXPECT_TRUE(start.is_date);
  EXPECT_EQ(DateNumber(start), 20260302);
  EXPECT_EQ(DateNumber(icalcomponent_get_due(t)), 20260305);
  EXPECT_EQ(Priority(t), 1);
  EXPECT_EQ(icalcomponent_get_status(t), ICAL_STATUS_COMPLETED);
  icaltimetype completed =
      icalproperty_get_completed(icalcomponent_get_first_property(t, ICAL_COMPLETED_PROPERTY));
  EXPECT_EQ(icaltime_as_timet(completed), now);
  EXPECT_EQ(Class(t), ICAL_CLASS_CONFIDENTIAL);
  std::vector<std::string> categories;
  for (icalproperty* p = icalcomponent_get_first_property(t, ICAL_CATEGORIES_PROPERTY); p;
       p = icalcomponent_get_next_property(t, ICAL_CATEGORIES_PROPERTY))
    categories.push_back(icalproperty_get_categories(p));
  EXPECT_EQ(categories, (std::vector<std::string>{"Home", "Money"}));
  EXPECT_EQ(Rule(t), "FREQ=WEEKLY;COUNT=5;INTERVAL=2;BYDAY=MO,WE");
  icalcomponent* alarm = icalcomponent_get_first_component(t, ICAL_VALARM_COMPONENT);
  ASSERT_NE(alarm, nullptr);
  EXPECT_EQ(icalproperty_get_action(icalcomponent_get_first_property(alarm, ICAL_ACTION_PROPERTY)),
            ICAL_ACTION_DISPLAY);
  icaltimetype trigger = Trigger(alarm);
  EXPECT_TRUE(icaltime_is_utc(trigger));
  EXPECT_EQ(icaltime_as_timet(trigger), LocalDateToEpoch(D(2026, 3, 1, 9, 15)));

  t = Todo(cal, "qwbdcawm-task-8");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(icalcomponent_get_status(t), ICAL_STATUS_NEEDSACTION);
  EXPECT_EQ(icalcomponent_get_first_property(t, ICAL_COMPLETED_PROPERTY), nullptr);
  EXPECT_EQ(Priority(t), 9);
  EXPECT_EQ(icalcomponent_get_first_property(t, ICAL_DTSTART_PROPERTY), nullptr);
  EXPECT_EQ(icalcomponent_get_first_component(t, ICAL_VALARM_COMPONENT), nullptr);
  t = Todo(cal, "qwbdcawm-task-9");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(Priority(t), 5);
  EXPECT_EQ(Class(t), ICAL_CLASS_PRIVATE);
  for (const Form& f : forms) EXPECT_EQ(Rule(Todo(cal, f.rule, true)), f.rule);
  icalcomponent_free(cal);
  unsetenv("TZ");
  tzset();
}

TEST(HostUnits, ProgressBar) {
  EXPECT_EQ(Progress::Render("tasks", 0, 4, 8), "tasks [        ] 0/4");
  EXPECT_EQ(Progress::Render("tasks", 2, 4, 8), "tasks [####    ] 2/4");
  EXPECT_EQ(Progress::Render("tasks", 5, 4, 8), "tasks [########] 5/4");
  EXPECT_EQ(Progress::Render("tasks", 3, 0, 4), "tasks [    ] 3");
}

TEST(HostUnits, Listing) {
  TaskRecord t = Task(3, "Caf\xC3\xA9 run");
  t.start = D(2026, 1, 2);
  t.priority = "High";
  t.recurType = 2;
  t.recurFlag = 10;
  t.expireType = 1;
  t.expireValue = 3;
  EXPECT_EQ(TasksTable({t, Task(14, "x")}),
            "ID  SUBJECT   START       DUE  PRIORITY  DONE  ALARM  RECURRENCE\n"
            "3   Caf\xC3\xA9 run  2026-01-02       High      no           weekly MO,WE x3\n"
            "14  x                                    no\n");
  EXPECT_EQ(TaskJson(t),
            nlohmann::json::parse(R"({"id": 3, "subject": "Caf\u00e9 run", "detail": "",
      "start": "2026-01-02", "due": null, "priority": "High", "done": false, "categories": "",
      "sensitivity": "", "alarm": null,
      "recurrence": {"kind": "weekly", "every": 1, "days": "MO,WE", "count": 3}})"));
  EXPECT_TRUE(TaskJson(Task(1, "y"))["recurrence"].is_null());
}

}  // namespace
}  // namespace qwbhost
