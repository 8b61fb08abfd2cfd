#include "tables/contacts/DataTableWMSIM.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/DeviceDataWM.h"
#include "core/Errors.h"
#include "core/ItemWMSIM.h"
#include "link/DeviceRecordWM.h"
#include "link/RapiBase.h"

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

CDataTableWMSIM::CDataTableWMSIM() { m_pColumns = CItemWMSIM::CreateColumns(); }

CDataTableWMSIM::~CDataTableWMSIM() = default;

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
  m_vEntryID.clear();
  DWORD size = 0;
  BYTE* request = CRapiBase::WordsRequest({kKind}, &size);
  std::vector<uint8_t> reply;
  HRESULT hr =
      CRapiBase::InvokeBlock(u"DevCePhonebookSIMList", "[%s]DevCePhonebookSIMList hr=0x%x",
                             "CDataTableWMSIM::GetAllEntryID", request, size, &reply);
  if (hr != S_OK) return hr;
  std::vector<uint32_t> ids;
  devrec::ReadSimIdList(reply.data(), reply.size(), &ids);
  m_vEntryID.assign(ids.begin(), ids.end());
  return hr;
}

HRESULT CDataTableWMSIM::GetAllRecords() {
  m_vSIMRecords.clear();
  DWORD size = 0;
  BYTE* request = CRapiBase::WordsRequest({kKind}, &size);
  std::vector<uint8_t> reply;
  HRESULT hr =
      CRapiBase::InvokeBlock(u"DevCePhonebookSIMListAll", "[%s]DevCePhonebookSIMListAll hr=0x%x",
                             "CDataTableWMSIM::GetAllEntryID", request, size, &reply);
  if (hr != S_OK) return hr;
  devrec::ReadSimRecordList(reply.data(), reply.size(), &m_vSIMRecords);
  return hr;
}

void CDataTableWMSIM::GetSimInformation() {
  DWORD size = 0;
  BYTE* request = CRapiBase::WordsRequest({kKind}, &size);
  std::vector<uint8_t> reply;
  HRESULT hr =
      CRapiBase::InvokeBlock(u"DevCePhonebookSIMInfo", "[%s]DevCePhonebookSIMInfo hr=0x%x",
                             "CDataTableWMSIM::GetSimInformation", request, size, &reply);
  if (hr != S_OK || reply.empty()) return;
  CPropertyMap map;
  if (DecodeDeviceRecord(kKind, reply.data(), static_cast<DWORD>(reply.size()), &map) != kDecodeOk)
    return;
  const struct {
    const char16_t* name;
    DWORD* field;
  } fields[] = {{u"nUsed", &m_nUsed},
                {u"nTotal", &m_nTotal},
                {u"MaxPBEAddressLength", &m_nMaxAddressLength},
                {u"MaxPBETextLength", &m_nMaxTextLength},
                {u"MinPBIndex", &m_nMinIndex},
                {u"MaxPBIndex", &m_nMaxIndex}};
  for (const auto& f : fields) {
    int32_t v = 0;
    if (map.GetInteger(f.name, &v)) *f.field = static_cast<DWORD>(v);
  }
}

HRESULT CDataTableWMSIM::Load() {
  m_vEntryID.clear();
  m_vSIMRecords.clear();
  m_bOneCall = m_pDeviceData->GetWMModelType() == kOlDomestic;
  HRESULT hr = m_bOneCall ? GetAllRecords() : GetAllEntryID();
  if (FAILED(hr)) return hr;
  m_nUsed = static_cast<DWORD>(m_bOneCall ? m_vSIMRecords.size() : m_vEntryID.size());
  m_nTotal = 0;
  GetSimInformation();
  return S_OK;
}

void CDataTableWMSIM::BeginListing(bool fullMapping) {
  HRESULT hr = Load();
  if (FAILED(hr)) RaiseLoadFailure(hr, fullMapping);
  m_bListing = TRUE;
  m_bListed = true;
  m_nIndex = 0;
}

// ---- Listing --------------------------------------------------------------------------------

HRESULT CDataTableWMSIM::ListItemsAllBegin() {
  return TableMethodFrame("CDataTableSIM::ListItemsAllBegin", kSource, __LINE__, [&] {
    ListItemsEnd();
    BeginListing(true);
    return S_OK;
  });
}

HRESULT CDataTableWMSIM::ListItemsEnd() {
  m_bListing = FALSE;
  return S_OK;
}

HRESULT CDataTableWMSIM::GetItemCount(IItem*, ULONG, DCADATATYPE, ULONG* cnt) {
  return TableMethodFrame("CDataTableSIM::GetItemCount", kSource, __LINE__, [&] {
    if (!cnt) return E_POINTER;
    if (!m_bListing) {
      try {
        BeginListing(false);
      } catch (...) {
        *cnt = 0;
        throw;
      }
    }
    *cnt = m_nUsed;
    return S_OK;
  });
}

IItem* CDataTableWMSIM::MakeSimItem(const FieldMap& fields) {
  ComPtr<CItemWMSIM> item = MakeItem<CItemWMSIM>();
  item->SetColumns(m_pColumns.Get());
  HRESULT hr = item->SchemaConvertMap2Item(fields);
  if (FAILED(hr)) ThrowHr(hr);
  item->AsItem()->AddRef();
  return item->AsItem();
}

