#include "tables/contacts/DataTableWMSIM.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/DeviceDataWM.h"
#include "core/Errors.h"
#include "core/ItemWMSIM.h"
#include "link/DeviceRecordWM.h"
#include "link/DeviceRecordService.h"
#include "link/ServiceFormats.h"

namespace qwb {
namespace {

constexpr char kSource[] = ".\\DataTableWMSIM.cpp";
constexpr DWORD kKind = devrec::kKindSimContact;
constexpr int kOlDomestic = 0;

// Module errors of the SIM table.
constexpr HRESULT kErrSimBusy = 12045;
constexpr HRESULT kErrSimAbsent = 10030;
constexpr HRESULT kErrSimLocked = 10005;
constexpr HRESULT kErrSimFull = 10020;
constexpr HRESULT kErrSimRefused = 10024;

HRESULT H(uint32_t v) { return static_cast<HRESULT>(v); }

// A failed load as ListItemsAllBegin reports it (all rows) or GetItemCount (the first only).
[[noreturn]] void RaiseLoadFailure(HRESULT hr, bool fullMapping) {
  if (hr == H(0x88000207) || hr == H(0x88000064) || hr == H(0x88000067)) ThrowWmError(kErrSimBusy);
  if (fullMapping) {
    if (hr == H(0x8800006B)) ThrowWmError(kErrSimAbsent);
    if (hr == H(0x88000123) || hr == H(0x88000121) || hr == H(0x88000120))
      ThrowWmError(kErrSimLocked);
  }
  ThrowWmError(hr);
}

// A refused add or replace.
[[noreturn]] void RaiseWriteFailure(HRESULT hr) {
  if (hr == H(0x88000340)) ThrowWmError(kErrSimFull);
  if (hr == H(0x88000068)) ThrowWmError(kErrSimRefused);
  ThrowWmError(hr);
}

void PutNumber(FieldMap* f, int n, const std::u16string& number) {
  std::u16string i(1, char16_t(u'0' + n));  // n is 0 to 4
  PutField(*f, u"TEL_NUM_" + i, Variant::Str(number));
  PutField(*f, u"TEL_TYPE_" + i, Variant::Str(u"Mobile.Private"));
}

void PutEmail(FieldMap* f, const std::u16string& email) {
  PutField(*f, u"EMAIL_ADDR_0", Variant::Str(email));
  PutField(*f, u"EMAIL_TYPE_0", Variant::Str(u"private"));
  PutField(*f, u"EMAIL_COUNT", Variant::I4(1));
}

}  // namespace

// The SIM phonebook's calls; the card's listing by positions and its one-call form.
const RecordCalls kSimCalls = {.kind = kKind,
                               .list = u"DevCePhonebookSIMList",
                               .get = u"DevCePhonebookSIMGet",
                               .add = u"DevCePhonebookSIMAdd",
                               .replace = u"DevCePhonebookSIMReplace",
                               .remove = u"DevCePhonebookSIMDelete"};

CDataTableWMSIM::CDataTableWMSIM() : CRecordTableWM("CDataTableWMSIM", kSource) {
  m_pColumns = CItemWMSIM::CreateColumns();
  AddEntryIdList(kSimCalls);
}

CDataTableWMSIM::~CDataTableWMSIM() = default;

ComPtr<CItemWMBase> CDataTableWMSIM::CreateTableItem() {
  return ComPtr<CItemWMBase>::Attach(MakeItem<CItemWMSIM>().Detach());
}

void CDataTableWMSIM::RecordToFields(const CPropertyMap& props, FieldMap* fields) {
  // The machinery puts the SUID; the mapping's own is the same entry id.
  SimPropertiesToFields(props, 0, fields);
  fields->erase(u"SUID");
}

void CDataTableWMSIM::FieldsToRecord(FieldMap& fields, CPropertyList* list) {
  SimFieldsToProperties(fields, list);
}

// ---- Mapping --------------------------------------------------------------------------------

void CDataTableWMSIM::SimPropertiesToFields(const CPropertyMap& p, DWORD entryId, FieldMap* f) {
  PutField(*f, u"SUID", Variant::UI4(entryId));
  std::u16string s;
  if (p.GetString(u"Name", &s)) PutField(*f, u"DISPLAY_NAME", Variant::Str(s));
  if (p.GetString(u"SecondName", &s)) PutField(*f, u"READING_FIRST_NAME", Variant::Str(s));
  int n = 0;
  if (p.GetString(u"TelNumber", &s)) {
    PutNumber(f, 0, s);
    n = 1;
  }
  int32_t count = 0;
  if (p.GetInteger(u"AdditionalNumCount", &count) && count > 0) {
    static const char16_t* const kAdditional[] = {u"AdditionalNum0", u"AdditionalNum1",
                                                  u"AdditionalNum2", u"AdditionalNum3"};
    for (int i = 0; i < 4; ++i) {
      if (!p.GetString(kAdditional[i], &s)) continue;
      PutNumber(f, i + 1, s);
      ++n;
    }
  }
  PutField(*f, u"TEL_COUNT", Variant::I4(n));
  int32_t emails = 0;
  if (p.GetInteger(u"EmailCount", &emails) && emails >= 1 && p.GetString(u"Email0", &s))
    PutEmail(f, s);
}

void CDataTableWMSIM::SimRecordToFields(const devrec::SimRecord& r, FieldMap* f) {
  PutField(*f, u"SUID", Variant::I4(static_cast<LONG>(r.entryId)));
  PutField(*f, u"DISPLAY_NAME", Variant::Str(r.name));
  PutNumber(f, 0, r.number);
  int n = 1;
  if (!r.number2.empty()) {
    PutNumber(f, 1, r.number2);
    n = 2;
  }
  PutField(*f, u"TEL_COUNT", Variant::I4(n));
  if (!r.email.empty()) PutEmail(f, r.email);
}

void CDataTableWMSIM::SimFieldsToProperties(const FieldMap& f, CPropertyList* list) {
  auto addIf = [&](const char16_t* column, const char* prop) {
    std::u16string s = ReadFieldString(f, column);
    if (!s.empty()) list->AddString(prop, s);
    return !s.empty();
  };
  addIf(u"DISPLAY_NAME", "Name");
  addIf(u"READING_FIRST_NAME", "SecondName");
  addIf(u"TEL_NUM_0", "TelNumber");
  if (ReadFieldI4(f, u"TEL_COUNT", 0) > 1) {
    // The count goes first as 0 and again after the numbers with the real count.
    list->AddInteger("AdditionalNumCount", 0);
    int32_t added = 0;
    if (addIf(u"TEL_NUM_1", "AdditionalNum0")) ++added;
    if (addIf(u"TEL_NUM_2", "AdditionalNum1")) ++added;
    if (addIf(u"TEL_NUM_3", "AdditionalNum2")) ++added;
    list->AddInteger("AdditionalNumCount", added);
  }
  LONG emails = ReadFieldI4(f, u"EMAIL_COUNT", 0);
  if (emails > 0) {
    list->AddInteger("EmailCount", emails);
    addIf(u"EMAIL_ADDR_0", "Email0");
  }
}

DWORD CDataTableWMSIM::FreePosition(std::vector<DWORD> used, DWORD minIndex) {
  std::sort(used.begin(), used.end());
  DWORD candidate = minIndex;
  for (DWORD id : used) {
    if (candidate < id) break;
    candidate = std::max(candidate, id + 1);
  }
  return candidate;
}

// ---- Device calls ---------------------------------------------------------------------------

HRESULT CDataTableWMSIM::GetAllEntryID() {
  std::vector<DWORD>& ids = EntryIdLists().front().ids;
  ids.clear();
  m_vSIMRecords.clear();
  m_nCardUsed.reset();
  m_nCapacity = 0;
  m_bOneCall = m_pDeviceData->GetWMModelType() == kOlDomestic;
  HRESULT hr;
  if (m_bOneCall) {
    std::vector<uint8_t> reply;
    hr = CDeviceRecordService::Call(u"DevCePhonebookSIMListAll", "CDataTableWMSIM::GetAllEntryID",
                                    devrec::EncodeKindRequest(kKind), &reply);
    if (hr != S_OK) return hr;
    devrec::ReadSimRecordList(reply.data(), reply.size(), &m_vSIMRecords);
    for (const devrec::SimRecord& r : m_vSIMRecords) ids.push_back(r.entryId);
  } else {
    hr = CDeviceRecordService::ListIds(kSimCalls.list, "CDataTableWMSIM::GetAllEntryID", kKind,
                                       &ids);
    if (hr != S_OK) return hr;
  }
  GetSimInformation();
  return S_OK;
}

void CDataTableWMSIM::GetSimInformation() {
  std::vector<uint8_t> reply;
  HRESULT hr = CDeviceRecordService::Call(u"DevCePhonebookSIMInfo",
                                          "CDataTableWMSIM::GetSimInformation",
                                          devrec::EncodeKindRequest(kKind), &reply);
  if (hr != S_OK || reply.empty()) return;
  CPropertyMap map;
  if (DecodeDeviceRecord(kKind, reply.data(), static_cast<DWORD>(reply.size()), &map) != kDecodeOk)
    return;
  int32_t v = 0;
  if (map.GetInteger(u"nUsed", &v)) m_nCardUsed = static_cast<DWORD>(v);
  if (map.GetInteger(u"nTotal", &v)) m_nCapacity = static_cast<DWORD>(v);
  const struct {
    const char16_t* name;
    DWORD* field;
  } fields[] = {{u"MaxPBEAddressLength", &m_nMaxAddressLength},
                {u"MaxPBETextLength", &m_nMaxTextLength},
                {u"MinPBIndex", &m_nMinIndex},
                {u"MaxPBIndex", &m_nMaxIndex}};
  for (const auto& f : fields)
    if (map.GetInteger(f.name, &v)) *f.field = static_cast<DWORD>(v);
}

void CDataTableWMSIM::BeginSimListing(bool fullMapping) {
  try {
    BeginListing();
  } catch (HRESULT hr) {
    RaiseLoadFailure(hr, fullMapping);
  }
  // The card's own count of contacts in use, when it gives one.
  if (m_nCardUsed) m_nTotal = static_cast<LONG>(*m_nCardUsed);
}

// ---- Listing --------------------------------------------------------------------------------

HRESULT CDataTableWMSIM::ListItemsAllBegin() {
  return TableMethodFrame("CDataTableSIM::ListItemsAllBegin", kSource, __LINE__, [&] {
    ListItemsEnd();
    BeginSimListing(true);
    return S_OK;
  });
}

HRESULT CDataTableWMSIM::GetItemCount(IItem*, ULONG, DCADATATYPE, ULONG* cnt) {
  return Frame("GetItemCount", __LINE__, [&] {
    if (!cnt) return E_POINTER;
    if (State() != ListingState::kListing) {
      try {
        BeginSimListing(false);
      } catch (...) {
        *cnt = 0;
        throw;
      }
    }
    *cnt = static_cast<ULONG>(m_nTotal);
    return S_OK;
  });
}

HRESULT CDataTableWMSIM::NextItem(IItem** ppItem) {
  if (!m_bOneCall || State() == ListingState::kIdle) return CRecordTableWM::NextItem(ppItem);
  // olDomestic: the records came with the listing.
  return Frame("NextItem", __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    EntryIdList& list = EntryIdLists().front();
    if (m_nIndex >= m_nTotal || list.index >= m_vSIMRecords.size()) return S_OK;
    FieldMap fields;
    SimRecordToFields(m_vSIMRecords[list.index], &fields);
    *ppItem = ItemFromFields(fields).Detach()->AsItem();
    ++list.index;
    ++m_nIndex;
    return S_OK;
  });
}

