// Fault injection: failing calls by name with device errors and HRESULTs, dropped
// connections after K bytes or on the Nth call, unplug/replug, delays, the control commands.
#include <sys/un.h>

#include <chrono>
#include <cstring>

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
  for (int i = 0; i < 2; ++i) {
    auto r = c->Read(h, 10);
    ASSERT_EQ(r.size(), 12u);  // the failure keeps the reply's shape
    EXPECT_EQ(Word(r, 0), 5u);
    EXPECT_EQ(Word(r, 1), 0u);
  }
  EXPECT_EQ(Word(c->Read(h, 10), 2), 2u);
  // Other calls are not affected.
  emu_->faults().FailNext("CeFindFirstFile", 1, 18);
  EXPECT_EQ(Word(c->Read(h, 10), 0), 0u);
  auto r = c->PathCall(rapi2::kFindFirstFile, u"\\a.txt");
  EXPECT_EQ(Word(r, 0), 18u);
  EXPECT_EQ(Word(r, 1), 0xFFFFFFFFu);

  // A DevCe function by name, with an HRESULT or a device error.
  emu_->faults().FailNextHr("DevCeEcho", 1, static_cast<int32_t>(0x80072746u));
  r = c->Invoke(u"QWBRapiServer", u"DevCeEcho", {1, 2});
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(Word(r, 0), 10054u);
  EXPECT_EQ(Word(r, 1), 0x80072746u);
  emu_->faults().FailNext("DevCeEcho", 1, 1168);
  EXPECT_EQ(Word(c->Invoke(u"QWBRapiServer", u"DevCeEcho", {1}), 1), 0x80070490u);
  EXPECT_EQ(Word(c->Invoke(u"QWBRapiServer", u"DevCeEcho", {1}), 1), 0u);
  // Registry calls answer the error as their result.
  emu_->faults().FailNext("CeRegOpenKeyEx", 1, 31);
  rapi2::Writer w;
  w.u32(rapi2::kRegOpenKeyEx).u32(kHkeyLocalMachine).str(u"");
  r = c->Call(w);
  EXPECT_EQ(r.size(), 8u);
  EXPECT_EQ(Word(r, 1), 31u);
}

TEST_F(Faults, DropAfterBytesAndOnTheNthCall) {
  auto c = Connect();
  emu_->faults().DropAfterBytes(6);
  rapi2::Writer w;
  w.u32(rapi2::kGetVersionEx);
  std::vector<uint8_t> frame = w.Finish();
  rapi2::SendAll(c->fd(), frame.data(), frame.size());
  uint8_t buf[300];
  ASSERT_EQ(rapi2::RecvAll(c->fd(), buf, 6, 5000), rapi2::IoResult::kOk);
  EXPECT_EQ(buf[0] | buf[1] << 8, 12 + 276);
  EXPECT_EQ(rapi2::RecvAll(c->fd(), buf, 1, 5000), rapi2::IoResult::kClosed);
  // The budget is used up: a new connection works normally.
  auto d = Connect();
  rapi2::Writer v;
  v.u32(rapi2::kGetVersionEx);
  EXPECT_EQ(d->Call(v).size(), 288u);

  // The third CeGetVersionEx from now closes the connection without a reply.
  emu_->faults().DropOnCall(3, "CeGetVersionEx");
  for (int i = 0; i < 2; ++i) {
    rapi2::Writer x;
    x.u32(rapi2::kGetVersionEx);
    EXPECT_EQ(d->Call(x).size(), 288u);
    EXPECT_EQ(d->Invoke(u"QWBRapiServer", u"DevCeEcho", {}).size(), 12u);  // not counted
  }
  rapi2::Writer x;
  x.u32(rapi2::kGetVersionEx);
  d->Call(x);
  EXPECT_FALSE(d->ok());
  // By DevCe function name.
  auto e = Connect();
  emu_->faults().DropOnCall(1, "DevCeEcho");
  e->Invoke(u"QWBRapiServer", u"DevCeEcho", {1});
  EXPECT_FALSE(e->ok());
}

TEST_F(Faults, UnplugClosesEverythingUntilReplug) {
  auto a = Connect();
  auto s = Connect();
  ASSERT_EQ(Word(s->Invoke(u"QWBRapiServer", u"DevCeEchoStream", {}, 1), 0), 0u);
  emu_->faults().Unplug();
  char x;
  EXPECT_EQ(rapi2::RecvAll(a->fd(), &x, 1, 5000), rapi2::IoResult::kClosed);
  EXPECT_EQ(rapi2::RecvAll(s->fd(), &x, 1, 5000), rapi2::IoResult::kClosed);
  // New connections are taken and closed at once.
  auto b = Connect();
  rapi2::Writer w;
  w.u32(rapi2::kGetVersionEx);
  b->Call(w);
  EXPECT_FALSE(b->ok());
  emu_->faults().Replug();
  auto d = Connect();
  rapi2::Writer v;
  v.u32(rapi2::kGetVersionEx);
  EXPECT_EQ(d->Call(v).size(), 288u);
}

TEST_F(Faults, DelayHoldsRepliesOfTheNamedCall) {
  auto c = Connect();
  emu_->faults().Delay(150, "CeGetVersionEx");
  auto t0 = std::chrono::steady_clock::now();
  rapi2::Writer w;
  w.u32(rapi2::kGetVersionEx);
  EXPECT_EQ(c->Call(w).size(), 288u);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(150));
  emu_->faults().Delay(0, "CeGetVersionEx");
  EXPECT_EQ(emu_->faults().DelayFor("CeGetVersionEx"), 0);
  emu_->faults().Delay(10);
  EXPECT_EQ(emu_->faults().DelayFor("DevCeGet"), 10);
  emu_->faults().Clear();
  EXPECT_EQ(emu_->faults().DelayFor("DevCeGet"), 0);
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

  // The same through the control socket, one JSON line each.
  std::string path = (dir_ / "ctl.sock").string();
  EXPECT_EQ(emu_->ListenControl("unix:" + path), "unix:" + path);
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  std::strcpy(sa.sun_path, path.c_str());
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  std::string cmd = "{\"cmd\":\"drop\",\"onCall\":2,\"name\":\"CeReadFile\"}\n";
  rapi2::SendAll(fd, cmd.data(), cmd.size());
  std::string reply;
  char ch;
  while (rapi2::RecvAll(fd, &ch, 1, 5000) == rapi2::IoResult::kOk && ch != '\n') reply += ch;
  EXPECT_EQ(reply, R"({"ok":true})");
  ::close(fd);
  EXPECT_FALSE(emu_->faults().TakeDropOnCall("CeReadFile"));
  EXPECT_TRUE(emu_->faults().TakeDropOnCall("CeReadFile"));
}

}  // namespace
}  // namespace wmemu::test
