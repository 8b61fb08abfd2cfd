#include "tables/contacts/DataTableWMPhonebook.h"

#include <cstring>
#include <string>

#include "core/DeviceDataWM.h"
#include "core/Errors.h"
#include "core/ItemWMPBGroup.h"
#include "core/ItemWMPhonebook.h"
#include "core/Log.h"
#include "link/PhonebookPacket.h"
#include "link/RapiBase.h"
#include "tables/contacts/PhonebookPhoto.h"

namespace qwb {
namespace {

constexpr char kSource[] = ".\\DataTableWMPhonebook.cpp";
constexpr HRESULT kBadLength = static_cast<HRESULT>(0x80070018u);  // final, no retry
constexpr HRESULT kModuleBadLength = 50000;
// A reply that is cut short or whose counts and lengths do not hold together.
constexpr HRESULT kBadReply = static_cast<HRESULT>(0x8007000Du);  // ERROR_INVALID_DATA
constexpr int kAttempts = 4;

uint32_t Word(const std::vector<uint8_t>& body) {
  uint32_t w = 0;
  std::memcpy(&w, body.data(), 4);
  return w;
}

HRESULT ShortOr(HRESULT hr) { return FAILED(hr) ? hr : kBadReply; }

// The item's NAME column as text: set only on group items.
std::u16string ItemName(IItem* pItem) {
  ULONG ordinal = 0;
  LONG found = 0;
  BStr column(u"NAME");
  if (FAILED(pItem->GetOrdinal(column.Get(), &ordinal, &found)) || !found) return {};
  Variant value;
  if (FAILED(pItem->GetValue(ordinal, value.Ptr()))) return {};
  FieldMap probe;
  PutField(probe, u"NAME", value);
  return FieldText(probe, u"NAME");
}


}  // namespace

CDataTableWMPhonebook::CDataTableWMPhonebook() {
  m_pColumns = CItemWMPhonebook::CreateColumns();
  m_pColumns2 = CItemWMPBGroup::CreateColumns();
}

CDataTableWMPhonebook::~CDataTableWMPhonebook() = default;

// ---- The stream ------------------------------------------------------------------------------

CRapiBase* CDataTableWMPhonebook::Link() {
  if (!m_pDeviceData) ThrowHr(E_UNEXPECTED);
  if (!m_pDeviceData->GetRapiBase()) m_pDeviceData->GetWMModelType();
  CRapiBase* link = m_pDeviceData->GetRapiBase();
  if (!link) ThrowHr(E_FAIL);
  return link;
}

int CDataTableWMPhonebook::ModelType() { return m_pDeviceData ? m_pDeviceData->GetWMModelType() : 1; }

void CDataTableWMPhonebook::ReleaseStream() {
  CRapiBase* link = m_pDeviceData ? m_pDeviceData->GetRapiBase() : nullptr;
  if (link) link->ReleaseStream();
}

HRESULT CDataTableWMPhonebook::Send(const std::vector<uint8_t>& packet) {
  ULONG written = 0;
  HRESULT hr = Link()->StreamWrite(packet.data(), static_cast<ULONG>(packet.size()), &written);
  if (SUCCEEDED(hr) && written == packet.size()) return hr;
  ReleaseStream();
  return ShortOr(hr);
}

HRESULT CDataTableWMPhonebook::ReadReply(std::vector<uint8_t>* body) {
  body->clear();
  uint32_t length = 0;
  ULONG read = 0;
  HRESULT hr = Link()->StreamRead(&length, 4, &read);
  if (FAILED(hr) || read != 4 || length == 0 || length > pbpacket::kMaxBody) {
    // Whatever follows can no longer be told apart from the next reply.
    ReleaseStream();
    return ShortOr(hr);
  }
  body->resize(length);
  hr = Link()->StreamRead(body->data(), length, &read);
  if (FAILED(hr) || read != length) {
    ReleaseStream();
    body->clear();
    return ShortOr(hr);
  }
  return hr;
}

HRESULT CDataTableWMPhonebook::Exchange(const std::vector<uint8_t>& packet,
                                        std::vector<uint8_t>* body) {
  HRESULT hr = Send(packet);
  if (FAILED(hr)) return hr;
  return ReadReply(body);
}

void CDataTableWMPhonebook::FillGroupFields(DWORD id, const std::u16string& name,
                                            FieldMap* f) {
  PutField(*f, u"INDEX", Variant::I4(static_cast<LONG>(id)));
  PutField(*f, u"SUID", Variant::I4(static_cast<LONG>(id)));
  PutField(*f, u"ATTRIBUTE", Variant::Str(u"NORMAL"));
  PutField(*f, u"NAME", Variant::Str(name));
  for (const char16_t* column : {u"RINGTON_TYPE", u"RINGTON", u"MESSAGETON", u"PHOTO",
                                 u"PHOTO_LOCAL_PATH", u"GROUP_PROPERTY", u"DB_LEDTYPE", u"PGUID",
                                 u"ITEM_STATE", u"REJECT"})
    PutField(*f, column, Variant::Str(u""));
  for (const char16_t* column : {u"MESSAGETON_TYPE", u"VCARD_IMAGE_TYPE", u"PTIMESTAMP",
                                 u"SAVE_TIME"})
    PutField(*f, column, Variant::Str(u"0"));
  PutField(*f, u"PHOTO_TYPE", Variant::Str(u"NONE"));
  PutField(*f, u"ICON_GROUP_INDEX", Variant::I4(255));
  PutField(*f, u"ICON_INDEX", Variant::I4(255));
  for (const char16_t* column : {u"PCFLAG", u"WEBFLAG", u"MODE"})
    PutField(*f, column, Variant::I4(0));
}

// ---- Lists -----------------------------------------------------------------------------------

HRESULT CDataTableWMPhonebook::GetAllEntryID() {
  const char* method = "CDataTableWMPhonebook::GetAllEntryID";
  WMDebug("[%s](+)", method);
  m_vEntryID.clear();
  std::vector<uint8_t> body;
  HRESULT hr = Exchange(pbpacket::WordsRequest(pbpacket::kListContactIds, {devrec::kKindContact}),
                        &body);
  std::vector<uint32_t> ids;
  if (SUCCEEDED(hr) && pbpacket::ReadEntryIdList(body, &ids) != pbpacket::Error::kOk)
    hr = kBadReply;
  if (SUCCEEDED(hr)) m_vEntryID.assign(ids.begin(), ids.end());
  WMDebug("[%s](-)", method);
  return hr;
}

HRESULT CDataTableWMPhonebook::GetCategoryList() {
  m_lists.categories.clear();
  std::vector<uint8_t> body;
  HRESULT hr = Exchange(pbpacket::WordsRequest(pbpacket::kListCategories, {}), &body);
  std::vector<pbpacket::Category> categories;
  if (SUCCEEDED(hr) && pbpacket::ReadCategoryList(body, &categories) != pbpacket::Error::kOk)
    hr = kBadReply;
  if (FAILED(hr)) return hr;
  for (const pbpacket::Category& c : categories)
    m_lists.categories.push_back({c.id, FromUtf8(c.name)});
  m_bCategoriesLoaded = true;
  return hr;
}

HRESULT CDataTableWMPhonebook::GetSpeedDialList() {
  m_lists.speedDials.clear();
  std::vector<uint8_t> body;
  HRESULT hr = Exchange(pbpacket::WordsRequest(pbpacket::kListSpeedDials, {}), &body);
  if (SUCCEEDED(hr) && pbpacket::ReadSpeedDialList(body, &m_lists.speedDials) !=
                           pbpacket::Error::kOk)
    hr = kBadReply;
  if (SUCCEEDED(hr)) {
    m_lists.speedDialCount = static_cast<int>(m_lists.speedDials.size());
    m_bSpeedDialsLoaded = true;
  }
  return hr;
}

HRESULT CDataTableWMPhonebook::LoadInfo() {
  const char* method = "CDataTableWMPhonebook::LoadInfo";
  WMDebug("[%s](+)", method);
  m_nTotal = 0;
  HRESULT hr = GetAllEntryID();
  if (hr != 0) return hr;
  m_nTotal = static_cast<LONG>(m_vEntryID.size());
  WMDebug("[%s] m_vEntryID.size() : %d", method, static_cast<int>(m_vEntryID.size()));
  if (GetCategoryList() == 0) {
    m_nCategoryCount = static_cast<LONG>(m_lists.categories.size());
    WMDebug("[%s] m_vCategories.size() : %d", method, static_cast<int>(m_nCategoryCount));
  }
  WMDebug("[%s](-)", method);
  if (GetSpeedDialList() == 0)
    WMDebug("[%s] m_vSpeedDialListes.size() : %d", method, m_lists.speedDialCount);
  return 0;
}

HRESULT CDataTableWMPhonebook::GetPhonebookItem(FieldMap* fields, DWORD* entryId) {
  const char* method = "CDataTableWMPhonebook::GetPhonebookItem";
  m_props.Clear();
  std::vector<uint8_t> request =
      pbpacket::WordsRequest(pbpacket::kGetContact, {devrec::kKindContact, *entryId});
  ULONG moved = 0;
  HRESULT hr = Link()->StreamWrite(request.data(), static_cast<ULONG>(request.size()), &moved);
  if (FAILED(hr) || moved != request.size()) {
    WMDebug("[%s]WM>> pStream->Write 2 hr=0x%x", method, static_cast<unsigned>(hr));
    ReleaseStream();
    return ShortOr(hr);
  }
  uint32_t length = 0;
  hr = Link()->StreamRead(&length, 4, &moved);
  if (FAILED(hr) || moved != 4 || length == 0 || length > pbpacket::kMaxBody) {
    WMDebug("[%s]WM>> pStream->Read 3 hr=0x%x", method, static_cast<unsigned>(hr));
    ReleaseStream();
    return ShortOr(hr);
  }
  std::vector<uint8_t> body(length);
  hr = Link()->StreamRead(body.data(), length, &moved);
  WMDebug("[%s]WM>> pStream->Read 4 - end hr=0x%x", method, static_cast<unsigned>(hr));
  if (FAILED(hr) || moved != length) {
    WMDebug("[%s]WM>> pStream->Read 4 hr=0x%x", method, static_cast<unsigned>(hr));
    ReleaseStream();
    return ShortOr(hr);
  }
  if (length < 4) return kBadReply;
  *entryId = Word(body);
  // After the entry id the contact is a device record reply; only the id (L = 4) is an empty
  // contact.
  if (length > 4 && DecodeDeviceRecord(devrec::kKindContact, body.data() + 4, length - 4,
                                       &m_props) == kDecodeMalformed)
    return kBadReply;
  // Telephones on read match speed dials against the phone's current list.
  GetSpeedDialList();
  ContactToFields(*entryId, m_props, m_lists, fields);
  fillPictureFieldsToMap(m_props, *entryId, fields);
  m_props.Clear();
  return 0;
}

// ---- Listing ---------------------------------------------------------------------------------

HRESULT CDataTableWMPhonebook::ListItemsAllBegin() {
  const char* method = "CDataTableWMPhonebook::ListItemsAllBegin";
  return TableMethodFrame(method, kSource, __LINE__, [&] {
    WMDebug("[%s](+)", method);
    if (m_bListing) return S_OK;
    HRESULT hr = LoadInfo();
    if (hr != 0) ThrowHr(hr);
    m_nIndex = 0;
    m_nCategoryIndex = 0;
    m_bGroupsDone = FALSE;
    m_bListing = TRUE;
    WMDebug("[%s](-)", method);
    return S_OK;
  });
}

HRESULT CDataTableWMPhonebook::GetItemCount(IItem*, ULONG, DCADATATYPE, ULONG* cnt) {
  return TableMethodFrame("CDataTableWMPhonebook::GetItemCount", kSource, __LINE__, [&] {
    if (!cnt) return E_POINTER;
    if (!m_bListing) {
      HRESULT hr = LoadInfo();
      if (hr != 0) {
        *cnt = 0;
        ThrowHr(hr);
      }
      m_nIndex = 0;
      m_nCategoryIndex = 0;
      m_bGroupsDone = FALSE;
      m_bListing = TRUE;
    }
    *cnt = static_cast<ULONG>(m_nCategoryCount + m_nTotal);
    return S_OK;
  });
}

HRESULT CDataTableWMPhonebook::ListItemsEnd() {
  m_bListing = FALSE;
  m_bGroupsDone = FALSE;
  return S_OK;
}

HRESULT CDataTableWMPhonebook::NextItem(IItem** ppItem) {
  const char* method = "CDataTableWMPhonebook::NextItem";
  return TableMethodFrame(method, kSource, __LINE__, [&] {
    WMDebug("[%s](+)", method);
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    if (m_nCategoryCount == 0) m_bGroupsDone = TRUE;
    if (!m_bGroupsDone) {
      if (m_nCategoryIndex < m_nCategoryCount &&
          static_cast<size_t>(m_nCategoryIndex) < m_lists.categories.size()) {
        const PhonebookCategory& c = m_lists.categories[static_cast<size_t>(m_nCategoryIndex)];
        FieldMap fields;
        FillGroupFields(c.id, c.name, &fields);
        ComPtr<CItemWMPBGroup> item = MakeItem<CItemWMPBGroup>();
        item->SetColumns(m_pColumns2.Get());
        HRESULT hr = item->SchemaConvertMap2Item(fields);
        if (FAILED(hr)) return hr;
        item->AsItem()->AddRef();
        *ppItem = item->AsItem();
        WMDebug("[%s] Group Name : %s", method, ToUtf8(c.name).c_str());
      }
      if (++m_nCategoryIndex >= m_nCategoryCount) m_bGroupsDone = TRUE;
      WMDebug("[%s](-)", method);
      return S_OK;
    }
    // A contact created during the listing raises the count but is not in m_vEntryID.
    if (m_nIndex >= m_nTotal || static_cast<size_t>(m_nIndex) >= m_vEntryID.size())
      return ListItemsEnd();
    DWORD id = m_vEntryID[static_cast<size_t>(m_nIndex)];
    FieldMap& fields = m_listFields;
    fields.clear();
    HRESULT hr = GetPhonebookItem(&fields, &id);
    if (hr != 0) return hr;
    ComPtr<CItemWMPhonebook> item = MakeItem<CItemWMPhonebook>();
    item->SetColumns(m_pColumns.Get());
    hr = item->SchemaTakeMap2Item(fields);
    if (FAILED(hr)) return hr;
    item->AsItem()->AddRef();
    *ppItem = item->AsItem();
    if (++m_nIndex >= m_nTotal) return ListItemsEnd();
    return S_OK;
  });
}

HRESULT CDataTableWMPhonebook::NewItem(DCADATATYPE type, SUID itemSuid, SUID, IItem** ppItem) {
  return TableMethodFrame("CDataTableWMPhonebook::NewItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    ComPtr<CItemWMBase> item;
    if (type == DCADT_PHONEBOOK) {
      item = ComPtr<CItemWMBase>(MakeItem<CItemWMPhonebook>().Get());
      item->SetColumns(m_pColumns.Get());
    } else if (type == DCADT_GROUP) {
      item = ComPtr<CItemWMBase>(MakeItem<CItemWMPBGroup>().Get());
      item->SetColumns(m_pColumns2.Get());
    } else {
      return E_FAIL;
    }
    item->SetSUID(itemSuid);
    item->AsItem()->AddRef();
    *ppItem = item->AsItem();
    return S_OK;
  });
}

