// Registration content. Three scripts, run in the order the module has always used:
//   application id  HKCR\AppID\{APPID} and HKCR\AppID\QWBDCAWM.DLL
//   class           the two ProgIDs and HKCR\CLSID\{CLSID} (the class key is removed first
//                   and written anew, so a stale InprocServer32 never survives)
//   type library    HKCR\TypeLib\{LIBID}\1.0 and HKCR\Interface\{IID} of the dual interfaces
//                   the library describes (IDeviceData, IDeviceDataWM, IDataTable, IItem,
//                   IColumnInfo), each marshalled by the automation proxy
//                   {00020424-0000-0000-C000-000000000046} and pointing at the library.
// Unregistration removes every key the scripts wrote, but never the parents HKCR\AppID,
// HKCR\CLSID, HKCR\TypeLib and HKCR\Interface.
#include "module/Registration.h"

#include <initializer_list>
#include <utility>

#include "wincompat/winbase.h"
#include "wincompat/winreg.h"

namespace qwb {
namespace {

constexpr const char16_t* kAppIdKey = u"AppID\\{EB78A53E-B425-4935-B722-245A977D6F01}";
constexpr const char16_t* kAppIdDllKey = u"AppID\\QWBDCAWM.DLL";
constexpr const char16_t* kAppId = u"{EB78A53E-B425-4935-B722-245A977D6F01}";
constexpr const char16_t* kProgIdKey = u"QWBDCAWM.DeviceDataWM.1";
constexpr const char16_t* kVerIndProgIdKey = u"QWBDCAWM.DeviceDataWM";
constexpr const char16_t* kClsidKey = u"CLSID\\{6FA1E685-F669-48B8-83B7-84FFB52677CB}";
// The ProgID keys carry the class id as the class script spells it.
constexpr const char16_t* kClsidText = u"{6FA1E685-F669-48b8-83B7-84FFB52677CB}";
constexpr const char16_t* kClassName = u"DeviceDataWM Class";
constexpr const char16_t* kLibId = u"{A9E7204F-93EC-413E-B3A7-8AB180529C20}";
constexpr const char16_t* kTypeLibKey = u"TypeLib\\{A9E7204F-93EC-413E-B3A7-8AB180529C20}";
constexpr const char16_t* kTypeLibHelp = u"QWBDCAWM 1.0 Type Library";
constexpr const char16_t* kAutomationProxy = u"{00020424-0000-0000-C000-000000000046}";

struct LibInterface {
  const char16_t* key;
  const char16_t* name;
};
constexpr LibInterface kLibInterfaces[] = {
    {u"Interface\\{77084905-DF94-45A6-90DC-C1DA1F58EF64}", u"IDeviceData"},
    {u"Interface\\{DC9B2A15-A418-458D-8810-1F3FF4B52185}", u"IDeviceDataWM"},
    {u"Interface\\{1AAA0702-6B57-4600-A90B-B325619840DE}", u"IDataTable"},
    {u"Interface\\{1738DA9E-76C3-4B87-BDC4-94FB92CB9D18}", u"IItem"},
    {u"Interface\\{FDC8BD3A-F44C-4C63-A057-B08DA4EAE682}", u"IColumnInfo"},
};

HRESULT FromReg(LONG rc) { return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc); }

// Creates HKCR\<path> (and its parents); sets its default value when `value` is given and
// the named values in `named`.
HRESULT WriteKey(const std::u16string& path, const char16_t* value,
                 std::initializer_list<std::pair<const char16_t*, std::u16string>> named = {}) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return FromReg(rc);
  auto set = [&](const char16_t* name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
  };
  if (value) rc = set(nullptr, value);
  for (const auto& [name, text] : named) {
    if (rc != ERROR_SUCCESS) break;
    rc = set(name, text);
  }
  RegCloseKey(key);
  return FromReg(rc);
}

// Removes HKCR\<path> with everything below it; a key that is not there is no failure.
HRESULT RemoveKey(const std::u16string& path) {
  LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return S_OK;
  if (rc != ERROR_SUCCESS) return FromReg(rc);
  // RegDeleteTreeW leaves the key itself in some stores; remove it too.
  rc = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return S_OK;
  return FromReg(rc);
}

std::u16string Join(const char16_t* a, const char16_t* b) { return std::u16string(a) + u"\\" + b; }

std::u16string FolderOf(const std::u16string& path) {
  size_t slash = path.find_last_of(u'/');
  if (slash == std::u16string::npos) return std::u16string();
  return path.substr(0, slash == 0 ? 1 : slash);
}

HRESULT RegisterAppId() {
  HRESULT hr = WriteKey(kAppIdKey, u"QWBDCAWM");
  if (SUCCEEDED(hr)) hr = WriteKey(kAppIdDllKey, nullptr, {{u"AppID", kAppId}});
  return hr;
}

