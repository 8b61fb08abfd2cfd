// The task record <-> task column mapping, both ways, through the real record codec: replies
// encoded as the phone sends them, requests read back as the phone reads them.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/FieldMap.h"
#include "core/Log.h"
#include "link/DeviceRecordWM.h"
#include "tables/organizer/DataTableWMTask.h"
#include "tables/organizer/TimeConv.h"
#include "tests/tables/organizer/MappingTestUtil.h"

namespace qwb {
namespace {

// Device -> column: the field map a reply with these properties gives.
FieldMap Read(const std::vector<Property>& props) {
  std::vector<uint8_t> reply = devrec::EncodeReply(0, props);
  CPropertyMap map;
  EXPECT_EQ(DecodeTaskRecord(3, reply.data(), static_cast<DWORD>(reply.size()), &map), kDecodeOk);
  FieldMap fields;
  CDataTableWMTask::TaskRecordToFields(map, &fields);
  return fields;
}

// Column -> device: the properties of the request a field map gives, as the phone reads them.
Props Write(FieldMap& fields) {
  CPropertyList list(3);
  CDataTableWMTask::TaskFieldsToRecord(fields, &list);
  DWORD size = 0;
  LocalBuffer record = BuildDeviceRecord(list, 0, 0, &size);
  devrec::Request request;
  EXPECT_EQ(devrec::ReadRequest(record.get(), size, 0, &request), devrec::ReadError::kOk);
  EXPECT_EQ(request.kind, 3u);
  return request.properties;
}

// Values the end-to-end tests do not meet: a missing Complete is undone, a reminder without a
// time is none, an unknown sensitivity is left out.
TEST(TaskMappingTest, ReadsPlainColumns) {
  FieldMap f = Read({Property::Integer("Importance", 1), Property::Boolean("ReminderSet", 0xFFFF),
                     Property::Integer("ulSensitivity", 9)});
  ExpectColumns(f, "PRIORITY=High DONE_STATE=Undone ALARM_TYPE=- SENSITIVITY=-");
}

std::vector<Property> Recurring(int type, std::vector<Property> more) {
  std::vector<Property> p = {Property::Boolean("IsRecurring", 0xFFFF),
                             Property::Integer("RecurrPattern.RecurrenceType", type)};
  for (auto& m : more) p.push_back(std::move(m));
  return p;
}
Property Pattern(const char* name, int32_t v) {
  return Property::Integer(std::string("RecurrPattern.") + name, v);
}

TEST(TaskMappingTest, ReadsRecurrences) {
  const Property endMay1 = Property::Date("RecurrPattern.PatternEndDate", At(2026, 5, 1));
  const struct {
    std::vector<Property> props;
    const char* expect;
  } cases[] = {
      // No interval is 1; an instance outside 1..5 adds no bit; no instance, no flag.
      {Recurring(3, {Pattern("DayOfWeekMask", 4), Pattern("Instance", 6)}), ".FLAG=4 .EVERY=1"},
      {Recurring(3, {Pattern("DayOfWeekMask", 4)}), ".FLAG=-"},
      // Daily: mask 62 is the Monday-to-Friday flag, any other mask none.
      {Recurring(0, {Pattern("DayOfWeekMask", 62), endMay1}),
       ".TYPE=1 .FLAG=1 .EXPIRE_TYPE=0 .EXPIRE_DATE=2026-05-01"},
      {Recurring(0, {Pattern("DayOfWeekMask", 2)}), ".FLAG=-"},
      // Yearly: the day and month in the start date's year, at its time of day; an impossible
      // day sets nothing.
      {Recurring(5, {Property::Date("StartDate", At(2026, 3, 1, 10, 30)), Pattern("DayOfMonth", 15),
                     Pattern("MonthOfYear", 6)}),
       ".TYPE=5 .FLAG=0 .EVERY_DATE=2026-06-15T10:30"},
      {Recurring(5, {Property::Date("StartDate", At(2026, 3, 1)), Pattern("DayOfMonth", 31),
                     Pattern("MonthOfYear", 2)}),
       ".EVERY_DATE=-"},
      // Yearly by weekday needs the month for its flag.
      {Recurring(6,
                 {Pattern("DayOfWeekMask", 2), Pattern("Instance", 5), Pattern("MonthOfYear", 5)}),
       ".TYPE=6 .FLAG=2050"},
      {Recurring(6, {Pattern("DayOfWeekMask", 2), Pattern("Instance", 5)}), ".FLAG=-"},
      {Recurring(4, {}), ".TYPE=-"},
      // The end: NoEndDate false stops; an occurrence count below 1 stops too.
      {Recurring(1, {Property::Boolean("RecurrPattern.NoEndDate", 0), Pattern("Occurrences", 4)}),
       ".EXPIRE_TYPE=- .EXPIRE_VALUE=0"},
      {Recurring(1, {Pattern("Occurrences", 0), endMay1}), ".EXPIRE_TYPE=-"},
      // Not recurring, whatever the pattern says.
      {{Property::Boolean("IsRecurring", 0), Pattern("RecurrenceType", 1)},
       ".TYPE=0 .EXPIRE_DATE=null .EVERY=-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expect);
    ExpectColumns(Read(c.props), c.expect);
  }
}

TEST(TaskMappingTest, WritesDatesClampedTo1900Through2099) {
  // An empty sensitivity is Normal.
  FieldMap f = Fields({{u"START_DATE", Variant::Date(At(2150, 1, 1))},
                       {u"END_DATE", Variant::Date(At(2150, 6, 1))}});
  ExpectProps(Write(f), "StartDate=2099-12-31T23:59:59 DueDate=2099-12-31T23:59:59");
  f = Fields({{u"START_DATE", Variant::Date(At(1850, 1, 1))}});
  ExpectProps(Write(f),
              "StartDate=1900-01-01 DueDate=1900-01-01 Complete=- Importance=- ulSensitivity=0");
}

TEST(TaskMappingTest, WritesRecurrenceKinds) {
  const struct {
    LONG type, flag;
    std::vector<std::pair<std::u16string, Variant>> more;
    const char* expect;
  } cases[] = {
      {1, 0, {}, ".RecurrenceType=0 .DayOfWeekMask=-"},
      {3, 0, {}, ".RecurrenceType=2 .DayOfMonth=17"},
      {4, 2048 + 64, {}, ".RecurrenceType=3 .DayOfWeekMask=64 .Instance=5"},
      {5,
       0,
       {{u"RECURRENCE_EVERY_DATE", Variant::Date(At(2026, 12, 24))}},
       ".RecurrenceType=5 .DayOfMonth=24 .MonthOfYear=12"},
      // An interval below 1 is sent as 1.
      {6,
       128 + 32,
       {{u"RECURRENCE_EVERY_DATE", Variant::Date(At(2026, 11, 1))},
        {u"RECURRENCE_EVERY", Variant::I4(0)},
        {u"RECURRENCE_EXPIRE_TYPE", Variant::I4(2)}},
       ".DayOfWeekMask=32 .Instance=1 .MonthOfYear=11 .Interval=1 .NoEndDate=65535"},
      // Yearly by weekday takes the month of the every-date as it stands: without one (0,
      // 30 December 1899) December, never the start date's month and never 0.
      {6, 256 + 2, {}, ".RecurrenceType=6 .DayOfWeekMask=2 .Instance=2 .MonthOfYear=12"},
      {6,
       256 + 2,
       {{u"RECURRENCE_EVERY_DATE", Variant::Date(0)}},
       ".RecurrenceType=6 .MonthOfYear=12"},
      // Until a date: both pattern dates cut to whole days.
      {2,
       10,
       {{u"RECURRENCE_EXPIRE_DATE", Variant::Date(At(2026, 12, 1, 18, 0))}},
       ".PatternStartDate=2026-09-17 .PatternEndDate=2026-12-01"},
      // A count of 0 and unknown kinds write nothing of their own.
      {7,
       0,
       {{u"RECURRENCE_EXPIRE_TYPE", Variant::I4(1)}, {u"RECURRENCE_EXPIRE_VALUE", Variant::I4(0)}},
       ".RecurrenceType=- .Occurrences=- IsRecurring=-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expect);
    FieldMap f = Fields({{u"START_DATE", Variant::Date(At(2026, 9, 17, 10, 0))},
                         {u"RECURRENCE_TYPE", Variant::I4(c.type)},
                         {u"RECURRENCE_FLAG", Variant::I4(c.flag)}});
    for (const auto& [key, value] : c.more) PutField(f, key, value);
    ExpectProps(Write(f), c.expect);
  }
}

// A record written from columns and read back gives the columns again for the mapped kinds.
TEST(TaskMappingTest, ColumnsSurviveTheRoundTrip) {
  struct Case {
    LONG type, flag;
  } cases[] = {{1, 1}, {2, 10}, {4, 260}, {6, 4 + 1024}};
  for (const Case& c : cases) {
    FieldMap f = Fields({{u"START_DATE", Variant::Date(At(2026, 2, 3))},
                         {u"RECURRENCE_TYPE", Variant::I4(c.type)},
                         {u"RECURRENCE_FLAG", Variant::I4(c.flag)},
                         {u"RECURRENCE_EVERY_DATE", Variant::Date(At(2026, 8, 1))},
                         {u"RECURRENCE_EXPIRE_TYPE", Variant::I4(2)}});
    std::vector<Property> back;
    for (const auto& r : Write(f)) back.push_back(Property{r.name, r.value});
    ExpectColumns(Read(back), ".TYPE=" + std::to_string(c.type) +
                                  " .FLAG=" + std::to_string(c.flag) + " .EXPIRE_TYPE=2");
  }
}

}  // namespace
}  // namespace qwb