// ---- Writes ----------------------------------------------------------------------------------

std::vector<uint8_t> CDataTableWMPhonebook::BuildContactPacket(FieldMap& fields, uint32_t command,
                                                               DWORD entryId) {
  CPropertyList list(devrec::kKindContact);
  FieldsToContact(fields, ModelType(), m_lists, &list);
  std::vector<uint8_t> picture;
  MakePictureProperty(fields, &picture);
  std::vector<pbpacket::PropertyRef> refs;
  for (const PropertyNode* n = list.head(); n; n = n->next)
    refs.push_back({std::string_view(n->name, n->nameLength - 1), n->value, n->valueLength});
  if (!picture.empty())
    refs.push_back({"Picture", picture.data(), static_cast<uint32_t>(picture.size())});
  return pbpacket::ContactPacket(command, entryId, refs);
}

HRESULT CDataTableWMPhonebook::WriteContactOnce(const char* method,
                                                const std::vector<uint8_t>& packet,
                                                DWORD* entryId, bool* stored) {
  *stored = false;
  ULONG moved = 0;
  HRESULT hr = Link()->StreamWrite(packet.data(), static_cast<ULONG>(packet.size()), &moved);
  WMDebug("[%s]WM>> pStream->Write 1 - start hr=0x%x", method, static_cast<unsigned>(hr));
  if (FAILED(hr) || moved != packet.size()) {
    WMDebug("[%s]WM>> pStream->Write 1 hr=0x%x", method, static_cast<unsigned>(hr));
    ReleaseStream();
    return ShortOr(hr);
  }
  uint32_t length = 0;
  hr = Link()->StreamRead(&length, 4, &moved);
  if (FAILED(hr) || moved != 4) {
    WMDebug("[%s]WM>> pStream->Read 1 hr=0x%x", method, static_cast<unsigned>(hr));
    ReleaseStream();
    return ShortOr(hr);
  }
  if (length == 0) {
    uint32_t code = 0;
    hr = Link()->StreamRead(&code, 4, &moved);
    WMDebug("[%s]WM>> pStream->Read ErrorCode hr=0x%x", method, static_cast<unsigned>(hr));
    if (FAILED(hr) || moved != 4) {
      ReleaseStream();
      return ShortOr(hr);
    }
    return static_cast<HRESULT>(code);  // a code that is not negative stored nothing, no failure
  }
  if (length > pbpacket::kMaxBody) {
    ReleaseStream();
    return kBadReply;
  }
  std::vector<uint8_t> body(length);
  hr = Link()->StreamRead(body.data(), length, &moved);
  if (FAILED(hr) || moved != length) {
    WMDebug("[%s]WM>> pStream->Read 2 hr=0x%x", method, static_cast<unsigned>(hr));
    ReleaseStream();
    return ShortOr(hr);
  }
  if (length < 4) return kBadReply;
  *entryId = Word(body);
  *stored = true;
  return hr;
}

