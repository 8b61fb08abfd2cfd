#include "tables/organizer/DataTableWMTask.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/ItemWMTask.h"
#include "core/Log.h"
#include "link/DeviceRecordWM.h"
#include "link/RapiBase.h"
#include "tables/organizer/Recurrence.h"
#include "tables/organizer/TimeConv.h"

namespace qwb {
namespace {

constexpr char kSource[] = ".\\DataTableWMTask.cpp";
constexpr DWORD kTaskKind = devrec::kKindTask;

// The first 32-bit word of a reply; false when the reply is shorter.
bool FirstWord(const std::vector<uint8_t>& reply, DWORD* out) {
  if (reply.size() < 4) return false;
  std::memcpy(out, reply.data(), 4);
  return true;
}

}  // namespace

CDataTableWMTask::CDataTableWMTask() { m_pColumns = CItemWMTask::CreateColumns(); }

CDataTableWMTask::~CDataTableWMTask() = default;

HRESULT CDataTableWMTask::GetAllEntryID() {
  m_vEntryID.clear();
  DWORD size = 0;
  BYTE* request = CRapiBase::WordsRequest({kTaskKind}, &size);
  std::vector<uint8_t> reply;
  HRESULT hr = CRapiBase::InvokeBlock(u"DevCeList", "[%s]DevCeList hr=0x%x",
                                      "CDataTableWMTask::GetAllEntryID", request, size, &reply);
  if (hr != S_OK) return hr;
  DWORD count = 0;
  if (!FirstWord(reply, &count)) return hr;  // an empty reply: no tasks
  // Only the ids that arrived are taken.
  DWORD available = static_cast<DWORD>((reply.size() - 4) / 4);
  if (count > available) count = available;
  m_vEntryID.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    DWORD id;
    std::memcpy(&id, reply.data() + 4 + 4 * i, 4);
    m_vEntryID.push_back(id);
  }
  return hr;
}

void CDataTableWMTask::BeginListing() {
  m_nTotal = 0;
  HRESULT hr = GetAllEntryID();
  if (FAILED(hr)) ThrowHr(hr);
  m_nTotal = static_cast<LONG>(m_vEntryID.size());
  m_nIndex = 0;
  m_bListing = TRUE;
  m_bListed = TRUE;
}

HRESULT CDataTableWMTask::ListItemsAllBegin() {
  return TableMethodFrame("CDataTableWMTask::ListItemsAllBegin", kSource, __LINE__, [&] {
    ListItemsEnd();
    BeginListing();
    return S_OK;
  });
}

HRESULT CDataTableWMTask::ListItemsEnd() {
  m_bListing = FALSE;
  return S_OK;
}

HRESULT CDataTableWMTask::GetItemCount(IItem*, ULONG, DCADATATYPE, ULONG* cnt) {
  return TableMethodFrame("CDataTableWMTask::GetItemCount", kSource, __LINE__, [&] {
    if (!cnt) return E_POINTER;
    if (!m_bListing) {
      try {
        BeginListing();
      } catch (HRESULT) {
        *cnt = 0;
        throw;
      }
    }
    *cnt = static_cast<ULONG>(m_nTotal);
    return S_OK;
  });
}

HRESULT CDataTableWMTask::NextItem(IItem** ppItem) {
  return TableMethodFrame("CDataTableWMTask::NextItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    if (!m_bListed) return E_FAIL;
    if (m_nIndex >= m_nTotal) return S_OK;
    if (m_vEntryID.empty()) return S_FALSE;
    // Tasks created during the listing raise the count but are not part of it.
    if (static_cast<size_t>(m_nIndex) >= m_vEntryID.size()) return S_OK;

    DWORD id = m_vEntryID[static_cast<size_t>(m_nIndex)];
    FieldMap fields;
    if (!ReadTask("CDataTableWMTask::NextItem", id, &fields)) return S_OK;
    PutField(fields, u"SUID", Variant::UI4(id));

    ComPtr<CItemWMTask> item = MakeItem<CItemWMTask>();
    item->SetColumns(m_pColumns.Get());
    HRESULT hr = item->SchemaConvertMap2Item(fields);
    if (FAILED(hr)) return hr;
    item->AsItem()->AddRef();
    *ppItem = item->AsItem();
    ++m_nIndex;
    if (m_nIndex >= m_nTotal) return ListItemsEnd();
    return S_OK;
  });
}

HRESULT CDataTableWMTask::NewItem(DCADATATYPE, SUID itemSuid, SUID, IItem** ppItem) {
  return TableMethodFrame("CDataTableWMTask::NewItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    ComPtr<CItemWMTask> item = MakeItem<CItemWMTask>();
    item->SetColumns(m_pColumns.Get());
    item->SetSUID(itemSuid);
    item->AsItem()->AddRef();
    *ppItem = item->AsItem();
    return S_OK;
  });
}

