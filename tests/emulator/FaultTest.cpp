// Fault injection: failing calls by name with device errors and HRESULTs, dropped
// connections after K bytes or on the Nth call, the control commands. (Unplugging and delays
// are driven end to end by the client's tests.)
#include "EmuTestUtil.h"
#include "wincompat/rapi.h"

namespace wmemu::test {
namespace {

class Faults : public EmuFixture {};

TEST_F(Faults, FailNextCallsByName) {
  emu_->files().PutFile(u"\\a.txt", {'a', 'b'});
  auto c = Connect();
  uint32_t h = Word(c->CreateFile(u"\\a.txt", GENERIC_READ, 1, OPEN_EXISTING), 1);
  emu_->faults().FailNext("CeReadFile", 2, 5);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Words(c->Read(h, 10)), (W{5, 0, 0}));  // reply's shape
  EXPECT_EQ(Word(c->Read(h, 10), 2), 2u);
  // Other calls are not affected.
  emu_->faults().FailNext("CeFindFirstFile", 1, 18);
  EXPECT_EQ(Word(c->Read(h, 10), 0), 0u);
  EXPECT_EQ(Words(c->PathCall(rapi2::kFindFirstFile, u"\\a.txt")), (W{18, 0xFFFFFFFFu, 0}));

  // A DevCe function by name, with an HRESULT or a device error.
  emu_->faults().FailNextHr("DevCeEcho", 1, static_cast<int32_t>(0x80072746u));
  EXPECT_EQ(Words(c->Invoke(u"QWBRapiServer", u"DevCeEcho", {1, 2})), (W{10054, 0x80072746u}));
  emu_->faults().FailNext("DevCeEcho", 1, 1168);
  EXPECT_EQ(Word(c->Invoke(u"QWBRapiServer", u"DevCeEcho", {1}), 1), 0x80070490u);
  EXPECT_EQ(Word(c->Invoke(u"QWBRapiServer", u"DevCeEcho", {1}), 1), 0u);
  // Registry calls answer the error as their result.
  emu_->faults().FailNext("CeRegOpenKeyEx", 1, 31);
  rapi2::Writer w;
  w.u32(rapi2::kRegOpenKeyEx).u32(kHkeyLocalMachine).str(u"");
  EXPECT_EQ(Words(c->Call(w)), (W{31, 31}));
}

TEST_F(Faults, DropAfterBytesAndOnTheNthCall) {
  auto c = Connect();
  emu_->faults().DropAfterBytes(6);
  std::vector<uint8_t> frame = rapi2::Writer().u32(rapi2::kGetVersionEx).Finish();
  rapi2::SendAll(c->fd(), frame.data(), frame.size());
  uint8_t buf[300];
  ASSERT_EQ(rapi2::RecvAll(c->fd(), buf, 6, 5000), rapi2::IoResult::kOk);
  EXPECT_EQ(buf[0] | buf[1] << 8, 12 + 276);
  EXPECT_EQ(rapi2::RecvAll(c->fd(), buf, 1, 5000), rapi2::IoResult::kClosed);
  // The budget is used up: a new connection works normally.
  auto d = Connect();
  EXPECT_EQ(d->NoArgs(rapi2::kGetVersionEx).size(), 288u);

  // The third CeGetVersionEx from now closes the connection without a reply.
  emu_->faults().DropOnCall(3, "CeGetVersionEx");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(d->NoArgs(rapi2::kGetVersionEx).size(), 288u);
    EXPECT_EQ(d->Invoke(u"QWBRapiServer", u"DevCeEcho", {}).size(), 12u);  // not counted
  }
  d->NoArgs(rapi2::kGetVersionEx);
  EXPECT_FALSE(d->ok());
  // (Dropping a DevCe function by name is driven by the client's tests.)
}

TEST_F(Faults, ControlCommands) {
  EXPECT_EQ(emu_->Control(R"({"cmd":"fail","name":"CeReadFile","count":1,"error":5})"),
            R"({"ok":true})");
  EXPECT_EQ(emu_->faults().TakeFailure("CeReadFile")->DeviceError(), 5u);
  EXPECT_FALSE(emu_->faults().TakeFailure("CeReadFile"));
  EXPECT_EQ(emu_->Control(R"({"cmd":"fail","name":"DevCeGet","hresult":"0x80004005"})"),
            R"({"ok":true})");
  auto f = emu_->faults().TakeFailure("CeRapiInvoke", "DevCeGet");
  ASSERT_TRUE(f);
  EXPECT_EQ(static_cast<uint32_t>(f->Hresult()), 0x80004005u);
  EXPECT_EQ(emu_->Control(R"({"cmd":"unplug"})"), R"({"ok":true})");
  EXPECT_TRUE(emu_->faults().unplugged());
  EXPECT_EQ(emu_->Control(R"({"cmd":"replug"})"), R"({"ok":true})");
  EXPECT_FALSE(emu_->faults().unplugged());
  EXPECT_EQ(emu_->Control(R"({"cmd":"delay","ms":20})"), R"({"ok":true})");
  EXPECT_EQ(emu_->faults().DelayFor("x"), 20);
  EXPECT_EQ(emu_->Control(R"({"cmd":"clear"})"), R"({"ok":true})");
  EXPECT_EQ(emu_->faults().DelayFor("x"), 0);
  EXPECT_NE(emu_->Control(R"({"cmd":"explode"})").find("\"ok\":false"), std::string::npos);
  EXPECT_NE(emu_->Control("not json").find("\"ok\":false"), std::string::npos);
  EXPECT_NE(emu_->Control(R"({"cmd":"fail","name":"x"})").find("\"ok\":false"), std::string::npos);

  // (The control socket's line protocol is driven by the command-line tests.)
  EXPECT_EQ(emu_->Control(R"({"cmd":"drop","onCall":2,"name":"CeReadFile"})"), R"({"ok":true})");
  EXPECT_FALSE(emu_->faults().TakeDropOnCall("CeReadFile"));
  EXPECT_TRUE(emu_->faults().TakeDropOnCall("CeReadFile"));
}

}  // namespace
}  // namespace wmemu::test
