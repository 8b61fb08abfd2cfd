// Fault injection at the wire: the reply a failed call carries, drops after K bytes or on
// the Nth call of a name, and the control commands. (What the client makes of each fault is
// driven by its own tests.)
#include "EmuTestUtil.h"
#include "wincompat/rapi.h"

namespace wmemu::test {
namespace {

class Faults : public EmuFixture {};

TEST_F(Faults, FailedCallsAnswerTheirErrorOnly) {
  emu_->files().PutFile(u"\\a.txt", {'a', 'b'});
  auto c = Connect();
  uint32_t h = Word(c->CreateFile(u"\\a.txt", GENERIC_READ, 1, OPEN_EXISTING), 1);
  emu_->faults().FailNext("CeReadFile", 1, 5);
  emu_->faults().FailNext("CeFindFirstFile", 1, 18);
  EXPECT_EQ(Words(c->Cmd(rapi2::kReadFile, h, 10)), (W{5, 0, 0}));  // the reply keeps its shape
  EXPECT_EQ(Word(c->Cmd(rapi2::kReadFile, h, 10), 2), 2u);  // the other armed name is untouched
  EXPECT_EQ(Words(c->Cmd(rapi2::kFindFirstFile, u"\\a.txt")), (W{18, 0xFFFFFFFFu, 0}));
  // A DevCe function fails with an HRESULT (its device error derived) or a device error.
  emu_->faults().FailNextHr("DevCeEcho", 1, static_cast<int32_t>(0x80072746u));
  EXPECT_EQ(Words(c->Invoke(u"QWBRapiServer", u"DevCeEcho", {1, 2})), (W{10054, 0x80072746u}));
  emu_->faults().FailNext("DevCeEcho", 1, 1168);
  EXPECT_EQ(Word(c->Invoke(u"QWBRapiServer", u"DevCeEcho", {1}), 1), 0x80070490u);
  // Registry calls answer the error as their result.
  emu_->faults().FailNext("CeRegOpenKeyEx", 1, 31);
  EXPECT_EQ(Words(c->Cmd(rapi2::kRegOpenKeyEx, kHkeyLocalMachine, u"")), (W{31, 31}));
}

TEST_F(Faults, DropAfterBytesAndOnTheNthCall) {
  auto c = Connect();
  emu_->faults().DropAfterBytes(6);
  std::vector<uint8_t> frame = rapi2::Writer().u32(rapi2::kGetVersionEx).Finish();
  rapi2::SendAll(c->fd(), frame.data(), frame.size());
  uint8_t buf[8];
  ASSERT_EQ(rapi2::RecvAll(c->fd(), buf, 6, 5000), rapi2::IoResult::kOk);
  EXPECT_EQ(buf[0] | buf[1] << 8, 12 + 276);
  EXPECT_EQ(rapi2::RecvAll(c->fd(), buf, 1, 5000), rapi2::IoResult::kClosed);
  // The budget is used up: a new connection works normally. Only the named calls count.
  auto d = Connect();
  emu_->faults().DropOnCall(3, "CeGetVersionEx");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(d->Cmd(rapi2::kGetVersionEx).size(), 288u);
    EXPECT_EQ(d->Invoke(u"QWBRapiServer", u"DevCeEcho", {}).size(), 12u);
  }
  d->Cmd(rapi2::kGetVersionEx);
  EXPECT_FALSE(d->ok());
}

TEST_F(Faults, ControlCommands) {
  auto& f = emu_->faults();
  const std::string ok = R"({"ok":true})";
  EXPECT_EQ(emu_->Control(R"({"cmd":"fail","name":"CeReadFile","count":1,"error":5})"), ok);
  EXPECT_EQ(f.TakeFailure("CeReadFile")->DeviceError(), 5u);
  EXPECT_FALSE(f.TakeFailure("CeReadFile"));
  EXPECT_EQ(emu_->Control(R"({"cmd":"fail","name":"DevCeGet","hresult":"0x80004005"})"), ok);
  auto failure = f.TakeFailure("CeRapiInvoke", "DevCeGet");
  ASSERT_TRUE(failure);
  EXPECT_EQ(static_cast<uint32_t>(failure->Hresult()), 0x80004005u);
  EXPECT_EQ(emu_->Control(R"({"cmd":"unplug"})"), ok);
  EXPECT_TRUE(f.unplugged());
  EXPECT_EQ(emu_->Control(R"({"cmd":"replug"})"), ok);
  EXPECT_FALSE(f.unplugged());
  EXPECT_EQ(emu_->Control(R"({"cmd":"delay","ms":20})"), ok);
  EXPECT_EQ(f.DelayFor("x"), 20);
  EXPECT_EQ(emu_->Control(R"({"cmd":"clear"})"), ok);
  EXPECT_EQ(f.DelayFor("x"), 0);
  EXPECT_EQ(emu_->Control(R"({"cmd":"drop","onCall":2,"name":"CeReadFile"})"), ok);
  EXPECT_FALSE(f.TakeDropOnCall("CeReadFile"));
  EXPECT_TRUE(f.TakeDropOnCall("CeReadFile"));
  for (const char* bad : {R"({"cmd":"explode"})", "not json", R"({"cmd":"fail","name":"x"})"})
    EXPECT_NE(emu_->Control(bad).find("\"ok\":false"), std::string::npos) << bad;
}

}  // namespace
}  // namespace wmemu::test
