#include "tables/organizer/DataTableWMTask.h"

#include <cmath>
#include <string>

#include "core/Errors.h"
#include "core/ItemWMTask.h"
#include "core/Log.h"
#include "link/DeviceRecordWM.h"
#include "tables/organizer/Recurrence.h"
#include "tables/organizer/TimeConv.h"

namespace qwb {

const RecordCalls CDataTableWMTask::kCalls = {
    .kind = devrec::kKindTask,
    .list = u"DevCeList",
    .get = u"DevCeGet",
    .add = u"DevCeAddTask",
    .replace = u"DevCeReplaceTask",
    .remove = u"DevCeDelete",
    .decoder = RecordDecoder::kTask,
};

CDataTableWMTask::CDataTableWMTask() : CRecordTableWM("CDataTableWMTask", ".\\DataTableWMTask.cpp") {
  m_pColumns = CItemWMTask::CreateColumns();
  AddEntryIdList(kCalls);
}

CDataTableWMTask::~CDataTableWMTask() = default;

ComPtr<CItemWMBase> CDataTableWMTask::CreateTableItem() {
  return ComPtr<CItemWMBase>::Attach(MakeItem<CItemWMTask>().Detach());
}

// ---- Device -> column --------------------------------------------------------------------

namespace {

// The date the phone stores for a task without one: 1 January 4501.
constexpr double kMissingDate = 949998.0;
constexpr int16_t kDeviceTrue = -1;  // 0xFFFF


void RecurrenceToFields(const CPropertyMap& p, FieldMap* f) {
  int16_t recurring = 0;
  bool hasRecurring = p.GetBoolean(u"IsRecurring", &recurring);
  if (!hasRecurring || recurring != kDeviceTrue) {
    if (hasRecurring) PutField(*f, u"RECURRENCE_TYPE", Variant::I4(0));
    PutField(*f, u"RECURRENCE_EXPIRE_DATE", Variant::Null());
    return;
  }
  PutField(*f, u"RECURRENCE_EXPIRE_VALUE", Variant::I4(0));
  // The day and month of a yearly pattern are set in the year and at the time of day of the
  // start date (30 December 1899 00:00:00 when the record has none).
  double start = 0;
  p.GetDate(u"StartDate", &start);
  RecurrenceTypeToFields(p, f, YearlyEveryDate::kDayAndMonth, start);
  int32_t interval = 1;
  p.GetInteger(u"RecurrPattern.Interval", &interval);
  PutField(*f, u"RECURRENCE_EVERY", Variant::I4(interval));

  int16_t noEnd = 0;
  int32_t occurrences = 0;
  double endDate = 0;
  if (p.GetBoolean(u"RecurrPattern.NoEndDate", &noEnd)) {
    if (noEnd == kDeviceTrue) {
      PutField(*f, u"RECURRENCE_EXPIRE_TYPE", Variant::I4(2));
      PutField(*f, u"RECURRENCE_EXPIRE_VALUE", Variant::I4(0));
    }
  } else if (p.GetInteger(u"RecurrPattern.Occurrences", &occurrences)) {
    if (occurrences >= 1) {
      PutField(*f, u"RECURRENCE_EXPIRE_TYPE", Variant::I4(1));
      PutField(*f, u"RECURRENCE_EXPIRE_VALUE", Variant::I4(occurrences));
      PutField(*f, u"RECURRENCE_EXPIRE_DATE", Variant::Null());
    }
  } else if (p.GetDate(u"RecurrPattern.PatternEndDate", &endDate)) {
    PutField(*f, u"RECURRENCE_EXPIRE_TYPE", Variant::I4(0));
    PutField(*f, u"RECURRENCE_EXPIRE_DATE", Variant::Date(endDate));
    PutField(*f, u"RECURRENCE_EXPIRE_VALUE", Variant::I4(0));
  }
}

}  // namespace

void CDataTableWMTask::TaskRecordToFields(const CPropertyMap& p, FieldMap* f) {
  std::u16string text;
  double date = 0;
  int32_t number = 0;
  int16_t flag = 0;
  if (p.GetString(u"Subject", &text)) PutField(*f, u"SUBJECT", Variant::Str(text));
  if (p.GetString(u"Body", &text)) PutField(*f, u"DETAIL", Variant::Str(text));
  if (p.GetDate(u"StartDate", &date) && date != kMissingDate)
    PutField(*f, u"START_DATE", Variant::Date(date));
  if (p.GetDate(u"DueDate", &date) && date != kMissingDate)
    PutField(*f, u"END_DATE", Variant::Date(date));
  if (p.GetBoolean(u"ReminderSet", &flag) && flag == kDeviceTrue &&
      p.GetDate(u"ReminderTime", &date)) {
    PutField(*f, u"ALARM_TYPE", Variant::Str(u"Time"));
    PutField(*f, u"ALARM_TIME", Variant::Date(UtcToLocal(date)));
  }
  if (p.GetInteger(u"Importance", &number)) {
    PutField(*f, u"PRIORITY",
             Variant::Str(number == 1   ? u"High"
                          : number == 3 ? u"Low"
                                        : u"Normal"));
  }
  bool done = p.GetBoolean(u"Complete", &flag) && flag == kDeviceTrue;
  PutField(*f, u"DONE_STATE", Variant::Str(done ? u"Done" : u"Undone"));
  if (p.GetString(u"Categories", &text)) PutField(*f, u"CATEGORIES", Variant::Str(text));
  if (p.GetInteger(u"ulSensitivity", &number) && number >= 0 && number <= 3) {
    static const char16_t* const kNames[] = {u"Normal", u"Personal", u"Private", u"Confidential"};
    PutField(*f, u"SENSITIVITY", Variant::Str(kNames[number]));
  }
  RecurrenceToFields(p, f);
}

// ---- Column -> device --------------------------------------------------------------------

namespace {

// The date part, kept within the years 1900 to 2099.
DATE DayWithinRange(DATE d) {
  return KeepWithinTableYears(OleDatePart(d));
}

}  // namespace

void CDataTableWMTask::TaskFieldsToRecord(FieldMap& f, CPropertyList* list) {
  std::u16string subject = ReadFieldString(f, u"SUBJECT");
  if (!subject.empty()) list->AddString("Subject", subject);
  std::u16string detail = ReadFieldString(f, u"DETAIL");
  if (!detail.empty()) list->AddString("Body", detail);

  DATE startColumn = ReadFieldDate(f, u"START_DATE", 0);
  DATE start = DayWithinRange(startColumn);
  DATE due = DayWithinRange(ReadFieldDate(f, u"END_DATE", 0));
  if (due < start) due = start;
  list->AddDate("StartDate", start);
  list->AddDate("DueDate", due);

  std::u16string done = ReadFieldString(f, u"DONE_STATE");
  if (!done.empty()) list->AddBoolean("Complete", done == u"Undone" ? 0 : 1);

  std::u16string priority = ReadFieldString(f, u"PRIORITY");
  if (!priority.empty())
    list->AddInteger("Importance", priority == u"High" ? 1 : priority == u"Low" ? 3 : 2);

  if (ReadFieldString(f, u"ALARM_TYPE") == u"Time") {
    DATE alarm = ReadFieldDate(f, u"ALARM_TIME", 0);
    OleDateParts a{};
    if (SplitOleDate(alarm, &a)) MakeOleDate(a.year, a.month, a.day, a.hour, a.minute, 0, &alarm);
    PutField(f, u"ALARM_TIME", Variant::Date(alarm));
    list->AddBoolean("ReminderSet", kDeviceTrue);
    list->AddDate("ReminderTime", LocalToUtc(alarm));
  }

  std::u16string categories = ReadFieldString(f, u"CATEGORIES");
  if (!categories.empty()) list->AddString("Categories", categories);

  std::u16string sensitivity = ReadFieldString(f, u"SENSITIVITY");
  static const char16_t* const kSensitivity[] = {u"Normal", u"Personal", u"Private",
                                                 u"Confidential"};
  if (sensitivity.empty()) {
    list->AddInteger("ulSensitivity", 0);
  } else {
    for (int32_t i = 0; i < 4; ++i) {
      if (EqualsNoCase(sensitivity, kSensitivity[i])) {
        list->AddInteger("ulSensitivity", i);
        break;
      }
    }
  }

  // Monthly takes its day from START_DATE; yearly by date its day and month from
  // RECURRENCE_EVERY_DATE when one is set, else from START_DATE; yearly by weekday the month
  // of RECURRENCE_EVERY_DATE as it is (0, a missing one, is 30 December 1899).
  DATE everyDate = ReadFieldDate(f, u"RECURRENCE_EVERY_DATE", 0);
  OleDateParts s{}, e{};
  const bool hasStart = SplitOleDate(startColumn, &s);
  const bool hasEveryDate = SplitOleDate(everyDate, &e);
  const bool hasEvery = everyDate != 0 && hasEveryDate;
  const OleDateParts* yearly = hasEvery ? &e : hasStart ? &s : nullptr;
  PatternDays days;
  days.monthlyDay = hasStart ? s.day : 0;
  days.yearlyDay = yearly ? yearly->day : 0;
  days.yearlyMonth = yearly ? yearly->month : 0;
  days.weekdayMonth = hasEveryDate ? e.month : 0;
  RecurrencePatternToRecord(ReadFieldI4(f, u"RECURRENCE_TYPE", 0),
                            ReadFieldI4(f, u"RECURRENCE_FLAG", 0), days, list);

  RecurrenceIntervalToRecord(ReadFieldI4(f, u"RECURRENCE_EVERY", 1), list);
  switch (ReadFieldI4(f, u"RECURRENCE_EXPIRE_TYPE", 0)) {
    case 0:
      list->AddDate("RecurrPattern.PatternStartDate", std::trunc(startColumn));
      list->AddDate("RecurrPattern.PatternEndDate",
                    std::trunc(ReadFieldDate(f, u"RECURRENCE_EXPIRE_DATE", 0)));
      break;
    case 1: {
      LONG count = ReadFieldI4(f, u"RECURRENCE_EXPIRE_VALUE", 0);
      if (count > 0) list->AddInteger("RecurrPattern.Occurrences", count);
      break;
    }
    case 2:
      list->AddBoolean("RecurrPattern.NoEndDate", kDeviceTrue);
      break;
    default:
      break;
  }
}

}  // namespace qwb