HRESULT UnregisterAppId() {
  HRESULT hr = RemoveKey(kAppIdKey);
  HRESULT hr2 = RemoveKey(kAppIdDllKey);
  return FAILED(hr) ? hr : hr2;
}

HRESULT RegisterClass(const std::u16string& modulePath) {
  HRESULT hr = WriteKey(kProgIdKey, kClassName);
  if (SUCCEEDED(hr)) hr = WriteKey(Join(kProgIdKey, u"CLSID"), kClsidText);
  if (SUCCEEDED(hr)) hr = WriteKey(kVerIndProgIdKey, kClassName);
  if (SUCCEEDED(hr)) hr = WriteKey(Join(kVerIndProgIdKey, u"CLSID"), kClsidText);
  if (SUCCEEDED(hr)) hr = WriteKey(Join(kVerIndProgIdKey, u"CurVer"), kProgIdKey);
  if (SUCCEEDED(hr)) hr = RemoveKey(kClsidKey);
  if (SUCCEEDED(hr)) hr = WriteKey(kClsidKey, kClassName, {{u"AppID", kAppId}});
  if (SUCCEEDED(hr)) hr = WriteKey(Join(kClsidKey, u"ProgID"), kProgIdKey);
  if (SUCCEEDED(hr)) hr = WriteKey(Join(kClsidKey, u"VersionIndependentProgID"), kVerIndProgIdKey);
  if (SUCCEEDED(hr)) hr = WriteKey(Join(kClsidKey, u"Programmable"), nullptr);
  if (SUCCEEDED(hr)) {
    hr = WriteKey(Join(kClsidKey, u"InprocServer32"), modulePath.c_str(),
                  {{u"ThreadingModel", u"Apartment"}});
  }
  if (SUCCEEDED(hr)) hr = WriteKey(Join(kClsidKey, u"TypeLib"), kLibId);
  return hr;
}

HRESULT UnregisterClass() {
  HRESULT result = S_OK;
  for (const char16_t* key : {kClsidKey, kVerIndProgIdKey, kProgIdKey}) {
    HRESULT hr = RemoveKey(key);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

HRESULT RegisterTypeLib(const std::u16string& modulePath) {
  const std::u16string version = Join(kTypeLibKey, u"1.0");
  HRESULT hr = WriteKey(version, kTypeLibHelp);
  if (SUCCEEDED(hr)) hr = WriteKey(version + u"\\FLAGS", u"0");
  if (SUCCEEDED(hr)) hr = WriteKey(version + u"\\0\\win32", modulePath.c_str());
  if (SUCCEEDED(hr)) hr = WriteKey(version + u"\\HELPDIR", FolderOf(modulePath).c_str());
  for (const LibInterface& i : kLibInterfaces) {
    if (FAILED(hr)) break;
    hr = WriteKey(i.key, i.name);
    if (SUCCEEDED(hr)) hr = WriteKey(Join(i.key, u"ProxyStubClsid"), kAutomationProxy);
    if (SUCCEEDED(hr)) hr = WriteKey(Join(i.key, u"ProxyStubClsid32"), kAutomationProxy);
    if (SUCCEEDED(hr)) hr = WriteKey(Join(i.key, u"TypeLib"), kLibId, {{u"Version", u"1.0"}});
  }
  return hr;
}

HRESULT UnregisterTypeLib() {
  HRESULT result = S_OK;
  for (const LibInterface& i : kLibInterfaces) {
    HRESULT hr = RemoveKey(i.key);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  HRESULT hr = RemoveKey(kTypeLibKey);
  return FAILED(result) ? result : hr;
}

// Runs the registration under the system default locale, as the registrar expects.
class ThreadLocaleScope {
 public:
  ThreadLocaleScope() : saved_(GetThreadLocale()) { SetThreadLocale(LANG_SYSTEM_DEFAULT); }
  ~ThreadLocaleScope() { SetThreadLocale(saved_); }

 private:
  LCID saved_;
};

}  // namespace

HRESULT RegisterServer(const std::u16string& modulePath) {
  ThreadLocaleScope locale;
  HRESULT hr = RegisterAppId();
  if (SUCCEEDED(hr)) hr = RegisterClass(modulePath);
  if (SUCCEEDED(hr)) hr = RegisterTypeLib(modulePath);
  return hr;
}

HRESULT UnregisterServer(const std::u16string&) {
  ThreadLocaleScope locale;
  HRESULT hr = UnregisterClass();
  if (SUCCEEDED(hr)) hr = UnregisterTypeLib();
  if (SUCCEEDED(hr)) hr = UnregisterAppId();
  return hr;
}

}  // namespace qwb
