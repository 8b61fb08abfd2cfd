#include "tables/messaging/DataTableWMMMS.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/DeviceDataWM.h"
#include "core/Errors.h"
#include "core/ItemWMMMS.h"
#include "core/Log.h"
#include "link/DeviceRecordService.h"
#include "link/RapiBase.h"
#include "link/ServiceFormats.h"
#include "tables/messaging/MessageMapping.h"
#include "tables/organizer/TimeConv.h"

namespace qwb {
namespace {

constexpr char kSource[] = ".\\DataTableWMMMS.cpp";
constexpr DWORD kKind = devrec::kKindMmsMessage;
constexpr size_t kBodyLimit = 0x100000;  // 1 MiB: the most a save or send reads of a file

// Module errors of this table.
constexpr HRESULT kErrNoBodyFile = 10;
constexpr HRESULT kErrSendFailed = 40516;

bool IsStreamFamily(int modelType) { return modelType == 0 || modelType == 3; }

std::string Narrow(std::u16string_view s) { return ToUtf8(s); }

}  // namespace

CDataTableWMMMS::CDataTableWMMMS() { m_pColumns = CItemWMMMS::CreateColumns(); }

CDataTableWMMMS::~CDataTableWMMMS() = default;

// ---- Mapping --------------------------------------------------------------------------------

void CDataTableWMMMS::MmsRecordToFields(const CPropertyMap& p, DWORD suid, DWORD index,
                                        DWORD folder, FieldMap* f) {
  PutField(*f, u"SUID", Variant::UI4(suid));
  PutField(*f, u"MESSAGE_ID", Variant::UI4(index));
  PutField(*f, u"TRANSACTION_ID", Variant::Str(u""));
  PutField(*f, u"FOLDER", Variant::Str(FolderName(folder)));
  PutField(*f, u"MY_FOLDER", Variant::I4(-1));
  const std::pair<const char16_t*, const char16_t*> strings[] = {
      {u"PR_SUBJECT", u"SUBJECT"},
      {u"PR_SENDER_NAME", u"SENDER"},
      {u"PR_EMAIL_ADDRESS", u"RECEIVER"},
      {u"PR_ORIGINAL_DISPLAY_BCC", u"BCC"},
      {u"PR_ORIGINAL_DISPLAY_CC", u"CC"}};
  std::u16string s;
  for (auto [prop, column] : strings)
    if (p.GetString(prop, &s)) PutField(*f, column, Variant::Str(s));
  double utc = 0;
  if (p.GetDate(u"PR_LAST_MODIFICATION_TIME", &utc))
    PutField(*f, u"CREATE_DATE", Variant::Date(UtcToLocal(utc)));
  int32_t v = 0;
  if (p.GetInteger(u"PR_MESSAGE_SIZE", &v)) PutField(*f, u"TOTAL_SIZE", Variant::UI4(DWORD(v)));
  if (p.GetInteger(u"PR_MSG_STATUS", &v)) PutField(*f, u"MM_STATUS", Variant::I4(v));
}

std::u16string CDataTableWMMMS::NormaliseFolder(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  const std::pair<const char16_t*, const char16_t*> kNames[] = {
      {u"inbox", u"Inbox"}, {u"outbox", u"Outbox"},   {u"draft", u"Draft"},
      {u"sent", u"Sent"},   {u"my", u"my folder"},    {u"template", u"Template"}};
  for (auto [needle, name] : kNames)
    if (lower.find(needle) != std::u16string::npos) return name;
  return std::u16string(text);
}

DWORD CDataTableWMMMS::MmsFolderCode(std::u16string_view folder) {
  if (folder == u"Inbox") return devrec::kFolderInbox;
  if (folder == u"Outbox") return devrec::kFolderOutbox;
  if (folder == u"Sent") return devrec::kFolderSent;
  return devrec::kFolderDraft;
}

DWORD CDataTableWMMMS::FolderCount(std::u16string_view name) const {
  if (EqualsNoCase(name, u"Total"))
    return m_nFolderCount[0] + m_nFolderCount[1] + m_nFolderCount[2] + m_nFolderCount[3];
  const char16_t* names[] = {u"Inbox", u"Draft", u"Outbox", u"Sent"};
  for (size_t i = 0; i < 4; ++i)
    if (EqualsNoCase(name, names[i])) return m_nFolderCount[i];
  return 0;
}

std::string CDataTableWMMMS::BodyFolder() {
  WCHAR buffer[1024] = {};
  DWORD n = GetEnvironmentVariableW(u"APPDATA", buffer, 1024);
  if (n == 0 || n >= 1024) return "";
  return Narrow(std::u16string(buffer, n)) + "/Tolvane/Orvanta/MMS/";
}

// ---- Listing --------------------------------------------------------------------------------

HRESULT CDataTableWMMMS::GetAllEntryID(DWORD folder) {
  std::vector<uint8_t> reply;
  HRESULT hr = CDeviceRecordService::Call(u"DevCeMessageList", "CDataTableWMMMS::GetAllEntryID",
                                          devrec::EncodeKindIdRequest(kKind, folder), &reply);
  if (hr != S_OK || reply.empty()) return hr;
  std::vector<devrec::EntryId> ids;
  devrec::ReadEntryIdList(reply.data(), reply.size(), &ids);
  m_nFolderCount[folder - 1] = static_cast<DWORD>(ids.size());
  for (const devrec::EntryId& id : ids) m_vEntry.push_back({id, folder});
  return hr;
}

HRESULT CDataTableWMMMS::ListItemsAllBegin() {
  return TableMethodFrame("CDataTableWMMMS::ListItemsAllBegin", kSource, __LINE__, [&] {
    ListItemsEnd();
    m_nIndex = m_nTotal = 0;
    m_nFolderCount = {};
    m_vEntry.clear();
    if (IsStreamFamily(m_pDeviceData->GetWMModelType())) return S_OK;
    for (DWORD folder = devrec::kFolderInbox; folder <= devrec::kFolderSent; ++folder) {
      HRESULT hr = GetAllEntryID(folder);
      if (FAILED(hr)) ThrowHr(hr);
    }
    m_nTotal = static_cast<LONG>(m_vEntry.size());
    m_bListing = TRUE;
    return S_OK;
  });
}

HRESULT CDataTableWMMMS::ListItemsEnd() {
  m_bListing = FALSE;
  return S_OK;
}

HRESULT CDataTableWMMMS::GetItemCount(IItem*, ULONG, DCADATATYPE, ULONG* cnt) {
  if (!cnt) return E_POINTER;
  *cnt = FolderCount(u"Total");
  return S_OK;
}

HRESULT CDataTableWMMMS::GetItemData(const Entry& entry) {
  if (entry.id.length == 0) return S_FALSE;
  std::vector<uint8_t> reply;
  HRESULT hr = CDeviceRecordService::Call(u"DevCeGetMessage", "CDataTableWMMMS::GetItemData",
                                          devrec::EncodeGetByEntryId(kKind, entry.folder, entry.id),
                                          &reply);
  if (hr != S_OK) return hr;
  m_mapProps.Clear();
  // 8 bytes skipped, then the properties: the decoder skips the word before them.
  if (reply.size() > 8)
    DecodeDeviceRecord(kKind, reply.data() + 4, static_cast<DWORD>(reply.size() - 4), &m_mapProps);
  return S_OK;
}

HRESULT CDataTableWMMMS::NextItem(IItem** ppItem) {
  return TableMethodFrame("CDataTableWMMMS::NextItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    // Entries without an ID cannot be read: they are passed over.
    while (m_nIndex < m_nTotal && m_vEntry[size_t(m_nIndex)].id.length == 0) ++m_nIndex;
    if (m_nIndex >= m_nTotal) return S_OK;
    const Entry& entry = m_vEntry[size_t(m_nIndex)];
    HRESULT hr = GetItemData(entry);
    if (FAILED(hr)) ThrowWmError(hr);
    FieldMap fields;
    MmsRecordToFields(m_mapProps, entry.id.Suid(), DWORD(m_nIndex), entry.folder, &fields);
    m_mapProps.Clear();
    ComPtr<CItemWMMMS> item = MakeItem<CItemWMMMS>();
    item->SetColumns(m_pColumns.Get());
    hr = item->SchemaConvertMap2Item(fields);
    if (FAILED(hr)) return hr;
    *ppItem = item.Detach()->AsItem();
    ++m_nIndex;
    return S_OK;
  });
}

