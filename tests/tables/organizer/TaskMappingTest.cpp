// The task record <-> task column mapping, both ways, through the real record codec: replies
// are encoded as the phone sends them and decoded with the task decoder; requests are built
// and read back as the phone reads them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/FieldMap.h"
#include "link/DeviceRecordWM.h"
#include "tables/organizer/DataTableWMTask.h"
#include "tables/organizer/TimeConv.h"
#include "wincompat/testhooks.h"

namespace qwb {
namespace {

using devrec::Property;

DATE At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  DATE out = 0;
  EXPECT_TRUE(MakeOleDate(y, mo, d, h, mi, s, &out));
  return out;
}

class ZoneScope {
 public:
  explicit ZoneScope(const char* rule) { wincompat::SetTimeZoneRuleForTesting(rule); }
  ~ZoneScope() { wincompat::SetTimeZoneRuleForTesting(""); }
};

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
std::vector<devrec::RawEntry> Write(FieldMap& fields, int mode = 0, DWORD id = 0) {
  CPropertyList list(3);
  CDataTableWMTask::TaskFieldsToRecord(fields, &list);
  DWORD size = 0;
  BYTE* record = BuildDeviceRecord(list, mode, id, &size);
  devrec::Request request;
  EXPECT_EQ(devrec::ReadRequest(record, size, mode, &request), devrec::ReadError::kOk);
  LocalFree(record);
  EXPECT_EQ(request.kind, 3u);
  EXPECT_EQ(request.entryId, id);
  EXPECT_EQ(request.count, request.properties.size());
  return request.properties;
}

using Props = std::vector<devrec::RawEntry>;

std::vector<std::string> Names(const Props& props) {
  std::vector<std::string> names;
  for (const auto& p : props) names.push_back(p.name);
  return names;
}

const devrec::RawEntry* Find(const Props& props, const char* name) {
  for (const auto& p : props)
    if (p.name == name) return &p;
  return nullptr;
}

// The named property's value read with `as`; a missing or short one is a failure.
template <typename T, typename Reader>
T ValueOf(const Props& props, const char* name, T fallback, Reader as) {
  const devrec::RawEntry* e = Find(props, name);
  if (!e || !as(*e, &fallback)) ADD_FAILURE() << name << " missing";
  return fallback;
}
int32_t IntOf(const Props& p, const char* n) {
  return ValueOf(p, n, -12345, devrec::ValueAsInteger);
}
double DateOf(const Props& p, const char* n) { return ValueOf(p, n, -1.0, devrec::ValueAsDate); }
uint16_t BoolOf(const Props& p, const char* n) {
  return ValueOf<uint16_t>(p, n, 0x1234, devrec::ValueAsBoolean);
}

std::u16string Str(const FieldMap& f, const char16_t* key) { return ReadFieldString(f, key); }
LONG I4(const FieldMap& f, const char16_t* key) { return ReadFieldI4(f, key, -999); }
VARTYPE Vt(const FieldMap& f, const char16_t* key) {
  const Variant* v = FindField(f, key);
  return v ? v->vt() : static_cast<VARTYPE>(0xFFFF);
}
constexpr VARTYPE kAbsent = 0xFFFF;

TEST(TaskMappingTest, ReadsPlainColumns) {
  ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
  FieldMap f = Read(
      {Property::String("Subject", "Pay rent \xE2\x82\xAC"),
       Property::String("Body", "line1\r\nline2"), Property::Date("StartDate", 949998.0),
       Property::Date("DueDate", 949998.0), Property::Boolean("ReminderSet", 0xFFFF),
       Property::Date("ReminderTime", At(2026, 1, 10, 8, 30)), Property::Integer("Importance", 3),
       Property::Boolean("Complete", 1), Property::String("Categories", "Business, Home"),
       Property::Integer("ulSensitivity", 2)});
  EXPECT_EQ(Str(f, u"SUBJECT"), u"Pay rent \u20AC");
  EXPECT_EQ(Str(f, u"DETAIL"), u"line1\r\nline2");
  // The phone's missing date leaves both date columns out.
  EXPECT_EQ(Vt(f, u"START_DATE"), kAbsent);
  EXPECT_EQ(Vt(f, u"END_DATE"), kAbsent);
  EXPECT_EQ(Str(f, u"ALARM_TYPE"), u"Time");
  EXPECT_EQ(ReadFieldDate(f, u"ALARM_TIME", 0), At(2026, 1, 10, 9, 30));  // UTC+1 in winter
  EXPECT_EQ(Str(f, u"PRIORITY"), u"Low");
  // Only 0xFFFF reads as done.
  EXPECT_EQ(Str(f, u"DONE_STATE"), u"Undone");
  EXPECT_EQ(Str(f, u"CATEGORIES"), u"Business, Home");
  EXPECT_EQ(Str(f, u"SENSITIVITY"), u"Private");
  // Not recurring: the expiry date becomes a null value, no type is set.
  EXPECT_EQ(Vt(f, u"RECURRENCE_EXPIRE_DATE"), VT_NULL);
  EXPECT_EQ(Vt(f, u"RECURRENCE_TYPE"), kAbsent);

  f = Read({Property::Date("StartDate", At(2026, 3, 1)), Property::Integer("Importance", 1),
            Property::Boolean("Complete", 0xFFFF), Property::Integer("ulSensitivity", 9),
            Property::Boolean("ReminderSet", 0), Property::Date("ReminderTime", 45000.0)});
  EXPECT_EQ(ReadFieldDate(f, u"START_DATE", 0), At(2026, 3, 1));
  EXPECT_EQ(Str(f, u"PRIORITY"), u"High");
  EXPECT_EQ(Str(f, u"DONE_STATE"), u"Done");
  EXPECT_EQ(Vt(f, u"SENSITIVITY"), kAbsent);
  EXPECT_EQ(Vt(f, u"ALARM_TYPE"), kAbsent);

  f = Read({Property::Integer("Importance", 7), Property::Boolean("ReminderSet", 0xFFFF)});
  EXPECT_EQ(Str(f, u"PRIORITY"), u"Normal");
  EXPECT_EQ(Str(f, u"DONE_STATE"), u"Undone");  // missing Complete
  EXPECT_EQ(Vt(f, u"ALARM_TYPE"), kAbsent);     // a reminder without a time
  EXPECT_EQ(Vt(f, u"PRIORITY"), VT_BSTR);
  EXPECT_EQ(Vt(Read({}), u"PRIORITY"), kAbsent);
}

std::vector<Property> Recurring(int type, std::vector<Property> more) {
  std::vector<Property> p = {Property::Boolean("IsRecurring", 0xFFFF),
                             Property::Integer("RecurrPattern.RecurrenceType", type)};
  for (auto& m : more) p.push_back(std::move(m));
  return p;
}

TEST(TaskMappingTest, ReadsRecurrences) {
  // Weekly on Monday and Wednesday.
  FieldMap f = Read(Recurring(1, {Property::Integer("RecurrPattern.DayOfWeekMask", 10),
                                  Property::Integer("RecurrPattern.Interval", 2),
                                  Property::Boolean("RecurrPattern.NoEndDate", 0xFFFF)}));
  EXPECT_EQ(I4(f, u"RECURRENCE_TYPE"), 2);
  EXPECT_EQ(I4(f, u"RECURRENCE_FLAG"), 10);
  EXPECT_EQ(I4(f, u"RECURRENCE_EVERY"), 2);
  EXPECT_EQ(I4(f, u"RECURRENCE_EXPIRE_TYPE"), 2);
  EXPECT_EQ(I4(f, u"RECURRENCE_EXPIRE_VALUE"), 0);
  EXPECT_EQ(Vt(f, u"RECURRENCE_EXPIRE_DATE"), kAbsent);

  // Monthly on the second Tuesday, ten times.
  f = Read(Recurring(3, {Property::Integer("RecurrPattern.DayOfWeekMask", 4),
                         Property::Integer("RecurrPattern.Instance", 2),
                         Property::Integer("RecurrPattern.Occurrences", 10)}));
  EXPECT_EQ(I4(f, u"RECURRENCE_TYPE"), 4);
  EXPECT_EQ(I4(f, u"RECURRENCE_FLAG"), 260);
  EXPECT_EQ(I4(f, u"RECURRENCE_EVERY"), 1);  // no interval: 1
  EXPECT_EQ(I4(f, u"RECURRENCE_EXPIRE_TYPE"), 1);
  EXPECT_EQ(I4(f, u"RECURRENCE_EXPIRE_VALUE"), 10);
  EXPECT_EQ(Vt(f, u"RECURRENCE_EXPIRE_DATE"), VT_NULL);
  // An instance outside 1..5 adds no bit; without an instance there is no flag.
  EXPECT_EQ(I4(Read(Recurring(3, {Property::Integer("RecurrPattern.DayOfWeekMask", 4),
                                  Property::Integer("RecurrPattern.Instance", 6)})),
               u"RECURRENCE_FLAG"),
            4);
  EXPECT_EQ(Vt(Read(Recurring(3, {Property::Integer("RecurrPattern.DayOfWeekMask", 4)})),
               u"RECURRENCE_FLAG"),
            kAbsent);

  // Daily: mask 62 is the Monday-to-Friday flag, a missing mask flag 0, any other none.
  f = Read(Recurring(0, {Property::Integer("RecurrPattern.DayOfWeekMask", 62),
                         Property::Date("RecurrPattern.PatternEndDate", At(2026, 5, 1))}));
  EXPECT_EQ(I4(f, u"RECURRENCE_TYPE"), 1);
  EXPECT_EQ(I4(f, u"RECURRENCE_FLAG"), 1);
  EXPECT_EQ(I4(f, u"RECURRENCE_EXPIRE_TYPE"), 0);
  EXPECT_EQ(ReadFieldDate(f, u"RECURRENCE_EXPIRE_DATE", 0), At(2026, 5, 1));
  EXPECT_EQ(I4(Read(Recurring(0, {})), u"RECURRENCE_FLAG"), 0);
  EXPECT_EQ(Vt(Read(Recurring(0, {Property::Integer("RecurrPattern.DayOfWeekMask", 2)})),
               u"RECURRENCE_FLAG"),
            kAbsent);

  // Yearly: the day and month in the start date's year, at its time of day.
  f = Read(Recurring(5, {Property::Date("StartDate", At(2026, 3, 1, 10, 30)),
                         Property::Integer("RecurrPattern.DayOfMonth", 15),
                         Property::Integer("RecurrPattern.MonthOfYear", 6)}));
  EXPECT_EQ(I4(f, u"RECURRENCE_TYPE"), 5);
  EXPECT_EQ(I4(f, u"RECURRENCE_FLAG"), 0);
  EXPECT_EQ(ReadFieldDate(f, u"RECURRENCE_EVERY_DATE", 0), At(2026, 6, 15, 10, 30));
  // No start date: the year of 30 December 1899; an impossible day sets nothing.
  f = Read(Recurring(5, {Property::Integer("RecurrPattern.DayOfMonth", 15),
                         Property::Integer("RecurrPattern.MonthOfYear", 6)}));
  EXPECT_EQ(ReadFieldDate(f, u"RECURRENCE_EVERY_DATE", 0), At(1899, 6, 15));
  f = Read(Recurring(5, {Property::Date("StartDate", At(2026, 3, 1)),
                         Property::Integer("RecurrPattern.DayOfMonth", 31),
                         Property::Integer("RecurrPattern.MonthOfYear", 2)}));
  EXPECT_EQ(Vt(f, u"RECURRENCE_EVERY_DATE"), kAbsent);

  // Yearly by weekday needs the month for its flag.
  f = Read(Recurring(6, {Property::Integer("RecurrPattern.DayOfWeekMask", 2),
                         Property::Integer("RecurrPattern.Instance", 5),
                         Property::Integer("RecurrPattern.MonthOfYear", 5)}));
  EXPECT_EQ(I4(f, u"RECURRENCE_TYPE"), 6);
  EXPECT_EQ(I4(f, u"RECURRENCE_FLAG"), 2 + 2048);
  EXPECT_EQ(Vt(Read(Recurring(6, {Property::Integer("RecurrPattern.DayOfWeekMask", 2),
                                  Property::Integer("RecurrPattern.Instance", 5)})),
               u"RECURRENCE_FLAG"),
            kAbsent);

  // Kind 4 and -1.
  EXPECT_EQ(Vt(Read(Recurring(4, {})), u"RECURRENCE_TYPE"), kAbsent);
  EXPECT_EQ(I4(Read(Recurring(-1, {})), u"RECURRENCE_TYPE"), 0);

  // The end: NoEndDate false stops; an occurrence count below 1 stops too.
  f = Read(Recurring(1, {Property::Boolean("RecurrPattern.NoEndDate", 0),
                         Property::Integer("RecurrPattern.Occurrences", 4)}));
  EXPECT_EQ(Vt(f, u"RECURRENCE_EXPIRE_TYPE"), kAbsent);
  EXPECT_EQ(I4(f, u"RECURRENCE_EXPIRE_VALUE"), 0);
  f = Read(Recurring(1, {Property::Integer("RecurrPattern.Occurrences", 0),
                         Property::Date("RecurrPattern.PatternEndDate", At(2026, 5, 1))}));
  EXPECT_EQ(Vt(f, u"RECURRENCE_EXPIRE_TYPE"), kAbsent);

  // IsRecurring false: type 0 and a null expiry date, whatever the pattern says.
  f = Read(
      {Property::Boolean("IsRecurring", 0), Property::Integer("RecurrPattern.RecurrenceType", 1)});
  EXPECT_EQ(I4(f, u"RECURRENCE_TYPE"), 0);
  EXPECT_EQ(Vt(f, u"RECURRENCE_EXPIRE_DATE"), VT_NULL);
  EXPECT_EQ(Vt(f, u"RECURRENCE_EVERY"), kAbsent);
}

FieldMap Fields(std::vector<std::pair<std::u16string, Variant>> entries) {
  FieldMap f;
  for (auto& [k, v] : entries) PutField(f, k, v);
  return f;
}

TEST(TaskMappingTest, WritesPropertiesInOrderWithTheirWidths) {
  ZoneScope zone("EST5EDT,M3.2.0,M11.1.0");
  FieldMap f = Fields({{u"SUBJECT", Variant::Str(u"Call \u00C5sa")},
                       {u"DETAIL", Variant::Str(u"notes")},
                       {u"START_DATE", Variant::Date(At(2026, 7, 1, 15, 45))},
                       {u"END_DATE", Variant::Date(At(2026, 7, 3, 9, 0))},
                       {u"DONE_STATE", Variant::Str(u"Done")},
                       {u"PRIORITY", Variant::Str(u"Low")},
                       {u"ALARM_TYPE", Variant::Str(u"Time")},
                       {u"ALARM_TIME", Variant::Date(At(2026, 7, 1, 9, 15, 42))},
                       {u"CATEGORIES", Variant::Str(u"Work")},
                       {u"SENSITIVITY", Variant::Str(u"confidential")},
                       {u"RECURRENCE_TYPE", Variant::I4(2)},
                       {u"RECURRENCE_FLAG", Variant::I4(10)},
                       {u"RECURRENCE_EVERY", Variant::I4(3)},
                       {u"RECURRENCE_EXPIRE_TYPE", Variant::I4(1)},
                       {u"RECURRENCE_EXPIRE_VALUE", Variant::I4(6)}});
  auto props = Write(f, 1, 0x12);
  EXPECT_EQ(Names(props),
            (std::vector<std::string>{"Subject", "Body", "StartDate", "DueDate", "Complete",
                                      "Importance", "ReminderSet", "ReminderTime", "Categories",
                                      "ulSensitivity", "IsRecurring",
                                      "RecurrPattern.RecurrenceType", "RecurrPattern.DayOfWeekMask",
                                      "RecurrPattern.Interval", "RecurrPattern.Occurrences"}));
  EXPECT_EQ(devrec::ValueAsString(*Find(props, "Subject")), "Call \xC3\x85sa");
  EXPECT_EQ(Find(props, "Subject")->value.size(), 10u);  // UTF-8 bytes and the NUL
  EXPECT_EQ(Find(props, "StartDate")->value.size(), 8u);
  EXPECT_EQ(Find(props, "Importance")->value.size(), 4u);
  EXPECT_EQ(Find(props, "Complete")->value.size(), 2u);
  // Dates lose their time of day.
  EXPECT_EQ(DateOf(props, "StartDate"), At(2026, 7, 1));
  EXPECT_EQ(DateOf(props, "DueDate"), At(2026, 7, 3));
  // Done is written as 1, the reminder flag as 0xFFFF.
  EXPECT_EQ(BoolOf(props, "Complete"), 1);
  EXPECT_EQ(BoolOf(props, "ReminderSet"), 0xFFFF);
  EXPECT_EQ(BoolOf(props, "IsRecurring"), 0xFFFF);
  EXPECT_EQ(IntOf(props, "Importance"), 3);
  // The alarm loses its seconds and goes to UTC (EDT, UTC-4); the item keeps the cut time.
  EXPECT_EQ(DateOf(props, "ReminderTime"), At(2026, 7, 1, 13, 15));
  EXPECT_EQ(ReadFieldDate(f, u"ALARM_TIME", 0), At(2026, 7, 1, 9, 15));
  EXPECT_EQ(IntOf(props, "ulSensitivity"), 3);
  EXPECT_EQ(IntOf(props, "RecurrPattern.RecurrenceType"), 1);
  EXPECT_EQ(IntOf(props, "RecurrPattern.DayOfWeekMask"), 10);
  EXPECT_EQ(IntOf(props, "RecurrPattern.Interval"), 3);
  EXPECT_EQ(IntOf(props, "RecurrPattern.Occurrences"), 6);
}

TEST(TaskMappingTest, WritesDateLimitsAndTextRules) {
  // End before start: the due date becomes the start date, both at midnight.
  FieldMap f = Fields({{u"START_DATE", Variant::Date(At(2026, 5, 10, 13, 0))},
                       {u"END_DATE", Variant::Date(At(2026, 5, 2, 8, 0))},
                       {u"PRIORITY", Variant::Str(u"low")},
                       {u"DONE_STATE", Variant::Str(u"Undone")},
                       {u"SENSITIVITY", Variant::Str(u"secret")},
                       {u"ALARM_TYPE", Variant::Str(u"None")}});
  auto props = Write(f);
  EXPECT_EQ(DateOf(props, "StartDate"), At(2026, 5, 10));
  EXPECT_EQ(DateOf(props, "DueDate"), At(2026, 5, 10));
  EXPECT_EQ(IntOf(props, "Importance"), 2);  // case-sensitive: "low" is not "Low"
  EXPECT_EQ(BoolOf(props, "Complete"), 0);
  EXPECT_EQ(Find(props, "ulSensitivity"), nullptr);
  EXPECT_EQ(Find(props, "ReminderSet"), nullptr);
  EXPECT_EQ(Find(props, "Subject"), nullptr);  // empty texts are not written
  // Not recurring: the type -1 alone, then the interval and the end fields.
  EXPECT_EQ(Find(props, "IsRecurring"), nullptr);
  EXPECT_EQ(IntOf(props, "RecurrPattern.RecurrenceType"), -1);
  EXPECT_EQ(IntOf(props, "RecurrPattern.Interval"), 1);
  EXPECT_EQ(DateOf(props, "RecurrPattern.PatternStartDate"), At(2026, 5, 10));
  EXPECT_EQ(DateOf(props, "RecurrPattern.PatternEndDate"), 0.0);

  // The range 1900..2099.
  f = Fields({{u"START_DATE", Variant::Date(At(2150, 1, 1))},
              {u"END_DATE", Variant::Date(At(2150, 6, 1))}});
  props = Write(f);
  DATE latest = At(2099, 12, 31, 23, 59, 59);
  EXPECT_EQ(DateOf(props, "StartDate"), latest);
  EXPECT_EQ(DateOf(props, "DueDate"), latest);
  f = Fields({{u"START_DATE", Variant::Date(At(1850, 1, 1))}});
  props = Write(f);
  EXPECT_EQ(DateOf(props, "StartDate"), At(1900, 1, 1));
  EXPECT_EQ(DateOf(props, "DueDate"), At(1900, 1, 1));
  EXPECT_EQ(Find(props, "Complete"), nullptr);
  EXPECT_EQ(Find(props, "Importance"), nullptr);
  EXPECT_EQ(IntOf(props, "ulSensitivity"), 0);  // empty sensitivity is Normal
}

TEST(TaskMappingTest, WritesRecurrenceKinds) {
  DATE start = At(2026, 9, 17, 10, 0);
  auto write = [&](LONG type, LONG flag, std::vector<std::pair<std::u16string, Variant>> more) {
    std::vector<std::pair<std::u16string, Variant>> e = {{u"START_DATE", Variant::Date(start)},
                                                         {u"RECURRENCE_TYPE", Variant::I4(type)},
                                                         {u"RECURRENCE_FLAG", Variant::I4(flag)}};
    for (auto& m : more) e.push_back(std::move(m));
    FieldMap f = Fields(std::move(e));
    return Write(f);
  };
  auto props = write(1, 1, {});
  EXPECT_EQ(IntOf(props, "RecurrPattern.RecurrenceType"), 0);
  EXPECT_EQ(IntOf(props, "RecurrPattern.DayOfWeekMask"), 62);
  EXPECT_EQ(Find(write(1, 0, {}), "RecurrPattern.DayOfWeekMask"), nullptr);

  props = write(3, 0, {});
  EXPECT_EQ(IntOf(props, "RecurrPattern.RecurrenceType"), 2);
  EXPECT_EQ(IntOf(props, "RecurrPattern.DayOfMonth"), 17);

  props = write(4, 260, {});
  EXPECT_EQ(IntOf(props, "RecurrPattern.RecurrenceType"), 3);
  EXPECT_EQ(IntOf(props, "RecurrPattern.DayOfWeekMask"), 4);
  EXPECT_EQ(IntOf(props, "RecurrPattern.Instance"), 2);
  EXPECT_EQ(IntOf(write(4, 2048 + 64, {}), "RecurrPattern.Instance"), 5);
  EXPECT_EQ(IntOf(write(4, 64, {}), "RecurrPattern.Instance"), 0);

  props = write(5, 0, {{u"RECURRENCE_EVERY_DATE", Variant::Date(At(2026, 12, 24))}});
  EXPECT_EQ(IntOf(props, "RecurrPattern.RecurrenceType"), 5);
  EXPECT_EQ(IntOf(props, "RecurrPattern.DayOfMonth"), 24);
  EXPECT_EQ(IntOf(props, "RecurrPattern.MonthOfYear"), 12);
  props = write(5, 0, {});
  EXPECT_EQ(IntOf(props, "RecurrPattern.DayOfMonth"), 17);
  EXPECT_EQ(IntOf(props, "RecurrPattern.MonthOfYear"), 9);

  props = write(6, 128 + 32,
                {{u"RECURRENCE_EVERY_DATE", Variant::Date(At(2026, 11, 1))},
                 {u"RECURRENCE_EVERY", Variant::I4(0)},
                 {u"RECURRENCE_EXPIRE_TYPE", Variant::I4(2)}});
  EXPECT_EQ(Names(props),
            (std::vector<std::string>{"StartDate", "DueDate", "ulSensitivity", "IsRecurring",
                                      "RecurrPattern.RecurrenceType", "RecurrPattern.DayOfWeekMask",
                                      "RecurrPattern.Instance", "RecurrPattern.MonthOfYear",
                                      "RecurrPattern.Interval", "RecurrPattern.NoEndDate"}));
  EXPECT_EQ(IntOf(props, "RecurrPattern.DayOfWeekMask"), 32);
  EXPECT_EQ(IntOf(props, "RecurrPattern.Instance"), 1);
  EXPECT_EQ(IntOf(props, "RecurrPattern.MonthOfYear"), 11);
  EXPECT_EQ(IntOf(props, "RecurrPattern.Interval"), 1);  // below 1 is sent as 1
  EXPECT_EQ(BoolOf(props, "RecurrPattern.NoEndDate"), 0xFFFF);

  // Until a date: both pattern dates cut to whole days.
  props = write(2, 10, {{u"RECURRENCE_EXPIRE_DATE", Variant::Date(At(2026, 12, 1, 18, 0))}});
  EXPECT_EQ(DateOf(props, "RecurrPattern.PatternStartDate"), At(2026, 9, 17));
  EXPECT_EQ(DateOf(props, "RecurrPattern.PatternEndDate"), At(2026, 12, 1));
  // A count of 0 and unknown kinds write nothing of their own.
  props = write(
      7, 0,
      {{u"RECURRENCE_EXPIRE_TYPE", Variant::I4(1)}, {u"RECURRENCE_EXPIRE_VALUE", Variant::I4(0)}});
  EXPECT_EQ(Find(props, "RecurrPattern.RecurrenceType"), nullptr);
  EXPECT_EQ(Find(props, "RecurrPattern.Occurrences"), nullptr);
  EXPECT_EQ(Find(props, "IsRecurring"), nullptr);
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
    FieldMap g = Read(back);
    EXPECT_EQ(I4(g, u"RECURRENCE_TYPE"), c.type) << c.type;
    EXPECT_EQ(I4(g, u"RECURRENCE_FLAG"), c.flag) << c.type;
    EXPECT_EQ(I4(g, u"RECURRENCE_EXPIRE_TYPE"), 2) << c.type;
  }
}

}  // namespace
}  // namespace qwb
