// The appointment record <-> schedule column mapping, both ways, through the real record
// codec: all-day and timed dates, the reminder ladder, recurrence with its end and the last
// occurrence, sensitivity and busy status, the lunar date type, and the property order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/FieldMap.h"
#include "link/DeviceRecordWM.h"
#include "tables/organizer/ConvLunar.h"
#include "tables/organizer/DataTableWMSchedule.h"
#include "tables/organizer/TimeConv.h"
#include "tests/tables/organizer/MappingTestUtil.h"
#include "wincompat/testhooks.h"

namespace qwb {
namespace {

class ScheduleMapping : public testing::Test {
 protected:
  // Seoul: nine hours ahead of UTC, no daylight saving.
  void SetUp() override { wincompat::SetTimeZoneRuleForTesting("KST-9"); }
  void TearDown() override { wincompat::SetTimeZoneRuleForTesting(""); }

  static FieldMap Read(const std::vector<Property>& props, const CConvLunar* lunar = nullptr) {
    const std::vector<uint8_t> reply = devrec::EncodeReply(0, props);
    CPropertyMap map;
    EXPECT_EQ(DecodeDeviceRecord(2, reply.data(), static_cast<DWORD>(reply.size()), &map),
              kDecodeOk);
    FieldMap fields;
    CDataTableWMSchedule::ScheduleRecordToFields(map, &fields, lunar);
    return fields;
  }

  static Props Write(FieldMap& fields) {
    CPropertyList list(2);
    CDataTableWMSchedule::ScheduleFieldsToRecord(fields, &list);
    DWORD size = 0;
    LocalBuffer record = BuildDeviceRecord(list, 0, 0, &size);
    devrec::Request request;
    EXPECT_EQ(devrec::ReadRequest(record.get(), size, 0, &request), devrec::ReadError::kOk);
    EXPECT_EQ(request.kind, 2u);
    return request.properties;
  }

