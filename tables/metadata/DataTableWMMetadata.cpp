#include "tables/metadata/DataTableWMMetadata.h"

#include <cstring>

#include "core/DeviceDataWM.h"
#include "core/Errors.h"
#include "core/Log.h"
#include "link/RapiBase.h"
#include "link/RapiSIMWM.h"
#include "platform/util/Utf.h"
#include "tables/metadata/DevInfDocument.h"
#include "wincompat/rapi.h"

namespace qwb {
namespace {

constexpr char kManufacturer[] = "Tolvane";
constexpr char kDefaultModelName[] = "Tolvane-WM";
constexpr char16_t kPrivacyLock[] = u"0,0,0,0,0,0,0,0,0,0,0,0,0,0";
constexpr size_t kModelNameBytes = 100;  // the narrow buffer, terminator included
constexpr DWORD kRegistryBufferBytes = 255;
constexpr DWORD kSpDefaultMMSSize = 302080;   // 0x49C00
constexpr DWORD kPpcDefaultMMSSize = 307200;  // 0x4B000
constexpr int kModelTypeInternationalSP = 6;

Variant IntValue(LONG n) {
  Variant v;
  v.Ptr()->vt = VT_INT;
  v.Ptr()->lVal = n;
  return v;
}

void PutInts(FieldMap* map, std::initializer_list<std::pair<const char16_t*, LONG>> entries) {
  for (const auto& [key, value] : entries) PutField(*map, key, IntValue(value));
}

}  // namespace

CDataTableWMMetadata::CDataTableWMMetadata() : m_pSIM(std::make_unique<rapiSIMWM>()) {}

CDataTableWMMetadata::~CDataTableWMMetadata() = default;

std::string CDataTableWMMetadata::NarrowModelName(std::u16string_view name) {
  std::string narrow = utf::Narrow(name);
  if (narrow.size() >= kModelNameBytes) {
    size_t end = kModelNameBytes - 1;
    // Never leave half a character behind.
    while (end > 0 && (static_cast<unsigned char>(narrow[end]) & 0xC0) == 0x80) --end;
    narrow.resize(end);
  }
  return narrow;
}

int CDataTableWMMetadata::ModelType() {
  if (m_pDeviceData) return m_pDeviceData->GetWMModelType();
  return m_pSIM->GetWMModelType();
}

void CDataTableWMMetadata::ReadModelName() {
  m_strModelName = kDefaultModelName;
  HKEY key = nullptr;
  if (CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &key) != ERROR_SUCCESS) return;
  // 255 bytes of value and a terminator the query never reaches.
  WCHAR buffer[kRegistryBufferBytes / sizeof(WCHAR) + 1];
  std::memset(buffer, 0, sizeof buffer);
  DWORD type = 0, size = kRegistryBufferBytes;
  if (CeRegQueryValueEx(key, u"OrigName", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                        &size) == ERROR_SUCCESS)
    m_strModelName = NarrowModelName(buffer);
  CeRegCloseKey(key);
}

DWORD CDataTableWMMetadata::GetMMSMaxSize() {
  DWORD value = 0;
  if (ModelType() == kModelTypeInternationalSP) {
    if (CRapiBase::ceReadReg4dword(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\MMS\\Settings\\Send",
                                   u"Outgoing Message Size", &value))
      return value * 1024;  // kilobytes
    WMDebug("[%s]SP: ceReadReg4dword Error ", "CDataTableWMMetadata::GetMMSMaxSize");
    return kSpDefaultMMSSize;
  }
  if (CRapiBase::ceReadReg4dword(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\MMS\\Settings",
                                 u"Max Size", &value))
    return value;
  WMDebug("[%s]PPC: ceReadReg4dword Error ", "CDataTableWMMetadata::GetMMSMaxSize");
  return kPpcDefaultMMSSize;
}

