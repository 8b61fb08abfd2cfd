#include "core/RecordTableWM.h"

#include "core/Errors.h"

namespace qwb {

namespace {
// A record reply whose lengths or names do not hold together.
constexpr HRESULT kMalformedRecord = static_cast<HRESULT>(0x8007000Du);  // ERROR_INVALID_DATA
}  // namespace

CRecordTableWM::CRecordTableWM(const char* className, const char* sourceFile)
    : m_szClassName(className),
      m_szSourceFile(sourceFile),
      m_nextItemMethod(Method("NextItem")) {}

CRecordTableWM::~CRecordTableWM() = default;

std::string CRecordTableWM::Method(const char* name) const {
  return std::string(m_szClassName) + "::" + name;
}

const RecordCalls& CRecordTableWM::StoreFor(const FieldMap&) { return *m_lists.front().calls; }

HRESULT CRecordTableWM::GetAllEntryID() {
  for (EntryIdList& list : m_lists) {
    list.ids.clear();
    list.index = 0;
  }
  const std::string method = Method("GetAllEntryID");
  for (EntryIdList& list : m_lists) {
    HRESULT hr = CDeviceRecordService::ListIds(list.calls->list, method.c_str(), list.calls->kind,
                                               &list.ids);
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

void CRecordTableWM::EndListing(ListingState next) {
  m_state = next;
  m_bListing = FALSE;
}

void CRecordTableWM::BeginListing() {
  m_nTotal = 0;
  HRESULT hr = GetAllEntryID();
  if (FAILED(hr)) {
    EndListing(ListingState::kIdle);
    ThrowHr(hr);
  }
  size_t total = 0;
  for (EntryIdList& list : m_lists) {
    list.index = 0;
    total += list.ids.size();
  }
  m_nTotal = static_cast<LONG>(total);
  m_nIndex = 0;
  m_state = ListingState::kListing;
  m_bListing = TRUE;
}

HRESULT CRecordTableWM::ListItemsAllBegin() {
  return Frame("ListItemsAllBegin", __LINE__, [&] {
    if (m_state == ListingState::kListing && OnBeginWhileListing() == RunningBegin::kKeep)
      return S_OK;
    ListItemsEnd();
    BeginListing();
    return S_OK;
  });
}

HRESULT CRecordTableWM::ListItemsEnd() {
  EndListing(ListingState::kIdle);
  return S_OK;
}

HRESULT CRecordTableWM::GetItemCount(IItem*, ULONG, DCADATATYPE, ULONG* cnt) {
  return Frame("GetItemCount", __LINE__, [&] {
    if (!cnt) return E_POINTER;
    if (m_state != ListingState::kListing) {
      try {
        BeginListing();
      } catch (const HResultError&) {
        *cnt = 0;
        throw;
      }
    }
    *cnt = static_cast<ULONG>(m_nTotal);
    return S_OK;
  });
}

CRecordTableWM::ReadResult CRecordTableWM::ReadRecord(const RecordCalls& calls, DWORD id,
                                                      const char* method, FieldMap* fields) {
  CPropertyMap& props = m_readProps;
  props.Clear();
  int decoded = kDecodeEmpty;
  HRESULT hr =
      CDeviceRecordService::GetRecord(calls.get, method, calls.kind, id, calls.decoder, &props,
                                      &decoded);
  if (hr != S_OK) ThrowWmError(hr);
  if (decoded == kDecodeEmpty) return ReadResult::kEmpty;
  if (decoded != kDecodeOk) return ReadResult::kMalformed;
  RecordToFields(props, fields);
  return ReadResult::kRead;
}

ComPtr<CItemWMBase> CRecordTableWM::ItemFromFields(FieldMap& fields) {
  ComPtr<CItemWMBase> item = CreateTableItem();
  item->SetColumns(m_pColumns.Get());
  HRESULT hr = item->SchemaTakeMap2Item(fields);
  if (FAILED(hr)) ThrowHr(hr);
  return item;
}

HRESULT CRecordTableWM::NextItem(IItem** ppItem) {
  return Frame("NextItem", __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    if (m_state == ListingState::kIdle) return E_FAIL;
    if (m_state == ListingState::kFinished || m_nIndex >= m_nTotal) return S_OK;
    EntryIdList* list = nullptr;
    bool anyIds = false;
    for (EntryIdList& l : m_lists) {
      anyIds = anyIds || !l.ids.empty();
      if (!list && !l.AtEnd()) list = &l;
    }
    if (!list) {
      // The count was raised by records created during the listing; they are not in it.
      if (!anyIds) return S_FALSE;
      EndListing(ListingState::kFinished);
      return S_OK;
    }

    const DWORD id = list->ids[list->index];
    FieldMap& fields = m_listFields;
    fields.clear();
    switch (ReadRecord(*list->calls, id, m_nextItemMethod.c_str(), &fields)) {
      case ReadResult::kEmpty:
        return S_OK;  // nothing to convert; the position stays
      case ReadResult::kMalformed:
        ++list->index;
        ++m_nIndex;
        ThrowWmError(kMalformedRecord);
      case ReadResult::kRead:
        break;
    }
    PutField(fields, u"SUID", Variant::UI4(id));
    ComPtr<CItemWMBase> item = ItemFromFields(fields);
    *ppItem = item.Detach()->AsItem();
    ++list->index;
    ++m_nIndex;
    if (m_nIndex >= m_nTotal) EndListing(ListingState::kFinished);
    return S_OK;
  });
}

HRESULT CRecordTableWM::NewItem(DCADATATYPE, SUID itemSuid, SUID, IItem** ppItem) {
  return Frame("NewItem", __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    ComPtr<CItemWMBase> item = CreateTableItem();
    item->SetColumns(m_pColumns.Get());
    item->SetSUID(itemSuid);
    *ppItem = item.Detach()->AsItem();
    return S_OK;
  });
}

std::optional<DWORD> CRecordTableWM::WriteRecord(const RecordCalls& calls, FieldMap& fields,
                                                 bool replace, DWORD entryId,
                                                 const char* method) {
  CPropertyList list(calls.kind);
  FieldsToRecord(fields, &list);
  std::optional<DWORD> id;
  HRESULT hr = CDeviceRecordService::PutRecord(
      replace ? calls.replace : calls.add, method, list,
      replace ? devrec::kModeReplace : devrec::kModeAdd, entryId, &id);
  if (hr != S_OK) ThrowWmError(hr);
  if (!id) return id;  // stored, but no id came back
  PutField(fields, u"SUID", Variant::I4(static_cast<LONG>(*id)));
  // Read back so that the item shows what the phone stored; a failed re-read is no error.
  try {
    ReadRecord(calls, *id, method, &fields);
  } catch (const _wm_error&) {
  }
  return id;
}

HRESULT CRecordTableWM::WriteItem(const char* name, IItem* pItem, bool replace, SUID* itemSuid) {
  if (!pItem) return E_POINTER;
  CItemWMBase* item = CItemWMBase::FromItem(pItem);
  if (!item) return E_INVALIDARG;
  FieldMap fields;
  HRESULT hr = item->SchemaConvertItem2Map(fields);
  if (FAILED(hr)) return hr;
  const DWORD entryId = replace ? static_cast<DWORD>(item->GetSUID()) : 0;
  const std::string method = Method(name);
  std::optional<DWORD> id = WriteRecord(StoreFor(fields), fields, replace, entryId, method.c_str());
  if (!id) return S_OK;
  if (itemSuid) *itemSuid = static_cast<SUID>(*id);
  hr = item->SchemaTakeMap2Item(fields);
  if (FAILED(hr)) return hr;
  if (!replace) ++m_nTotal;
  return S_OK;
}

HRESULT CRecordTableWM::CreateItem(IItem* pItem, SUID* itemSuid) {
  return Frame("CreateItem", __LINE__,
               [&] { return WriteItem("CreateItem", pItem, false, itemSuid); });
}

HRESULT CRecordTableWM::UpdateItem(IItem* pItem) {
  return Frame("UpdateItem", __LINE__,
               [&] { return WriteItem("UpdateItem", pItem, true, nullptr); });
}

HRESULT CRecordTableWM::DeleteItem(IItem* pItem) {
  return Frame("DeleteItem", __LINE__, [&] {
    if (!pItem) return E_POINTER;
    SUID suid = SUID_NULL;
    HRESULT hr = pItem->get_SUID(&suid);
    if (FAILED(hr)) return hr;
    FieldMap fields;
    if (CItemWMBase* item = CItemWMBase::FromItem(pItem)) item->SchemaConvertItem2Map(fields);
    const RecordCalls& calls = StoreFor(fields);
    const std::string method = Method("DeleteItem");
    hr = CDeviceRecordService::DeleteRecord(calls.remove, method.c_str(), calls.kind,
                                            static_cast<DWORD>(suid));
    if (hr != S_OK) ThrowWmError(hr);
    --m_nTotal;
    return S_OK;
  });
}

}  // namespace qwb
