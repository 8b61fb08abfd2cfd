// The images `init` creates: folders, media files, the registry the component reads to find
// its model and the storage card, and the demo tasks.
#include <fstream>
#include <map>

#include "EmuTestUtil.h"
#include "emulator/RecordStore.h"
#include "emulator/Text.h"
#include "link/DeviceRecord.h"
#include "wincompat/rapi.h"

namespace wmemu::test {
namespace {

std::vector<uint8_t> HostFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool StartsWith(const std::vector<uint8_t>& d, std::string_view magic) {
  return d.size() >= magic.size() &&
         std::equal(magic.begin(), magic.end(), d.begin(),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

class Presets : public EmuFixture {
 protected:
  void SetUp() override { StartWith("demo", "Hanul HL-300"); }
};

TEST_F(Presets, DemoHasARealisticFileSystem) {
  auto& fs = emu_->files();
  std::vector<FileEntry> root;
  ASSERT_EQ(fs.Find(u"\\*.*", &root), 0u);
  std::map<std::u16string, uint32_t> attrs;
  for (auto& e : root) attrs[e.name] = e.attrs;
  EXPECT_EQ(attrs[u"Storage Card"], uint32_t(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY));
  EXPECT_TRUE(attrs[u"My Documents"] & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(attrs[u"Windows"] & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(attrs[u"Application Data"] & FILE_ATTRIBUTE_HIDDEN);

  std::vector<FileEntry> e;
  ASSERT_EQ(fs.Find(u"\\Storage Card\\DCIM\\100MEDIA\\*.jpg", &e), 0u);
  EXPECT_EQ(e.size(), 3u);
  for (auto& f : e) {
    auto data = HostFile(dir_ / "fs/Storage Card/DCIM/100MEDIA" / Utf8(f.name));
    ASSERT_GT(data.size(), 100u);
    EXPECT_TRUE(StartsWith(data, "\xFF\xD8"));
    EXPECT_EQ(std::vector<uint8_t>(data.end() - 2, data.end()), (std::vector<uint8_t>{0xFF, 0xD9}));
    EXPECT_EQ(f.size, data.size());
  }
  ASSERT_EQ(fs.Find(u"\\My Documents\\My Pictures\\*.*", &e), 0u);
  EXPECT_EQ(e.size(), 3u);
  EXPECT_TRUE(StartsWith(HostFile(dir_ / "fs/My Documents/My Pictures/Logo.png"), "\x89PNG"));

  // Voice notes in both AudioNote folders; only some are AMR.
  int amr = 0;
  for (std::u16string folder : {u"My Documents", u"Storage Card"}) {
    ASSERT_EQ(fs.Find(u"\\" + folder + u"\\AudioNote\\*.*", &e), 0u);
    for (auto& f : e) {
      std::u16string ext = Fold(f.name.substr(f.name.rfind(u'.') + 1));
      auto data = HostFile(dir_ / "fs" / Utf8(folder) / "AudioNote" / Utf8(f.name));
      if (ext == u"amr") {
        ++amr;
        EXPECT_TRUE(StartsWith(data, "#!AMR\n"));
        EXPECT_EQ((data.size() - 6) % 32, 0u);
      } else if (ext == u"wav") {
        EXPECT_TRUE(StartsWith(data, "RIFF"));
        EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 12), "WAVE");
        EXPECT_EQ(data.size(), 8u + (data[4] | data[5] << 8 | data[6] << 16));
      }
    }
  }
  EXPECT_EQ(amr, 3);

  // The card is its own store and has more room than main memory.
  uint64_t fc, total, tf, cardTotal;
  ASSERT_EQ(fs.DiskFreeSpace(u"\\My Documents", &fc, &total, &tf), 0u);
  ASSERT_EQ(fs.DiskFreeSpace(u"\\Storage Card\\DCIM", &fc, &cardTotal, &tf), 0u);
  EXPECT_GT(cardTotal, total);
  EXPECT_LT(tf, cardTotal);
}

TEST_F(Presets, RegistryLetsTheComponentFindModelAndCard) {
  auto& reg = emu_->registry();
  EXPECT_EQ(emu_->modelName(), "Hanul HL-300");
  const std::u16string profiles = u"System\\StorageManager\\Profiles";
  auto sd = reg.GetString(kHkeyLocalMachine, profiles + u"\\SDMemory", u"Folder");
  auto mmc = reg.GetString(kHkeyLocalMachine, profiles + u"\\MMC", u"Folder");
  auto part00 = reg.GetString(kHkeyLocalMachine, profiles + u"\\MMC\\Part00", u"Name");
  ASSERT_TRUE(sd && mmc && part00);
  // No partition folders: one card, reached through the storage card folder.
  EXPECT_FALSE(reg.GetString(kHkeyLocalMachine, profiles + u"\\MMC\\Part00", u"Folder"));
  EXPECT_FALSE(reg.GetString(kHkeyLocalMachine, profiles + u"\\MMC\\Part01", u"Folder"));
  EXPECT_TRUE(EqualNoCase(*mmc, u"Storage Card"));
  // A root folder with DIRECTORY and TEMPORARY whose name begins with the SD folder...
  std::vector<FileEntry> root;
  ASSERT_EQ(emu_->files().Find(u"\\*.*", &root), 0u);
  std::u16string probe, byPart;
  for (auto& e : root) {
    if (probe.empty() && (e.attrs & 0x110) == 0x110 && e.name.starts_with(*sd)) probe = e.name;
    if (byPart.empty() && (e.attrs & 0x10) && e.name.starts_with(*part00)) byPart = e.name;
  }
  EXPECT_EQ(probe, u"Storage Card");
  // ...and the partition name differs from it yet prefixes the card folder.
  EXPECT_FALSE(EqualNoCase(*part00, *sd));
  EXPECT_EQ(byPart, u"Storage Card");
  EXPECT_EQ(reg.GetString(kHkeyLocalMachine, u"System\\State\\Tolvane\\SDCARD", u"InStorageFolder"),
            u"Storage Card");
  EXPECT_EQ(reg.GetDword(kHkeyLocalMachine, u"Software\\Tolvane\\MMS\\Settings", u"Max Size"),
            307200u);
  EXPECT_EQ(reg.GetDword(kHkeyLocalMachine, u"Software\\Tolvane\\MMS\\Settings\\Send",
                         u"Outgoing Message Size"),
            300u);
  EXPECT_EQ(reg.GetDword(kHkeyCurrentUser, u"Software\\Tolvane\\MMS\\Conf", u"MmscLockStatus"), 0u);
  EXPECT_EQ(reg.GetDword(kHkeyCurrentUser, u"Software\\Tolvane\\QelContact", u"xLinkSupport"), 1u);
}

TEST_F(Presets, DemoTasksCoverWhatTheTaskTableReads) {
  RecordStore store(emu_->image(), devrec::kKindTask);
  auto ids = store.List();
  EXPECT_GE(ids.size(), 12u);
  std::map<std::string, int> seen;
  for (uint32_t id : ids) {
    auto props = store.Get(id);
    ASSERT_TRUE(props);
    std::map<std::string, devrec::RawEntry> p;
    for (auto& prop : *props) p[prop.name] = RecordStore::Raw(devrec::kKindTask, prop);
    ASSERT_TRUE(p.count("Subject"));
    for (auto& [name, e] : p) EXPECT_NE(e.type, 0u) << name;  // only names the table knows
    int32_t i;
    uint16_t b;
    double d;
    if (devrec::ValueAsInteger(p["Importance"], &i)) seen["importance" + std::to_string(i)]++;
    if (devrec::ValueAsInteger(p["ulSensitivity"], &i)) seen["sensitivity" + std::to_string(i)]++;
    if (devrec::ValueAsBoolean(p["Complete"], &b) && b == 0xFFFF) seen["done"]++;
    if (devrec::ValueAsBoolean(p["ReminderSet"], &b) && b == 0xFFFF &&
        devrec::ValueAsDate(p["ReminderTime"], &d))
      seen["reminder"]++;
    if (devrec::ValueAsDate(p["StartDate"], &d) && d == 949998.0) seen["nodate"]++;
    if (p.count("Categories")) seen["categories"]++;
    if (devrec::ValueAsInteger(p["RecurrPattern.RecurrenceType"], &i)) {
      seen["recur" + std::to_string(i)]++;
      int32_t inst;
      if (i == 3) {
        EXPECT_TRUE(devrec::ValueAsInteger(p["RecurrPattern.Instance"], &inst));
      }
    }
  }
  for (const char* k : {"importance1", "importance2", "importance3", "sensitivity0", "sensitivity1",
                        "sensitivity2", "sensitivity3", "done", "reminder", "nodate", "categories",
                        "recur0", "recur1", "recur2", "recur3", "recur5"})
    EXPECT_GT(seen[k], 0) << k;
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
