// Storage card detection, the card folder probe, host path conversion, status bits and the
// delete-info file's text, each as a table of cases typed from the phone's behaviour.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tables/files/FileStorage.h"

namespace qwb::files {
namespace {

using Reg = std::map<std::u16string, std::u16string>;  // "key|value" -> text

RegStringReader Reader(const Reg& reg) {
  return [reg](std::u16string_view key, std::u16string_view value, std::u16string* out) {
    auto it = reg.find(std::u16string(key) + u"|" + std::u16string(value));
    if (it == reg.end()) return false;
    *out = it->second;
    return true;
  };
}

constexpr char16_t kPart00[] = u"System\\StorageManager\\Profiles\\MMC\\Part00|Folder";
constexpr char16_t kPart01[] = u"System\\StorageManager\\Profiles\\MMC\\Part01|Folder";
constexpr char16_t kMmc[] = u"System\\StorageManager\\Profiles\\MMC|Folder";
constexpr char16_t kSdState[] = u"System\\State\\Tolvane\\SDCARD|InStorageFolder";
constexpr char16_t kInand[] = u"System\\StorageManager\\Profiles\\INAND|Folder";

TEST(FileStorage, CardDetectionCoversEveryBranch) {
  struct Case {
    const char* what;
    Reg reg;
    StorageCards want;
  } cases[] = {
      {"both partitions", {{kPart00, u"SD1"}, {kPart01, u"SD2"}, {kMmc, u"X"}}, {2, u"SD1", u"SD2"}},
      {"second partition, card state key", {{kPart01, u"Flash"}, {kSdState, u"Storage Card"},
                                            {kInand, u"iNAND"}}, {1, u"Storage Card", u""}},
      {"second partition, iNAND profile", {{kPart01, u"Flash"}, {kInand, u"iNAND"}},
       {1, u"iNAND", u""}},
      {"second partition, nothing else", {{kPart01, u"Flash"}}, {1, u"", u""}},
      {"MMC profile names another folder", {{kMmc, u"SD Card"}}, {1, u"SD Card", u""}},
      {"MMC profile is the storage card", {{kMmc, u"STORAGE card"}}, {0, u"", u""}},
      {"no MMC profile", {}, {1, u"", u""}},
      {"first partition alone", {{kPart00, u"SD1"}, {kMmc, u"Storage Card"}}, {0, u"", u""}},
      {"empty partition values", {{kPart00, u""}, {kPart01, u""}, {kMmc, u"Storage Card"}},
       {0, u"", u""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DetectStorageCards(Reader(c.reg)), c.want);
  }
}

TEST(FileStorage, ProbeTakesTheFirstCardRootByPrefix) {
  const std::vector<RootEntry> root = {
      {u"My Documents", 0x10},      {u"Storage Cardigan", 0x10},  // no temporary attribute
      {u"Storage Card", 0x110},     {u"Storage Card2", 0x110},
      {u"Storage Card.txt", 0x120},  // not a folder
  };
  EXPECT_EQ(PickStorageCardFolder(true, u"Storage Card", root), u"Storage Card");
  EXPECT_EQ(PickStorageCardFolder(true, u"Storage", {root[3], root[2]}), u"Storage Card2");
  EXPECT_EQ(PickStorageCardFolder(true, u"storage card", root), u"*Empty*");  // with case
  EXPECT_EQ(PickStorageCardFolder(false, u"Storage Card", root), u"*Empty*");
  EXPECT_EQ(PickStorageCardFolder(true, u"SD", root), u"*Empty*");
}

TEST(FileStorage, HostPathsBecomeDevicePaths) {
  struct Case {
    const char16_t* host;
    const char16_t* folder;
    int root;
  } cases[] = {
      {u"", u"", -1},
      {u"\\", u"\\Storage Card", 0},
      {u"\\DCIM", u"\\Storage Card\\DCIM", 0},
      {u"\\DCIM\\100MEDIA", u"\\Storage Card\\DCIM\\100MEDIA", 0},
      {u"*", u"\\SD1", 1},
      {u"/*", u"\\SD1", 1},
      {u"/*/DCIM", u"\\SD1\\DCIM", 1},
      {u"*2", u"\\SD2", 2},
      {u"/*2/DCIM", u"\\SD2\\DCIM", 2},
      {u"/My Documents", u"/My Documents", 3},
      {u"/My Documents/Business", u"/My Documents/Business", 3},
  };
  int probes = 0;
  auto probe = [&] {
    ++probes;
    return std::u16string(u"Storage Card");
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host, c.host + std::char_traits<char16_t>::length(c.host)));
    ConvertedPath p = ConvertHostPath(c.host, probe, u"SD1", u"SD2");
    EXPECT_EQ(p.folder, c.folder);
    EXPECT_EQ(p.root, c.root);
  }
  EXPECT_EQ(probes, 3);  // only the paths that start with a backslash ask
  EXPECT_EQ(JoinDevicePath(u"/My Documents/Business", u"a.txt"), u"\\My Documents\\Business\\a.txt");
  EXPECT_EQ(JoinDevicePath(u"", u"a.txt"), u"\\a.txt");
  EXPECT_EQ(JoinDevicePath(ConvertHostPath(u"\\", probe, u"", u"").folder, u"x.jpg"),
            u"\\Storage Card\\x.jpg");
  // No card found: the folder "\*Empty*", where no file is.
  EXPECT_EQ(ConvertHostPath(u"\\", [] { return std::u16string(kNoStorageCard); }, u"", u"").folder,
            u"\\*Empty*");
}

TEST(FileStorage, StatusBitsFollowTheReducedAttributeWord) {
  const std::pair<DWORD, ULONG> cases[] = {
      {0x00, 0},  {0x01, 16}, {0x02, 8},  {0x03, 24}, {0x04, 4},  {0x05, 20}, {0x06, 12},
      {0x07, 28}, {0x08, 0},  {0x10, 0},  {0x14, 4},  {0x20, 0},  {0x21, 16}, {0x22, 8},
      {0x27, 28}, {0x28, 0},  {0x29, 0},  {0x110, 0}, {0x111, 16}, {0x2045, 20},
  };
  for (auto [attrs, bits] : cases) EXPECT_EQ(StatusBitsFromAttributes(attrs), bits) << attrs;
}

TEST(FileStorage, DeleteInfoTextIsUtf16UpToTheFirstNul) {
  const unsigned char path[] = {'\\', 0, 'a', 0, 0x5C, 0xC5, 0, 0, 'x', 0};
  EXPECT_EQ(DecodeDeleteInfo(path, sizeof path), u"\\a\uC55C");
  EXPECT_EQ(DecodeDeleteInfo(path, 5), u"\\a");  // an odd trailing byte is dropped
  EXPECT_EQ(DecodeDeleteInfo(path, 0), u"");
  std::string big(5000, 'A');  // 'A','A' = U+4141
  EXPECT_EQ(DecodeDeleteInfo(big.data(), big.size()).size(), 1024u);
}

}  // namespace
}  // namespace qwb::files
