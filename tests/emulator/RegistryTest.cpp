// Registry calls through the wire: the cbData rules of CeRegQueryValueEx, key handles per
// connection, persistence in image.sqlite.
#include "EmuTestUtil.h"
#include "wincompat/rapi.h"

namespace wmemu::test {
namespace {

class Registry : public EmuFixture {
 protected:
  static auto Open(Client& c, uint32_t hkey, std::u16string_view sub) {
    return c.Cmd(rapi2::kRegOpenKeyEx, hkey, sub);
  }
  static auto Create(Client& c, uint32_t hkey, std::u16string_view sub) {
    return c.Cmd(rapi2::kRegCreateKeyEx, hkey, sub, nullptr);
  }
  static auto Query(Client& c, uint32_t hkey, const char16_t* name, uint32_t cb) {
    return c.Cmd(rapi2::kRegQueryValueEx, hkey, name, cb);
  }
  static auto Set(Client& c, uint32_t hkey, const char16_t* name, uint32_t type,
                  const std::vector<uint8_t>& data) {
    rapi2::Writer w;
    w.u32(rapi2::kRegSetValueEx).u32(hkey).str(name).u32(type).u32(uint32_t(data.size()));
    return c.Call(w.bytes(data.data(), data.size()));
  }
};

TEST_F(Registry, ValuesPersistInTheImage) {
  // (Every value type round trips through the client's own tests.)
  const DeviceIdentity identity = emu_->Identity();
  auto c = Connect();
  auto r = Create(*c, kHkeyCurrentUser, u"Software\\Test\\Deep");
  uint32_t h = Word(r, 2);
  EXPECT_EQ(Words(r), (W{0, 0, h, REG_CREATED_NEW_KEY}));
  EXPECT_EQ(Words(Set(*c, h, u"Text", REG_SZ, DeviceRegistry::StringData(u"Storage Card"))),
            (W{0, 0}));
  EXPECT_EQ(Words(Set(*c, h, u"Number", REG_DWORD, {0x78, 0x56, 0x34, 0x12})), (W{0, 0}));
  EXPECT_EQ(Word(Create(*c, kHkeyCurrentUser, u"software\\TEST\\deep"), 3),
            uint32_t(REG_OPENED_EXISTING_KEY));
  c.reset();
  emu_.reset();  // the image is held until its emulator goes
  emu_ = Emulator::Open(dir_);
  EXPECT_EQ(emu_->registry().GetDword(kHkeyCurrentUser, u"SOFTWARE\\test\\deep", u"number"),
            0x12345678u);
  // The phone's identity is the image's.
  EXPECT_EQ(emu_->Identity().guid, identity.guid);
  EXPECT_EQ(emu_->Identity().partnerId, identity.partnerId);
  EXPECT_EQ(emu_->registry().GetString(kHkeyCurrentUser, u"Software\\Test\\Deep", u"Text"),
            u"Storage Card");
}

TEST_F(Registry, QuerySizeRulesAndHandles) {
  emu_->registry().SetString(kHkeyLocalMachine, u"Ident", u"OrigName", u"Aster W1");
  auto c = Connect();
  auto r = Open(*c, kHkeyLocalMachine, u"ident");
  uint32_t h = Word(r, 2);
  EXPECT_EQ(Words(r), (W{0, 0, h}));
  const uint32_t size = 2 * 8 + 2;  // "Aster W1" and its terminator
  // cbData 0 asks for the size: success, type, size, no data.
  EXPECT_EQ(Words(Query(*c, h, u"ORIGNAME", 0)), (W{0, 0, REG_SZ, size}));
  // A buffer one byte short: ERROR_MORE_DATA with type and size.
  EXPECT_EQ(Words(Query(*c, h, u"OrigName", size - 1)), (W{234, 234, REG_SZ, size}));
  EXPECT_EQ(Query(*c, h, u"OrigName", size).size(), 16u + size);  // exactly enough: the data
  // Missing value, missing key: 2 and no bracketed fields.
  EXPECT_EQ(Words(Query(*c, h, u"Nope", 10)), (W{2, 2}));
  EXPECT_EQ(Words(Open(*c, kHkeyLocalMachine, u"Ident\\Missing")), (W{2, 2}));
  // Bad types and sizes are refused.
  EXPECT_EQ(Word(Set(*c, h, u"d", REG_DWORD, {1, 2}), 1), 87u);
  EXPECT_EQ(Word(Set(*c, h, u"d", 42, {1}), 1), 87u);
  rapi2::Writer lying;
  lying.u32(rapi2::kRegSetValueEx).u32(h).str(u"x").u32(REG_BINARY).u32(4000).u32(1);
  EXPECT_EQ(Word(c->Call(lying), 1), 87u);

  // Key handles belong to their connection and end with their close.
  EXPECT_EQ(Word(Query(*Connect(), h, u"x", 0), 1), 6u);
  EXPECT_EQ(Word(c->Cmd(rapi2::kRegCloseKey, h), 1), 0u);
  EXPECT_EQ(Word(c->Cmd(rapi2::kRegCloseKey, h), 1), 6u);
  EXPECT_EQ(Word(Query(*c, h, u"x", 0), 1), 6u);
  EXPECT_EQ(Word(Open(*c, 0x12345, u"x"), 1), 6u);
}

}  // namespace
}  // namespace wmemu::test
