#include "tables/organizer/DataTableWMSchedule.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "core/DeviceDataWM.h"
#include "core/Errors.h"
#include "core/ItemWMSchedule.h"
#include "core/Log.h"
#include "link/DeviceRecordWM.h"
#include "link/DeviceRecordService.h"
#include "tables/organizer/Recurrence.h"
#include "tables/organizer/TimeConv.h"

namespace qwb {

const RecordCalls CDataTableWMSchedule::kCalls = {
    .kind = devrec::kKindAppointment,
    .list = u"DevCeList",
    .get = u"DevCeGet",
    .add = u"DevCeAddAppointment",
    .replace = u"DevCeReplaceAppointment",
    .remove = u"DevCeDelete",
};

const RecordCalls CDataTableWMSchedule::kLunarCalls = {
    .kind = devrec::kKindAppointment,
    .list = u"DevCeGetLunarList",
    .get = u"DevCeGetLunarItem",
    .add = u"DevCeAddLunarItem",
    .replace = u"DevCeReplaceLunarItem",
    .remove = u"DevCeDeleteLunarItem",
};

namespace {
// The lunar list is read first: NextItem returns the lunar entries before the ordinary ones.
constexpr size_t kLunarList = 0, kOrdinaryList = 1;
}  // namespace

CDataTableWMSchedule::CDataTableWMSchedule()
    : CRecordTableWM("CDataTableWMSchedule", ".\\DataTableWMSchedule.cpp"),
      m_pConvLunar(std::make_unique<CConvLunar>(u"ConvLunar.dll")) {
  m_pColumns = CItemWMSchedule::CreateColumns();
  AddEntryIdList(kLunarCalls);
  AddEntryIdList(kCalls);
}

CDataTableWMSchedule::~CDataTableWMSchedule() = default;

ComPtr<CItemWMBase> CDataTableWMSchedule::CreateTableItem() {
  return ComPtr<CItemWMBase>::Attach(MakeItem<CItemWMSchedule>().Detach());
}

bool CDataTableWMSchedule::IsDomestic() {
  const int type = m_pDeviceData ? m_pDeviceData->GetWMModelType() : 1;
  return type == 0 || type == 3 || type == 4 || type == 5;
}

const RecordCalls& CDataTableWMSchedule::StoreFor(const FieldMap& fields) {
  const std::u16string type = ReadFieldString(fields, u"START_DATE_TYPE");
  return (type == u"LUNAR" || type == u"LEAP") && IsDomestic() ? kLunarCalls : kCalls;
}

HRESULT CDataTableWMSchedule::GetAllEntryID() {
  std::vector<EntryIdList>& lists = EntryIdLists();
  for (EntryIdList& list : lists) {
    list.ids.clear();
    list.index = 0;
  }
  const std::string method = Method("GetAllEntryID");
  HRESULT hr = CDeviceRecordService::ListIds(kCalls.list, method.c_str(), kCalls.kind,
                                             &lists[kOrdinaryList].ids);
  if (hr != S_OK) return hr;
  if (IsDomestic() &&
      CDeviceRecordService::ListIds(kLunarCalls.list, method.c_str(), kLunarCalls.kind,
                                    &lists[kLunarList].ids) != S_OK)
    lists[kLunarList].ids.clear();
  return S_OK;
}

HRESULT CDataTableWMSchedule::UpdateItem(IItem* pItem) {
  if (!IsDomestic()) return CRecordTableWM::UpdateItem(pItem);
  return Frame("UpdateItem", __LINE__, [&] {
    if (!pItem) return E_POINTER;
    CItemWMBase* item = CItemWMBase::FromItem(pItem);
    if (!item) return E_INVALIDARG;
    FieldMap fields;
    HRESULT hr = item->SchemaConvertItem2Map(fields);
    if (FAILED(hr)) return hr;
    const DWORD id = static_cast<DWORD>(item->GetSUID());
    const std::string method = Method("UpdateItem");

    // Where the entry is stored now: the ordinary list (a failing list fails the update), then
    // the lunar one.
    std::vector<DWORD> ordinary, lunar;
    hr = CDeviceRecordService::ListIds(kCalls.list, method.c_str(), kCalls.kind, &ordinary);
    if (hr != S_OK) ThrowWmError(hr);
    if (CDeviceRecordService::ListIds(kLunarCalls.list, method.c_str(), kLunarCalls.kind,
                                      &lunar) != S_OK)
      lunar.clear();
    const RecordCalls* stored = nullptr;
    if (std::find(ordinary.begin(), ordinary.end(), id) != ordinary.end()) {
      stored = &kCalls;
    } else if (std::find(lunar.begin(), lunar.end(), id) != lunar.end()) {
      stored = &kLunarCalls;
    } else {
      ThrowWmError(1);
    }
    const RecordCalls& now = StoreFor(fields);
    std::optional<DWORD> newId;
    if (stored == &now) {
      newId = WriteRecord(now, fields, true, id, method.c_str());
    } else {
      // A failing delete stops the move before the add.
      hr = CDeviceRecordService::DeleteRecord(stored->remove, method.c_str(), stored->kind, id);
      if (hr != S_OK) ThrowWmError(hr);
      newId = WriteRecord(now, fields, false, 0, method.c_str());
    }
    if (!newId) return S_OK;
    return item->SchemaConvertMap2Item(fields);
  });
}

// ---- Mapping -------------------------------------------------------------------------------

namespace {

constexpr int16_t kDeviceTrue = -1;  // 0xFFFF
// The pattern end date of an all-day appointment that never ends: 1 January 4501.
constexpr DATE kNoPatternEnd = 949998.0;

constexpr int32_t kMinutesPerHour = 60, kMinutesPerDay = 1440, kMinutesPerWeek = 10080;

const char16_t* const kSensitivity[] = {u"Normal", u"Personal", u"Private", u"Confidential"};
const char16_t* const kBusyStatus[] = {u"Free", u"Tentative", u"Busy", u"OutofOffice"};

void PutI4(FieldMap* f, const char16_t* column, LONG v) { PutField(*f, column, Variant::I4(v)); }
void PutText(FieldMap* f, const char16_t* column, std::u16string_view v) {
  PutField(*f, column, Variant::Str(v));
}

// The reminder ladder: minutes before the start as the largest whole unit.
void AlarmToFields(const CPropertyMap& p, FieldMap* f) {
  PutField(*f, u"ALARM_TARGET_DATE", Variant::Null());
  PutField(*f, u"ALARM_BEFORETARGET_TIME", Variant::Null());
  PutText(f, u"ALARM_TYPE", u"None");
  PutI4(f, u"ALARM_BEFORETARGET_VALUE", 0);
  int16_t set = 0;
  if (!p.GetBoolean(u"ReminderSet", &set)) return;
  if (set == 0) {
    PutI4(f, u"ALARM_VALUE", 0);
    return;
  }
  int32_t m = 0;
  const char16_t* unit = u"Minute";
  LONG value = 0;
  if (p.GetInteger(u"ReminderMinutesBeforeStart", &m)) {
    if (m < 0) {
      unit = u"Week", value = 0;
    } else if (m < kMinutesPerHour) {
      unit = u"Minute", value = m;
    } else if (m % kMinutesPerWeek == 0) {
      unit = u"Week", value = m / kMinutesPerWeek;
    } else if (m >= kMinutesPerDay && m % kMinutesPerDay == 0) {
      unit = u"Day", value = m / kMinutesPerDay;
    } else if (m % kMinutesPerHour == 0) {
      unit = u"Hour", value = m / kMinutesPerHour;
    } else {
      unit = u"Minute", value = m;
    }
  }
  PutText(f, u"ALARM_TYPE", unit);
  PutI4(f, u"ALARM_VALUE", value);
}

void RecurrenceToFields(const CPropertyMap& p, bool allDay, DATE start, FieldMap* f) {
  PutText(f, u"RECURRENCE_UI_TYPE", u"");
  for (const char16_t* column :
       {u"RECURRENCE_EXPIRE_DATE", u"RECURRENCE_EXPIRE_TYPE", u"RECURRENCE_EXPIRE_VALUE",
        u"RECURRENCE_EVERY_DATE", u"RECURRENCE_EVERY", u"RECURRENCE_FLAG"})
    PutField(*f, column, Variant::Null());
  PutI4(f, u"RECURRENCE_TYPE", 0);
  int16_t recurring = 0;
  if (!p.GetBoolean(u"IsRecurring", &recurring) || recurring != kDeviceTrue) return;

  PutField(*f, u"RECURRENCE_EVERY_DATE", Variant::Date(OleDatePart(start)));
  PutText(f, u"RECURRENCE_UI_TYPE", u"Type5");
  RecurrenceTypeToFields(p, f, YearlyEveryDate::kStartDay, start);
  int32_t interval = 1;
  p.GetInteger(u"RecurrPattern.Interval", &interval);
  PutI4(f, u"RECURRENCE_EVERY", interval);

  int16_t noEnd = 0;
  double endDate = 0, endTime = 0;
  int32_t occurrences = 0;
  if (p.GetBoolean(u"RecurrPattern.NoEndDate", &noEnd)) {
    if (noEnd == kDeviceTrue) {
      PutI4(f, u"RECURRENCE_EXPIRE_TYPE", 2);
      PutI4(f, u"RECURRENCE_EXPIRE_VALUE", 0);
    }
  } else if (p.GetDate(u"RecurrPattern.PatternEndDate", &endDate)) {
    PutI4(f, u"RECURRENCE_EXPIRE_TYPE", 0);
    if (!allDay) {
      // The pattern's last end on the phone's clock, as a local day.
      p.GetDate(u"RecurrPattern.EndTime", &endTime);
      endDate = OleDatePart(UtcToLocal(endDate + OleTimePart(endTime)));
    }
    PutField(*f, u"RECURRENCE_EXPIRE_DATE", Variant::Date(endDate));
    PutI4(f, u"RECURRENCE_EXPIRE_VALUE", 0);
  } else if (p.GetInteger(u"RecurrPattern.Occurrences", &occurrences) && occurrences > 0) {
    PutI4(f, u"RECURRENCE_EXPIRE_TYPE", 1);
    PutI4(f, u"RECURRENCE_EXPIRE_VALUE", occurrences);
    PutField(*f, u"RECURRENCE_EXPIRE_DATE", Variant::Null());
  }
}

// START_DATE_TYPE of a record that carries "Lunar": a leap month needs the lunar library.
const char16_t* LunarDateType(DATE start, const CConvLunar* lunar) {
  OleDateParts s{};
  if (lunar && SplitOleDate(start, &s) && lunar->IsLeapMonth(s.year, s.month, s.day))
    return u"LEAP";
  return u"LUNAR";
}

}  // namespace

void CDataTableWMSchedule::ScheduleRecordToFields(const CPropertyMap& p, FieldMap* f,
                                                  const CConvLunar* lunar) {
  std::u16string text;
  double date = 0;
  int32_t number = 0;
  int16_t flag = 0;

  PutI4(f, u"TYPE", 0);
  const bool allDay = p.GetBoolean(u"AllDayEvent", &flag) && flag == kDeviceTrue;
  PutText(f, u"ISALLDAY", allDay ? u"TRUE" : u"FALSE");
  if (p.GetString(u"Subject", &text)) PutText(f, u"SUBJECT", text);
  if (p.GetString(u"Location", &text)) PutText(f, u"LOCATION", text);
  PutText(f, u"DETAIL", p.GetString(u"Body", &text) ? text : u"");

  DATE start = 0;
  if (p.GetDate(u"Start", &date)) {
    start = allDay ? date : UtcToLocal(date);
    PutField(*f, u"START_DATE", Variant::Date(start));
    PutField(*f, u"END_DATE", Variant::Date(start));
  }
  if (p.GetDate(u"End", &date))
    PutField(*f, u"END_DATE", Variant::Date(allDay ? OleAddMinutes(date, -1) : UtcToLocal(date)));

  AlarmToFields(p, f);
  RecurrenceToFields(p, allDay, start, f);

  PutText(f, u"CATEGORIES", p.GetString(u"Categories", &text) ? text : u"");
  const bool hasSensitivity = p.GetInteger(u"ulSensitivity", &number);
  PutText(f, u"SENSITIVITY",
          kSensitivity[hasSensitivity && number >= 0 && number <= 3 ? number : 0]);
  const bool hasBusy = p.GetInteger(u"ulBusyStatus", &number);
  PutText(f, u"STATUS", kBusyStatus[hasBusy && number >= 0 && number <= 3 ? number : 0]);
  if (p.GetString(u"Attendee", &text)) PutText(f, u"ATTENDEES", text);

  PutText(f, u"START_DATE_TYPE", p.Has(u"Lunar") ? LunarDateType(start, lunar) : u"SOLAR");
  PutText(f, u"END_DATE_TYPE", u"SOLAR");
  PutI4(f, u"PRIORITY", 1);
  PutI4(f, u"DONE_STATE", 0);
}

// ---- Column -> device --------------------------------------------------------------------

namespace {

// The reminder: ALARM_TYPE's unit times ALARM_VALUE, in minutes before the start.
void AlarmToRecord(FieldMap& f, CPropertyList* list) {
  const std::u16string type = ReadFieldString(f, u"ALARM_TYPE");
  if (type.empty() || type == u"None") {
    list->AddBoolean("ReminderSet", 0);
    return;
  }
  list->AddBoolean("ReminderSet", kDeviceTrue);
  const LONG value = ReadFieldI4(f, u"ALARM_VALUE", 0);
  LONG minutes = 0;
  if (type == u"Minute") {
    minutes = value;
  } else if (type == u"Hour") {
    minutes = value * kMinutesPerHour;
  } else if (type == u"Day") {
    minutes = value * kMinutesPerDay;
  } else if (type == u"Week") {
    minutes = value * kMinutesPerWeek;
  } else if (type == u"Target" || type == u"BeforeTarget") {
    // Alarms at a set time are not kept by the phone's appointments: no reminder.
    PutText(&f, u"ALARM_TYPE", u"None");
    PutField(f, u"ALARM_VALUE", Variant::Null());
    list->AddBoolean("ReminderSet", 0);
    return;
  } else {
    PutText(&f, u"ALARM_TYPE", u"Minute");
  }
  PutI4(&f, u"ALARM_VALUE", minutes);
  list->AddInteger("ReminderMinutesBeforeStart", minutes);
}

// Whole minutes of a span of days, rounded half a second away from zero.
int32_t WholeMinutes(DATE span) {
  const double seconds = span * 86400.0;
  return static_cast<int32_t>(std::trunc((seconds + (seconds < 0 ? -0.5 : 0.5)) / 60.0));
}

// A date column kept within the table's years; the column follows when the date moves.
DATE ReadTableDate(FieldMap& f, const char16_t* column) {
  const DATE value = ReadFieldDate(f, column, 0);
  const DATE kept = KeepWithinTableYears(value);
  if (kept != value) PutField(f, column, Variant::Date(kept));
  return kept;
}

}  // namespace

void CDataTableWMSchedule::ScheduleFieldsToRecord(FieldMap& f, CPropertyList* list) {
  PutI4(&f, u"TYPE", 0);
  for (auto [column, property] : {std::pair{u"SUBJECT", "Subject"}, std::pair{u"LOCATION", "Location"},
                                  std::pair{u"DETAIL", "Body"}}) {
    const std::u16string text = ReadFieldString(f, column);
    if (!text.empty()) list->AddString(property, text);
  }

  const bool allDay = ReadFieldString(f, u"ISALLDAY") == u"TRUE";
  const DATE startColumn = ReadTableDate(f, u"START_DATE");
  DATE endColumn = ReadTableDate(f, u"END_DATE");
  if (endColumn < startColumn) {
    endColumn = startColumn;
    PutField(f, u"END_DATE", Variant::Date(endColumn));
  }
  const DATE start = allDay ? OleDatePart(startColumn) : LocalToUtc(startColumn);
  const DATE end = allDay ? OleDatePart(endColumn) + 1 : LocalToUtc(endColumn);
  const int32_t duration = WholeMinutes(end - start);
  list->AddDate("Start", start);
  list->AddDate("End", end);
  if (allDay) {
    list->AddBoolean("AllDayEvent", kDeviceTrue);
  } else {
    list->AddInteger("Duration", duration);
  }

  AlarmToRecord(f, list);

  const LONG type = ReadFieldI4(f, u"RECURRENCE_TYPE", 0);
  const LONG flag = ReadFieldI4(f, u"RECURRENCE_FLAG", 0);
  const LONG every = ReadFieldI4(f, u"RECURRENCE_EVERY", 1);
  OleDateParts s{};
  SplitOleDate(startColumn, &s);
  RecurrencePatternToRecord(type, flag, PatternDays{s.day, s.day, s.month, s.month}, list);
  if (type >= 1 && type <= 6 && !allDay) list->AddInteger("RecurrPattern.Duration", duration);
  RecurrenceIntervalToRecord(every, list);

  switch (ReadFieldI4(f, u"RECURRENCE_EXPIRE_TYPE", 0)) {
    case 0: {
      const DATE expire = ReadFieldDate(f, u"RECURRENCE_EXPIRE_DATE", 0);
      const std::optional<DATE> last = LastOccurrence(startColumn, type, every, flag);
      if (!last && allDay) break;
      const DATE endDate = last && expire > *last ? *last : expire;
      list->AddDate("RecurrPattern.PatternStartDate", OleDatePart(start));
      list->AddDate("RecurrPattern.StartTime", OleTimePart(start));
      list->AddDate("RecurrPattern.PatternEndDate",
                    allDay ? OleDatePart(endDate)
                           : OleDatePart(LocalToUtc(OleDatePart(endDate) + OleTimePart(endColumn))));
      list->AddDate("RecurrPattern.EndTime", OleTimePart(end));
      break;
    }
    case 1: {
      const LONG count = ReadFieldI4(f, u"RECURRENCE_EXPIRE_VALUE", 0);
      if (count > 0) list->AddInteger("RecurrPattern.Occurrences", std::min<LONG>(count, 999));
      if (allDay) {
        list->AddDate("RecurrPattern.PatternStartDate", OleDatePart(start));
        list->AddDate("RecurrPattern.StartTime", start);
        list->AddDate("RecurrPattern.EndTime", end);
      }
      break;
    }
    case 2:
      list->AddBoolean("RecurrPattern.NoEndDate", kDeviceTrue);
      if (allDay) {
        list->AddDate("RecurrPattern.PatternStartDate", OleDatePart(start));
        list->AddDate("RecurrPattern.PatternEndDate", kNoPatternEnd);
        list->AddDate("RecurrPattern.StartTime", start);
        list->AddDate("RecurrPattern.EndTime", end);
      }
      break;
    default:
      break;
  }

  const std::u16string categories = ReadFieldString(f, u"CATEGORIES");
  if (!categories.empty()) list->AddString("Categories", categories);

  const std::u16string sensitivity = ReadFieldString(f, u"SENSITIVITY");
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
  const std::u16string status = ReadFieldString(f, u"STATUS");
  if (status.empty()) {
    list->AddInteger("ulBusyStatus", 2);
  } else {
    for (int32_t i = 0; i < 4; ++i) {
      if (status == kBusyStatus[i]) {
        list->AddInteger("ulBusyStatus", i);
        break;
      }
    }
  }
  const std::u16string attendees = ReadFieldString(f, u"ATTENDEES");
  if (!attendees.empty()) list->AddString("Attendee", attendees);

  const std::u16string dateType = ReadFieldString(f, u"START_DATE_TYPE");
  if (EqualsNoCase(dateType, u"LUNAR") || EqualsNoCase(dateType, u"LEAP"))
    list->AddUtf8("Lunar", "LUNAR");
}

}  // namespace qwb
