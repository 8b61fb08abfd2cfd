#include "emulator/LocalPhone.h"

#include "emulator/Emulator.h"
#include "emulator/Presets.h"

namespace wmemu {

namespace {

class ServedImage : public LocalPhone {
 public:
  explicit ServedImage(std::unique_ptr<Emulator> emulator)
      : emulator_(std::move(emulator)), address_(emulator_->Listen("tcp:127.0.0.1:0")) {}
  ~ServedImage() override { emulator_->Stop(); }
  const std::string& address() const override { return address_; }

 private:
  std::unique_ptr<Emulator> emulator_;
  std::string address_;
};

}  // namespace

std::unique_ptr<LocalPhone> LocalPhone::Serve(const std::filesystem::path& imageDir,
                                              const std::string& preset, Outcome* outcome) {
  Outcome done;
  done.presetVersion = PresetVersion(preset);
  if (!std::filesystem::exists(imageDir / "image.sqlite")) {
    done.made = Outcome::kCreated;
  } else {
    Emulator::Origin origin = Emulator::ReadOrigin(imageDir);
    if (origin.preset != preset || origin.presetVersion != done.presetVersion) {
      done.made = Outcome::kRemade;
      done.was = origin.preset.empty() ? "a preset that predates preset versions"
                                       : "preset \"" + origin.preset + "\" version " +
                                             std::to_string(origin.presetVersion);
      std::filesystem::remove_all(imageDir);
    }
  }
  if (done.made != Outcome::kKept) Emulator::CreateImage(imageDir, preset, "");
  if (outcome) *outcome = done;
  return std::make_unique<ServedImage>(Emulator::Open(imageDir));
}

}  // namespace wmemu