HRESULT CDataTableWMMMS::NewItem(DCADATATYPE, SUID itemSuid, SUID, IItem** ppItem) {
  return TableMethodFrame("CDataTableWMMMS::NewItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    ComPtr<CItemWMMMS> item = MakeItem<CItemWMMMS>();
    item->SetColumns(m_pColumns.Get());
    item->SetSUID(itemSuid);
    *ppItem = item.Detach()->AsItem();
    return S_OK;
  });
}

// ---- The body file --------------------------------------------------------------------------

const CDataTableWMMMS::Entry* CDataTableWMMMS::EntryOf(IItem* pItem) const {
  CItemWMBase* item = CItemWMBase::FromItem(pItem);
  if (!item) return nullptr;
  FieldMap fields;
  if (FAILED(item->SchemaConvertItem2Map(fields))) return nullptr;
  const Variant* position = FindField(fields, u"MESSAGE_ID");
  DWORD index = 0;
  bool haveIndex = false;
  if (position) {
    Variant ui4;
    if (SUCCEEDED(VariantChangeType(ui4.Ptr(), const_cast<VARIANT*>(&position->Get()), 0, VT_UI4))) {
      index = ui4.Get().ulVal;
      haveIndex = true;
    }
  }
  const DWORD suid = static_cast<DWORD>(item->GetSUID());
  // The position of the listing, as long as it still holds the item's message; else the
  // message with the item's SUID (a later listing may have moved it).
  if (haveIndex && index < m_vEntry.size() &&
      (suid == DWORD(SUID_NULL) || m_vEntry[index].id.Suid() == suid))
    return &m_vEntry[index];
  for (const Entry& e : m_vEntry)
    if (e.id.length != 0 && e.id.Suid() == suid) return &e;
  return nullptr;
}

