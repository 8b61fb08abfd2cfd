// The control channel codec against bytes typed by hand from the layout tables, and the
// device information reader against a table of good and hostile packets.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/ControlChannel.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The example phone: no password, OS 5.2, "WM_Phone", "PocketPC", "DEMO-01", len = 100.
const Bytes kExampleInfo = {
    0x04, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00,
    0x4c, 0x2a, 0x8e, 0x5b, 0x3d, 0x1f, 0x6a, 0x4e, 0x9b, 0x7c, 0x0d, 0x1e, 0x2f, 0x3a, 0x4b, 0x5c,
    0x05, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
    0x08, 0x00, 0x00, 0x00,
    0x57, 0x00, 0x4d, 0x00, 0x5f, 0x00, 0x50, 0x00, 0x68, 0x00, 0x6f, 0x00, 0x6e, 0x00, 0x65, 0x00,
    0x00, 0x00,
    0xd3, 0x04, 0x00, 0x00,
    0x11, 0x0a, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x4d, 0x3c, 0x2b, 0x1a,
    0x00, 0x00, 0x00, 0x00,
    0x0a, 0x00, 0x00, 0x00, 0x50, 0x6f, 0x63, 0x6b, 0x65, 0x74, 0x50, 0x43, 0x00, 0x00,
    0x07, 0x00, 0x00, 0x00, 0x44, 0x45, 0x4d, 0x4f, 0x2d, 0x30, 0x31, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
};

// Offsets into kExampleInfo's payload (after the 8 bytes of 04 and len).
constexpr size_t kNameLenAt = 0x18, kPlatformLenAt = 0x42, kModelLenAt = 0x50,
                 kCountAt = 0x5c, kKeyAt = 0x60;

