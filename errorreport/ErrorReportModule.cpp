// The four exports of libErrorReport: class object, unload query and self-registration.
#include <atomic>
#include <new>
#include <string>

#include "errorreport/CErrorReport.h"
#include "wincompat/winbase.h"
#include "wincompat/winreg.h"

using errorreport::CErrorReport;
using errorreport::g_moduleLocks;

namespace {

constexpr char16_t kProgId[] = u"QWBDCAWM.ErrorReport.1";
constexpr char16_t kVersionIndependentProgId[] = u"QWBDCAWM.ErrorReport";
constexpr char16_t kClassName[] = u"ErrorReport Class";

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  // The factory is static; it holds the module while referenced.
  ULONG STDMETHODCALLTYPE AddRef() override {
    ++g_moduleLocks;
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    --g_moduleLocks;
    return 1;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* obj = new (std::nothrow) CErrorReport;
    if (!obj) return E_OUTOFMEMORY;
    const HRESULT hr = obj->QueryInterface(riid, ppv);
    obj->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      ++g_moduleLocks;
    else
      --g_moduleLocks;
    return S_OK;
  }
};

Factory g_factory;

std::u16string ClsidText() {
  WCHAR buf[40];
  StringFromGUID2(CLSID_ErrorReport, buf, 40);
  return buf;
}

LONG SetString(HKEY root, const std::u16string& path, const char16_t* name,
               const std::u16string& value) {
  HKEY key = nullptr;
  LONG err = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                             nullptr, &key, nullptr);
  if (err != ERROR_SUCCESS) return err;
  err = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
  RegCloseKey(key);
  return err;
}

std::u16string OwnPath() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&g_factory), &self))
    return {};
  WCHAR buf[4096];
  const DWORD n = GetModuleFileNameW(self, buf, 4096);
  return (n == 0 || n >= 4096) ? std::u16string() : std::u16string(buf, n);
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_ErrorReport) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow(void) { return g_moduleLocks.load() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer(void) {
  const std::u16string path = OwnPath();
  if (path.empty()) return SELFREG_E_CLASS;
  const std::u16string clsid = ClsidText();
  const std::u16string key = u"CLSID\\" + clsid;
  const struct {
    std::u16string path;
    const char16_t* name;
    std::u16string value;
  } entries[] = {
      {key, u"", kClassName},
      {key + u"\\InprocServer32", u"", path},
      {key + u"\\InprocServer32", u"ThreadingModel", u"Apartment"},
      {key + u"\\ProgID", u"", kProgId},
      {key + u"\\VersionIndependentProgID", u"", kVersionIndependentProgId},
      {kProgId, u"", kClassName},
      {std::u16string(kProgId) + u"\\CLSID", u"", clsid},
      {kVersionIndependentProgId, u"", kClassName},
      {std::u16string(kVersionIndependentProgId) + u"\\CLSID", u"", clsid},
      {std::u16string(kVersionIndependentProgId) + u"\\CurVer", u"", kProgId},
  };
  for (const auto& e : entries)
    if (SetString(HKEY_CLASSES_ROOT, e.path, e.name, e.value) != ERROR_SUCCESS)
      return SELFREG_E_CLASS;
  return S_OK;
}

STDAPI DllUnregisterServer(void) {
  const std::u16string keys[] = {u"CLSID\\" + ClsidText(), kProgId, kVersionIndependentProgId};
  for (const auto& k : keys) {
    const LONG err = RegDeleteTreeW(HKEY_CLASSES_ROOT, k.c_str());
    if (err != ERROR_SUCCESS && err != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
  }
  return S_OK;
}
