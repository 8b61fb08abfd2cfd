// A phone for tests and demos: an emulator image in a temporary folder, served in this
// process on an ephemeral loopback port, with QWBDCAWM_DEVICE pointing at it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "emulator/Emulator.h"

namespace qwbhost {

class EmulatedPhone {
 public:
  // Creates the image (preset "empty" or "demo") under a fresh temporary folder and serves
  // it; throws std::runtime_error on failure.
  explicit EmulatedPhone(const std::string& preset = "empty",
                         const std::string& modelName = "Hanul HD-100");
  ~EmulatedPhone();
  EmulatedPhone(const EmulatedPhone&) = delete;
  EmulatedPhone& operator=(const EmulatedPhone&) = delete;

  wmemu::Emulator& emulator() { return *emulator_; }
  const std::string& address() const { return address_; }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<wmemu::Emulator> emulator_;
  std::string address_;
};

}  // namespace qwbhost
