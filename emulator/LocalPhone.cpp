#include "emulator/LocalPhone.h"

#include "emulator/Emulator.h"

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
                                              const std::string& preset, bool* created) {
  const bool fresh = !std::filesystem::exists(imageDir / "image.sqlite");
  if (created) *created = fresh;
  if (fresh) Emulator::CreateImage(imageDir, preset, "");
  return std::make_unique<ServedImage>(Emulator::Open(imageDir));
}

}  // namespace wmemu
