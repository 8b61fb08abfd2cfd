#include "tables/messaging/DataTableWMMessage.h"

#include <cstring>
#include <memory>

#include "core/DeviceDataWM.h"
#include "core/Errors.h"
#include "core/ItemWMMessage.h"
#include "core/Log.h"
#include "link/DeviceRecordService.h"
#include "platform/util/LittleEndian.h"
#include "link/RapiBase.h"
#include "link/ServiceFormats.h"
#include "wincompat/winreg.h"

namespace qwb {
namespace {

constexpr char kSource[] = ".\\DataTableWMMessage.cpp";
constexpr DWORD kKind = devrec::kKindMessage;
constexpr DWORD kSimKind = devrec::kKindSimMessage;

// Module errors of this table.
constexpr HRESULT kErrMmscLocked = 50001;
constexpr HRESULT kErrStoreBusy = 12045;
constexpr HRESULT kErrSendRefused = 10005;
constexpr HRESULT kErrSendTooLong = 10030;

// The folders each family lists, in this order.
std::vector<DWORD> FoldersOf(MessageFamily family) {
  switch (family) {
    case MessageFamily::kStream:
      return {devrec::kFolderInbox, devrec::kFolderSent};
    case MessageFamily::kId:
      return {devrec::kFolderInbox, devrec::kFolderDraft, devrec::kFolderSent};
    default:
      return {devrec::kFolderInbox, devrec::kFolderDraft, devrec::kFolderOutbox,
              devrec::kFolderSent};
  }
}

// A save or send refused by the phone, as the host is told.
HRESULT SendFailure(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0x82000202u:
      return kErrStoreBusy;
    case 0x82000201u:
      return kErrSendRefused;
    case 0x82000203u:
      return kErrSendTooLong;
    default:
      return hr;
  }
}

}  // namespace

CDataTableWMMessage::CDataTableWMMessage() { m_pColumns = CItemWMMessage::CreateColumns(); }

CDataTableWMMessage::~CDataTableWMMessage() = default;

// ---- Loading --------------------------------------------------------------------------------

void CDataTableWMMessage::Load() {
  m_vEntry.clear();
  m_vStream.clear();
  m_vMessageID.clear();
  m_mapProps.Clear();
  m_nMessageCount = m_nSIMUsed = m_nSIMTotal = 0;
  m_nSIMSlot = m_nMessageCursor = m_nSIMReturned = 0;

  m_family = MessageFamilyOf(m_pDeviceData->GetWMModelType());

  // A phone whose message centre is locked lets nothing be read.
  CRapiBase* rapi = m_pDeviceData->GetRapiBase();
  DWORD lock = 0;
  if (rapi && m_family == MessageFamily::kStream)
    rapi->ceReadReg4dword(HKEY_CURRENT_USER, u"Software\\Tolvane\\MMS\\Conf", u"MmscLockStatus",
                          &lock);
  else if (rapi && m_family == MessageFamily::kId)
    rapi->ceReadReg4dword(HKEY_CURRENT_USER, u"System\\MDS\\Setting", u"LockSet", &lock);
  if (lock != 0) ThrowWmError(kErrMmscLocked);

  if (m_family != MessageFamily::kNone) {
    for (DWORD folder : FoldersOf(m_family)) {
      DWORD count = 0;
      HRESULT hr = m_family == MessageFamily::kStream ? ListStreamFolder(folder, &count)
                                                      : GetAllEntryID(m_family, folder, &count);
      if (hr == static_cast<HRESULT>(0x88000207u) || hr == static_cast<HRESULT>(0x88000064u))
        ThrowWmError(kErrStoreBusy);
      if (FAILED(hr)) ThrowWmError(hr);
      m_nMessageCount += count;
    }
  }
  if (m_family == MessageFamily::kEntryId || m_family == MessageFamily::kNone) GetSIMMessageInfo();
}

HRESULT CDataTableWMMessage::GetAllEntryID(MessageFamily family, DWORD folder, DWORD* count) {
  std::vector<uint8_t> reply;
  HRESULT hr = CDeviceRecordService::Call(u"DevCeMessageList", "CDataTableWMMessage::GetAllEntryID",
                                          devrec::EncodeKindIdRequest(kKind, folder), &reply);
  if (FAILED(hr)) return hr;
  if (family == MessageFamily::kId) {
    std::vector<uint32_t> ids;
    devrec::ReadMessageIdList(reply.data(), reply.size(), &ids);
    for (uint32_t id : ids) m_vMessageID.emplace_back(folder, id);
    *count = static_cast<DWORD>(ids.size());
  } else {
    // Entry IDs longer than the 20 bytes a row holds are left out.
    std::vector<devrec::EntryId> ids;
    devrec::ReadEntryIdList(reply.data(), reply.size(), &ids);
    for (const devrec::EntryId& id : ids) m_vEntry.push_back({id, folder});
    *count = static_cast<DWORD>(ids.size());
  }
  return hr;
}

