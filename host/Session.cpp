#include "host/Session.h"

#include <filesystem>
#include <memory>

#include "host/support/Component.h"
#include "host/support/HostObjects.h"
#include "wincompat/winreg.h"

namespace qwbhost {
namespace {

// Whether the registry store leads `clsid` to a library file that exists.
bool ServerRegistered(const CLSID& clsid) {
  char16_t guid[40];
  if (!StringFromGUID2(clsid, guid, 40)) return false;
  std::u16string key = u"CLSID\\" + std::u16string(guid) + u"\\InprocServer32";
  HKEY hkey = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
    return false;
  char16_t path[4096] = {};
  DWORD size = sizeof path - sizeof(char16_t);
  DWORD type = 0;
  LONG rc = RegQueryValueExW(hkey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
  RegCloseKey(hkey);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
  std::u16string p(path);
  return !p.empty() && std::filesystem::exists(std::filesystem::path(p));
}

}  // namespace

void EnsureRegistered() {
  HRESULT hr = EnsureComponentRegistered();
  if (FAILED(hr)) ThrowHr("registering " + ComponentLibraryPath(), hr);
  if (!ServerRegistered(CLSID_ErrorReport)) {
    std::string reporter = ExecutableFolder() + "/libErrorReport.so";
    hr = RegisterServerLibrary(reporter);
    if (FAILED(hr)) ThrowHr("registering " + reporter, hr);
  }
}

Session::Session() {
  HRESULT hr = CoInitialize(nullptr);
  CheckHr("CoInitialize", hr);
  coInitialized_ = true;
  EnsureRegistered();
  CheckHr("creating QWBDCAWM.DeviceDataWM", CreateDeviceData(std::addressof(device_)));
  ComPtr<HostConnection> connection = HostConnection::Create(u"C:");
  ComPtr<HostModelDB> modelDb = HostModelDB::Create();
  CheckHr("SetConneciton", device_->SetConneciton(connection.Get(), modelDb->AsUnknown()));
  CheckHr("ListDataTable", device_->ListDataTable());
}

Session::~Session() {
  device_ = nullptr;
  if (coInitialized_) CoUninitialize();
}

ComPtr<IDataTable> Session::Table(DATATABLE_SUID id) {
  ComPtr<IDataTable> table;
  CheckHr("GetDataTable(" + std::to_string(id) + ")",
          device_->GetDataTable(id, table.ReleaseAndGetAddressOf()));
  if (!table) ThrowHr("GetDataTable(" + std::to_string(id) + ")", E_POINTER);
  return table;
}

}  // namespace qwbhost