HRESULT CDataTableWMSIM::NextItem(IItem** ppItem) {
  return TableMethodFrame("CDataTableWMSIM::NextItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    if (!m_bListed) return E_FAIL;
    const size_t at = static_cast<size_t>(m_nIndex);
    // The position stays inside the list even when the card reports more contacts in use.
    const size_t listed = m_bOneCall ? m_vSIMRecords.size() : m_vEntryID.size();
    if (at >= m_nUsed || at >= listed) return S_OK;
    FieldMap fields;
    if (m_bOneCall) {
      SimRecordToFields(m_vSIMRecords[at], &fields);
    } else {
      DWORD id = m_vEntryID[at];
      DWORD size = 0;
      BYTE* request = CRapiBase::WordsRequest({kKind, id}, &size);
      std::vector<uint8_t> reply;
      HRESULT hr =
          CRapiBase::InvokeBlock(u"DevCePhonebookSIMGet", "[%s]DevCePhonebookSIMGet hr=0x%x",
                                 "CDataTableWMSIM::NextItem", request, size, &reply);
      if (hr != S_OK) return hr;
      CPropertyMap map;
      DecodeDeviceRecord(kKind, reply.data(), static_cast<DWORD>(reply.size()), &map);
      SimPropertiesToFields(map, id, &fields);
    }
    *ppItem = MakeSimItem(fields);
    ++m_nIndex;
    return S_OK;
  });
}

// ---- Writing --------------------------------------------------------------------------------

HRESULT CDataTableWMSIM::NewItem(DCADATATYPE, SUID itemSuid, SUID, IItem** ppItem) {
  return TableMethodFrame("CDataTableWMSIM::NewItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    ComPtr<CItemWMSIM> item = MakeItem<CItemWMSIM>();
    item->SetColumns(m_pColumns.Get());
    item->SetSUID(itemSuid);
    item->AsItem()->AddRef();
    *ppItem = item->AsItem();
    return S_OK;
  });
}

DWORD CDataTableWMSIM::WriteContact(const char* method, IItem* pItem, bool replace,
                                    DWORD entryId) {
  CItemWMBase* item = CItemWMBase::FromItem(pItem);
  if (!item) ThrowHr(E_INVALIDARG);
  FieldMap fields;
  HRESULT hr = item->SchemaConvertItem2Map(fields);
  if (FAILED(hr)) ThrowHr(hr);
  CPropertyList list(kKind);
  SimFieldsToProperties(fields, &list);
  DWORD size = 0;
  BYTE* request = BuildDeviceRecord(list, devrec::kModeReplace, entryId, &size);
  std::vector<uint8_t> reply;
  hr = replace ? CRapiBase::InvokeBlock(u"DevCePhonebookSIMReplace",
                                        "[%s]DevCePhonebookSIMReplace hr=0x%x", method, request,
                                        size, &reply)
               : CRapiBase::InvokeBlock(u"DevCePhonebookSIMAdd", "[%s]DevCePhonebookSIMAdd hr=0x%x",
                                        method, request, size, &reply);
  if (hr != S_OK) RaiseWriteFailure(hr);
  DWORD stored = entryId;
  if (reply.size() >= 4) std::memcpy(&stored, reply.data(), 4);
  return stored;
}

HRESULT CDataTableWMSIM::CreateItem(IItem* pItem, SUID* itemSuid) {
  return TableMethodFrame("CDataTableSIM::CreateItem", kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    CItemWMBase* item = CItemWMBase::FromItem(pItem);
    if (!item) return E_INVALIDARG;
    // A full card is refused without asking the phone.
    if (m_nUsed >= m_nTotal && m_nTotal > 0) ThrowWmError(kErrSimFull);
    DWORD entryId = 0;
    if (m_pDeviceData->GetWMModelType() != kOlDomestic) {
      HRESULT hr = GetAllEntryID();
      if (hr == H(0x88000207) || hr == H(0x88000064) || hr == H(0x88000067))
        ThrowWmError(kErrSimBusy);
      if (hr == H(0x8800006B)) ThrowWmError(kErrSimAbsent);
      if (FAILED(hr)) ThrowWmError(hr);
      entryId = FreePosition(m_vEntryID, m_nMinIndex);
    }
    DWORD stored = WriteContact("CDataTableWMSIM::CreateItem", pItem, false, entryId);
    if (itemSuid) *itemSuid = static_cast<SUID>(stored);
    item->SetSUID(static_cast<SUID>(stored));
    m_vEntryID.push_back(stored);
    ++m_nUsed;
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
    DWORD size = 0;
    BYTE* request = CRapiBase::WordsRequest({kKind, static_cast<DWORD>(suid)}, &size);
    std::vector<uint8_t> reply;
    hr = CRapiBase::InvokeBlock(u"DevCePhonebookSIMDelete", "[%s]DevCePhonebookSIMDelete hr=0x%x",
                                "CDataTableWMSIM::DeleteItem", request, size, &reply);
    if (hr != S_OK) ThrowWmError(hr);
    if (m_nUsed > 0) --m_nUsed;
    return S_OK;
  });
}

}  // namespace qwb
