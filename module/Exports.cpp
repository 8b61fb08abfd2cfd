// The four exports of libQWBDCAWM.so. Built with hidden visibility (and the component's
// static library linked with its symbols hidden), so these are the library's only symbols.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "core/Log.h"
#include "module/ClassFactory.h"
#include "module/Registration.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/winbase.h"

#define QWB_EXPORT __attribute__((visibility("default")))

namespace {

// The full path of this library, as GetModuleFileNameW reports it for our own module.
std::u16string OwnModulePath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) || !info.dli_fname) return {};
  // The loader's handle for this library, without loading anything anew.
  void* self = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  if (self) {
    char16_t buffer[4096];
    DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(self), buffer, 4096);
    dlclose(self);
    if (n > 0 && n < 4096) return std::u16string(buffer, n);
  }
  char resolved[PATH_MAX];
  const char* path = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
  return qwb::FromUtf8(path);
}

}  // namespace

extern "C" {

QWB_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return qwb::GetClassObject(rclsid, riid, ppv);
}

QWB_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow(void) { return qwb::CanUnloadNow(); }

QWB_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer(void) {
  return qwb::RegisterServer(OwnModulePath());
}

QWB_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer(void) {
  return qwb::UnregisterServer(OwnModulePath());
}

}  // extern "C"
