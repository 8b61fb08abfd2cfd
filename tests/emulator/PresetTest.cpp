// The images `init` creates: folders and media files that are what their names say. (That
// the component finds its model and the card in the demo registry is driven by the device
// link's tests.)
#include <algorithm>
#include <fstream>
#include <map>

#include "EmuTestUtil.h"
#include "emulator/RecordStore.h"
#include "emulator/Text.h"
#include "link/DeviceRecord.h"
#include "wincompat/rapi.h"

namespace wmemu::test {
namespace {

class Presets : public EmuFixture {
 protected:
  void SetUp() override { StartWith("demo", "Hanul HL-300"); }
};

TEST_F(Presets, DemoHasARealisticFileSystem) {
  std::vector<FileEntry> root;
  ASSERT_EQ(emu_->files().Find(u"\\*.*", &root), 0u);
  std::map<std::u16string, uint32_t> attrs;
  for (auto& e : root) attrs[e.name] = e.attrs;
  EXPECT_EQ(attrs[u"Storage Card"], uint32_t(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY));
  EXPECT_TRUE(attrs[u"My Documents"] & attrs[u"Windows"] & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(attrs[u"Application Data"] & FILE_ATTRIBUTE_HIDDEN);

  // One file of each kind the samples make: the store's size is the file's, and the bytes
  // are what the extension says (JPEG markers, PNG signature, 32-byte AMR frames, a RIFF
  // size that is the file's).
  auto file = [&](const std::u16string& path) {
    std::vector<FileEntry> found;
    EXPECT_EQ(emu_->files().Find(path, &found), 0u) << Utf8(path);
    std::string host = Utf8(path);
    std::replace(host.begin(), host.end(), '\\', '/');
    std::ifstream in(dir_.string() + "/fs" + host, std::ios::binary);
    std::string data(std::istreambuf_iterator<char>(in), {});
    EXPECT_TRUE(found.size() == 1 && found[0].size == data.size()) << Utf8(path);
    return data;
  };
  std::string jpg = file(u"\\Storage Card\\DCIM\\100MEDIA\\IMAG0001.jpg");
  EXPECT_GT(jpg.size(), 100u);
  EXPECT_EQ(jpg.substr(0, 2) + jpg.substr(jpg.size() - 2), "\xFF\xD8\xFF\xD9");
  EXPECT_EQ(file(u"\\My Documents\\My Pictures\\Logo.png").substr(0, 4), "\x89PNG");
  std::string amr = file(u"\\Storage Card\\AudioNote\\Lecture.AMR");
  EXPECT_EQ(amr.substr(0, 6), "#!AMR\n");
  EXPECT_EQ((amr.size() - 6) % 32, 0u);
  std::string wav = file(u"\\My Documents\\AudioNote\\Recording 1.wav");
  EXPECT_EQ(wav.substr(0, 4) + wav.substr(8, 4), "RIFFWAVE");
  EXPECT_EQ(wav.size(), 8u + (uint8_t(wav[4]) | uint8_t(wav[5]) << 8 | uint8_t(wav[6]) << 16));

  // The card is its own store and has more room than main memory.
  uint64_t fc, total, tf, cardTotal;
  ASSERT_EQ(emu_->files().DiskFreeSpace(u"\\My Documents", &fc, &total, &tf), 0u);
  ASSERT_EQ(emu_->files().DiskFreeSpace(u"\\Storage Card\\DCIM", &fc, &cardTotal, &tf), 0u);
  EXPECT_GT(cardTotal, total);
  EXPECT_LT(tf, cardTotal);
}

TEST(PresetEmpty, EmptyImageHasNoCardNoDataAndRefusesReuse) {
  auto dir = TempDir("empty-preset");
  Emulator::CreateImage(dir, "empty", "Aster Pad M7");
  EXPECT_THROW(Emulator::CreateImage(dir, "empty", "Aster W1"), std::runtime_error);
  EXPECT_THROW(Emulator::CreateImage(TempDir("bad"), "full", "Aster W1"), std::runtime_error);
  EXPECT_THROW(Emulator::Open(TempDir("none")), std::runtime_error);
  auto emu = Emulator::Open(dir);
  EXPECT_EQ(emu->modelName(), "Aster Pad M7");
  std::vector<FileEntry> e;
  EXPECT_EQ(emu->files().Find(u"\\Storage Card", &e), 18u);
  EXPECT_EQ(emu->files().Find(u"\\My Documents\\*.*", &e), 0u);
  EXPECT_TRUE(RecordStore(emu->image(), devrec::kKindTask).List().empty());
  emu.reset();
  std::filesystem::remove_all(dir);
  // No model name: the default model.
  auto dflt = TempDir("default-model");
  Emulator::CreateImage(dflt, "empty", "");
  EXPECT_EQ(Emulator::Open(dflt)->modelName(), "Aster W1");
  std::filesystem::remove_all(dflt);
}

}  // namespace
}  // namespace wmemu::test
