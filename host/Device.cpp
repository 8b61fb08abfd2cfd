#include "host/Device.h"

#include <cstdio>
#include <cstdlib>

#include "emulator/Emulator.h"
#include "host/HostError.h"
#include "host/Phones.h"

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
  if (a.rfind("phone:", 0) == 0) return true;
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

struct DeviceChoice::BuiltIn {
  std::unique_ptr<wmemu::Emulator> emulator;
};

DeviceChoice::DeviceChoice(const std::optional<std::string>& address) {
  std::optional<std::string> chosen = address;
  const char* env = std::getenv("QWBDCAWM_DEVICE");
  if (!chosen && env && *env) {
    if (!ValidDeviceAddress(env))
      ThrowUsage(std::string("QWBDCAWM_DEVICE: '") + env +
                 "' is not tcp:HOST:PORT, unix:PATH or phone:NAME");
    chosen = env;
  }
  std::string why;
  if (!chosen) chosen = OnlyConnectedPhone(&why);
  if (chosen) {
    address_ = *chosen;
  } else {
    std::filesystem::path dir = DemoImageFolder();
    builtIn_ = std::make_unique<BuiltIn>();
    try {
      if (!std::filesystem::exists(dir / "image.sqlite")) {
        std::fprintf(stderr, "qwbdcawm: creating the demo phone image in %s\n",
                     dir.string().c_str());
        wmemu::Emulator::CreateImage(dir, "demo", "");
      }
      builtIn_->emulator = wmemu::Emulator::Open(dir);
      address_ = builtIn_->emulator->Listen("tcp:127.0.0.1:0");
    } catch (const std::exception& e) {
      throw HostError(kExitFailure,
                      std::string("cannot start the built-in phone emulator: ") + e.what());
    }
    std::fprintf(stderr,
                 "qwbdcawm: no --device given and %s: using the built-in phone emulator on the "
                 "demo image %s (%s)\n",
                 why.c_str(), dir.string().c_str(), address_.c_str());
  }
  setenv("QWBDCAWM_DEVICE", address_.c_str(), 1);
}

DeviceChoice::~DeviceChoice() {
  if (builtIn_ && builtIn_->emulator) builtIn_->emulator->Stop();
}

}  // namespace qwbhost
