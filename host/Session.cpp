#include "host/Session.h"

#include <filesystem>
#include <memory>

#include "host/Component.h"
#include "host/HostObjects.h"

namespace qwbhost {
void EnsureRegistered() {
  HRESULT hr = EnsureComponentRegistered();
  if (FAILED(hr)) ThrowHr("registering " + ComponentLibraryPath(), hr);
  std::string reporter = ErrorReportLibraryPath();
  hr = EnsureServerRegistered(CLSID_ErrorReport, reporter);
  if (FAILED(hr)) ThrowHr("registering " + reporter, hr);
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
