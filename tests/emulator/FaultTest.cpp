// The fault control commands as the control socket receives them. (What each fault does to
// a call is driven through the client's own tests.)
#include "EmuTestUtil.h"
#include "wincompat/rapi.h"

namespace wmemu::test {
namespace {

class Faults : public EmuFixture {};

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
  // Only the named calls count towards the Nth.
  EXPECT_EQ(emu_->Control(R"({"cmd":"drop","onCall":2,"name":"CeReadFile"})"), ok);
  EXPECT_FALSE(f.TakeDropOnCall("CeReadFile"));
  EXPECT_FALSE(f.TakeDropOnCall("CeWriteFile"));
  EXPECT_TRUE(f.TakeDropOnCall("CeReadFile"));
  // A line that is not UTF-8 is answered too (the parse error quotes the stray byte).
  for (const char* bad : {R"({"cmd":"explode"})", "not json", R"({"cmd":"fail","name":"x"})",
                          "{\"cmd\":\x8d\"cut\"}", "{\"cmd\":\"\xff\""})
    EXPECT_NE(emu_->Control(bad).find("\"ok\":false"), std::string::npos) << bad;
}

// A transfer broken after exactly K bytes of file contents: the write that reaches K stores
// only what came before it, the read that reaches K answers only up to it, and the next file
// call closes the connection unanswered.
TEST_F(Faults, DropAfterFileBytesCutsATransferAtK) {
  EXPECT_EQ(emu_->Control(R"({"cmd":"drop","afterFileBytes":10})"), R"({"ok":true})");
  {
    auto c = Connect();
    uint32_t h = Word(c->CreateFile(u"\\My Documents\\k.bin", GENERIC_WRITE, 0, CREATE_NEW), 1);
    EXPECT_EQ(Words(c->Write(h, "123456")), (W{0, 1, 6}));
    EXPECT_TRUE(c->Write(h, "7890abcd").empty());
    EXPECT_FALSE(c->ok());
  }
  EXPECT_EQ(std::filesystem::file_size(dir_ / "fs/My Documents/k.bin"), 10u);
  emu_->faults().DropAfterFileBytes(4);
  auto c = Connect();
  uint32_t h =
      Word(c->CreateFile(u"\\My Documents\\k.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 1);
  EXPECT_EQ(Words(c->Cmd(rapi2::kReadFile, h, 8u)), (W{0, 1, 4, 0x34333231}));
  EXPECT_TRUE(c->Cmd(rapi2::kReadFile, h, 8u).empty());
  EXPECT_FALSE(c->ok());
}

// A reply cut after K bytes: the client gets exactly K bytes, then the end of the connection;
// a cut at or past the reply's size changes nothing. The first reply's size is remembered.
TEST_F(Faults, CutReplyEndsTheConnectionAfterKBytes) {
  const std::vector<uint8_t> in = {1, 2, 3, 4, 5};
  // Reply frame: length, device error, HRESULT, size, the 5 bytes.
  const size_t whole = 4 + 4 + 4 + 4 + in.size();
  for (size_t k : {size_t{0}, size_t{3}, size_t{4}, size_t{15}, whole - 1}) {
    EXPECT_EQ(emu_->Control(R"({"cmd":"cut","name":"DevCeEcho","afterBytes":)" +
                            std::to_string(k) + "}"),
              R"({"ok":true})");
    auto c = Connect();
    rapi2::Writer w;
    w.u32(rapi2::kRapiInvoke).u32(0).str(u"QWBRapiServer").str(u"DevCeEcho").u32(5);
    w.bytes(in.data(), in.size()).u32(0);
    std::vector<uint8_t> frame = w.Finish();
    ASSERT_EQ(rapi2::SendAll(c->fd(), frame.data(), frame.size()), rapi2::IoResult::kOk);
    std::vector<uint8_t> got(64);
    size_t n = 0;
    for (;;) {
      ssize_t r = ::recv(c->fd(), got.data() + n, got.size() - n, 0);
      if (r <= 0) break;
      n += static_cast<size_t>(r);
    }
    EXPECT_EQ(n, k);
  }
  emu_->faults().Clear();
  emu_->faults().CutReply("DevCeEcho", whole);
  auto c = Connect();
  EXPECT_EQ(Words(c->Invoke(u"QWBRapiServer", u"DevCeEcho", in)),
            (W{0, 0, 5, 0x04030201, 0xDEADBEEF}));
  EXPECT_EQ(Words(c->Invoke(u"QWBRapiServer", u"DevCeEcho", {9})), (W{0, 0, 1, 0xDEADBEEF}));
  EXPECT_TRUE(c->ok());
  EXPECT_EQ(emu_->faults().FirstReplySize("DevCeEcho"), whole);
  EXPECT_EQ(emu_->faults().FirstReplySize("CeRapiInvoke"), whole);
  EXPECT_EQ(emu_->faults().FirstReplySize("DevCeGet"), 0u);
}

}  // namespace
}  // namespace wmemu::test
