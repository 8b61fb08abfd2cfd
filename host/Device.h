// Which phone the CLI talks to: the one named by --device, or else the built-in emulator
// serving a demo phone image from the user's cache folder.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace qwbhost {

// $XDG_CACHE_HOME/qwbdcawm/demo-phone, else ~/.cache/qwbdcawm/demo-phone.
std::filesystem::path DemoImageFolder();

// Checks a --device value: "tcp:HOST:PORT" (port 1..65535), "unix:PATH" or "phone:NAME".
bool ValidDeviceAddress(const std::string& address);

// The phone a command uses: --device when given, else QWBDCAWM_DEVICE when set and not empty,
// else none (the built-in emulator). `source` tells which, for messages.
std::optional<std::string> ChosenAddress(const std::optional<std::string>& option,
                                         std::string* source);

// Holds the device for the life of a command. With an address, it only sets
// QWBDCAWM_DEVICE; without one, the single phone connected to qwbdcawm-connectd is used (several
// are a usage error); with no manager or no phone, it creates the demo image on first use, starts the emulator
// on a loopback port in a thread of this process, points QWBDCAWM_DEVICE at it and says so
// on stderr. The emulator stops when the object goes.
class DeviceChoice {
 public:
  explicit DeviceChoice(const std::optional<std::string>& address);
  ~DeviceChoice();
  DeviceChoice(const DeviceChoice&) = delete;
  DeviceChoice& operator=(const DeviceChoice&) = delete;

  const std::string& address() const { return address_; }

 private:
  struct BuiltIn;
  std::unique_ptr<BuiltIn> builtIn_;
  std::string address_;
};

}  // namespace qwbhost
