// The client's side of the RAPI2 exchanges against a scripted device: request byte layouts,
// replies that are short or lie about their lengths, and streams.
#include <cstring>
#include <memory>
#include <string_view>

#include "gtest/gtest.h"
#include "tests/platform/rapi/FakeDevice.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

using rapitest::Answer;
using rapitest::Block;
using rapitest::FakeDevice;
using rapitest::ScopedEnv;
using rapitest::Stream;
using rapitest::Words;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) { return b; }
std::vector<uint8_t> Frame(rapi2::Writer w) { return w.Finish(); }

// Payload of a request without its command word.
std::vector<uint8_t> Args(const std::vector<uint8_t>& request) {
  return std::vector<uint8_t>(request.begin() + 4, request.end());
}

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
  std::vector<uint8_t> LastRequest() { return dev_->Requests().back(); }

  std::mutex mu_;
  std::vector<Answer> answers_;
  std::unique_ptr<FakeDevice> dev_;
  std::unique_ptr<ScopedEnv> env_;
};

// Expected request bytes, built apart from the codec: little-endian words, UTF-16 text with
// its terminator, raw bytes.
struct Req {
  std::vector<uint8_t> b;
  Req& w(uint32_t v) {
    for (int i = 0; i < 32; i += 8) b.push_back(static_cast<uint8_t>(v >> i));
    return *this;
  }
  Req& z(std::u16string_view text) {
    for (char16_t ch : text) b.insert(b.end(), {uint8_t(ch & 0xFF), uint8_t(ch >> 8)});
    b.insert(b.end(), {0, 0});
    return *this;
  }
};