// ---- Writing --------------------------------------------------------------------------------

DWORD CDataTableWMSIM::WriteContact(const char* method, IItem* pItem, bool replace,
                                    DWORD entryId) {
  CItemWMBase* item = CItemWMBase::FromItem(pItem);
  if (!item) ThrowHr(E_INVALIDARG);
  FieldMap fields;
  HRESULT hr = item->SchemaConvertItem2Map(fields);
  if (FAILED(hr)) ThrowHr(hr);
  CPropertyList list(kKind);
  FieldsToRecord(fields, &list);
  // Both writes carry the position: the add the one the table chose.
  std::optional<DWORD> stored;
  hr = CDeviceRecordService::PutRecord(replace ? kSimCalls.replace : kSimCalls.add, method, list,
                                       devrec::kModeReplace, entryId, &stored);
  if (hr != S_OK) RaiseWriteFailure(hr);
  return stored.value_or(entryId);
}

HRESULT CDataTableWMSIM::CreateItem(IItem* pItem, SUID* itemSuid) {
  return TableMethodFrame("CDataTableSIM::CreateItem", kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    CItemWMBase* item = CItemWMBase::FromItem(pItem);
    if (!item) return E_INVALIDARG;
    // A full card is refused without asking the phone.
    const DWORD used = static_cast<DWORD>(std::max<LONG>(m_nTotal, 0));
    if (used >= m_nCapacity && m_nCapacity > 0) ThrowWmError(kErrSimFull);
    DWORD entryId = 0;
    if (m_pDeviceData->GetWMModelType() != kOlDomestic) {
      std::vector<DWORD> ids;
      HRESULT hr = CDeviceRecordService::ListIds(kSimCalls.list, "CDataTableWMSIM::GetAllEntryID",
                                                 kKind, &ids);
      if (hr == H(0x88000207) || hr == H(0x88000064) || hr == H(0x88000067))
        ThrowWmError(kErrSimBusy);
      if (hr == H(0x8800006B)) ThrowWmError(kErrSimAbsent);
      if (FAILED(hr)) ThrowWmError(hr);
      entryId = FreePosition(ids, m_nMinIndex);
    }
    DWORD stored = WriteContact("CDataTableWMSIM::CreateItem", pItem, false, entryId);
    if (itemSuid) *itemSuid = static_cast<SUID>(stored);
    item->SetSUID(static_cast<SUID>(stored));
    ++m_nTotal;
    return S_OK;
  });
}

HRESULT CDataTableWMSIM::UpdateItem(IItem* pItem) {
  return TableMethodFrame("CDataTableSIM::UpdateItem", kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    CItemWMBase* item = CItemWMBase::FromItem(pItem);
    if (!item) return E_INVALIDARG;
    WriteContact("CDataTableWMSIM::UpdateItem", pItem, true, static_cast<DWORD>(item->GetSUID()));
    return S_OK;
  });
}

HRESULT CDataTableWMSIM::DeleteItem(IItem* pItem) {
  return TableMethodFrame("CDataTableSIM::DeleteItem", kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    SUID suid = SUID_NULL;
    HRESULT hr = pItem->get_SUID(&suid);
    if (FAILED(hr)) return hr;
    hr = CDeviceRecordService::DeleteRecord(kSimCalls.remove, "CDataTableWMSIM::DeleteItem", kKind,
                                            static_cast<DWORD>(suid));
    if (hr != S_OK) ThrowWmError(hr);
    if (m_nTotal > 0) --m_nTotal;
    return S_OK;
  });
}

}  // namespace qwb
