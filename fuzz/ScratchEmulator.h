// The emulator the emulator targets serve their inputs on: an empty phone image in a scratch
// folder of its own, opened once per run and removed, with the folder, at exit.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "emulator/Emulator.h"
#include "fuzz/ScratchDir.h"

namespace fuzzsupport {

class ScratchEmulator {
 public:
  // The run's emulator, made on the first call (`tag` names its folder).
  static ScratchEmulator& Get(const std::string& tag) {
    static ScratchEmulator* instance = [&] {
      auto* s = new ScratchEmulator(MakeScratchDir(tag));
      std::atexit([] { delete instance; });
      return s;
    }();
    return *instance;
  }

  wmemu::Emulator& emulator() { return *emulator_; }

  // A fresh empty image in place of the current one, so that what inputs write stays bounded.
  void Reopen() {
    emulator_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_ / "image", ec);
    wmemu::Emulator::CreateImage(dir_ / "image", "empty", "Aster W1");
    emulator_ = wmemu::Emulator::Open(dir_ / "image");
  }

 private:
  explicit ScratchEmulator(std::filesystem::path dir) : dir_(std::move(dir)) { Reopen(); }
  ~ScratchEmulator() {
    emulator_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::filesystem::path dir_;
  std::unique_ptr<wmemu::Emulator> emulator_;
};

}  // namespace fuzzsupport
