// Every call against a device whose reply stops early: each whole reply is cut at every
// length below its fixed fields. The call must give its own failure value, the device error
// of word 0 when that arrived (the one before otherwise), CeRapiGetError S_OK and PC last
// error 0, and the same connection must carry the next call.
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/platform/rapi/FakeDevice.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

using rapitest::Answer;
using rapitest::FakeDevice;
using rapitest::ScopedEnv;

namespace {

using Bytes = std::vector<uint8_t>;

// Little-endian words, as a reply payload (no frame length).
Bytes W(std::initializer_list<uint32_t> words) {
  Bytes b;
  for (uint32_t v : words) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  return b;
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes Zeros(size_t n) { return Bytes(n, 0); }
Bytes Fill(size_t n) { return Bytes(n, 0x11); }
// UTF-16LE units of an ASCII text, without a terminator.
Bytes Units(const char* s) {
  Bytes b;
  for (; *s; ++s) b.insert(b.end(), {static_cast<uint8_t>(*s), 0});
  return b;
}
Bytes Framed(const Bytes& payload) { return W({static_cast<uint32_t>(payload.size())}) + payload; }

enum Outcome { kSucceeded, kFailedAsDocumented, kOther };

struct Case {
  Case(const char* c, Bytes r, std::function<Outcome()> f, bool errorFirst = true)
      : call(c), reply(std::move(r)), run(std::move(f)), wordZeroIsError(errorFirst) {}
  const char* call;
  Bytes reply;  // a whole success reply with word 0 = 0
  std::function<Outcome()> run;
  bool wordZeroIsError;  // false for the power status, whose word 0 is its BOOL
};

const HANDLE kFile = reinterpret_cast<HANDLE>(0x40);
const HKEY kKey = reinterpret_cast<HKEY>(0x40);

Outcome Bool(BOOL b) { return b ? kSucceeded : kFailedAsDocumented; }
Outcome Is(bool success, bool failure) {
  return success ? kSucceeded : failure ? kFailedAsDocumented : kOther;
}
Outcome Registry(LONG r) { return Is(r == ERROR_SUCCESS, r == ERROR_GEN_FAILURE); }
Outcome Hresult(HRESULT hr) { return Is(hr == S_OK, hr == E_FAIL); }

std::vector<Case> Cases() {
  // CE_FIND_DATA of "a": the fixed 40 bytes and the name with its terminator.
  const Bytes findData = Fill(40) + Units("a") + Zeros(2);
  std::vector<Case> cases = {
      {"CeCreateFile", W({0, 0x40}),
       [] {
         HANDLE h = CeCreateFile(u"\\a", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         return Is(h == kFile, h == INVALID_HANDLE_VALUE);
       }},
      {"CeReadFile", W({0, 1, 4}) + Fill(4),
       [] {
         char buf[4] = {};
         DWORD n = 99;
         BOOL ok = CeReadFile(kFile, buf, 4, &n, nullptr);
         return Is(ok && n == 4 && buf[3] == 0x11, !ok && n == 0 && buf[0] == 0);
       }},
      {"CeWriteFile", W({0, 1, 4}),
       [] {
         DWORD n = 99;
         BOOL ok = CeWriteFile(kFile, "abcd", 4, &n, nullptr);
         return Is(ok && n == 4, !ok && n == 0);
       }},
      {"CeCloseHandle", W({0, 1}), [] { return Bool(CeCloseHandle(kFile)); }},
      {"CeGetFileTime", W({0, 1}) + Fill(24),
       [] {
         FILETIME t[3] = {};
         BOOL ok = CeGetFileTime(kFile, &t[0], &t[1], &t[2]);
         return Is(ok && t[2].dwHighDateTime == 0x11111111u, !ok && t[0].dwLowDateTime == 0);
       }},
      {"CeSetFileTime", W({0, 1}),
       [] {
         FILETIME t{1, 2};
         return Bool(CeSetFileTime(kFile, &t, nullptr, &t));
       }},
      {"CeCopyFile", W({0, 1}), [] { return Bool(CeCopyFile(u"\\a", u"\\b", TRUE)); }},
      {"CeMoveFile", W({0, 1}), [] { return Bool(CeMoveFile(u"\\a", u"\\b")); }},
      {"CeDeleteFile", W({0, 1}), [] { return Bool(CeDeleteFile(u"\\a")); }},
      {"CeCreateDirectory", W({0, 1}), [] { return Bool(CeCreateDirectory(u"\\d", nullptr)); }},
      {"CeRemoveDirectory", W({0, 1}), [] { return Bool(CeRemoveDirectory(u"\\d")); }},
      {"CeGetDiskFreeSpaceEx", W({0, 1}) + Fill(24),
       [] {
         ULARGE_INTEGER a{}, b{}, c{};
         BOOL ok = CeGetDiskFreeSpaceEx(u"\\", &a, &b, &c);
         return Is(ok && c.QuadPart == 0x1111111111111111ull, !ok && a.QuadPart == 0);
       }},
      {"CeFindFirstFile", W({0, 0x40, 44}) + findData,
       [] {
         CE_FIND_DATA d{};
         HANDLE h = CeFindFirstFile(u"\\*.*", &d);
         return Is(h == kFile && d.cFileName[0] == u'a',
                   h == INVALID_HANDLE_VALUE && d.cFileName[0] == 0);
       }},
      {"CeFindNextFile", W({0, 1, 44}) + findData,
       [] {
         CE_FIND_DATA d{};
         BOOL ok = CeFindNextFile(kFile, &d);
         return Is(ok && d.cFileName[0] == u'a', !ok && d.cFileName[0] == 0);
       }},
      {"CeFindClose", W({0, 1}), [] { return Bool(CeFindClose(kFile)); }},
      // 0xB3: nameBytes, attributes, creation time, size high, size low, name.
      {"CeFindAllFiles", W({0, 1, 1, 4, 0x20, 0, 0, 0, 7}) + Units("a") + Zeros(2),
       [] {
         DWORD count = 99;
         LPCE_FIND_DATA array = nullptr;
         BOOL ok = CeFindAllFiles(u"\\*.*", 0xB3, &count, &array);
         const bool good = ok && count == 1 && array && array[0].nFileSizeLow == 7 &&
                           array[0].cFileName[0] == u'a';
         if (array) CeRapiFreeBuffer(array);
         return Is(good, !ok && count == 0 && array == nullptr);
       }},
      {"CeGetVersionEx", W({0, 1, 276, 276, 5, 2, 1234, 3}) + Zeros(256),
       [] {
         CEOSVERSIONINFO v{};
         BOOL ok = CeGetVersionEx(&v);
         return Is(ok && v.dwMinorVersion == 2, !ok && v.dwMajorVersion == 0);
       }},
      {"CeRegOpenKeyEx", W({0, 0, 0x41}),
       [] {
         HKEY k = nullptr;
         LONG r = CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &k);
         return Is(r == 0 && k == reinterpret_cast<HKEY>(0x41), r == ERROR_GEN_FAILURE && !k);
       }},
      {"CeRegCreateKeyEx", W({0, 0, 0x41, REG_OPENED_EXISTING_KEY}),
       [] {
         HKEY k = nullptr;
         DWORD disposition = 0;
         LONG r = CeRegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, nullptr, 0, 0, nullptr, &k,
                                   &disposition);
         return Is(r == 0 && disposition == REG_OPENED_EXISTING_KEY,
                   r == ERROR_GEN_FAILURE && !k && disposition == 0);
       }},
      {"CeRegQueryValueEx", W({0, 0, REG_DWORD, 4, 7}),
       [] {
         DWORD type = 0, value = 0, size = 4;
         LONG r = CeRegQueryValueEx(kKey, u"v", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                    &size);
         return Is(r == 0 && value == 7,
                   r == ERROR_GEN_FAILURE && type == 0 && value == 0 && size == 4);
       }},
      {"CeRegSetValueEx", W({0, 0}),
       [] {
         DWORD one = 1;
         return Registry(CeRegSetValueEx(kKey, u"v", 0, REG_DWORD,
                                         reinterpret_cast<const BYTE*>(&one), 4));
       }},
      {"CeRegCloseKey", W({0, 0}), [] { return Registry(CeRegCloseKey(kKey)); }},
      {"CeRapiInvoke", W({0, 0, 4}) + Fill(4),
       [] {
         DWORD cb = 99;
         BYTE* out = nullptr;
         HRESULT hr = rapitest::Block(u"DevCeGet", {}, &cb, &out);
         const bool good = hr == S_OK && cb == 4 && out && out[0] == 0x11;
         if (out) CeRapiFreeBuffer(out);
         return Is(good, hr == E_FAIL && cb == 0 && !out);
       }},
      {"CeGetFileAttributes", W({0, 0x20}),
       [] {
         DWORD a = CeGetFileAttributes(u"\\a");
         return Is(a == 0x20, a == INVALID_FILE_ATTRIBUTES);
       }},
      {"CeGetFileSize", W({0, 5, 1, 4, 1, 2}),
       [] {
         DWORD high = 99;
         DWORD low = CeGetFileSize(kFile, &high);
         return Is(low == 5 && high == 2, low == INVALID_FILE_SIZE && high == 99);
       }},
      {"CeSetFilePointer", W({0, 5, 1}),
       [] {
         LONG high = 0;
         DWORD low = CeSetFilePointer(kFile, 5, &high, FILE_BEGIN);
         return Is(low == 5 && high == 1, low == INVALID_SET_FILE_POINTER && high == 0);
       }},
      {"CeSetEndOfFile", W({0, 1}), [] { return Bool(CeSetEndOfFile(kFile)); }},
      {"CeGetSpecialFolderPath", W({0, 2}) + Units("\\a"),
       [] {
         WCHAR buf[MAX_PATH] = {};
         DWORD n = CeGetSpecialFolderPath(CSIDL_PERSONAL, MAX_PATH, buf);
         return Is(n == 2 && buf[1] == u'a', n == 0 && buf[0] == 0);
       }},
      {"CeRegEnumKeyEx", W({0, 0, 1}) + Units("k"),
       [] {
         WCHAR name[8] = {};
         DWORD chars = 8;
         LONG r = CeRegEnumKeyEx(kKey, 0, name, &chars, nullptr, nullptr, nullptr, nullptr);
         return Is(r == 0 && name[0] == u'k', r == ERROR_GEN_FAILURE && name[0] == 0);
       }},
      {"CeRegEnumValue", W({0, 0, 1}) + Units("v") + W({REG_DWORD, 4, 7}),
       [] {
         WCHAR name[8] = {};
         DWORD chars = 8, type = 0, value = 0, size = 4;
         LONG r = CeRegEnumValue(kKey, 0, name, &chars, nullptr, &type,
                                 reinterpret_cast<BYTE*>(&value), &size);
         return Is(r == 0 && value == 7, r == ERROR_GEN_FAILURE && name[0] == 0 && value == 0);
       }},
      {"CeRegQueryInfoKey", W({0, 0, 0, 3, 9, 0, 4, 12, 64}),
       [] {
         DWORD subKeys = 0, values = 0, maxBytes = 0;
         LONG r = CeRegQueryInfoKey(kKey, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                    &values, nullptr, &maxBytes, nullptr, nullptr);
         return Is(r == 0 && subKeys == 3 && maxBytes == 64,
                   r == ERROR_GEN_FAILURE && subKeys == 0 && values == 0);
       }},
      {"CeRegDeleteKey", W({0, 0}), [] { return Registry(CeRegDeleteKey(kKey, u"k")); }},
      {"CeRegDeleteValue", W({0, 0}), [] { return Registry(CeRegDeleteValue(kKey, u"v")); }},
      {"CeGetSystemInfo", W({0, 5, 4096}) + Fill(28),
       [] {
         SYSTEM_INFO si{};
         si.dwPageSize = 77;
         CeGetSystemInfo(&si);
         return Is(si.dwPageSize == 4096, si.dwPageSize == 77);
       }},
      {"CeGetSystemPowerStatusEx", W({1}) + Bytes{1, 1, 90, 0} + Fill(20),
       [] {
         SYSTEM_POWER_STATUS_EX p{};
         p.BatteryLifePercent = 77;
         BOOL ok = CeGetSystemPowerStatusEx(&p, FALSE);
         return Is(ok && p.BatteryLifePercent == 90, !ok && p.BatteryLifePercent == 77);
       },
       false},
      {"CeGetStoreInformation", W({0, 1, 1000, 400}),
       [] {
         STORE_INFORMATION s{};
         BOOL ok = CeGetStoreInformation(&s);
         return Is(ok && s.dwFreeSize == 400, !ok && s.dwStoreSize == 0);
       }},
      {"CeCreateProcess", W({0, 1, 0x51, 0x52, 7, 8}),
       [] {
         PROCESS_INFORMATION pi{};
         BOOL ok = CeCreateProcess(u"a.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, nullptr, &pi);
         return Is(ok && pi.dwThreadId == 8, !ok && pi.hProcess == nullptr);
       }},
      // B = 4: "x" and its terminator.
      {"CeProcessConfig", W({0, 0, 4}) + Units("x") + Zeros(2),
       [] {
         LPWSTR out = nullptr;
         HRESULT hr = CeProcessConfig(u"<wap-provisioningdoc/>", 0, &out);
         const bool good = hr == S_OK && out && out[0] == u'x';
         if (out) CeRapiFreeBuffer(out);
         return Is(good, hr == E_FAIL && !out);
       }},
      {"CeSyncTimeToPc", W({0, 1}), [] { return Bool(CeSyncTimeToPc()); }},
      {"CeStartReplication", W({0, 1}), [] { return Bool(CeStartReplication()); }},
      {"CeSyncResume", W({0, 0}), [] { return Hresult(CeSyncResume()); }},
      {"CeSyncPause", W({0, 0}), [] { return Hresult(CeSyncPause()); }},
  };
  return cases;
}

// The device of the test: answers from a queue (an empty queue answers the unknown-command
// reply).
class ShortReplies : public ::testing::Test {
 protected:
  void SetUp() override {
    dev_ = std::make_unique<FakeDevice>([this](const Bytes&, int) {
      std::lock_guard lk(mu_);
      if (answers_.empty()) return Answer{Framed(W({120}))};
      Answer a{answers_.front()};
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
  void Next(const Bytes& payload) {
    std::lock_guard lk(mu_);
    answers_.push_back(Framed(payload));
  }

  std::mutex mu_;
  std::vector<Bytes> answers_;
  std::unique_ptr<FakeDevice> dev_;
  std::unique_ptr<ScopedEnv> env_;
};

TEST_F(ShortReplies, EveryCallCutBeforeItsFixedFieldsFailsAndKeepsTheConnection) {
  constexpr DWORD kBefore = 77;    // the device error the call before leaves
  constexpr DWORD kWordZero = 1234;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.call);
    // The whole reply succeeds: it holds exactly the call's fixed fields.
    Next(c.reply);
    EXPECT_EQ(c.run(), kSucceeded);
    Bytes marked = c.reply;
    if (c.wordZeroIsError) std::memcpy(marked.data(), W({kWordZero}).data(), 4);
    for (size_t cut = 0; cut < marked.size(); ++cut) {
      SCOPED_TRACE("cut at " + std::to_string(cut));
      Next(W({kBefore, 0}));
      EXPECT_FALSE(CeDeleteFile(u"\\x"));  // the call before, on the same connection
      ASSERT_EQ(CeGetLastError(), kBefore);
      Next(Bytes(marked.begin(), marked.begin() + cut));
      SetLastError(99);
      EXPECT_EQ(c.run(), kFailedAsDocumented);
      EXPECT_EQ(CeGetLastError(), c.wordZeroIsError && cut >= 4 ? kWordZero : kBefore);
      EXPECT_EQ(CeRapiGetError(), S_OK);
      EXPECT_EQ(GetLastError(), 0u);
    }
  }
  // One connection carried it all.
  EXPECT_EQ(dev_->Connections(), 1);
}

}  // namespace
