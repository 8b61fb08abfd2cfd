#include "tests/support/EmulatedPhone.h"

#include <stdlib.h>

#include <stdexcept>

namespace qwbhost {

EmulatedPhone::EmulatedPhone(const std::string& preset, const std::string& modelName) {
  std::string pattern = (std::filesystem::temp_directory_path() / "qwbdcawm-phone-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  folder_ = pattern;
  wmemu::Emulator::CreateImage(folder_ / "image", preset, modelName);
  emulator_ = wmemu::Emulator::Open(folder_ / "image");
  address_ = emulator_->Listen("tcp:127.0.0.1:0");
  setenv("QWBDCAWM_DEVICE", address_.c_str(), 1);
}

EmulatedPhone::~EmulatedPhone() {
  emulator_->Stop();
  emulator_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace qwbhost
