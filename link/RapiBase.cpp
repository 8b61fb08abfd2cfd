#include "link/RapiBase.h"

#include <cstring>
#include <filesystem>

#include "core/Errors.h"
#include "core/Log.h"
#include "wincompat/winbase.h"

namespace {

constexpr char16_t kService[] = u"QWBRapiServer";
constexpr DWORD kRapiInitWaitMs = 500;
constexpr HRESULT kRapiInitTimeout = static_cast<HRESULT>(0x800705B4u);  // ERROR_TIMEOUT
constexpr char16_t kProfileName[] = u"WMModelProfile.xml";
constexpr char16_t kDefaultDeviceName[] = u"Tolvane-WM";

CRapiBase::InvokeFunction& InvokeOverride() {
  static CRapiBase::InvokeFunction invoke;
  return invoke;
}

std::u16string& ProfilePathOverride() {
  static std::u16string path;
  return path;
}

HRESULT Invoke(LPCWSTR function, DWORD cbInput, BYTE* input, DWORD* cbOutput, BYTE** output,
               IRAPIStream** stream) {
  if (InvokeOverride())
    return InvokeOverride()(kService, function, cbInput, input, cbOutput, output, stream, 0);
  return CeRapiInvoke(kService, function, cbInput, input, cbOutput, output, stream, 0);
}

}  // namespace

CRapiBase::CRapiBase() : m_nRapiInitialised(0), m_nStorageCardFound(0) {
  HRESULT hr = initRapiComm();
  qwb::WMLog("WM>> initRapiComm() hr = 0x%x", static_cast<unsigned>(hr));
  m_ComInit.emplace();
}

CRapiBase::~CRapiBase() { uninitRapiComm(); }

HRESULT CRapiBase::initRapiComm() {
  if (m_nRapiInitialised == 1) return S_OK;
  RAPIINIT& init = m_RapiInit;
  std::memset(&init, 0, sizeof init);
  init.cbSize = 12;  // the size the component has always passed
  HRESULT hr = CeRapiInitEx(&init);
  if (SUCCEEDED(hr)) {
    DWORD wait = WaitForSingleObject(init.heRapiInit, kRapiInitWaitMs);
    if (wait == WAIT_OBJECT_0) {
      hr = init.hrRapiInit;
    } else if (wait == WAIT_TIMEOUT) {
      hr = kRapiInitTimeout;
    } else {
      hr = HRESULT_FROM_WIN32(GetLastError());
    }
  }
  // Set whatever the result, so that CeRapiUninit always balances the CeRapiInitEx.
  m_nRapiInitialised = 1;
  return hr;
}

void CRapiBase::uninitRapiComm() {
  if (m_pStream) {
    qwb::WMLog("WM>> pStream Release");
    m_pStream.Reset();
  }
  if (m_nRapiInitialised == 1) {
    CeRapiUninit();
    m_nRapiInitialised = 0;
  }
  qwb::WMLog("WM>> uninitRapiComm()");
  m_ComInit.reset();
}

HRESULT CRapiBase::StartApplyAllData() {
  CeSyncStop();
  HRESULT hr = Invoke(u"DevCeApplyAllData", 0, nullptr, nullptr, nullptr, m_pStream.Receive());
  qwb::WMLog("CeRapiInvoke DevCeApplyAllData hr = 0x%x", static_cast<unsigned>(hr));
  return hr;
}

HRESULT CRapiBase::StreamWrite(const void* buffer, ULONG length, ULONG* written) {
  if (!m_pStream) {
    HRESULT hr = StartApplyAllData();
    if (FAILED(hr)) return hr;
    if (!m_pStream) return E_POINTER;
  }
  return m_pStream->Write(buffer, length, written);
}

HRESULT CRapiBase::StreamRead(void* buffer, ULONG length, ULONG* read) {
  if (!m_pStream) {
    HRESULT hr = StartApplyAllData();
    if (FAILED(hr)) return hr;
    if (!m_pStream) return E_POINTER;
  }
  return m_pStream->Read(buffer, length, read);
}

namespace {

// Reads one value of a device registry key into `buffer` (`*size` bytes at most; the size read
// comes back there). A key that cannot be opened clears the device's error and reads nothing.
bool QueryDeviceValue(HKEY root, LPCWSTR subKey, LPCWSTR valueName, BYTE* buffer, DWORD* size) {
  HKEY key = nullptr;
  if (CeRegOpenKeyEx(root, subKey, 0, 0, &key) != ERROR_SUCCESS) {
    CeGetLastError();
    return false;
  }
  DWORD type = 0;
  const bool read =
      CeRegQueryValueEx(key, valueName, nullptr, &type, buffer, size) == ERROR_SUCCESS;
  CeRegCloseKey(key);
  return read;
}

}  // namespace

int CRapiBase::ceReadReg4dword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD* value) {
  BYTE buffer[256] = {};
  DWORD size = 255;
  if (!QueryDeviceValue(root, subKey, valueName, buffer, &size)) return 0;
  std::memcpy(value, buffer, sizeof(DWORD));
  return 1;
}

int CRapiBase::ceReadRegString(HKEY root, LPCWSTR subKey, LPCWSTR valueName,
                               std::u16string* value) {
  // 255 characters and a terminator that the query never overwrites.
  WCHAR buffer[256] = {};
  DWORD size = 255 * sizeof(WCHAR);
  if (!QueryDeviceValue(root, subKey, valueName, reinterpret_cast<BYTE*>(buffer), &size)) return 0;
  if (size > 1) *value = std::u16string(buffer);
  return 1;
}