HRESULT CDataTableWMMessage::ListStreamFolder(DWORD folder, DWORD* count) {
  ComPtr<IRAPIStream> stream;
  HRESULT hr = CRapiBase::InvokeStream(u"DevCeMessageList", std::addressof(stream));
  WMDebug("[%s]DevCeMessageList hr=0x%x", "CDataTableWMMessage::GetAllEntryID",
          static_cast<unsigned>(hr));
  if (FAILED(hr)) return hr;
  if (!stream) return E_FAIL;
  const std::vector<uint8_t> request = devrec::EncodeKindIdRequest(kKind, folder);
  ULONG done = 0;
  hr = stream->Write(request.data(), static_cast<ULONG>(request.size()), &done);
  if (FAILED(hr)) return hr;
  if (done != request.size()) return E_FAIL;
  DWORD total = 0;
  done = 0;
  hr = stream->Read(&total, 4, &done);
  if (FAILED(hr)) return hr;
  if (done != 4) return E_FAIL;
  *count = 0;
  for (DWORD i = 0; i < total; ++i) {
    StreamRow row{folder, {}};
    // A short read leaves the rest of the zeroed record as it is.
    stream->Read(row.record.data(), devrec::kStreamMessageSize, &done);
    const uint16_t state = le::Get16(row.record.data() + devrec::kStreamStateOffset);
    if (state != 0 && state != 2) continue;
    m_vStream.push_back(row);
    ++*count;
  }
  return S_OK;
}

void CDataTableWMMessage::GetSIMMessageInfo() {
  std::vector<uint8_t> reply;
  HRESULT hr =
      CDeviceRecordService::Call(u"DevCeMessageSIMInfo", "CDataTableWMMessage::GetSIMMessageInfo",
                                 devrec::EncodeKindRequest(kSimKind), &reply);
  if (hr != S_OK) return;  // no SIM messages
  CPropertyMap map;
  if (DecodeDeviceRecord(kSimKind, reply.data(), static_cast<DWORD>(reply.size()), &map) !=
      kDecodeOk)
    return;
  int32_t v = 0;
  if (map.GetInteger(u"nUsed", &v)) m_nSIMUsed = static_cast<DWORD>(v);
  if (map.GetInteger(u"nTotal", &v)) m_nSIMTotal = static_cast<DWORD>(v);
}

// ---- Listing --------------------------------------------------------------------------------

HRESULT CDataTableWMMessage::ListItemsAllBegin() {
  return TableMethodFrame("CDataTableWMMessage::ListItemsAllBegin", kSource, __LINE__, [&] {
    m_bLoaded = false;
    Load();
    m_bLoaded = true;
    return S_OK;
  });
}

HRESULT CDataTableWMMessage::ListItemsEnd() {
  m_bLoaded = false;
  return S_OK;
}

HRESULT CDataTableWMMessage::GetItemCount(IItem*, ULONG, DCADATATYPE, ULONG* cnt) {
  return TableMethodFrame("CDataTableWMMessage::GetItemCount", kSource, __LINE__, [&] {
    if (!cnt) return E_POINTER;
    if (!m_bLoaded) {
      try {
        Load();
      } catch (...) {
        *cnt = 0;
        throw;
      }
    }
    *cnt = static_cast<ULONG>(m_nMessageCount + m_nSIMUsed);
    return S_OK;
  });
}

HRESULT CDataTableWMMessage::GetItemData(const std::vector<uint8_t>& req, DWORD* folder) {
  std::vector<uint8_t> reply;
  HRESULT hr = CDeviceRecordService::Call(u"DevCeGetMessage", "CDataTableWMMessage::GetItemData",
                                          req, &reply);
  if (hr != S_OK) return hr;
  m_mapProps.Clear();
  if (reply.size() >= 8 && folder) *folder = le::Get32(reply.data() + 4);
  // The properties start at offset 8: the decoder skips the folder word before them.
  if (reply.size() > 4)
    DecodeDeviceRecord(kKind, reply.data() + 4, static_cast<DWORD>(reply.size() - 4), &m_mapProps);
  return hr;
}

IItem* CDataTableWMMessage::MakeMessageItem(FieldMap& fields) {
  ComPtr<CItemWMMessage> item = MakeItem<CItemWMMessage>();
  item->SetColumns(m_pColumns.Get());
  HRESULT hr = item->SchemaTakeMap2Item(fields);
  if (FAILED(hr)) ThrowHr(hr);
  item->AsItem()->AddRef();
  return item->AsItem();
}

bool CDataTableWMMessage::NextSimMessage(FieldMap* fields) {
  while (m_nSIMReturned < m_nSIMUsed && m_nSIMSlot < m_nSIMTotal) {
    DWORD slot = ++m_nSIMSlot;
    std::vector<uint8_t> reply;
    HRESULT hr = CDeviceRecordService::Call(u"DevCeMessageSIMGet", "CDataTableWMMessage::NextItem",
                                            devrec::EncodeKindIdRequest(kSimKind, slot), &reply);
    if (hr != S_OK) continue;  // an empty or unreadable slot
    CPropertyMap map;
    if (reply.empty() ||
        DecodeDeviceRecord(kSimKind, reply.data(), static_cast<DWORD>(reply.size()), &map) !=
            kDecodeOk)
      return false;
    SimMessageToFields(map, slot, fields);
    ++m_nSIMReturned;
    return true;
  }
  return false;
}