Bytes Payload() { return Bytes(kExampleInfo.begin() + 8, kExampleInfo.end()); }
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(ControlChannel, EveryMessageHasItsBytes) {
  struct Case {
    const char* what;
    Bytes written;
    Bytes expected;
  } cases[] = {
      {"phone hello", ctlwire::PhoneHello(), {0, 0, 0, 0}},
      {"answer to hello", ctlwire::HelloAnswer(), {3, 0, 0, 0}},
      {"phone request", ctlwire::PhoneRequest(), {6, 0, 0, 0}},
      {"answer to request", ctlwire::RequestAnswer(), {7, 0, 0, 0, 8, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0}},
      {"session request 1", ctlwire::SessionRequest(1), {5, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0}},
      {"session request 0x01020304", ctlwire::SessionRequest(0x01020304),
       {5, 0, 0, 0, 4, 0, 0, 0, 4, 3, 2, 1}},
      {"session hello 1", ctlwire::SessionHello(1), {1, 0, 0, 0}},
      {"show unlock screen", ctlwire::ShowUnlockScreen(), {8, 0, 0, 0}},
      {"unlocked on the phone", ctlwire::UnlockResult(0), {0, 0, 0, 0}},
      {"unlock confirmed", ctlwire::UnlockAccepted(), {0, 0, 0, 0, 0x0c, 0, 0, 0}},
      {"ping", ctlwire::Ping(), {1, 0, 0, 0}},
      {"pong", ctlwire::Pong(), {2, 0, 0, 0}},
      {"password accepted", ctlwire::PasswordVerdict(true), {1, 0}},
      {"password refused", ctlwire::PasswordVerdict(false), {0, 0}},
      {"password 1234, key 0x3C", ctlwire::PasswordMessage(u"1234", 0x0000003C),
       {0x08, 0x00, 0x0d, 0x3c, 0x0e, 0x3c, 0x0f, 0x3c, 0x08, 0x3c}},
      {"only the key's low byte scrambles", ctlwire::PasswordMessage(u"1234", 0xABCDEF3C),
       {0x08, 0x00, 0x0d, 0x3c, 0x0e, 0x3c, 0x0f, 0x3c, 0x08, 0x3c}},
      {"empty password", ctlwire::PasswordMessage(u"", 0x3C), {0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.written, c.expected) << c.what;
  EXPECT_TRUE(ctlwire::PasswordMessage(std::u16string(257, u'x'), 0x3C).empty());
}

TEST(ControlChannel, DeviceInfoReadsAndWritesTheExample) {
  ctlwire::DeviceInfo info;
  std::string error;
  Bytes payload = Payload();
  ASSERT_TRUE(ctlwire::ParseDeviceInfo(payload.data(), payload.size(), &info, &error)) << error;
  EXPECT_EQ(ctlwire::GuidText(info.guid), "{5B8E2A4C-1F3D-4E6A-9B7C-0D1E2F3A4B5C}");
  EXPECT_EQ(info.osMajor, 5u);
  EXPECT_EQ(info.osMinor, 2u);
  EXPECT_EQ(info.name, u"WM_Phone");
  EXPECT_EQ(info.version, 1235u);
  EXPECT_EQ(info.cpuType, 2577u);
  EXPECT_EQ(info.partnerId, 0x1A2B3C4Du);
  EXPECT_EQ(info.platform, "PocketPC");
  EXPECT_EQ(info.model, "DEMO-01");
  EXPECT_TRUE(info.components.empty());
  EXPECT_EQ(info.passwordKey, 0u);
  // The phone's writer produces exactly the same message.
  EXPECT_EQ(ctlwire::DeviceInfoMessage(info), kExampleInfo);
}

TEST(ControlChannel, DeviceInfoTableOfPackets) {
  struct Case {
    const char* what;
    Bytes payload;
    bool good;
  };
  std::vector<Case> cases;
  auto with = [](size_t at, uint32_t v) {
    Bytes b = Payload();
    Put32(b, at, v);
    return b;
  };
  auto append = [](Bytes b, Bytes more) {
    b.insert(b.end(), more.begin(), more.end());
    return b;
  };
  cases.push_back({"example", Payload(), true});
  cases.push_back({"WM5 key", with(kKeyAt, 0x3C), true});
  cases.push_back({"WM6 key", with(kKeyAt, 0xFFFFFFFF), true});
  cases.push_back({"extra data counted from its count word", append(Payload(), {8, 0, 0, 0, 1, 2, 3, 4}), true});
  cases.push_back({"extra data longer than what is left", append(Payload(), {9, 0, 0, 0, 1, 2, 3, 4}), false});
  cases.push_back({"stray bytes after the key", append(Payload(), {1, 2}), false});
  cases.push_back({"empty", {}, false});
  const Bytes full = Payload();
  cases.push_back({"only a GUID", Bytes(full.begin(), full.begin() + 16), false});
  cases.push_back({"name of 32 units", with(kNameLenAt, 32), false});
  cases.push_back({"name length 0xFFFFFFFF", with(kNameLenAt, 0xFFFFFFFF), false});
  cases.push_back({"name past the end", with(kNameLenAt, 31), false});
  cases.push_back({"platform of 256 bytes", with(kPlatformLenAt, 256), false});
  cases.push_back({"platform past the end", with(kPlatformLenAt, 200), false});
  cases.push_back({"model of 256 bytes", with(kModelLenAt, 256), false});
  cases.push_back({"model past the end", with(kModelLenAt, 20), false});
  cases.push_back({"7 components", with(kCountAt, 7), false});
  cases.push_back({"1 component missing its bytes", with(kCountAt, 1), false});
  for (size_t cut = 1; cut < full.size(); cut += 7)
    cases.push_back({"cut short", Bytes(full.begin(), full.begin() + static_cast<long>(cut)), false});
  for (const auto& c : cases) {
    ctlwire::DeviceInfo info;
    std::string error;
    bool ok = ctlwire::ParseDeviceInfo(c.payload.data(), c.payload.size(), &info, &error);
    EXPECT_EQ(ok, c.good) << c.what << " (" << c.payload.size() << " bytes): " << error;
    if (!ok) {
      EXPECT_FALSE(error.empty()) << c.what;
    }
  }
  // A component read with the count: six of them and the key after.
  Bytes six = with(kCountAt, 6);
  six.insert(six.begin() + kCountAt + 4, 48, 0xAB);
  ctlwire::DeviceInfo info;
  std::string error;
  ASSERT_TRUE(ctlwire::ParseDeviceInfo(six.data(), six.size(), &info, &error)) << error;
  EXPECT_EQ(info.components.size(), 6u);
}

TEST(ControlChannel, ReaderTakesMessagesOnlyWhenWhole) {
  // The PC side of an opening exchange arriving one byte at a time.
  Bytes stream = {0, 0, 0, 0, 6, 0, 0, 0};
  stream.insert(stream.end(), kExampleInfo.begin(), kExampleInfo.end());
  stream.insert(stream.end(), {2, 0, 0, 0});
  ctlwire::Reader rd;
  std::vector<uint32_t> words;
  ctlwire::DeviceInfo info;
  bool inInfo = false, gotInfo = false;
  for (uint8_t b : stream) {
    ASSERT_TRUE(rd.Feed(&b, 1));
    for (;;) {
      std::string error;
      uint32_t w;
      if (inInfo) {
        auto r = rd.TakeDeviceInfo(&info, &error);
        ASSERT_NE(r, ctlwire::Reader::kBad) << error;
        if (r == ctlwire::Reader::kNeedMore) break;
        inInfo = false;
        gotInfo = true;
      } else if (rd.TakeWord(&w) == ctlwire::Reader::kOk) {
        words.push_back(w);
        inInfo = w == ctlwire::kDeviceInfo;
      } else {
        break;
      }
    }
  }
  EXPECT_EQ(words, (std::vector<uint32_t>{0, 6, 4, 2}));
  EXPECT_TRUE(gotInfo);
  EXPECT_EQ(info.name, u"WM_Phone");
  EXPECT_EQ(rd.pending(), 0u);
}

TEST(ControlChannel, ReaderRefusesHostileLengths) {
  // A length near 2^32 is refused from its four bytes: nothing of it is waited for.
  ctlwire::Reader rd;
  Bytes huge = {0xf0, 0xff, 0xff, 0xff, 1, 2, 3};
  ASSERT_TRUE(rd.Feed(huge.data(), huge.size()));
  ctlwire::DeviceInfo info;
  std::string error;
  EXPECT_EQ(rd.TakeDeviceInfo(&info, &error), ctlwire::Reader::kBad);
  EXPECT_NE(error.find("4294967280"), std::string::npos) << error;
  // A peer sending more than any message is refused before it is kept.
  ctlwire::Reader flood;
  Bytes chunk(1000, 0);
  size_t fed = 0;
  while (flood.Feed(chunk.data(), chunk.size())) fed += chunk.size();
  EXPECT_LE(fed, ctlwire::kMaxInfoBytes + 16);
  EXPECT_EQ(flood.pending(), fed);
  // The rest of the answers, each checked word by word.
  ctlwire::Reader answer;
  Bytes wrong = {8, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
  answer.Feed(wrong.data(), wrong.size());
  EXPECT_EQ(answer.TakeRequestAnswerRest(), ctlwire::Reader::kBad);
  ctlwire::Reader session;
  Bytes request = {4, 0, 0, 0, 7, 0, 0};
  session.Feed(request.data(), request.size());
  uint32_t id = 0;
  EXPECT_EQ(session.TakeSessionRequestRest(&id), ctlwire::Reader::kNeedMore);
  uint8_t last = 0;
  session.Feed(&last, 1);
  EXPECT_EQ(session.TakeSessionRequestRest(&id), ctlwire::Reader::kOk);
  EXPECT_EQ(id, 7u);
}

TEST(ControlChannel, PasswordReadsBothForms) {
  struct Case {
    Bytes bytes;
    ctlwire::Reader::Result result;
    std::u16string password;
  } cases[] = {
      {{0x08, 0x00, 0x0d, 0x3c, 0x0e, 0x3c, 0x0f, 0x3c, 0x08, 0x3c}, ctlwire::Reader::kOk, u"1234"},
      {{0x0a, 0x00, 0x0d, 0x3c, 0x0e, 0x3c, 0x0f, 0x3c, 0x08, 0x3c, 0x3c, 0x3c},
       ctlwire::Reader::kOk, u"1234"},
      {{0x08, 0x00, 0x0d, 0x3c, 0x0e}, ctlwire::Reader::kNeedMore, u""},
      {{0x03, 0x00, 0x0d, 0x3c, 0x0e}, ctlwire::Reader::kBad, u""},    // odd count
      {{0xff, 0xff}, ctlwire::Reader::kBad, u""},                        // beyond any password
  };
  for (const auto& c : cases) {
    ctlwire::Reader rd;
    rd.Feed(c.bytes.data(), c.bytes.size());
    std::u16string pw;
    EXPECT_EQ(rd.TakePassword(0x3C, &pw), c.result);
    EXPECT_EQ(pw, c.password);
  }
}

}  // namespace
