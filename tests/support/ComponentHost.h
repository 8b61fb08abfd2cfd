// The end-to-end setting the component tests share: one emulated phone per test suite with
// the component and the error-report server registered in a registry file beside it, and per
// test a host that initialises COM, connects a device data object as a real host does and
// captures the component's debug lines.
//
//   static void SetUpTestSuite() { phone_ = qwbtest::StartSuitePhone("empty", "Aster W1"); }
//   qwbtest::ComponentHost host_;                       // COM and the debug lines, per test
//   table_ = host_.Connect(DTID_TASK);                  // a fresh device data object's table
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/Component.h"
#include "host/HostObjects.h"
#include "tests/support/EmulatedPhone.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/testhooks.h"

namespace qwbtest {

// The phone of a test suite, served in this process; QWBDCAWM_REGISTRY points beside it.
inline std::unique_ptr<qwbhost::EmulatedPhone> StartSuitePhone(const std::string& preset,
                                                               const std::string& model) {
  auto phone = std::make_unique<qwbhost::EmulatedPhone>(preset, model);
  setenv("QWBDCAWM_REGISTRY", (phone->folder() / "registry.reg").c_str(), 1);
  EXPECT_TRUE(SUCCEEDED(qwbhost::EnsureComponentRegistered()));
  EXPECT_TRUE(SUCCEEDED(
      qwbhost::RegisterServerLibrary(qwbhost::ExecutableFolder() + "/libErrorReport.so")));
  return phone;
}

class ComponentHost {
 public:
  ComponentHost() {
    EXPECT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    wincompat::SetDebugLineHook([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mu_);
      lines_.push_back(line);
    });
  }
  ~ComponentHost() {
    wincompat::SetDebugLineHook(nullptr);
    Release();
    CoUninitialize();
  }
  ComponentHost(const ComponentHost&) = delete;
  ComponentHost& operator=(const ComponentHost&) = delete;

  // A new device data object (the previous one released), connected and listed, and its
  // table `id`; null (with the test failed) when any step fails.
  ComPtr<IDataTable> Connect(DATATABLE_SUID id) {
    Release();
    ComPtr<IDataTable> table;
    if (qwbhost::CreateDeviceData(std::addressof(device_)) != S_OK) {
      ADD_FAILURE() << "CreateDeviceData";
      return table;
    }
    auto connection = qwbhost::HostConnection::Create(u"C:");
    auto modelDb = qwbhost::HostModelDB::Create();
    EXPECT_EQ(device_->SetConneciton(connection.Get(), modelDb->AsUnknown()), S_OK);
    EXPECT_EQ(device_->ListDataTable(), S_OK);
    EXPECT_EQ(device_->GetDataTable(id, table.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(table);
    return table;
  }
  // Lets the device data object go, so that the next Connect opens a new RAPI session.
  void Release() { device_ = nullptr; }
  const ComPtr<IDeviceData>& device() const { return device_; }

  int CountLines(const std::string& line) {
    std::lock_guard<std::mutex> lock(mu_);
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
  }
  bool SawLine(const std::string& line) { return CountLines(line) > 0; }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mu_);
    return lines_;
  }
  void ClearLines() {
    std::lock_guard<std::mutex> lock(mu_);
    lines_.clear();
  }

 private:
  ComPtr<IDeviceData> device_;
  std::mutex mu_;
  std::vector<std::string> lines_;
};

}  // namespace qwbtest
