#include "host/Device.h"

#include <cstdio>
#include <cstdlib>

#include "emulator/LocalPhone.h"
#include "platform/util/Address.h"
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
  addr::Address parsed;
  // Port 0 would mean "any port" to a listener; a device is never there.
  return addr::Parse(a, &parsed) &&
         (parsed.kind == addr::Address::kUnix || parsed.kind == addr::Address::kPhone ||
          std::atoi(parsed.port.c_str()) >= 1);
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

struct DeviceChoice::BuiltIn {
  std::unique_ptr<wmemu::LocalPhone> phone;
};

DeviceChoice::DeviceChoice(const std::optional<std::string>& address) {
  std::optional<std::string> chosen = address;
  std::string why;
  if (!chosen) chosen = OnlyConnectedPhone(&why);
  if (chosen) {
    address_ = *chosen;
  } else {
    std::filesystem::path dir = DemoImageFolder();
    builtIn_ = std::make_unique<BuiltIn>();
    try {
      wmemu::LocalPhone::Outcome made;
      builtIn_->phone = wmemu::LocalPhone::Serve(dir, "demo", &made);
      address_ = builtIn_->phone->address();
      if (made.made == wmemu::LocalPhone::Outcome::kCreated)
        std::fprintf(stderr, "qwbdcawm: created the demo phone image in %s\n",
                     dir.string().c_str());
      if (made.made == wmemu::LocalPhone::Outcome::kRemade)
        std::fprintf(stderr,
                     "qwbdcawm: the demo phone in %s was made from %s; made it anew from demo "
                     "preset version %d (changes made on it are lost)\n",
                     dir.string().c_str(), made.was.c_str(), made.presetVersion);
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

DeviceChoice::~DeviceChoice() = default;

}  // namespace qwbhost
