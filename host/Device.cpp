#include "host/Device.h"

#include <cstdio>
#include <cstdlib>

#include "emulator/LocalPhone.h"
#include "platform/util/Address.h"
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
  addr::Address parsed;
  // Port 0 would mean "any port" to a listener; a device is never there.
  return addr::Parse(a, &parsed) &&
         (parsed.kind == addr::Address::kUnix || std::atoi(parsed.port.c_str()) >= 1);
}

struct DeviceChoice::BuiltIn {
  std::unique_ptr<wmemu::LocalPhone> phone;
};

DeviceChoice::DeviceChoice(const std::optional<std::string>& address) {
  if (address) {
    address_ = *address;
  } else {
    std::filesystem::path dir = DemoImageFolder();
    builtIn_ = std::make_unique<BuiltIn>();
    try {
      if (!std::filesystem::exists(dir / "image.sqlite"))
        std::fprintf(stderr, "qwbdcawm: creating the demo phone image in %s\n",
                     dir.string().c_str());
      builtIn_->phone = wmemu::LocalPhone::Serve(dir, "demo");
      address_ = builtIn_->phone->address();
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

DeviceChoice::~DeviceChoice() = default;

}  // namespace qwbhost