HRESULT CDataTableWMMessage::NextItem(IItem** ppItem) {
  return TableMethodFrame("CDataTableWMMessage::NextItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    if (!m_bLoaded) return E_FAIL;
    FieldMap& fields = m_listFields;
    fields.clear();
    if (m_nMessageCursor < m_nMessageCount) {
      const size_t at = m_nMessageCursor;
      if (m_family == MessageFamily::kStream) {
        const StreamRow& row = m_vStream.at(at);
        StreamRecordToFields(devrec::ReadStreamMessage(row.record.data()), row.folder, &fields);
      } else if (m_family == MessageFamily::kId) {
        auto [folder, id] = m_vMessageID.at(at);
        HRESULT hr = GetItemData(devrec::EncodeKindIdRequest(kKind, id), &folder);
        if (hr != S_OK) {
          ListItemsEnd();
          ThrowWmError(hr);
        }
        MessageRecordToFields(m_mapProps, id, folder, true, &fields);
      } else {
        const EntryIdRow& row = m_vEntry.at(at);
        HRESULT hr = GetItemData(devrec::EncodeGetByEntryId(kKind, row.folder, row.id), nullptr);
        if (hr != S_OK) {
          ListItemsEnd();
          ThrowWmError(hr);
        }
        MessageRecordToFields(m_mapProps, row.id.Suid(), row.folder, false, &fields);
      }
      *ppItem = MakeMessageItem(fields);
      m_mapProps.Clear();
      ++m_nMessageCursor;
      return S_OK;
    }
    if (NextSimMessage(&fields)) *ppItem = MakeMessageItem(fields);
    return S_OK;
  });
}

// ---- Writing --------------------------------------------------------------------------------

HRESULT CDataTableWMMessage::NewItem(DCADATATYPE, SUID itemSuid, SUID parentSuid, IItem** ppItem) {
  return TableMethodFrame("CDataTableWMMessage::NewItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    ComPtr<CItemWMMessage> item = MakeItem<CItemWMMessage>();
    item->SetColumns(m_pColumns.Get());
    item->SetSUID(itemSuid);
    (void)parentSuid;
    item->AsItem()->AddRef();
    *ppItem = item->AsItem();
    return S_OK;
  });
}

void CDataTableWMMessage::SaveOrSend(IItem* pItem, bool send) {
  CItemWMBase* item = CItemWMBase::FromItem(pItem);
  if (!item) ThrowHr(E_INVALIDARG);
  FieldMap fields;
  HRESULT hr = item->SchemaConvertItem2Map(fields);
  if (FAILED(hr)) ThrowHr(hr);
  CPropertyList list(kKind);
  DWORD folder = MessageFieldsToRecord(fields, &list);
  // kind, folder, count, properties: the replace form with the folder in the id's place.
  DWORD size = 0;
  LocalBuffer request = BuildDeviceRecord(list, devrec::kModeReplace, folder, &size);
  std::vector<uint8_t> reply;
  hr = CRapiBase::InvokeBlock(send ? u"DevCeSendMessage" : u"DevCeSaveMessage", nullptr,
                              std::move(request), size, &reply);
  if (hr != S_OK) ThrowWmError(SendFailure(hr));
}

HRESULT CDataTableWMMessage::CreateItem(IItem* pItem, SUID*) {
  WMLog("%s(+)", "CDataTableWMMessage::CreateItem");
  HRESULT result = TableMethodFrame("CDataTableWMMessage::CreateItem", kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    // Only the entry-ID family's phones keep what the host saves.
    if (MessageFamilyOf(m_pDeviceData->GetWMModelType()) != MessageFamily::kEntryId) return S_OK;
    CeRapiInit();
    SaveOrSend(pItem, false);
    return S_OK;
  });
  WMLog("%s(-)", "CDataTableWMMessage::CreateItem");
  return result;
}

HRESULT CDataTableWMMessage::Execute(BSTR param, IItem* pItem, IItem**) {
  return TableMethodFrame("CDataTableWMMessage::Execute", kSource, __LINE__, [&] {
    if (param && EqualsNoCase(param, u"endSync")) return S_OK;
    if (!pItem) return E_POINTER;
    SaveOrSend(pItem, true);
    return S_OK;
  });
}

HRESULT CDataTableWMMessage::GetProperty(BSTR propName, BSTR* propValue) {
  return TableMethodFrame("CDataTableWMMessage::GetProperty", kSource, __LINE__, [&] {
    if (propName && std::u16string_view(propName) == u"CONNECTIONTYPE") {
      if (!propValue) return E_POINTER;
      *propValue = SysAllocString(u"WM");
      if (!*propValue) return E_OUTOFMEMORY;
    }
    return S_OK;
  });
}

}  // namespace qwb