HRESULT CDataTableWMPhonebook::WriteContact(const char* method, FieldMap& fields,
                                            uint32_t command, DWORD entryId, DWORD* storedId,
                                            bool* stored) {
  // A host may write before it ever listed: the names of GROUP_ID and the speed dials in use
  // come from the phone then.
  if (!m_bCategoriesLoaded) GetCategoryList();
  if (!m_bSpeedDialsLoaded) GetSpeedDialList();
  // Building the packet points the photo columns at the picture's temporary file, which is
  // gone afterwards: every attempt builds from the item's own values.
  const FieldMap itemFields = fields;
  std::vector<uint8_t> packet = BuildContactPacket(fields, command, entryId);
  CeSyncStop();
  HRESULT hr = E_FAIL;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    WMDebug("[%s]WM>> Retry Count= %d", method, attempt);
    if (attempt >= 1) {
      ReleaseStream();
      WMDebug("[%s]WM>> pStream release and Restart StartApplyAlldata", method);
      hr = Link()->StartApplyAllData();
      if (FAILED(hr)) break;
      fields = itemFields;
      packet = BuildContactPacket(fields, command, entryId);
    }
    hr = WriteContactOnce(method, packet, storedId, stored);
    if (!FAILED(hr) || hr == kBadLength) break;
  }
  if (FAILED(hr)) {
    WMDebug("[%s] DevCeAddContact hr = 0x%x\n", method, static_cast<unsigned>(hr));
    ThrowWmError(hr == kBadLength ? kModuleBadLength : hr);
  }
  return hr;
}

