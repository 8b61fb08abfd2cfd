#include "host/Device.h"

#include <cstdio>
#include <cstdlib>

#include "emulator/Emulator.h"
#include "emulator/Presets.h"
#include "host/HostError.h"

namespace qwbhost {

std::filesystem::path DemoImageFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::filesystem::path base;
  if (cache && *cache) {
    base = cache;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home && *home ? home : ".") / ".cache";
  }
  return base / "qwbdcawm" / "demo-phone";
}

bool ValidDeviceAddress(const std::string& a) {
  if (a.rfind("unix:", 0) == 0) return a.size() > 5;
  if (a.rfind("tcp:", 0) != 0) return false;
  size_t colon = a.rfind(':');
  if (colon <= 4) return false;
  std::string port = a.substr(colon + 1);
  if (port.empty() || port.size() > 5) return false;
  for (char c : port)
    if (c < '0' || c > '9') return false;
  long p = std::strtol(port.c_str(), nullptr, 10);
  return p >= 1 && p <= 65535;
}

std::optional<std::string> ChosenAddress(const std::optional<std::string>& option,
                                         std::string* source) {
  if (option) {
    *source = "--device";
    return option;
  }
  const char* env = std::getenv("QWBDCAWM_DEVICE");
  if (env && *env) {
    *source = "QWBDCAWM_DEVICE";
    return std::string(env);
  }
  return std::nullopt;
}

void PrepareDemoImage(const std::filesystem::path& dir) {
  const int version = wmemu::PresetVersion("demo");
  if (std::filesystem::exists(dir / "image.sqlite")) {
    wmemu::Emulator::Origin origin = wmemu::Emulator::ReadOrigin(dir);
    if (origin.preset == "demo" && origin.presetVersion == version) return;
    std::string was = origin.preset.empty() ? std::string("an older demo preset")
                                            : "preset \"" + origin.preset + "\" version " +
                                                  std::to_string(origin.presetVersion);
    std::fprintf(stderr,
                 "qwbdcawm: the demo phone in %s was made from %s; making it anew from demo "
                 "preset version %d (changes made on it are lost)\n",
                 dir.string().c_str(), was.c_str(), version);
    std::filesystem::remove_all(dir);
  } else {
    std::fprintf(stderr, "qwbdcawm: creating the demo phone image in %s\n", dir.string().c_str());
  }
  wmemu::Emulator::CreateImage(dir, "demo", "");
}

struct DeviceChoice::BuiltIn {
  std::unique_ptr<wmemu::Emulator> emulator;
};

DeviceChoice::DeviceChoice(const std::optional<std::string>& address) {
  if (address) {
    address_ = *address;
  } else {
    std::filesystem::path dir = DemoImageFolder();
    builtIn_ = std::make_unique<BuiltIn>();
    try {
      PrepareDemoImage(dir);
      builtIn_->emulator = wmemu::Emulator::Open(dir);
      address_ = builtIn_->emulator->Listen("tcp:127.0.0.1:0");
    } catch (const std::exception& e) {
      throw HostError(kExitFailure,
                      std::string("cannot start the built-in phone emulator: ") + e.what());
    }
    std::fprintf(stderr,
                 "qwbdcawm: no --device given: using the built-in phone emulator on the demo "
                 "image %s (%s)\n",
                 dir.string().c_str(), address_.c_str());
  }
  setenv("QWBDCAWM_DEVICE", address_.c_str(), 1);
}

DeviceChoice::~DeviceChoice() {
  if (builtIn_ && builtIn_->emulator) builtIn_->emulator->Stop();
}

}  // namespace qwbhost
