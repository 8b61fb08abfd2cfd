// Reading frames off a stream socket as the bytes trickle in: the open-ended wait for the next
// request a device does against the bounded one a client does for its reply, split length
// words, frames over the limit and peers that go away.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/rapi/Rapi2Wire.h"

namespace {

using rapi2::IoResult;

// What the peer does: after `delayMs`, sends `bytes`; a step with close set shuts its side.
struct Step {
  int delayMs;
  std::vector<uint8_t> bytes;
  bool close = false;
};

struct Case {
  const char* name;
  std::vector<Step> peer;
  int timeoutMs;
  uint32_t maxFrame;
  bool nonBlocking;
  IoResult next;        // RecvNextFrame
  IoResult bounded;     // RecvFrame on the same bytes
  std::string payload;  // when kOk
};

IoResult ReadOver(const Case& c, bool openEnded, std::string* payload) {
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return IoResult::kError;
  if (c.nonBlocking) ::fcntl(sv[0], F_SETFL, ::fcntl(sv[0], F_GETFL) | O_NONBLOCK);
  std::thread peer([&] {
    for (const Step& s : c.peer) {
      std::this_thread::sleep_for(std::chrono::milliseconds(s.delayMs));
      if (!s.bytes.empty()) rapi2::SendAll(sv[1], s.bytes.data(), s.bytes.size());
      if (s.close) ::shutdown(sv[1], SHUT_WR);
    }
  });
  // A buffer that held a longer frame before: the new frame must not keep its old bytes.
  std::vector<uint8_t> got(32, 0xEE);
  const IoResult r = openEnded ? rapi2::RecvNextFrame(sv[0], &got, c.timeoutMs, c.maxFrame)
                               : rapi2::RecvFrame(sv[0], &got, c.timeoutMs, c.maxFrame);
  peer.join();
  ::close(sv[0]);
  ::close(sv[1]);
  payload->assign(got.begin(), got.end());
  return r;
}

TEST(FrameRead, NextFrameWaitsOpenEndedThenBoundsTheRest) {
  using B = std::vector<uint8_t>;
  const B hello = {0x05, 0x00, 0x00, 0x00, 'h', 'e', 'l', 'l', 'o'};
  const std::vector<Case> cases = {
      {"whole frame at once",
       {{0, hello}},
       1000,
       rapi2::kMaxFrame,
       false,
       IoResult::kOk,
       IoResult::kOk,
       "hello"},
      {"length word split 1 + 3, body late but in time",
       {{0, {0x05}}, {20, {0x00, 0x00, 0x00}}, {20, {'h', 'e', 'l', 'l', 'o'}}},
       1000,
       rapi2::kMaxFrame,
       false,
       IoResult::kOk,
       IoResult::kOk,
       "hello"},
      {"first byte after the time-out",
       {{250, hello}},
       60,
       rapi2::kMaxFrame,
       false,
       IoResult::kOk,
       IoResult::kTimeout,
       "hello"},
      {"first byte after the time-out on a non-blocking socket",
       {{250, hello}},
       60,
       rapi2::kMaxFrame,
       true,
       IoResult::kOk,
       IoResult::kTimeout,
       "hello"},
      {"no time limit on a non-blocking socket, bytes late",
       {{0, {0x05, 0x00}}, {40, {0x00, 0x00, 'h', 'e'}}, {40, {'l', 'l', 'o'}}},
       -1,
       rapi2::kMaxFrame,
       true,
       IoResult::kOk,
       IoResult::kOk,
       "hello"},
      {"length word stops half-way",
       {{0, {0x05, 0x00}}, {300, {}}},
       60,
       rapi2::kMaxFrame,
       false,
       IoResult::kTimeout,
       IoResult::kTimeout,
       ""},
      {"body stops short",
       {{0, {0x05, 0x00, 0x00, 0x00, 'h', 'e'}}, {300, {}}},
       60,
       rapi2::kMaxFrame,
       false,
       IoResult::kTimeout,
       IoResult::kTimeout,
       ""},
      {"empty frame",
       {{0, {0x00, 0x00, 0x00, 0x00}}},
       1000,
       rapi2::kMaxFrame,
       false,
       IoResult::kOk,
       IoResult::kOk,
       ""},
      {"frame over the connection's limit",
       {{0, {0x09, 0x00, 0x00, 0x00}}},
       1000,
       8,
       false,
       IoResult::kTooLarge,
       IoResult::kTooLarge,
       ""},
      {"frame over the protocol's limit",
       {{0, {0xFF, 0xFF, 0xFF, 0xFF}}},
       1000,
       0xFFFFFFFFu,
       false,
       IoResult::kTooLarge,
       IoResult::kTooLarge,
       ""},
      {"peer closes before a byte",
       {{0, {}, true}},
       1000,
       rapi2::kMaxFrame,
       false,
       IoResult::kClosed,
       IoResult::kClosed,
       ""},
      {"peer closes inside the body",
       {{0, {0x05, 0x00, 0x00, 0x00, 'h'}, true}},
       1000,
       rapi2::kMaxFrame,
       false,
       IoResult::kClosed,
       IoResult::kClosed,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string payload;
    EXPECT_EQ(ReadOver(c, true, &payload), c.next);
    if (c.next == IoResult::kOk) {
      EXPECT_EQ(payload, c.payload);
    }
    EXPECT_EQ(ReadOver(c, false, &payload), c.bounded);
    if (c.bounded == IoResult::kOk) {
      EXPECT_EQ(payload, c.payload);
    }
  }
}

// Buffers handed back are reused by the next frames of the thread: a new frame never carries
// bytes of an old one, and a large buffer is let go rather than kept.
TEST(FrameBuffers, ReusedBuffersStartEmptyAndLargeOnesAreNotKept) {
  for (int i = 0; i < 6; ++i) rapi2::GiveBuffer(std::vector<uint8_t>(64, 0xAA));
  const std::vector<uint8_t> frame = rapi2::Writer().u32(0x17).u32(2).Finish();
  EXPECT_EQ(frame, (std::vector<uint8_t>{8, 0, 0, 0, 0x17, 0, 0, 0, 2, 0, 0, 0}));
  std::vector<uint8_t> reply = rapi2::TakeBuffer();
  EXPECT_TRUE(reply.empty());
  // Drain what is kept, then offer only a large buffer: nothing comes back.
  while (rapi2::TakeBuffer().capacity() != 0) {
  }
  rapi2::GiveBuffer(std::vector<uint8_t>(2u << 20));
  EXPECT_EQ(rapi2::TakeBuffer().capacity(), 0u);
}

}  // namespace
