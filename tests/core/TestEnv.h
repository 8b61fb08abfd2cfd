// Shared by the core and module tests: a private registry store for the test process, capture
// of the debugger output, and the interface map check of the component's objects.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/testhooks.h"

namespace qwbtest {

class TempRegistry : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "qwbdcawm-reg-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    setenv("QWBDCAWM_REGISTRY", (folder_ / "registry.reg").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::filesystem::path folder_;
};

// Collects every debug line written while it lives.
class DebugLines {
 public:
  DebugLines() {
    wincompat::SetDebugLineHook([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mu_);
      lines_.push_back(line);
    });
  }
  ~DebugLines() { wincompat::SetDebugLineHook(nullptr); }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mu_);
    return std::exchange(lines_, {});
  }

 private:
  std::mutex mu_;
  std::vector<std::string> lines_;
};

// `p` answers every IID of `same` with itself; its ISupportErrorInfo leads back to that
// identity and claims error information for `errorIid` only; `refused` come back
// E_NOINTERFACE with a null out-pointer.
inline void ExpectInterfaceMap(IUnknown* p, std::initializer_list<const IID*> same,
                               const IID& errorIid, std::initializer_list<const IID*> refused) {
  void* q = nullptr;
  for (const IID* iid : same) {
    ASSERT_EQ(S_OK, p->QueryInterface(*iid, &q));
    EXPECT_EQ(q, static_cast<void*>(p));
    static_cast<IUnknown*>(q)->Release();
  }
  ASSERT_EQ(S_OK, p->QueryInterface(IID_ISupportErrorInfo, &q));
  auto* sei = static_cast<ISupportErrorInfo*>(q);
  for (const IID* iid : {&IID_IDeviceData, &IID_IDataTable, &IID_IItem, &IID_IDispatch}) {
    EXPECT_EQ(*iid == errorIid ? S_OK : S_FALSE, sei->InterfaceSupportsErrorInfo(*iid));
  }
  ASSERT_EQ(S_OK, sei->QueryInterface(IID_IUnknown, &q));
  EXPECT_EQ(q, static_cast<void*>(p));
  static_cast<IUnknown*>(q)->Release();
  sei->Release();
  for (const IID* iid : refused) {
    q = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, p->QueryInterface(*iid, &q));
    EXPECT_EQ(nullptr, q);
  }
}

}  // namespace qwbtest
