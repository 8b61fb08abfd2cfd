// Creating and opening images: the model is kept, an image is never overwritten, and unknown
// presets and missing images are refused.
#include "EmuTestUtil.h"

namespace wmemu::test {
namespace {

TEST(Images, CreateKeepsTheModelAndRefusesReuse) {
  auto dir = TempDir("image");
  Emulator::CreateImage(dir, "empty", "Aster Pad M7");
  EXPECT_THROW(Emulator::CreateImage(dir, "empty", "Aster W1"), std::runtime_error);
  EXPECT_THROW(Emulator::CreateImage(TempDir("bad"), "full", "Aster W1"), std::runtime_error);
  EXPECT_THROW(Emulator::Open(TempDir("none")), std::runtime_error);
  EXPECT_EQ(Emulator::Open(dir)->modelName(), "Aster Pad M7");
  std::filesystem::remove_all(dir);
  // No model name: the default model.
  auto dflt = TempDir("default-model");
  Emulator::CreateImage(dflt, "empty", "");
  EXPECT_EQ(Emulator::Open(dflt)->modelName(), "Aster W1");
  std::filesystem::remove_all(dflt);
}

}  // namespace
}  // namespace wmemu::test