void CDataTableWMPhonebook::RegisterSpeedDials(FieldMap& fields, DWORD entryId, bool create) {
  TelephoneAssignment tel = AssignTelephones(fields, ModelType());
  const std::u16string first = FieldText(fields, u"FIRST_NAME");
  for (int i : tel.order) {
    const std::u16string& number = tel.numbers[i];
    std::u16string dial = FieldText(fields, Numbered(u"TEL_DIAL_", i));
    if (number.empty() || dial.empty()) continue;
    const uint32_t dialNumber = static_cast<uint32_t>(TextToLong(dial));
    if (create) {
      bool used = false;
      for (const pbpacket::SpeedDialEntry& e : m_lists.speedDials) used = used || e.number == dialNumber;
      if (used) {
        PutField(fields, Numbered(u"TEL_DIAL_", i), Variant::Null());
        continue;
      }
    }
    pbpacket::SpeedDialEntry entry;
    entry.number = dialNumber;
    entry.entryId = entryId;
    entry.propertyId = pbpacket::PropertyIdOfKind(PhoneSlotKind(tel.slots[i]));
    entry.name = first.empty() ? number : first;
    entry.telephone = number;
    // The phone answers nothing; a failed registration does not fail the write.
    Send(pbpacket::SpeedDialRequest(create ? pbpacket::kAddSpeedDial : pbpacket::kReplaceSpeedDial,
                                    entry));
  }
}

