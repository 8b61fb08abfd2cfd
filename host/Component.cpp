#include "host/Component.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <filesystem>

#include "wincompat/winreg.h"

namespace qwbhost {

std::string ExecutableFolder() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  return std::filesystem::path(std::string(buffer, static_cast<size_t>(n))).parent_path().string();
}

namespace {

// The file `name` beside the executable, else under `installedFolder` (relative to the
// executable's folder).
std::string BesideOrInstalled(const std::string& name, const char* installedFolder) {
  const std::filesystem::path folder = ExecutableFolder();
  std::error_code ec;
  if (std::filesystem::exists(folder / name, ec)) return (folder / name).string();
  return (folder / installedFolder / name).lexically_normal().string();
}

}  // namespace

std::string InstalledLibraryPath(const std::string& file) {
  return BesideOrInstalled(file, QWB_LIBDIR_FROM_BINDIR);
}

std::string ComponentLibraryPath() { return InstalledLibraryPath(QWB_COMPONENT_FILE); }
std::string ErrorReportLibraryPath() { return InstalledLibraryPath(QWB_ERRORREPORT_FILE); }

std::string ModelProfilePath() {
  return BesideOrInstalled("WMModelProfile.xml", QWB_DATADIR_FROM_BINDIR);
}

HRESULT RegisterServerLibrary(const std::string& libraryPath, bool unregister) {
  void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) return CO_E_DLLNOTFOUND;
  auto entry = reinterpret_cast<LPFNREGISTERSERVER>(
      dlsym(library, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
  HRESULT hr = entry ? entry() : CO_E_ERRORINDLL;
  // The COM runtime may load the same library later; it stays loaded for the process, as
  // servers do.
  return hr;
}

std::u16string RegisteredServerPath(const CLSID& clsid) {
  char16_t guid[40];
  if (!StringFromGUID2(clsid, guid, 40)) return {};
  std::u16string key = u"CLSID\\" + std::u16string(guid) + u"\\InprocServer32";
  HKEY hkey = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS) return {};
  char16_t path[4096];
  DWORD size = sizeof path;
  DWORD type = 0;
  LONG rc = RegQueryValueExW(hkey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
  RegCloseKey(hkey);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return {};
  std::u16string result(path, size / sizeof(char16_t));
  while (!result.empty() && result.back() == u'\0') result.pop_back();
  return result;
}

HRESULT EnsureServerRegistered(const CLSID& clsid, const std::string& libraryPath) {
  // A store shared by several builds may lead to another build's library: the host uses the
  // library it was built with, so anything but that file is registered anew.
  std::filesystem::path registered(RegisteredServerPath(clsid));
  std::error_code ec;
  if (!registered.empty() && std::filesystem::equivalent(registered, libraryPath, ec))
    return S_FALSE;
  return RegisterServerLibrary(libraryPath);
}

HRESULT EnsureComponentRegistered(const std::string& libraryPath) {
  return EnsureServerRegistered(CLSID_DeviceDataWM, libraryPath);
}

HRESULT CreateDeviceData(ComPtr<IDeviceData>* out) {
  return CoCreateInstance(CLSID_DeviceDataWM, nullptr, CLSCTX_INPROC_SERVER, IID_IDeviceData,
                          reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
}

HRESULT CreateDeviceDataByProgID(const char16_t* progId, ComPtr<IDeviceData>* out) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDeviceData,
                          reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
}

}  // namespace qwbhost
