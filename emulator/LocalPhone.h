// The narrow face of the emulator for a host that wants a phone of its own in its process
// (the CLI's built-in demo phone): an image folder, made from a preset when it does not exist
// yet or was made from another preset or another version of it, served on a loopback port
// until the object goes. Nothing else of the emulator is seen.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace wmemu {

class LocalPhone {
 public:
  // What Serve did with the image folder.
  struct Outcome {
    enum Made { kKept, kCreated, kRemade } made = kKept;
    std::string was;        // kRemade: what the old image was made from, in words
    int presetVersion = 0;  // the version of the preset the image is made from now
  };
  // Serves the image in `imageDir`. The image is created from `preset` when the folder holds
  // none, and made anew (the old one deleted) when it records another preset or another
  // version of it. Throws std::runtime_error when the image cannot be made or served.
  static std::unique_ptr<LocalPhone> Serve(const std::filesystem::path& imageDir,
                                           const std::string& preset, Outcome* outcome = nullptr);
  virtual ~LocalPhone() = default;
  // "tcp:127.0.0.1:<port>"
  virtual const std::string& address() const = 0;
};

}  // namespace wmemu