TEST_F(Scripted, RequestsHaveTheDocumentedLayout) {
  Next(Words({0, 0x1234}));
  HANDLE h = CeCreateFile(u"\\a.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(h, reinterpret_cast<HANDLE>(0x1234));
  // Command, name bytes, name, access, share, disposition, attributes, template.
  EXPECT_EQ(LastRequest(),
            Req().w(0x16).w(14).z(u"\\a.txt").w(0x80000000).w(1).w(3).w(0x80).w(0).b);

  // CeRapiInvoke block mode with 4 input bytes.
  Next(Frame(rapi2::Writer().u32(0).u32(0).u32(4).u32(0xAABBCCDD)));
  DWORD cb = 0;
  BYTE* out = nullptr;
  EXPECT_EQ(Block(u"DevCeList", {3, 0, 0, 0}, &cb, &out), S_OK);
  EXPECT_EQ(
      LastRequest(),
      Req().w(0x4c).w(0).w(0x1c).z(u"QWBRapiServer").w(0x14).z(u"DevCeList").w(4).w(3).w(0).b);
  ASSERT_EQ(cb, 4u);
  EXPECT_EQ(Bytes({0xDD, 0xCC, 0xBB, 0xAA}), std::vector<uint8_t>(out, out + 4));
  LocalFree(out);  // the component frees replies with LocalFree

  // Root keys are sign-extended pointers on the PC and 32-bit on the wire; keys coming back
  // are sign-extended again.
  Next(Words({0, 0, 0x80000001u}));
  HKEY key = nullptr;
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &key), ERROR_SUCCESS);
  EXPECT_EQ(key, HKEY_CURRENT_USER);
  EXPECT_EQ(Args(LastRequest()), Req().w(0x80000002).w(12).z(u"Ident").b);
  Next(Words({0, 0}));
  EXPECT_EQ(CeRegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(Args(LastRequest()), Req().w(0x80000001).b);

  // Arguments refused locally send nothing.
  size_t sent = dev_->Requests().size();
  EXPECT_EQ(CeRapiInvoke(u"QWBRapiServer", u"DevCeGet", 8, nullptr, nullptr, nullptr, nullptr, 0),
            E_INVALIDARG);
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CeFindFirstFile(u"\\*.*", nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(dev_->Requests().size(), sent);
}

TEST_F(Scripted, RegistryQueryAsksForSizesAndReportsShortBuffers) {
  HKEY key = reinterpret_cast<HKEY>(0x20);
  // A short buffer: ERROR_MORE_DATA and the size needed, the buffer untouched.
  Next(Words({234, 234, REG_SZ, 12}));
  BYTE small[4] = {9, 9, 9, 9};
  DWORD type = 0, size = sizeof(small);
  EXPECT_EQ(CeRegQueryValueEx(key, u"OrigName", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(small[0], 9);
  std::vector<uint8_t> args = Args(LastRequest());
  EXPECT_EQ(std::vector<uint8_t>(args.end() - 4, args.end()), Bytes({4, 0, 0, 0})) << "cbData";

  // A device that answers success with more than fits is a short buffer, not an overflow.
  rapi2::Writer big;
  big.u32(0).u32(0).u32(REG_BINARY).u32(8).u32(1).u32(2);
  Next(Frame(std::move(big)));
  uint32_t one = 0xEEEEEEEE;
  size = 4;
  EXPECT_EQ(CeRegQueryValueEx(key, u"Bin", nullptr, &type, reinterpret_cast<BYTE*>(&one), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(one, 0xEEEEEEEEu);
  EXPECT_EQ(size, 8u);
}

// Every reply here is short, lies about a length or breaks a limit. Each call must fail with
// ERROR_INVALID_DATA, write nothing to its outputs and read nothing past the frame (ASan).
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
    return hr == static_cast<HRESULT>(0x8007000D) && cb == 0 && out == nullptr;
  };
  std::vector<Case> cases = {
      {"empty frame", Words({}), read},
      {"no room for the error word", Bytes({2, 0, 0, 0, 0, 0}), read},
      {"read: n above the request", Frame(rapi2::Writer().u32(0).u32(1).u32(8).zeros(8)), read},
      {"read: n beyond the frame", Frame(rapi2::Writer().u32(0).u32(1).u32(100).zeros(10)), read},
      {"find: S above 560", pad(rapi2::Writer().u32(0).u32(5).u32(562), 562), findFirst},
      {"find: S beyond the frame", pad(rapi2::Writer().u32(0).u32(5).u32(100), 50), findFirst},
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
                                  &size) == ERROR_INVALID_DATA &&
                size == sizeof(data);
       }},
      {"registry: key missing", Words({0, 0}),
       [] {
         HKEY k = reinterpret_cast<HKEY>(5);
         return CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"x", 0, 0, &k) == ERROR_INVALID_DATA &&
                k == reinterpret_cast<HKEY>(5);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Next(c.reply);
    SetLastError(0);
    EXPECT_TRUE(c.call());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(CeRapiGetError(), static_cast<HRESULT>(0x8007000D));
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

TEST_F(Scripted, StreamReadsGatherAcrossPacketsAndTimeOut) {
  // An echoing stream function: raw bytes both ways.
  Next(Answer{Words({0}), false, true});
  IRAPIStream* stream = nullptr;
  ASSERT_EQ(Stream(u"DevCeApplyAllData", &stream), S_OK);
  ASSERT_NE(stream, nullptr);
  const std::string sent = std::string(16, 'a') + std::string(70000, 'b');
  ULONG got = 0;
  ASSERT_EQ(stream->Write(sent.data(), 16, &got), S_OK);
  ASSERT_EQ(stream->Write(sent.data() + 16, 70000, &got), S_OK);
  EXPECT_EQ(got, 70000u);
  std::string back(sent.size(), '\0');
  ASSERT_EQ(stream->Read(back.data(), 20, &got), S_OK);
  EXPECT_EQ(got, 20u);
  ASSERT_EQ(stream->Read(back.data() + 20, static_cast<ULONG>(back.size() - 20), &got), S_OK);
  EXPECT_EQ(got, back.size() - 20);
  EXPECT_EQ(back, sent);

  // Nothing more comes: the read times out with what it had. (The first byte is awaited
  // without a time-out, so that a slow echo cannot make the count smaller.)
  ULONG w = 0;
  ASSERT_EQ(stream->Write("xyz", 3, &w), S_OK);
  char tail[8];
  ASSERT_EQ(stream->Read(tail, 1, &got), S_OK);
  ASSERT_EQ(stream->SetRapiStat(STREAM_TIMEOUT_READ, 200), S_OK);
  EXPECT_EQ(stream->Read(tail, 8, &got), static_cast<HRESULT>(0x800705B4));
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));

  // The main connection is untouched by all this.
  Next(Words({0, 1}));
  EXPECT_TRUE(CeDeleteFile(u"\\b"));
  EXPECT_EQ(stream->Release(), 0u);
  EXPECT_TRUE(dev_->WaitClosed(1, 10000)) << "Release closes the stream's connection";
}

TEST_F(Scripted, StreamReadFailsWhenTheDeviceHangsUp) {
  // The answer, then two raw bytes, then the device is gone.
  std::vector<uint8_t> bytes = Words({0});
  bytes.insert(bytes.end(), {'h', 'i'});
  Next(Answer{bytes, true});
  IRAPIStream* stream = nullptr;
  ASSERT_EQ(Stream(u"DevCeApplyAllData", &stream), S_OK);
  char buf[4] = {};
  ULONG got = 0;
  ASSERT_EQ(stream->Read(buf, 2, &got), S_OK);
  EXPECT_EQ(std::string(buf, 2), "hi");
  EXPECT_EQ(stream->Read(buf, 4, &got), static_cast<HRESULT>(0x80072746));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(WSAECONNRESET));
  ULONG written = 9;
  // Writing to a closed peer may take one write to notice; it must not raise SIGPIPE.
  HRESULT hr = S_OK;
  for (int i = 0; i < 50 && hr == S_OK; ++i) hr = stream->Write("x", 1, &written);
  EXPECT_EQ(hr, static_cast<HRESULT>(0x80072746));
  EXPECT_EQ(written, 0u);
  stream->Release();
}

}  // namespace