void CDataTableWMPhonebook::ReadBack(CItemWMBase* item, FieldMap& fields, DWORD entryId,
                                     SUID* itemSuid) {
  DWORD id = entryId;
  if (GetPhonebookItem(&fields, &id) != 0) return;
  if (itemSuid) *itemSuid = static_cast<SUID>(id);
  PutField(fields, u"SUID", Variant::I4(static_cast<LONG>(id)));
  HRESULT hr = item->SchemaConvertMap2Item(fields);
  if (FAILED(hr)) ThrowHr(hr);
}

HRESULT CDataTableWMPhonebook::WriteGroup(IItem* pItem, uint32_t command, SUID* itemSuid) {
  CItemWMBase* item = CItemWMBase::FromItem(pItem);
  if (!item) return E_INVALIDARG;
  std::u16string name = ItemName(pItem);
  std::vector<uint8_t> body;
  HRESULT hr = Exchange(pbpacket::CategoryWriteRequest(
                            command, command == pbpacket::kAddCategory ? 0 : item->GetSUID(),
                            ToUtf8(name)),
                        &body);
  uint32_t id = 0;
  if (SUCCEEDED(hr) && pbpacket::ReadFirstWord(body, &id) != pbpacket::Error::kOk) hr = kBadReply;
  if (FAILED(hr)) return hr;
  if (itemSuid) *itemSuid = static_cast<SUID>(id);
  FieldMap fields;
  FillGroupFields(id, name, &fields);
  hr = item->SchemaConvertMap2Item(fields);
  if (FAILED(hr)) return hr;
  if (GetCategoryList() == 0) m_nCategoryCount = static_cast<LONG>(m_lists.categories.size());
  return S_OK;
}

