// The client's side of the RAPI2 exchanges against a scripted device: replies that are short
// or lie about their lengths, and frames beyond the limit.
#include <algorithm>
#include <cstring>
#include <memory>

#include "gtest/gtest.h"
#include "tests/platform/rapi/FakeDevice.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

using rapitest::Answer;
using rapitest::Block;
using rapitest::FakeDevice;
using rapitest::ScopedEnv;
using rapitest::Words;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) { return b; }
std::vector<uint8_t> Frame(rapi2::Writer w) { return w.Finish(); }

// A device whose answers the test queues one by one.
class Scripted : public ::testing::Test {
 protected:
  void SetUp() override {
    dev_ = std::make_unique<FakeDevice>([this](const std::vector<uint8_t>&, int) {
      std::lock_guard lk(mu_);
      if (answers_.empty()) return Answer{Words({120, 0})};
      Answer a = answers_.front();
      answers_.erase(answers_.begin());
      return a;
    });
    env_ = std::make_unique<ScopedEnv>("QWBDCAWM_DEVICE", dev_->Address());
    ASSERT_EQ(CeRapiInit(), S_OK);
  }
  void TearDown() override {
    while (CeRapiUninit() == S_OK) {
    }
    dev_.reset();
  }
  void Next(std::vector<uint8_t> frame) { Next(Answer{std::move(frame)}); }
  void Next(Answer a) {
    std::lock_guard lk(mu_);
    answers_.push_back(std::move(a));
  }

  std::mutex mu_;
  std::vector<Answer> answers_;
  std::unique_ptr<FakeDevice> dev_;
  std::unique_ptr<ScopedEnv> env_;
};

TEST_F(Scripted, ArgumentsRefusedLocallySendNothing) {
  EXPECT_EQ(CeRapiInvoke(u"QWBRapiServer", u"DevCeGet", 8, nullptr, nullptr, nullptr, nullptr, 0),
            E_INVALIDARG);
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CeFindFirstFile(u"\\*.*", nullptr), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(dev_->Requests().empty());
}

