// The narrow face of the emulator for a host that wants a phone of its own in its process
// (the CLI's built-in demo phone): an image folder, made from a preset when it does not exist
// yet, served on a loopback port until the object goes. Nothing else of the emulator is seen.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace wmemu {

class LocalPhone {
 public:
  // Serves the image in `imageDir`, creating it from `preset` first when the folder holds
  // none (`*created` tells which). Throws std::runtime_error when the image cannot be made or
  // served.
  static std::unique_ptr<LocalPhone> Serve(const std::filesystem::path& imageDir,
                                           const std::string& preset, bool* created = nullptr);
  virtual ~LocalPhone() = default;
  // "tcp:127.0.0.1:<port>"
  virtual const std::string& address() const = 0;
};

}  // namespace wmemu