HRESULT CDataTableWMPhonebook::StoreContact(const char* method, IItem* pItem, bool replace,
                                            SUID* itemSuid, bool* stored) {
  *stored = false;
  CItemWMBase* item = CItemWMBase::FromItem(pItem);
  if (!item) return E_INVALIDARG;
  FieldMap fields;
  HRESULT hr = item->SchemaConvertItem2Map(fields);
  if (FAILED(hr)) return hr;
  DWORD id = 0;
  hr = WriteContact(method, fields, replace ? pbpacket::kReplaceContact : pbpacket::kAddContact,
                    replace ? static_cast<DWORD>(item->GetSUID()) : 0, &id, stored);
  if (!*stored) return hr;
  if (replace) {
    pbpacket::SpeedDialEntry clear;
    clear.entryId = id;
    Send(pbpacket::SpeedDialRequest(pbpacket::kClearSpeedDials, clear));
  }
  RegisterSpeedDials(fields, id, !replace);
  ReadBack(item, fields, id, itemSuid);
  return S_OK;
}

HRESULT CDataTableWMPhonebook::CreateItem(IItem* pItem, SUID* itemSuid) {
  const char* method = "CDataTableWMPhonebook::CreateItem";
  return TableMethodFrame(method, kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    if (!ItemName(pItem).empty()) return WriteGroup(pItem, pbpacket::kAddCategory, itemSuid);
    bool stored = false;
    const HRESULT hr = StoreContact(method, pItem, false, itemSuid, &stored);
    if (stored) ++m_nTotal;
    return hr;
  });
}

