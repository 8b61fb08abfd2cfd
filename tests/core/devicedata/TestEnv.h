// A private registry store for the test process, so that nothing a test registers (or fails
// to find) touches the user's own store; and capture of the debugger output.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

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

}  // namespace qwbtest
