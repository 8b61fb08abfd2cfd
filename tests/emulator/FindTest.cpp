// The find calls at the byte level: patterns, filter bits, the CE_FIND_DATA layout. (Walking
// a handle to its end is driven through the client's own tests.)
#include "EmuTestUtil.h"
#include "wincompat/rapi.h"

namespace wmemu::test {
namespace {

class Find : public EmuFixture {
 protected:
  void SetUp() override {
    EmuFixture::SetUp();
    auto& fs = emu_->files();
    fs.PutFolder(u"\\Box", FILE_ATTRIBUTE_DIRECTORY, 100);
    fs.PutFile(u"\\Box\\Alpha.TXT", std::vector<uint8_t>(5, 'a'), FILE_ATTRIBUTE_ARCHIVE, 200);
    fs.PutFile(u"\\Box\\beta.txt", std::vector<uint8_t>(7, 'b'),
               FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, 300);
    fs.PutFile(u"\\Box\\gamma.jpg", std::vector<uint8_t>(11, 'c'), FILE_ATTRIBUTE_ARCHIVE, 400);
    fs.PutFile(u"\\Box\\noext", {}, FILE_ATTRIBUTE_ARCHIVE, 500);
    fs.PutFolder(u"\\Box\\Empty", FILE_ATTRIBUTE_DIRECTORY, 600);
    fs.PutFolder(u"\\Box\\Full", FILE_ATTRIBUTE_DIRECTORY, 700);
    fs.PutFile(u"\\Box\\Full\\in.txt", {'i'}, FILE_ATTRIBUTE_ARCHIVE, 800);
    fs.PutFile(u"\\Box\\rom.dll", {'M', 'Z'},
               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ROMMODULE, 900);
  }

  // Names of a CeFindAllFiles reply with the NAME bit only (`flags` are filter bits), in
  // order; checks the framing.
  std::vector<std::u16string> Names(std::u16string_view pattern, uint32_t flags,
                                    uint32_t* lastErr = nullptr) {
    auto r = Connect()->Cmd(rapi2::kFindAllFiles, pattern, flags | FAF_NAME);
    if (lastErr) *lastErr = Word(r, 0);
    std::vector<std::u16string> names;
    rapi2::Reader rd(r);
    uint32_t e, ok, count;
    EXPECT_TRUE(rd.u32(&e) && rd.u32(&ok) && rd.u32(&count));
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t nb;
      const uint8_t* p;
      EXPECT_TRUE(rd.u32(&nb) && rd.bytes(nb, &p));
      std::u16string n;
      for (uint32_t k = 0; k + 1 < nb; k += 2) n.push_back(char16_t(p[k] | p[k + 1] << 8));
      EXPECT_EQ(n.back(), u'\0');
      n.pop_back();
      names.push_back(n);
    }
    EXPECT_EQ(rd.remaining(), 0u);
    return names;
  }
};

TEST_F(Find, PatternsAndFilters) {
  using V = std::vector<std::u16string>;
  EXPECT_EQ(Names(u"\\Box\\*.*", 0),
            (V{u"Alpha.TXT", u"beta.txt", u"Empty", u"Full", u"gamma.jpg", u"noext", u"rom.dll"}));
  EXPECT_EQ(Names(u"\\BOX\\*.txt", 0), (V{u"Alpha.TXT", u"beta.txt"}));
  EXPECT_EQ(Names(u"\\Box\\?amma.*", 0), (V{u"gamma.jpg"}));
  EXPECT_EQ(Names(u"\\Box\\noext.*", 0), (V{u"noext"}));
  // A bare name is that item itself, in its stored case.
  EXPECT_EQ(Names(u"\\box\\ALPHA.txt", 0), (V{u"Alpha.TXT"}));
  EXPECT_EQ(Names(u"Box\\Full\\*.*", 0), (V{u"in.txt"}));
  // No match in an existing folder: an empty, successful answer; a missing folder: error 3.
  uint32_t err = 0;
  EXPECT_TRUE(Names(u"\\Box\\*.zip", 0, &err).empty());
  EXPECT_EQ(err, 0u);
  EXPECT_TRUE(Names(u"\\Nope\\*.*", 0, &err).empty());
  EXPECT_EQ(err, 3u);

  EXPECT_EQ(Names(u"\\Box\\*.*", FAF_FOLDERS_ONLY), (V{u"Empty", u"Full"}));
  EXPECT_EQ(Names(u"\\Box\\*.txt", FAF_ATTRIB_NO_HIDDEN), (V{u"Alpha.TXT"}));
  EXPECT_EQ(Names(u"\\Box\\*.dll", FAF_NO_HIDDEN_SYS_ROMMODULES), V{});
  // FAF_ATTRIB_CHILDREN marks folders that have something inside: Empty, then Full.
  EXPECT_EQ(Words(Connect()->Cmd(rapi2::kFindAllFiles, u"\\Box\\*.*",
                                 FAF_ATTRIBUTES | FAF_FOLDERS_ONLY | FAF_ATTRIB_CHILDREN)),
            (W{0, 1, 2, FILE_ATTRIBUTE_DIRECTORY,
               FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HAS_CHILDREN}));
}

TEST_F(Find, FindFirstRecordLayout) {
  // (The CeFindAllFiles fields are checked through the client's own tests.)
  auto c = Connect();
  // E, handle, S = 40 + 2 * (len + 1) bytes of CE_FIND_DATA: attributes,
  // three times, size high and low, oid, then the name inline at offset 40.
  auto r = c->Cmd(rapi2::kFindFirstFile, u"\\Box\\*.txt");
  uint32_t h = Word(r, 1);
  ASSERT_EQ(r.size(), 12u + 40 + 2 * 10);
  W words = Words(r);
  EXPECT_EQ(W(words.begin(), words.begin() + 12),
            (W{0, h, 60, FILE_ATTRIBUTE_ARCHIVE, 200, 0, 200, 0, 200, 0, 0, 5}));
  EXPECT_EQ(r[12 + 40], 'A');
  EXPECT_EQ(Word(c->Cmd(rapi2::kFindClose, h), 1), 1u);
  EXPECT_EQ(Word(c->Cmd(rapi2::kFindClose, h), 0), 6u);
  EXPECT_EQ(Words(c->Cmd(rapi2::kFindFirstFile, u"\\Box\\*.zip")), (W{18, 0xFFFFFFFFu, 0}));
}

}  // namespace
}  // namespace wmemu::test