HRESULT CDataTableWMPhonebook::UpdateItem(IItem* pItem) {
  const char* method = "CDataTableWMPhonebook::UpdateItem";
  return TableMethodFrame(method, kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    if (!ItemName(pItem).empty()) return WriteGroup(pItem, pbpacket::kRenameCategory, nullptr);
    bool stored = false;
    return StoreContact(method, pItem, true, nullptr, &stored);
  });
}

HRESULT CDataTableWMPhonebook::DeleteItem(IItem* pItem) {
  return TableMethodFrame("CDataTableWMPhonebook::DeleteItem", kSource, __LINE__, [&] {
    if (!pItem) return E_POINTER;
    DCADATATYPE type = DCADT_PHONEBOOK;
    SUID suid = SUID_NULL;
    HRESULT hr = pItem->getType(&type);
    if (FAILED(hr)) return hr;
    hr = pItem->get_SUID(&suid);
    if (FAILED(hr)) return hr;
    if (type == DCADT_PHONEBOOK) {
      CeSyncStop();
      return Send(pbpacket::WordsRequest(pbpacket::kDeleteContact,
                                         {devrec::kKindContact, static_cast<uint32_t>(suid)}));
    }
    if (type != DCADT_GROUP) return E_FAIL;
    CItemWMBase* item = CItemWMBase::FromItem(pItem);
    if (!item) return E_INVALIDARG;
    FieldMap fields;
    hr = item->SchemaConvertItem2Map(fields);
    if (FAILED(hr)) return hr;
    CeSyncStop();
    hr = Send(pbpacket::WordsRequest(pbpacket::kDeleteCategory,
                                     {pbpacket::kCategoryKind, static_cast<uint32_t>(suid)}));
    item->SchemaConvertMap2Item(fields);
    if (GetCategoryList() == 0) m_nCategoryCount = static_cast<LONG>(m_lists.categories.size());
    return hr;
  });
}

HRESULT CDataTableWMPhonebook::SetSyncStatus(DCASYNCSTATUS status) {
  return TableMethodFrame("CDataTableWMPhonebook::SetSyncStatus", kSource, __LINE__, [&] {
    if (status == DCASS_STOP || status == DCASS_END) {
      WMLog("WM>> Release pStream");
      ReleaseStream();
    }
    return S_OK;
  });
}

}  // namespace qwb
