// COM activation: apartments counted per thread, in-process servers found through the
// registry store and kept loaded for the life of the process.
#include <dlfcn.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>

#include "platform/com/RegistryStore.h"
#include "platform/win/WinInternal.h"
#include "wincompat/com.h"

using wincompat::detail::GuidText;
using wincompat::detail::Narrow;
using wincompat::detail::RegistryReadString;

namespace {

thread_local int t_comInit = 0;

struct Server {
  void* handle = nullptr;
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  LPFNCANUNLOADNOW canUnloadNow = nullptr;
};

std::mutex g_serversMu;
std::map<std::string, Server>& Servers() {
  static auto* m = new std::map<std::string, Server>;  // servers stay loaded until exit
  return *m;
}

HRESULT LoadServer(const std::string& path, Server* out) {
  std::lock_guard lock(g_serversMu);
  auto& servers = Servers();
  if (auto it = servers.find(path); it != servers.end()) {
    *out = it->second;
    return S_OK;
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return CO_E_DLLNOTFOUND;
  void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) return CO_E_ERRORINDLL;
  Server s;
  s.handle = h;
  s.getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(h, "DllGetClassObject"));
  s.canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(::dlsym(h, "DllCanUnloadNow"));
  if (!s.getClassObject) {
    ::dlclose(h);
    return CO_E_ERRORINDLL;
  }
  servers.emplace(path, s);
  *out = s;
  return S_OK;
}

}  // namespace

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD) {
  // The first initialization of a thread answers S_OK, later ones S_FALSE; each is paired
  // with a CoUninitialize.
  return t_comInit++ == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, 0x2); }

void WINAPI CoUninitialize(void) {
  if (t_comInit > 0) --t_comInit;
}

HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid,
                                LPVOID* ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  // Only in-process servers exist here.
  if (!(dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) return REGDB_E_CLASSNOTREG;
  std::u16string path;
  if (!RegistryReadString(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(rclsid) + u"\\InprocServer32",
                          u"", &path) ||
      path.empty())
    return REGDB_E_CLASSNOTREG;
  Server server;
  const HRESULT hr = LoadServer(Narrow(path), &server);
  if (FAILED(hr)) return hr;
  return server.getClassObject(rclsid, riid, ppv);
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  void* raw = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, &raw);
  if (FAILED(hr)) return hr;
  auto* factory = static_cast<IClassFactory*>(raw);
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

void WINAPI CoFreeUnusedLibraries(void) {
  // Servers are asked, but stay loaded: objects of this process may still point into them.
  std::lock_guard lock(g_serversMu);
  for (auto& [path, s] : Servers())
    if (s.canUnloadNow) s.canUnloadNow();
}

HRESULT WINAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (!lpszProgID || !lpclsid) return E_INVALIDARG;
  std::u16string text;
  if (!RegistryReadString(HKEY_CLASSES_ROOT, std::u16string(lpszProgID) + u"\\CLSID", u"", &text) ||
      !wincompat::detail::ParseGuid(text.c_str(), lpclsid)) {
    *lpclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
  }
  return S_OK;
}

HRESULT WINAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (!lplpszProgID) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  std::u16string progId;
  if (!RegistryReadString(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(clsid) + u"\\ProgID", u"",
                          &progId) ||
      progId.empty())
    return REGDB_E_CLASSNOTREG;
  auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((progId.size() + 1) * sizeof(OLECHAR)));
  if (!p) return E_OUTOFMEMORY;
  wincompat::detail::CopyOut(progId, p, progId.size() + 1);
  *lplpszProgID = p;
  return S_OK;
}

HRESULT WINAPI OleRun(LPUNKNOWN pUnknown) {
  // In-process objects are running once created.
  return pUnknown ? S_OK : E_INVALIDARG;
}