  static std::string Names(const Props& props) {
    std::string out;
    for (const auto& p : props) out += (out.empty() ? "" : " ") + p.name;
    return out;
  }
};

Property Boolean(const char* name, uint16_t v) { return Property::Boolean(name, v); }
Property Pattern(const char* name, int32_t v) {
  return Property::Integer(std::string("RecurrPattern.") + name, v);
}

TEST_F(ScheduleMapping, DatesAllDayAndTimed) {
  FieldMap allDay = Read({Property::Date("Start", At(2026, 5, 3)),
                          Property::Date("End", At(2026, 5, 4)), Boolean("AllDayEvent", 0xFFFF)});
  ExpectColumns(allDay,
                "START_DATE=2026-05-03 END_DATE=2026-05-03T23:59 ISALLDAY=TRUE TYPE=0 DETAIL= "
                "CATEGORIES= SENSITIVITY=Normal STATUS=Free START_DATE_TYPE=SOLAR "
                "END_DATE_TYPE=SOLAR PRIORITY=1 DONE_STATE=0 SUBJECT=- ATTENDEES=-");
  ExpectProps(Write(allDay), "Start=2026-05-03 End=2026-05-04 AllDayEvent=65535 Duration=-");

  // 10:00 to 11:30 in Seoul is 01:00 to 02:30 UTC.
  FieldMap timed = Read({Property::Date("Start", At(2026, 5, 3, 1)),
                         Property::Date("End", At(2026, 5, 3, 2, 30)),
                         Boolean("AllDayEvent", 0)});
  ExpectColumns(timed, "START_DATE=2026-05-03T10:00 END_DATE=2026-05-03T11:30 ISALLDAY=FALSE");
  ExpectProps(Write(timed),
              "Start=2026-05-03T01:00 End=2026-05-03T02:30 Duration=90 AllDayEvent=-");

  // Without an End the end is the start; an end before the start is sent as the start; dates
  // outside 1900..2099 are moved and the columns follow.
  ExpectColumns(Read({Property::Date("Start", At(2026, 5, 3, 1))}), "END_DATE=2026-05-03T10:00");
  FieldMap moved = Fields({{u"START_DATE", Variant::Date(At(2150, 1, 1))},
                           {u"END_DATE", Variant::Date(At(2026, 1, 1))},
                           {u"ISALLDAY", Variant::Str(u"true")}});
  ExpectProps(Write(moved), "Start=2099-12-31T14:59:59 End=2099-12-31T14:59:59 Duration=0 "
                            "AllDayEvent=-");
  ExpectColumns(moved, "START_DATE=2099-12-31T23:59:59 END_DATE=2099-12-31T23:59:59 TYPE=0");
  // Half a second rounds a duration away from zero.
  FieldMap rounded = Fields({{u"START_DATE", Variant::Date(At(2026, 1, 1, 9))},
                             {u"END_DATE", Variant::Date(At(2026, 1, 1, 9, 1, 30) - 0.6 / 86400)}});
  ExpectProps(Write(rounded), "Duration=1");
}

TEST_F(ScheduleMapping, ReminderLadder) {
  const struct {
    std::vector<Property> props;
    const char* expect;
  } reads[] = {
      {{Boolean("ReminderSet", 0xFFFF), Property::Integer("ReminderMinutesBeforeStart", 120)},
       "ALARM_TYPE=Hour ALARM_VALUE=2"},
      {{Boolean("ReminderSet", 0xFFFF), Property::Integer("ReminderMinutesBeforeStart", 90)},
       "ALARM_TYPE=Minute ALARM_VALUE=90"},
      {{Boolean("ReminderSet", 0xFFFF), Property::Integer("ReminderMinutesBeforeStart", 2880)},
       "ALARM_TYPE=Day ALARM_VALUE=2"},
      {{Boolean("ReminderSet", 0xFFFF), Property::Integer("ReminderMinutesBeforeStart", 20160)},
       "ALARM_TYPE=Week ALARM_VALUE=2"},
      {{Boolean("ReminderSet", 0xFFFF), Property::Integer("ReminderMinutesBeforeStart", 4320)},
       "ALARM_TYPE=Day ALARM_VALUE=3"},
      {{Boolean("ReminderSet", 0xFFFF), Property::Integer("ReminderMinutesBeforeStart", 59)},
       "ALARM_TYPE=Minute ALARM_VALUE=59"},
      {{Boolean("ReminderSet", 0xFFFF), Property::Integer("ReminderMinutesBeforeStart", 0)},
       "ALARM_TYPE=Minute ALARM_VALUE=0"},
      {{Boolean("ReminderSet", 0xFFFF), Property::Integer("ReminderMinutesBeforeStart", -15)},
       "ALARM_TYPE=Week ALARM_VALUE=0"},
      {{Boolean("ReminderSet", 0xFFFF)}, "ALARM_TYPE=Minute ALARM_VALUE=0"},
      {{Boolean("ReminderSet", 0), Property::Integer("ReminderMinutesBeforeStart", 15)},
       "ALARM_TYPE=None ALARM_VALUE=0"},
      {{}, "ALARM_TYPE=None ALARM_VALUE=- ALARM_BEFORETARGET_VALUE=0 ALARM_TARGET_DATE=null "
           "ALARM_BEFORETARGET_TIME=null"},
  };
  for (const auto& c : reads) {
    SCOPED_TRACE(c.expect);
    ExpectColumns(Read(c.props), c.expect);
  }

  const struct {
    const char16_t* type;
    LONG value;
    const char* props;
    const char* columns;
  } writes[] = {
      {u"Day", 1, "ReminderSet=65535 ReminderMinutesBeforeStart=1440", "ALARM_VALUE=1440"},
      {u"Week", 2, "ReminderSet=65535 ReminderMinutesBeforeStart=20160", "ALARM_VALUE=20160"},
      {u"Hour", 3, "ReminderSet=65535 ReminderMinutesBeforeStart=180", "ALARM_TYPE=Hour"},
      {u"Minute", 5, "ReminderSet=65535 ReminderMinutesBeforeStart=5", "ALARM_VALUE=5"},
      {u"None", 5, "ReminderSet=0 ReminderMinutesBeforeStart=-", "ALARM_VALUE=5"},
      {u"", 5, "ReminderSet=0 ReminderMinutesBeforeStart=-", "ALARM_TYPE="},
      {u"hour", 3, "ReminderSet=65535 ReminderMinutesBeforeStart=0",
       "ALARM_TYPE=Minute ALARM_VALUE=0"},
      {u"Target", 3, "ReminderMinutesBeforeStart=-", "ALARM_TYPE=None ALARM_VALUE=null"},
  };
  for (const auto& c : writes) {
    SCOPED_TRACE(c.props);
    FieldMap f = Fields({{u"START_DATE", Variant::Date(At(2026, 1, 1, 9))},
                         {u"ALARM_TYPE", Variant::Str(c.type)},
                         {u"ALARM_VALUE", Variant::I4(c.value)}});
    ExpectProps(Write(f), c.props);
    ExpectColumns(f, c.columns);
  }
  // An alarm at a set time: the reminder is set, then cleared again.
  FieldMap target = Fields({{u"ALARM_TYPE", Variant::Str(u"BeforeTarget")}});
  const Props props = Write(target);
  std::string reminders;
  for (const auto& p : props)
    if (p.name == "ReminderSet") reminders += std::to_string(p.value[0]) + ",";
  EXPECT_EQ(reminders, "255,0,");
}

TEST_F(ScheduleMapping, TextColumns) {
  const struct {
    std::vector<Property> props;
    const char* expect;
  } reads[] = {
      {{Property::Integer("ulSensitivity", 2), Property::Integer("ulBusyStatus", 3)},
       "SENSITIVITY=Private STATUS=OutofOffice"},
      {{Property::Integer("ulSensitivity", 7), Property::Integer("ulBusyStatus", -1)},
       "SENSITIVITY=Normal STATUS=Free"},
  };
  for (const auto& c : reads) {
    SCOPED_TRACE(c.expect);
    ExpectColumns(Read(c.props), c.expect);
  }
  FieldMap text = Read({Property::String("Subject", "회의"),
                        Property::String("Location", "3층 회의실"),
                        Property::String("Body", "Q3 review"),
                        Property::String("Categories", "Work, 회사"),
                        Property::String("Attendee", "kim@example.com")});
  EXPECT_EQ(ReadFieldString(text, u"SUBJECT"), u"회의");
  EXPECT_EQ(ReadFieldString(text, u"LOCATION"), u"3층 회의실");
  EXPECT_EQ(ReadFieldString(text, u"DETAIL"), u"Q3 review");
  EXPECT_EQ(ReadFieldString(text, u"CATEGORIES"), u"Work, 회사");
  EXPECT_EQ(ReadFieldString(text, u"ATTENDEES"), u"kim@example.com");
  ExpectProps(Write(text), "Subject=회의 Attendee=kim@example.com");

  const struct {
    const char16_t *sensitivity, *status;
    const char* expect;
  } writes[] = {
      {u"", u"", "ulSensitivity=0 ulBusyStatus=2"},
      {u"private", u"Tentative", "ulSensitivity=2 ulBusyStatus=1"},
      {u"CONFIDENTIAL", u"OutofOffice", "ulSensitivity=3 ulBusyStatus=3"},
      {u"Secret", u"busy", "ulSensitivity=- ulBusyStatus=-"},
  };
  for (const auto& c : writes) {
    SCOPED_TRACE(c.expect);
    FieldMap f = Fields({{u"SENSITIVITY", Variant::Str(c.sensitivity)},
                         {u"STATUS", Variant::Str(c.status)}});
    ExpectProps(Write(f), c.expect);
  }
}

std::vector<Property> Recurring(int type, bool allDay, std::vector<Property> more) {
  std::vector<Property> p = {Property::Date("Start", allDay ? At(2026, 3, 2) : At(2026, 3, 2, 1)),
                             Boolean("AllDayEvent", allDay ? 0xFFFF : 0),
                             Boolean("IsRecurring", 0xFFFF), Pattern("RecurrenceType", type)};
  for (auto& m : more) p.push_back(std::move(m));
  return p;
}

TEST_F(ScheduleMapping, ReadsRecurrence) {
  const struct {
    std::vector<Property> props;
    const char* expect;
  } cases[] = {
      {Recurring(1, false, {Pattern("DayOfWeekMask", 10), Pattern("Interval", 2),
                            Boolean("RecurrPattern.NoEndDate", 0xFFFF)}),
       ".UI_TYPE=Type5 .EVERY_DATE=2026-03-02 .TYPE=2 .FLAG=10 .EVERY=2 .EXPIRE_TYPE=2 "
       ".EXPIRE_VALUE=0 .EXPIRE_DATE=null"},
      // Timed: the pattern's end day and end time are UTC; 16:00 UTC is the next day here.
      {Recurring(0, false, {Property::Date("RecurrPattern.PatternEndDate", At(2026, 6, 30)),
                            Property::Date("RecurrPattern.EndTime", At(1899, 12, 30, 16))}),
       ".TYPE=1 .FLAG=0 .EVERY=1 .EXPIRE_TYPE=0 .EXPIRE_DATE=2026-07-01 .EXPIRE_VALUE=0"},
      {Recurring(0, false, {Property::Date("RecurrPattern.PatternEndDate", At(2026, 6, 30)),
                            Property::Date("RecurrPattern.EndTime", At(1899, 12, 30, 2))}),
       ".EXPIRE_DATE=2026-06-30"},
      {Recurring(2, true, {Property::Date("RecurrPattern.PatternEndDate", At(2026, 6, 30)),
                           Pattern("Occurrences", 4)}),
       ".TYPE=3 .EXPIRE_TYPE=0 .EXPIRE_DATE=2026-06-30"},
      {Recurring(3, true, {Pattern("DayOfWeekMask", 2), Pattern("Instance", 1),
                           Pattern("Occurrences", 12)}),
       ".TYPE=4 .FLAG=130 .EXPIRE_TYPE=1 .EXPIRE_VALUE=12 .EXPIRE_DATE=null"},
      // Yearly: the every-date is the start day, whatever day and month the pattern holds.
      {Recurring(5, false, {Pattern("DayOfMonth", 9), Pattern("MonthOfYear", 11)}),
       ".TYPE=5 .FLAG=0 .EVERY_DATE=2026-03-02 .EXPIRE_TYPE=null"},
      {Recurring(1, false, {Boolean("RecurrPattern.NoEndDate", 0), Pattern("Occurrences", 3)}),
       ".EXPIRE_TYPE=null .EXPIRE_VALUE=null"},
      {{Boolean("IsRecurring", 0), Pattern("RecurrenceType", 1)},
       ".TYPE=0 .UI_TYPE= .FLAG=null .EVERY=null .EVERY_DATE=null .EXPIRE_DATE=null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expect);
    ExpectColumns(Read(c.props), c.expect);
  }
}

TEST_F(ScheduleMapping, WritesRecurrence) {
  auto base = [](bool allDay, LONG type, LONG flag, LONG expireType) {
    return Fields({{u"START_DATE", Variant::Date(allDay ? At(2026, 1, 5) : At(2026, 1, 5, 10))},
                   {u"END_DATE", Variant::Date(allDay ? At(2026, 1, 5) : At(2026, 1, 5, 11))},
                   {u"ISALLDAY", Variant::Str(allDay ? u"TRUE" : u"FALSE")},
                   {u"RECURRENCE_TYPE", Variant::I4(type)},
                   {u"RECURRENCE_FLAG", Variant::I4(flag)},
                   {u"RECURRENCE_EXPIRE_TYPE", Variant::I4(expireType)},
                   {u"RECURRENCE_EVERY_DATE", Variant::Date(At(2026, 8, 15))}});
  };
  const struct {
    FieldMap fields;
    const char* expect;
  } cases[] = {
      {[&] {
         FieldMap f = base(false, 2, 2, 1);
         PutField(f, u"RECURRENCE_EXPIRE_VALUE", Variant::I4(5000));
         return f;
       }(),
       "IsRecurring=65535 .RecurrenceType=1 .DayOfWeekMask=2 .Duration=60 .Interval=1 "
       ".Occurrences=999 .PatternStartDate=- .StartTime=-"},
      {[&] {
         FieldMap f = base(true, 1, 1, 1);
         PutField(f, u"RECURRENCE_EXPIRE_VALUE", Variant::I4(10));
         return f;
       }(),
       ".RecurrenceType=0 .DayOfWeekMask=62 .Duration=- .Occurrences=10 "
       ".PatternStartDate=2026-01-05 .StartTime=2026-01-05 .EndTime=2026-01-06"},
      {base(true, 3, 0, 2),
       ".RecurrenceType=2 .DayOfMonth=5 .NoEndDate=65535 .PatternStartDate=2026-01-05 "
       ".PatternEndDate=4501-01-01 .StartTime=2026-01-05 .EndTime=2026-01-06"},
      {base(false, 5, 0, 2),
       ".RecurrenceType=5 .DayOfMonth=5 .MonthOfYear=1 .NoEndDate=65535 .PatternStartDate=-"},
      {base(false, 6, 16 + 1024, 2), ".RecurrenceType=6 .DayOfWeekMask=16 .Instance=4 "
                                     ".MonthOfYear=1"},
      // Until a date before the last occurrence: that date, with the end's time, in UTC.
      {[&] {
         FieldMap f = base(false, 2, 2, 0);
         PutField(f, u"RECURRENCE_EXPIRE_DATE", Variant::Date(At(2026, 2, 2)));
         return f;
       }(),
       ".PatternStartDate=2026-01-05 .StartTime=1899-12-30T01:00 .PatternEndDate=2026-02-02 "
       ".EndTime=1899-12-30T02:00 .NoEndDate=- .Occurrences=-"},
      // Until a date after the 999th daily occurrence: the 999th.
      {[&] {
         FieldMap f = base(true, 1, 0, 0);
         PutField(f, u"RECURRENCE_EXPIRE_DATE", Variant::Date(At(2030, 1, 1)));
         return f;
       }(),
       ".PatternStartDate=2026-01-05 .StartTime=1899-12-30 .PatternEndDate=2028-09-29 "
       ".EndTime=1899-12-30"},
      // A pattern without occurrences: an all-day appointment sends no pattern dates.
      {base(true, 2, 0, 0), ".DayOfWeekMask=0 .PatternStartDate=- .PatternEndDate=-"},
      {base(false, 0, 0, 3), "IsRecurring=- .RecurrenceType=-1 .Interval=1 .Duration=-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expect);
    FieldMap f = c.fields;
    ExpectProps(Write(f), c.expect);
  }
}

TEST_F(ScheduleMapping, LunarDateType) {
  CConvLunar library;
  ASSERT_TRUE(library.IsLoaded());
  CConvLunar absent(u"ConvLunarMissing.dll");
  const struct {
    DATE start;
    bool lunar;
    const CConvLunar* library;
    const char* expect;
  } reads[] = {
      {At(2020, 5, 23), true, &library, "START_DATE_TYPE=LEAP END_DATE_TYPE=SOLAR"},
      {At(2020, 5, 22), true, &library, "START_DATE_TYPE=LUNAR"},
      {At(2025, 8, 1), true, &library, "START_DATE_TYPE=LEAP START_DATE=2025-08-01"},
      {At(2020, 5, 23), true, &absent, "START_DATE_TYPE=LUNAR"},
      {At(2020, 5, 23), false, &library, "START_DATE_TYPE=SOLAR"},
  };
  for (const auto& c : reads) {
    SCOPED_TRACE(c.expect);
    std::vector<Property> props = {Property::Date("Start", c.start),
                                   Boolean("AllDayEvent", 0xFFFF)};
    if (c.lunar) props.push_back(Property::String("Lunar", ""));
    ExpectColumns(Read(props, c.library), c.expect);
  }
  for (const char16_t* type : {u"LUNAR", u"LEAP", u"lunar", u"Leap"}) {
    FieldMap f = Fields({{u"START_DATE_TYPE", Variant::Str(type)}});
    ExpectProps(Write(f), "Lunar=LUNAR");
  }
  for (const char16_t* type : {u"SOLAR", u"", u"LUNAR "}) {
    FieldMap f = Fields({{u"START_DATE_TYPE", Variant::Str(type)}});
    ExpectProps(Write(f), "Lunar=-");
  }
}

TEST_F(ScheduleMapping, PropertyOrder) {
  FieldMap f = Fields({{u"SUBJECT", Variant::Str(u"Weekly sync")},
                       {u"LOCATION", Variant::Str(u"Room 2")},
                       {u"DETAIL", Variant::Str(u"Agenda")},
                       {u"START_DATE", Variant::Date(At(2026, 1, 5, 10))},
                       {u"END_DATE", Variant::Date(At(2026, 1, 5, 11))},
                       {u"ALARM_TYPE", Variant::Str(u"Minute")},
                       {u"ALARM_VALUE", Variant::I4(15)},
                       {u"RECURRENCE_TYPE", Variant::I4(2)},
                       {u"RECURRENCE_FLAG", Variant::I4(2)},
                       {u"RECURRENCE_EXPIRE_TYPE", Variant::I4(1)},
                       {u"RECURRENCE_EXPIRE_VALUE", Variant::I4(8)},
                       {u"CATEGORIES", Variant::Str(u"Work")},
                       {u"SENSITIVITY", Variant::Str(u"Private")},
                       {u"STATUS", Variant::Str(u"Busy")},
                       {u"ATTENDEES", Variant::Str(u"lee@example.com")},
                       {u"START_DATE_TYPE", Variant::Str(u"LUNAR")}});
  EXPECT_EQ(Names(Write(f)),
            "Subject Location Body Start End Duration ReminderSet ReminderMinutesBeforeStart "
            "IsRecurring RecurrPattern.RecurrenceType RecurrPattern.DayOfWeekMask "
            "RecurrPattern.Duration RecurrPattern.Interval RecurrPattern.Occurrences Categories "
            "ulSensitivity ulBusyStatus Attendee Lunar");
}

}  // namespace
}  // namespace qwb