HRESULT CDataTableWMMMS::ReadItem(IItem* pItem) {
  return TableMethodFrame("CDataTableWMMMS::ReadItem", kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    const Entry* entry = EntryOf(pItem);
    if (!entry || entry->id.length == 0) return S_FALSE;
    HRESULT hr = GetItemData(*entry);
    if (FAILED(hr)) ThrowWmError(hr);
    int32_t size = 0;
    const DeviceProperty* body = m_mapProps.Find(u"PR_MMS_BODY");
    if (!m_mapProps.GetInteger(u"PR_MESSAGE_SIZE", &size) || size == 0 || !body ||
        body->type != devrec::kTypeBinary) {
      m_mapProps.Clear();
      return S_FALSE;  // no body: no file
    }
    const std::string folder = BodyFolder();
    std::error_code ec;
    if (folder.empty() || (std::filesystem::create_directories(folder, ec), ec)) return S_FALSE;
    GUID guid{};
    CoCreateGuid(&guid);
    WCHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    const std::string path = folder + Narrow(std::u16string_view(text + 1, 36)) + ".mms";
    CItemWMBase* item = CItemWMBase::FromItem(pItem);
    FieldMap fields;
    item->SchemaConvertItem2Map(fields);
    PutField(fields, u"ATTACHMENT_FILE_PATH", Variant::Str(FromUtf8(path)));
    hr = item->SchemaConvertMap2Item(fields);
    if (FAILED(hr)) return hr;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return S_FALSE;
    out.write(reinterpret_cast<const char*>(body->binaryVal), body->valueLength);
    out.close();
    m_mapProps.Clear();
    return out ? S_OK : S_FALSE;
  });
}

// ---- Save and send --------------------------------------------------------------------------