TEST_F(Scripted, RegistryValueLargerThanTheBufferIsNoOverflow) {
  // A device that answers success with more than fits: a short buffer, not an overflow.
  Next(Words({0, 0, REG_BINARY, 8, 1, 2}));
  uint32_t one = 0xEEEEEEEE;
  DWORD type = 0, size = 4;
  EXPECT_EQ(CeRegQueryValueEx(reinterpret_cast<HKEY>(0x20), u"Bin", nullptr, &type,
                              reinterpret_cast<BYTE*>(&one), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(one, 0xEEEEEEEEu);
  EXPECT_EQ(size, 8u);
}

// Every reply here is short, lies about a length or breaks a limit. Each call must give its
// own failure value with word 0 as the device error, write nothing to its outputs and read
// nothing past the frame (ASan); the frame itself was whole, so the connection stays.
TEST_F(Scripted, LyingRepliesFailCleanly) {
  struct Case {
    const char* what;
    std::vector<uint8_t> reply;
    std::function<bool()> call;  // true when the call reported failure
  };
  static char buf[16];
  static DWORD count;
  static CE_FIND_DATA fd;
  static CE_FIND_DATA* array;
  static BYTE* out;
  auto pad = [](rapi2::Writer w, size_t n) { return Frame(std::move(w.zeros(n))); };
  auto read = [] {
    std::memset(buf, 0x5A, sizeof(buf));
    count = 99;
    bool failed = !CeReadFile(reinterpret_cast<HANDLE>(7), buf, 4, &count, nullptr);
    return failed && count == 0 && buf[0] == 0x5A;
  };
  auto findFirst = [] {
    std::memset(&fd, 0x5A, sizeof(fd));
    return CeFindFirstFile(u"\\*", &fd) == INVALID_HANDLE_VALUE &&
           fd.dwFileAttributes == 0x5A5A5A5Au;
  };
  auto findAll = [] {
    count = 99;
    array = reinterpret_cast<CE_FIND_DATA*>(8);
    return !CeFindAllFiles(u"\\*.*", 0xB3, &count, &array) && count == 0 && array == nullptr;
  };
  auto invoke = [] {
    DWORD cb = 99;
    out = reinterpret_cast<BYTE*>(8);
    HRESULT hr = Block(u"DevCeGet", {}, &cb, &out);
    return hr == static_cast<HRESULT>(0x80004005) && cb == 0 && out == nullptr;
  };
  std::vector<Case> cases = {
      {"empty frame", Words({}), read},
      {"no room for the error word", Bytes({2, 0, 0, 0, 0, 0}), read},
      {"read: n above the request", Frame(rapi2::Writer().u32(0).u32(1).u32(8).zeros(8)), read},
      {"find: S above 560", pad(rapi2::Writer().u32(0).u32(5).u32(562), 562), findFirst},
      {"find all: huge count", Words({0, 1, 0x7FFFFFFF, 2, 0x20}), findAll},
      {"find all: name above 520 bytes",
       pad(rapi2::Writer().u32(0).u32(1).u32(1).u32(522).zeros(20), 522), findAll},
      {"find all: record cut short", pad(rapi2::Writer().u32(0).u32(1).u32(2).u32(4).zeros(20), 4),
       findAll},
      {"invoke: output beyond the frame", pad(rapi2::Writer().u32(0).u32(0).u32(1000), 10), invoke},
      {"invoke: no HRESULT", Words({0}), invoke},
      {"registry: data beyond the frame", Words({0, 0, REG_BINARY, 8, 1}),
       [] {
         BYTE data[16];
         DWORD size = sizeof(data);
         return CeRegQueryValueEx(reinterpret_cast<HKEY>(0x20), u"v", nullptr, nullptr, data,
                                  &size) == 31 &&
                size == sizeof(data);
       }},
      {"registry: key missing", Words({0, 0}),
       [] {
         HKEY k = reinterpret_cast<HKEY>(5);
         return CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"x", 0, 0, &k) == 31 &&
                k == reinterpret_cast<HKEY>(5);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Next(Words({55, 0}));
    EXPECT_FALSE(CeDeleteFile(u"\\a"));
    Next(c.reply);
    SetLastError(99);
    EXPECT_TRUE(c.call());
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(CeRapiGetError(), S_OK);
    // Word 0 of these replies is 0; the first two have none and leave the error before.
    EXPECT_EQ(CeGetLastError(), c.reply.size() >= 8 ? 0u : 55u);
  }
  // The frames themselves were whole: the session survives them.
  Next(Words({0, 1}));
  EXPECT_TRUE(CeDeleteFile(u"\\a"));
  EXPECT_EQ(GetLastError(), 0u);
}

TEST_F(Scripted, FrameBeyondTheLimitOrCutShortEndsTheSession) {
  Next(Bytes({0xFF, 0xFF, 0xFF, 0x7F}));  // a length prefix promising 2 GiB
  EXPECT_FALSE(CeDeleteFile(u"\\a"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
  EXPECT_FALSE(CeDeleteFile(u"\\a"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONNECTION_UNAVAIL));

  ASSERT_EQ(CeRapiInit(), S_OK);
  Next(Answer{Bytes({100, 0, 0, 0, 0, 0, 0, 0, 1, 0}), true});  // 100 promised, 6 sent
  EXPECT_FALSE(CeDeleteFile(u"\\a"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(WSAECONNRESET));
}

// A write's data goes from the caller's buffer after the fields of its frame, the frame's
// length counting both: the device reads whole frames, small and several MiB alike.
TEST_F(Scripted, WriteFileFramesCarryTheCallersBytesWhole) {
  const HANDLE file = reinterpret_cast<HANDLE>(0x40);
  Next(Words({0, 1, 3}));
  DWORD n = 0;
  ASSERT_TRUE(CeWriteFile(file, "abc", 3, &n, nullptr));
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(dev_->Requests().back(),
            Bytes({0x18, 0, 0, 0, 0x40, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'}));

  std::vector<uint8_t> big(6u << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 65536);
  Next(Words({0, 1, static_cast<uint32_t>(big.size())}));
  Next(Words({0, 1}));  // the call after it still finds the frames in step
  ASSERT_TRUE(CeWriteFile(file, big.data(), static_cast<DWORD>(big.size()), &n, nullptr));
  EXPECT_EQ(n, big.size());
  EXPECT_TRUE(CeDeleteFile(u"\\a"));
  const auto requests = dev_->Requests();
  ASSERT_GE(requests.size(), 2u);
  const std::vector<uint8_t>& sent = requests[requests.size() - 2];
  ASSERT_EQ(sent.size(), 12 + big.size());
  EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 12),
            Bytes({0x18, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0x60, 0}));
  EXPECT_TRUE(std::equal(big.begin(), big.end(), sent.begin() + 12));
}

}  // namespace
