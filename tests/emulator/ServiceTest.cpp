// The service framework: CeRapiInvoke routing by library and function, what a failing or
// throwing handler answers, and unknown or hostile frames. (Block and stream echoes are
// driven through the client's own tests.)
#include <random>

#include "EmuTestUtil.h"
#include "emulator/Image.h"
#include "emulator/Text.h"

namespace wmemu::test {
namespace {

class Services : public EmuFixture {};

TEST_F(Services, BlockCallsRouteByLibraryAndFunction) {
  auto c = Connect();
  const std::vector<uint8_t> in = {1, 2, 3, 4, 5};
  for (const char16_t* dll : {u"qwbrapiserver", u"\\Windows\\QWBRapiServer.dll"}) {
    EXPECT_EQ(c->Invoke(dll, u"DevCeEcho", in),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 1, 2, 3, 4, 5}));
  }
  // Unknown library: 126; unknown function: 127; nothing after the failing HRESULT.
  EXPECT_EQ(Words(c->Invoke(u"OtherServer", u"DevCeEcho", in)), (W{126, 0x8007007Eu}));
  // Function names match exactly; a stream function is not found in block mode.
  EXPECT_EQ(Words(c->Invoke(u"QWBRapiServer", u"devceecho", in)), (W{127, 0x8007007Fu}));
  EXPECT_EQ(Word(c->Invoke(u"QWBRapiServer", u"DevCeEchoStream", in, 0), 0), 127u);

  // A handler's failure carries no output even though it produced some; a throwing handler
  // is a failure, not a crash; a positive HRESULT is success and its output follows.
  struct {
    const char* name;
    int32_t hr;
    bool raise;
    size_t replySize;
  } handlers[] = {{"DevCeBroken", int32_t(0x80004005), false, 8},
                  {"DevCeThrows", 0, true, 8},
                  {"DevCeFalse", 1, false, 15}};
  for (const auto& h : handlers) {
    emu_->services().AddBlock(
        h.name, [h](ServiceContext&, const std::vector<uint8_t>&, std::vector<uint8_t>* out) {
          *out = {9, 9, 9};
          if (h.raise) throw ImageError("disk gone");
          return h.hr;
        });
    auto r = c->Invoke(u"QWBRapiServer", Utf16(h.name), {});
    EXPECT_EQ(r.size(), h.replySize) << h.name;
    EXPECT_EQ(Word(r, 1), h.raise ? 0x80004005u : uint32_t(h.hr)) << h.name;
  }
  EXPECT_EQ(Word(c->Invoke(u"QWBRapiServer", u"DevCeEcho", in), 2), in.size());
}

TEST_F(Services, UnknownAndHostileFramesNeverStopTheServer) {
  auto c = Connect();
  rapi2::Writer w, empty;
  w.u32(0x99).u32(1).u32(2);
  EXPECT_EQ(Words(c->Call(w)), (W{120}));
  EXPECT_EQ(Word(c->Call(empty), 0), 120u);

  // Every command with truncated or random arguments still gets a reply.
  std::mt19937 rng(1234);
  const uint32_t commands[] = {0x11, 0x12, 0x13, 0x16, 0x17, 0x18, 0x19, 0x1a,
                               0x28, 0x29, 0x2b, 0x2c, 0x2d, 0x2f, 0x31, 0x32,
                               0x37, 0x38, 0x41, 0x42, 0x43, 0x4c, 0x5c};
  for (int round = 0; round < 300; ++round) {
    rapi2::Writer f;
    f.u32(commands[rng() % std::size(commands)]);
    for (size_t i = 0, n = rng() % 40; i < n; ++i) {
      uint8_t b = static_cast<uint8_t>(rng() % 4 == 0 ? 0xFF : rng() % 8);
      f.bytes(&b, 1);
    }
    auto r = c->Call(f);
    ASSERT_TRUE(c->ok()) << "round " << round;
    EXPECT_GE(r.size(), 4u);
  }
  // A frame announcing more than the limit closes that connection only.
  uint8_t huge[8] = {0xff, 0xff, 0xff, 0x7f, 0x11, 0, 0, 0};
  rapi2::SendAll(c->fd(), huge, sizeof huge);
  char x;
  EXPECT_EQ(rapi2::RecvAll(c->fd(), &x, 1, 5000), rapi2::IoResult::kClosed);
  EXPECT_EQ(Word(Connect()->Invoke(u"QWBRapiServer", u"DevCeEcho", {1}), 2), 1u);
}

}  // namespace
}  // namespace wmemu::test