bool CDataTableWMTask::ReadTask(const char* method, DWORD id, FieldMap* fields) {
  DWORD size = 0;
  BYTE* request = CRapiBase::WordsRequest({kTaskKind, id}, &size);
  std::vector<uint8_t> reply;
  HRESULT hr =
      CRapiBase::InvokeBlock(u"DevCeGet", "[%s]DevCeGet hr=0x%x", method, request, size, &reply);
  if (hr != S_OK) ThrowWmError(hr);
  CPropertyMap props;
  if (DecodeTaskRecord(kTaskKind, reply.data(), static_cast<DWORD>(reply.size()), &props) ==
      kDecodeEmpty)
    return false;
  TaskRecordToFields(props, fields);
  return true;
}

HRESULT CDataTableWMTask::WriteItem(const char* method, IItem* pItem, bool replace,
                                    SUID* itemSuid) {
  if (!pItem) return E_POINTER;
  CItemWMBase* item = CItemWMBase::FromItem(pItem);
  if (!item) return E_INVALIDARG;
  FieldMap fields;
  HRESULT hr = item->SchemaConvertItem2Map(fields);
  if (FAILED(hr)) return hr;

  DWORD entryId = replace ? static_cast<DWORD>(item->GetSUID()) : 0;
  CPropertyList list(kTaskKind);
  TaskFieldsToRecord(fields, &list);
  DWORD size = 0;
  BYTE* request =
      BuildDeviceRecord(list, replace ? devrec::kModeReplace : devrec::kModeAdd, entryId, &size);
  std::vector<uint8_t> reply;
  hr = replace ? CRapiBase::InvokeBlock(u"DevCeReplaceTask", "[%s]DevCeReplaceTask hr=0x%x", method,
                                        request, size, &reply)
               : CRapiBase::InvokeBlock(u"DevCeAddTask", "[%s]DevCeAddTask hr=0x%x", method,
                                        request, size, &reply);
  if (hr != S_OK) ThrowWmError(hr);
  DWORD newId = 0;
  if (!FirstWord(reply, &newId)) return S_OK;  // stored, but no id came back

  if (itemSuid) *itemSuid = static_cast<SUID>(newId);
  PutField(fields, u"SUID", Variant::I4(static_cast<LONG>(newId)));
  // Re-read so that the item shows what the phone stored; a failed re-read is no error.
  try {
    ReadTask(method, newId, &fields);
  } catch (const _wm_error&) {
  }
  hr = item->SchemaConvertMap2Item(fields);
  if (FAILED(hr)) return hr;
  if (!replace) ++m_nTotal;
  return S_OK;
}

HRESULT CDataTableWMTask::CreateItem(IItem* pItem, SUID* itemSuid) {
  return TableMethodFrame("CDataTableWMTask::CreateItem", kSource, __LINE__, [&] {
    return WriteItem("CDataTableWMTask::CreateItem", pItem, false, itemSuid);
  });
}

HRESULT CDataTableWMTask::UpdateItem(IItem* pItem) {
  return TableMethodFrame("CDataTableWMTask::UpdateItem", kSource, __LINE__, [&] {
    return WriteItem("CDataTableWMTask::UpdateItem", pItem, true, nullptr);
  });
}

HRESULT CDataTableWMTask::DeleteItem(IItem* pItem) {
  return TableMethodFrame("CDataTableWMTask::DeleteItem", kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    SUID suid = SUID_NULL;
    HRESULT hr = pItem->get_SUID(&suid);
    if (FAILED(hr)) return hr;
    DWORD size = 0;
    BYTE* request = CRapiBase::WordsRequest({kTaskKind, static_cast<DWORD>(suid)}, &size);
    std::vector<uint8_t> reply;
    hr = CRapiBase::InvokeBlock(u"DevCeDelete", "[%s]DevCeDelete hr=0x%x",
                                "CDataTableWMTask::DeleteItem", request, size, &reply);
    if (hr != S_OK) ThrowWmError(hr);
    --m_nTotal;
    return S_OK;
  });
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

  // Monthly takes its day from START_DATE; yearly its day and month from
  // RECURRENCE_EVERY_DATE when that is set, else from START_DATE; yearly by weekday its month
  // from RECURRENCE_EVERY_DATE.
  DATE everyDate = ReadFieldDate(f, u"RECURRENCE_EVERY_DATE", 0);
  OleDateParts s{}, e{};
  bool hasStart = SplitOleDate(startColumn, &s);
  bool hasEvery = everyDate != 0 && SplitOleDate(everyDate, &e);
  const OleDateParts* yearly = hasEvery ? &e : hasStart ? &s : nullptr;
  PatternDays days;
  days.monthlyDay = hasStart ? s.day : 0;
  days.yearlyDay = yearly ? yearly->day : 0;
  days.yearlyMonth = yearly ? yearly->month : 0;
  days.weekdayMonth = hasEvery ? e.month : 0;
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