void CDataTableWMMMS::SaveOrSend(IItem* pItem, bool send) {
  WMDebug("%s", send ? "CDataTableWMMMS::Send(+)" : "CDataTableWMMMS::Save(+)");
  CItemWMBase* item = CItemWMBase::FromItem(pItem);
  if (!item) ThrowHr(E_INVALIDARG);
  FieldMap fields;
  HRESULT hr = item->SchemaConvertItem2Map(fields);
  if (FAILED(hr)) ThrowHr(hr);

  // The body: at most 1 MiB of the file the item names; none is an error of its own.
  const std::u16string path = ReadFieldString(fields, u"ATTACHMENT_FILE_PATH");
  std::vector<uint8_t> body;
  if (!path.empty()) {
    std::ifstream in(Narrow(path), std::ios::binary);
    if (in) {
      body.resize(kBodyLimit);
      in.read(reinterpret_cast<char*>(body.data()), static_cast<std::streamsize>(body.size()));
      body.resize(static_cast<size_t>(in.gcount()));
    }
  }
  if (body.empty()) ThrowWmError(kErrNoBodyFile);

  // Folder names as people write them ("my inbox", "SENT") are normalised first.
  const DWORD folder = MmsFolderCode(NormaliseFolder(ReadFieldString(fields, u"FOLDER")));
  std::vector<devrec::Property> props;
  for (auto [column, prop] : {std::pair{u"SUBJECT", "PR_SUBJECT"},
                              std::pair{u"SENDER", "PR_SENDER_NAME"},
                              std::pair{u"RECEIVER", "PR_EMAIL_ADDRESS"}}) {
    std::u16string v = ReadFieldString(fields, column);
    if (!v.empty()) props.push_back(devrec::Property::String(prop, ToUtf8(v)));
  }
  // The size the host gives (TOTAL_SIZE), then the size of the body read.
  Variant total;
  if (const Variant* v = FindField(fields, u"TOTAL_SIZE"))
    VariantChangeType(total.Ptr(), const_cast<VARIANT*>(&v->Get()), 0, VT_UI4);
  if (total.vt() == VT_UI4 && total.Get().ulVal != 0)
    props.push_back(devrec::Property::Integer("PR_MESSAGE_SIZE2", int32_t(total.Get().ulVal)));
  props.push_back(devrec::Property::Integer("PR_MESSAGE_SIZE", int32_t(body.size())));
  props.push_back(devrec::Property::Binary("PR_MMS_BODY", std::move(body)));
  const DATE local = ReadFieldDate(fields, u"CREATE_DATE", 0);
  if (local != 0) {
    props.push_back(devrec::Property::Date("PR_MESSAGE_DELIVERY_TIME", LocalToUtc(local)));
    props.push_back(devrec::Property::Date("PR_LAST_MODIFICATION_TIME", LocalToUtc(local)));
  }
  // kind, folder, count, properties: the replace form with the folder in the id's place.
  std::vector<uint8_t> request = devrec::EncodeRequest(kKind, devrec::kModeReplace, folder, props);
  std::vector<uint8_t> reply;
  hr = CRapiBase::InvokeBlock(send ? u"DevCeSendMessage" : u"DevCeSaveMessage", nullptr, request,
                              &reply);
  if (hr != S_OK) ThrowWmError(kErrSendFailed);
}

HRESULT CDataTableWMMMS::CreateItem(IItem* pItem, SUID*) {
  WMLog("%s(+)", "CDataTableWMMMS::CreateItem");
  return TableMethodFrame("CDataTableWMMMS::CreateItem", kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    SaveOrSend(pItem, false);
    return S_OK;
  });
}

HRESULT CDataTableWMMMS::Execute(BSTR param, IItem* pItem, IItem**) {
  return TableMethodFrame("CDataTableWMMMS::Execute", kSource, __LINE__, [&] {
    if (param && EqualsNoCase(param, u"endSync")) return S_OK;
    if (!pItem) return E_POINTER;
    SaveOrSend(pItem, true);
    return S_OK;
  });
}

// The phone keeps its multimedia messages: deleting from the PC leaves them where they are.
HRESULT CDataTableWMMMS::DeleteItem(IItem* pItem) {
  if (!pItem) return E_POINTER;
  SUID suid = SUID_NULL;
  return pItem->get_SUID(&suid);
}

// UpdateItem is left unimplemented (E_NOTIMPL from the base): the phone's service has no call
// that changes a stored multimedia message in place, so an update could only be a second save
// beside the first.

}  // namespace qwb
