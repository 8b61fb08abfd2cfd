#include "tables/organizer/DataTableWMTask.h"

#include <cmath>
#include <string>

#include "core/Errors.h"
#include "core/ItemWMTask.h"
#include "core/Log.h"
#include "link/DeviceRecordWM.h"
#include "link/Recurrence.h"
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

// 1 January 1900 00:00:00 and 31 December 2099 23:59:59.
constexpr DATE kEarliestDate = 2.0;
const DATE kLatestDate = 73050.0 + (86399.0 / 86400.0);

using recur::InstanceBit;
using recur::InstanceOfFlag;

void RecurrenceToFields(const CPropertyMap& p, FieldMap* f) {
  int16_t recurring = 0;
  bool hasRecurring = p.GetBoolean(u"IsRecurring", &recurring);
  if (!hasRecurring || recurring != kDeviceTrue) {
    if (hasRecurring) PutField(*f, u"RECURRENCE_TYPE", Variant::I4(0));
    PutField(*f, u"RECURRENCE_EXPIRE_DATE", Variant::Null());
    return;
  }
  PutField(*f, u"RECURRENCE_EXPIRE_VALUE", Variant::I4(0));
  int32_t type = 0, mask = 0, instance = 0;
  bool hasMask = p.GetInteger(u"RecurrPattern.DayOfWeekMask", &mask);
  bool hasInstance = p.GetInteger(u"RecurrPattern.Instance", &instance);
  if (p.GetInteger(u"RecurrPattern.RecurrenceType", &type)) {
    switch (type) {
      case -1:
        PutField(*f, u"RECURRENCE_TYPE", Variant::I4(0));
        break;
      case 0:
        PutField(*f, u"RECURRENCE_TYPE", Variant::I4(1));
        if (!hasMask) {
          PutField(*f, u"RECURRENCE_FLAG", Variant::I4(0));
        } else if (mask == recur::kWeekdaysMask) {
          PutField(*f, u"RECURRENCE_FLAG", Variant::I4(recur::kDailyWeekdaysFlag));
        }
        break;
      case 1:
        PutField(*f, u"RECURRENCE_TYPE", Variant::I4(2));
        if (hasMask) PutField(*f, u"RECURRENCE_FLAG", Variant::I4(mask));
        break;
      case 2:
        PutField(*f, u"RECURRENCE_TYPE", Variant::I4(3));
        PutField(*f, u"RECURRENCE_FLAG", Variant::I4(0));
        break;
      case 3:
        PutField(*f, u"RECURRENCE_TYPE", Variant::I4(4));
        if (hasMask && hasInstance)
          PutField(*f, u"RECURRENCE_FLAG", Variant::I4(mask + InstanceBit(instance)));
        break;
      case 5: {
        PutField(*f, u"RECURRENCE_TYPE", Variant::I4(5));
        PutField(*f, u"RECURRENCE_FLAG", Variant::I4(0));
        int32_t day = 0, month = 0;
        if (p.GetInteger(u"RecurrPattern.DayOfMonth", &day) &&
            p.GetInteger(u"RecurrPattern.MonthOfYear", &month)) {
          // That day of that month, in the year and at the time of day of the start date.
          double start = 0;
          p.GetDate(u"StartDate", &start);
          OleDateParts s{};
          DATE every = 0;
          if (SplitOleDate(start, &s) &&
              MakeOleDate(s.year, month, day, s.hour, s.minute, s.second, &every))
            PutField(*f, u"RECURRENCE_EVERY_DATE", Variant::Date(every));
        }
        break;
      }
      case 6: {
        PutField(*f, u"RECURRENCE_TYPE", Variant::I4(6));
        int32_t month = 0;
        if (hasMask && hasInstance && p.GetInteger(u"RecurrPattern.MonthOfYear", &month))
          PutField(*f, u"RECURRENCE_FLAG", Variant::I4(mask + InstanceBit(instance)));
        break;
      }
      default:
        break;  // 4 and unknown kinds set no type
    }
  }
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
  d = OleDatePart(d);
  if (d < kEarliestDate) return kEarliestDate;
  if (d > kLatestDate) return kLatestDate;
  return d;
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

  LONG type = ReadFieldI4(f, u"RECURRENCE_TYPE", 0);
  LONG flag = ReadFieldI4(f, u"RECURRENCE_FLAG", 0);
  DATE everyDate = ReadFieldDate(f, u"RECURRENCE_EVERY_DATE", 0);
  OleDateParts s{}, e{};
  bool hasStart = SplitOleDate(startColumn, &s);
  // Yearly by date falls back on the start date when no every-date is set; yearly by weekday
  // takes the month of the every-date as it is (0, a missing one, is 30 December 1899).
  bool hasEveryDate = SplitOleDate(everyDate, &e);
  bool hasEvery = everyDate != 0 && hasEveryDate;
  switch (type) {
    case 0:
      list->AddInteger("RecurrPattern.RecurrenceType", -1);
      break;
    case 1:
      list->AddBoolean("IsRecurring", kDeviceTrue);
      list->AddInteger("RecurrPattern.RecurrenceType", 0);
      if (flag == recur::kDailyWeekdaysFlag)
        list->AddInteger("RecurrPattern.DayOfWeekMask", recur::kWeekdaysMask);
      break;
    case 2:
      list->AddBoolean("IsRecurring", kDeviceTrue);
      list->AddInteger("RecurrPattern.RecurrenceType", 1);
      list->AddInteger("RecurrPattern.DayOfWeekMask", flag);
      break;
    case 3:
      list->AddBoolean("IsRecurring", kDeviceTrue);
      list->AddInteger("RecurrPattern.RecurrenceType", 2);
      list->AddInteger("RecurrPattern.DayOfMonth", hasStart ? s.day : 0);
      break;
    case 4:
      list->AddBoolean("IsRecurring", kDeviceTrue);
      list->AddInteger("RecurrPattern.RecurrenceType", 3);
      list->AddInteger("RecurrPattern.DayOfWeekMask", flag & recur::kMaskBits);
      list->AddInteger("RecurrPattern.Instance", InstanceOfFlag(flag));
      break;
    case 5: {
      list->AddBoolean("IsRecurring", kDeviceTrue);
      list->AddInteger("RecurrPattern.RecurrenceType", 5);
      const OleDateParts* from = hasEvery ? &e : hasStart ? &s : nullptr;
      list->AddInteger("RecurrPattern.DayOfMonth", from ? from->day : 0);
      list->AddInteger("RecurrPattern.MonthOfYear", from ? from->month : 0);
      break;
    }
    case 6:
      list->AddBoolean("IsRecurring", kDeviceTrue);
      list->AddInteger("RecurrPattern.RecurrenceType", 6);
      list->AddInteger("RecurrPattern.DayOfWeekMask", flag & recur::kMaskBits);
      list->AddInteger("RecurrPattern.Instance", InstanceOfFlag(flag));
      list->AddInteger("RecurrPattern.MonthOfYear", hasEveryDate ? e.month : 0);
      break;
    default:
      break;
  }

  LONG every = ReadFieldI4(f, u"RECURRENCE_EVERY", 1);
  list->AddInteger("RecurrPattern.Interval", every >= 1 ? every : 1);
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
