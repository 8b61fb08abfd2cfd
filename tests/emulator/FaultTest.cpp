// The fault control commands as the control socket receives them. (What each fault does to
// a call is driven through the client's own tests.)
#include "EmuTestUtil.h"

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
  for (const char* bad : {R"({"cmd":"explode"})", "not json", R"({"cmd":"fail","name":"x"})"})
    EXPECT_NE(emu_->Control(bad).find("\"ok\":false"), std::string::npos) << bad;
}

}  // namespace
}  // namespace wmemu::test
