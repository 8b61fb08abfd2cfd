// Registry calls through the wire: typed values under the roots, the cbData rules of
// CeRegQueryValueEx, key handles per connection, persistence in image.sqlite.
#include "EmuTestUtil.h"
#include "emulator/Text.h"
#include "wincompat/rapi.h"

namespace wmemu::test {
namespace {

class Registry : public EmuFixture {
 protected:
  std::vector<uint8_t> Open(Client& c, uint32_t hkey, std::u16string_view sub) {
    rapi2::Writer w;
    w.u32(rapi2::kRegOpenKeyEx).u32(hkey).str(sub);
    return c.Call(w);
  }
  std::vector<uint8_t> Create(Client& c, uint32_t hkey, std::u16string_view sub) {
    rapi2::Writer w;
    w.u32(rapi2::kRegCreateKeyEx).u32(hkey).str(sub).str(nullptr);
    return c.Call(w);
  }
  std::vector<uint8_t> Query(Client& c, uint32_t hkey, const char16_t* name, uint32_t cb) {
    rapi2::Writer w;
    w.u32(rapi2::kRegQueryValueEx).u32(hkey).str(name).u32(cb);
    return c.Call(w);
  }
  std::vector<uint8_t> Set(Client& c, uint32_t hkey, const char16_t* name, uint32_t type,
                           const std::vector<uint8_t>& data) {
    rapi2::Writer w;
    w.u32(rapi2::kRegSetValueEx).u32(hkey).str(name).u32(type).u32(uint32_t(data.size()));
    w.bytes(data.data(), data.size());
    return c.Call(w);
  }
};

TEST_F(Registry, TypedValuesRoundTripUnderEveryRoot) {
  auto c = Connect();
  const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> values = {
      {REG_SZ, DeviceRegistry::StringData(u"Storage Card")},
      {REG_EXPAND_SZ, DeviceRegistry::StringData(u"%TEMP%\\x")},
      {REG_BINARY, {1, 2, 3, 0, 255}},
      {REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
      {REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
  };
  for (uint32_t root : {0x80000000u, 0x80000001u, 0x80000002u, 0x80000003u}) {
    auto r = Create(*c, root, u"Software\\Test\\Deep");
    uint32_t h = Word(r, 2);
    EXPECT_EQ(Words(r), (W{0, 0, h, REG_CREATED_NEW_KEY}));
    int i = 0;
    for (auto& [type, data] : values) {
      std::u16string name = u"v" + std::u16string(1, char16_t(u'0' + i++));
      EXPECT_EQ(Words(Set(*c, h, name.c_str(), type, data)), (W{0, 0}));
      r = Query(*c, h, Fold(name).c_str(), 256);
      ASSERT_EQ(r.size(), 16u + data.size());
      EXPECT_EQ(Word(r, 2), type);
      EXPECT_EQ(Word(r, 3), data.size());
      EXPECT_EQ(std::vector<uint8_t>(r.begin() + 16, r.end()), data);
    }
    EXPECT_EQ(Word(Create(*c, root, u"software\\TEST\\deep"), 3),
              uint32_t(REG_OPENED_EXISTING_KEY));
  }
  // The default value (NULL name) is a value like any other.
  EXPECT_EQ(Word(Set(*c, 0x80000002u, nullptr, REG_SZ, DeviceRegistry::StringData(u"def")), 1), 0u);
  EXPECT_EQ(Word(Query(*c, 0x80000002u, nullptr, 100), 3), 8u);

  // Values persist in image.sqlite.
  c.reset();
  emu_->Stop();
  emu_ = Emulator::Open(dir_);
  EXPECT_EQ(emu_->registry().GetDword(0x80000003u, u"SOFTWARE\\test\\deep", u"V3"), 0x12345678u);
  EXPECT_EQ(emu_->registry().GetString(0x80000001u, u"Software\\Test\\Deep", u"v0"),
            u"Storage Card");
}

TEST_F(Registry, QuerySizeRules) {
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
  // Exactly enough: the data.
  r = Query(*c, h, u"OrigName", size);
  ASSERT_EQ(r.size(), 16u + size);
  EXPECT_EQ(r[16], 'A');
  // Missing value, missing key: 2 and no bracketed fields.
  EXPECT_EQ(Words(Query(*c, h, u"Nope", 10)), (W{2, 2}));
  EXPECT_EQ(Words(Open(*c, kHkeyLocalMachine, u"Ident\\Missing")), (W{2, 2}));
  // Bad types and sizes are refused.
  EXPECT_EQ(Word(Set(*c, h, u"d", REG_DWORD, {1, 2}), 1), 87u);
  EXPECT_EQ(Word(Set(*c, h, u"d", 42, {1}), 1), 87u);
  rapi2::Writer lying;
  lying.u32(rapi2::kRegSetValueEx).u32(h).str(u"x").u32(REG_BINARY).u32(4000).u32(1);
  EXPECT_EQ(Word(c->Call(lying), 1), 87u);
}

TEST_F(Registry, HandlesBelongToTheirConnection) {
  auto a = Connect();
  auto b = Connect();
  uint32_t h = Word(Create(*a, kHkeyCurrentUser, u"Software\\Mine"), 2);
  EXPECT_EQ(Word(Query(*b, h, u"x", 0), 1), 6u);
  EXPECT_EQ(Word(a->Simple(rapi2::kRegCloseKey, h), 1), 0u);
  EXPECT_EQ(Word(a->Simple(rapi2::kRegCloseKey, h), 1), 6u);
  EXPECT_EQ(Word(Query(*a, h, u"x", 0), 1), 6u);
  // The roots are always open and closing them succeeds.
  EXPECT_EQ(Word(a->Simple(rapi2::kRegCloseKey, kHkeyLocalMachine), 1), 0u);
  EXPECT_EQ(Word(Open(*a, kHkeyLocalMachine, u""), 1), 0u);
  EXPECT_EQ(Word(Open(*a, 0x12345, u"x"), 1), 6u);
}

}  // namespace
}  // namespace wmemu::test