void CDataTableWMMetadata::BuildLimitMaps() {
  FieldMap phonebook;
  PutInts(&phonebook, {{u"MAX_TEL_LENGTH", 255},
                       {u"MAX_NAME_LENGTH", 255},
                       {u"MAX_URL_LENGTH", 255},
                       {u"MAX_EMAIL_LENGTH", 255},
                       {u"MAX_NOTE_LENGTH", -1},
                       {u"TOTAL_COUNT", -1}});
  m_vLimitMaps.push_back(std::move(phonebook));

  FieldMap calendar;
  PutInts(&calendar, {{u"USED_COUNT", 0},
                      {u"TOTAL_COUNT", -1},
                      {u"MAX_SUBJECT", 255},
                      {u"MAX_DETAIL", 255},
                      {u"MAX_LOCATION", 255}});
  PutField(calendar, u"TYPE", Variant::I4(0));
  m_vLimitMaps.push_back(std::move(calendar));

  FieldMap task;
  PutInts(&task, {{u"USED_COUNT", 0},
                  {u"TOTAL_COUNT", -1},
                  {u"MAX_SUBJECT", 255},
                  {u"MAX_DETAIL", 255},
                  {u"MAX_LOCATION", 255}});
  m_vLimitMaps.push_back(std::move(task));

  FieldMap sim;
  if (m_pSIM->getSIMInformation() == S_OK) {
    PutInts(&sim, {{u"MAX_TEL_LENGTH", static_cast<LONG>(m_pSIM->m_nMaxPBEAddressLength)},
                   {u"MAX_NAME_LENGTH", static_cast<LONG>(m_pSIM->m_nMaxPBETextLength)},
                   {u"USED_COUNT", static_cast<LONG>(m_pSIM->m_nUsed)},
                   {u"TOTAL_COUNT", static_cast<LONG>(m_pSIM->m_nTotal)}});
  } else {
    PutInts(&sim, {{u"MAX_TEL_LENGTH", 255},
                   {u"MAX_NAME_LENGTH", 255},
                   {u"USED_COUNT", 0},
                   {u"TOTAL_COUNT", 1000}});
  }
  PutField(sim, u"ALLOWPLUSSIGN", Variant::I4(0));
  m_vLimitMaps.push_back(std::move(sim));
}

void CDataTableWMMetadata::Refresh() {
  m_vLimitMaps.clear();
  m_strManufacturer = kManufacturer;
  ReadModelName();
  m_nMMSMaxSize = GetMMSMaxSize();
  BuildLimitMaps();
}

std::string CDataTableWMMetadata::BuildDevInf() {
  DevInfValues values;
  values.manufacturer = m_strManufacturer;
  values.modelName = m_strModelName;
  values.modelType = ModelType();
  values.limitMaps = &m_vLimitMaps;
  values.mmsMaxSize = m_nMMSMaxSize;
  DWORD xLink = 0;
  values.telDial = CRapiBase::ceReadReg4dword(HKEY_CURRENT_USER,
                                              u"Software\\Tolvane\\QelContact", u"xLinkSupport",
                                              &xLink) &&
                   xLink == 1;
  values.simAnrCount = m_pSIM->m_nANRCount;
  values.simMaxAnrLength = m_pSIM->m_nMaxANRLength;
  values.simEmailAddrCount = m_pSIM->m_nEmailAddrCount;
  values.simMaxEmailAddrLength = m_pSIM->m_nMaxEmailAddrLength;
  return BuildDevInfDocument(values);
}

HRESULT CDataTableWMMetadata::GetProperty(BSTR propName, BSTR* propValue) {
  // Any failure, whatever it is, answers E_FAIL without error information.
  try {
    Refresh();
    const std::u16string_view name =
        propName ? std::u16string_view(propName) : std::u16string_view();
    if (name == u"DevInf") {
      if (!propValue) return E_POINTER;
      const std::u16string text = utf::Widen(BuildDevInf());
      BSTR out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!out) return E_FAIL;
      *propValue = out;
      return S_OK;
    }
    if (name == u"PRIVACY_LOCK") {
      if (!propValue) return E_POINTER;
      BSTR out = SysAllocString(kPrivacyLock);
      if (!out) return E_FAIL;
      *propValue = out;
      return S_OK;
    }
    return E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace qwb