void CRapiBase::SetModelProfilePathForTesting(std::u16string path) {
  ProfilePathOverride() = std::move(path);
}

namespace {

std::u16string ModuleFolder(HMODULE module) {
  WCHAR path[MAX_PATH];
  std::memset(path, 0, sizeof path);
  DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  std::u16string folder(path, n < MAX_PATH ? n : MAX_PATH - 1);
  size_t slash = folder.rfind(u'/');
  folder.resize(slash == std::u16string::npos ? 0 : slash);
  return folder;
}

}  // namespace

std::u16string CRapiBase::ModelProfilePath() {
  if (!ProfilePathOverride().empty()) return ProfilePathOverride();
  // A host ships its profile beside its executable; without one there, the profile
  // installed with the component is used (relative to the component's own folder).
  const std::u16string beside = ModuleFolder(nullptr) + u"/" + kProfileName;
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::path(beside), ec)) return beside;
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          kProfileName, &self))
    return beside;
  return ModuleFolder(self) + u"/" QWB_DATADIR_FROM_LIBDIR u"/" + kProfileName;
}

int CRapiBase::GetWMModelType() {
  std::u16string model;
  if (!ceReadRegString(HKEY_LOCAL_MACHINE, u"Ident", u"OrigName", &model))
    model = kDefaultDeviceName;
  // The profile is read afresh each time; a missing or bad file leaves the lists empty.
  m_ModelProfile.Clear();
  try {
    m_ModelProfile.Load_Document(ModelProfilePath());
  } catch (...) {
  }
  return m_ModelProfile.GetModelType(model);
}

int CRapiBase::CheckStorageCard() {
  if (m_nStorageCardFound == 1) return m_nStorageCardFound;
  std::u16string sdFolder, mmcFolder, partName;
  ceReadRegString(HKEY_LOCAL_MACHINE, u"System\\StorageManager\\Profiles\\SDMemory", u"Folder",
                  &sdFolder);
  ceReadRegString(HKEY_LOCAL_MACHINE, u"System\\StorageManager\\Profiles\\MMC", u"Folder",
                  &mmcFolder);
  if (ceReadRegString(HKEY_LOCAL_MACHINE, u"System\\StorageManager\\Profiles\\MMC\\Part00", u"Name",
                      &partName))
    mmcFolder = partName;
  if (qwb::EqualsNoCase(mmcFolder, sdFolder)) return m_nStorageCardFound;

  m_vStorageFolders.clear();
  DWORD count = 0;
  CE_FIND_DATA* found = nullptr;
  if (CeFindAllFiles(u"\\*.*", FAF_FOLDERS_ONLY | FAF_ATTRIBUTES | FAF_NAME, &count, &found)) {
    for (DWORD i = 0; found && i < count; ++i) {
      if (found[i].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        m_vStorageFolders.emplace_back(found[i].cFileName);
    }
  }
  if (found) CeRapiFreeBuffer(found);

  for (const std::u16string& folder : m_vStorageFolders) {
    std::u16string bare;
    for (char16_t c : folder) {
      if (c != u'\\') bare.push_back(c);
    }
    if (bare.compare(0, mmcFolder.size(), mmcFolder) == 0) {
      m_nStorageCardFound = 1;
      m_strStorageCardFolder = folder;
      break;
    }
  }
  return m_nStorageCardFound;
}

CRapiBase::LocalBuffer CRapiBase::NewRequest(DWORD size) {
  if (!size) return nullptr;
  LocalBuffer request(static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, size)));
  if (!request) throw qwb::CAtlException(E_OUTOFMEMORY);
  return request;
}

HRESULT CRapiBase::InvokeBlock(const char16_t* function, const char* method, LocalBuffer request,
                               DWORD size, std::vector<uint8_t>* reply) {
  DWORD replySize = 0;
  BYTE* replyBuffer = nullptr;
  CeSyncStop();
  HRESULT hr = Invoke(function, size, request.get(), &replySize, &replyBuffer, nullptr);
  // Replies come from the service's LocalAlloc, so they go back the same way.
  LocalBuffer owned(replyBuffer);
  if (method && qwb::WMDebugWanted())
    qwb::WMDebug("[%s]%s hr=0x%x", method, qwb::ToUtf8(function).c_str(),
                 static_cast<unsigned>(hr));
  request.reset();
  reply->clear();
  if (hr == S_OK && owned && replySize) reply->assign(owned.get(), owned.get() + replySize);
  return hr;
}

HRESULT CRapiBase::InvokeBlock(const char16_t* function, const char* method,
                               const std::vector<uint8_t>& request, std::vector<uint8_t>* reply) {
  const DWORD size = static_cast<DWORD>(request.size());
  LocalBuffer buffer = NewRequest(size);
  if (size) std::memcpy(buffer.get(), request.data(), size);
  return InvokeBlock(function, method, std::move(buffer), size, reply);
}

HRESULT CRapiBase::InvokeStream(const char16_t* function, ComPtr<IRAPIStream>* stream) {
  CeSyncStop();
  return Invoke(function, 0, nullptr, nullptr, nullptr, stream->Receive());
}

void CRapiBase::SetInvokeForTesting(InvokeFunction invoke) { InvokeOverride() = std::move(invoke); }
