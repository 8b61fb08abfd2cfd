// The emulator's answers to the system, process, sync, registry-enumeration and file-pointer
// calls, on the wire: the failure reply of every call family read as a client of that
// family reads it, registry enumeration while entries go away, and file pointers and
// truncation on the main store and on the storage card.
#include <functional>

#include "emulator/FaultInjector.h"
#include "emulator/Text.h"
#include "tests/emulator/EmuTestUtil.h"

namespace wmemu::test {
namespace {

// A phone with a storage card in: a root folder that is a store of its own.
class SystemCalls : public EmuFixture {
 protected:
  void SetUp() override {
    EmuFixture::SetUp();
    emu_->files().PutFolder(u"\\Storage Card", 0x10 | 0x100);
  }
};

constexpr uint32_t kBad = 0x7777;     // no handle of this connection
constexpr uint32_t kFail = 0xFFFFFFFF;
constexpr uint32_t kHkcu = 0x80000001, kHklm = 0x80000002;

// How a client of each family reads word 1 (or word 0 where there is no lastErr).
enum class Family { kBool, kRegistry, kHresult, kAllOnes, kZeroCount, kVoid, kNoLastErr, kUnknown };

bool ReadsAsFailure(Family f, const std::vector<uint8_t>& p) {
  switch (f) {
    case Family::kBool:
    case Family::kZeroCount:
      return Word(p, 0) != 0 && Word(p, 1) == 0;
    case Family::kRegistry:
      return Word(p, 1) != 0 && Word(p, 1) != 0xDEADBEEF;
    case Family::kHresult:
      return static_cast<int32_t>(Word(p, 1)) < 0;
    case Family::kAllOnes:
      return Word(p, 0) != 0 && Word(p, 1) == kFail;
    case Family::kVoid:
      return p.size() == 4 && Word(p, 0) != 0;
    case Family::kNoLastErr:
      return Word(p, 0) == 0;
    case Family::kUnknown:
      return p.size() == 4 && Word(p, 0) == 120;
  }
  return false;
}

TEST_F(SystemCalls, EveryFamilyFailsAsItsClientsReadFailure) {
  auto c = Connect();
  struct Case {
    const char* what;
    Family family;
    std::function<std::vector<uint8_t>()> call;
    W expected;
    const char* fault = nullptr;  // a call with no failing argument fails by injection
  };
  const Case cases[] = {
      {"StartReplication without a partnership", Family::kBool, [&] { return c->Cmd(0x02); },
       {1168, 0}},
      {"FindClose", Family::kBool, [&] { return c->Cmd(0x13, kBad); }, {6, 0}},
      {"CloseHandle", Family::kBool, [&] { return c->Cmd(0x19, kBad); }, {6, 0}},
      {"CreateDirectory", Family::kBool, [&] { return c->Cmd(0x28, u"\\No\\x"); }, {3, 0}},
      {"RemoveDirectory", Family::kBool, [&] { return c->Cmd(0x29, u"\\nope"); }, {2, 0}},
      {"MoveFile", Family::kBool, [&] { return c->Cmd(0x2b, u"\\nope", u"\\b"); }, {2, 0}},
      {"CopyFile", Family::kBool, [&] { return c->Cmd(0x2c, u"\\nope", u"\\b", 0u); }, {2, 0}},
      {"DeleteFile", Family::kBool, [&] { return c->Cmd(0x2d, u"\\nope"); }, {2, 0}},
      {"SetFileTime", Family::kBool, [&] { return c->Cmd(0x42, kBad, 0u, 0u, 0u); }, {6, 0}},
      {"FindNextFile", Family::kBool, [&] { return c->Cmd(0x12, kBad); }, {6, 0, 0}},
      {"ReadFile", Family::kBool, [&] { return c->Cmd(0x17, kBad, 10u); }, {6, 0, 0}},
      {"WriteFile", Family::kBool, [&] { return c->Cmd(0x18, kBad, 0u); }, {6, 0, 0}},
      {"GetVersionEx", Family::kBool, [&] { return c->Cmd(0x43); }, {5, 0, 0}, "CeGetVersionEx"},
      {"GetFileTime", Family::kBool, [&] { return c->Cmd(0x41, kBad); }, {6, 0, 0, 0, 0, 0, 0, 0}},
      {"GetDiskFreeSpaceEx", Family::kBool, [&] { return c->Cmd(0x5c, u"\\nope"); },
       {3, 0, 0, 0, 0, 0, 0, 0}},
      {"CreateProcess of a missing program", Family::kBool,
       [&] { return c->Cmd(0x2a, u"nothing.exe", nullptr, 0u, 0u, 0u, 0u, 0u, 0u, 0u); },
       {2, 0, 0, 0, 0, 0}},
      {"CreateProcess of a file that is no built-in program", Family::kBool,
       [&] { return c->Cmd(0x2a, u"\\Windows\\coredll.dll", nullptr, 0u, 0u, 0u, 0u, 0u, 0u, 0u); },
       {2, 0, 0, 0, 0, 0}},
      {"GetStoreInformation", Family::kBool, [&] { return c->Cmd(0x39); }, {5, 0, 0, 0},
       "CeGetStoreInformation"},
      {"SetEndOfFile", Family::kBool, [&] { return c->Cmd(0x27, kBad); }, {6, 0, 0}},
      {"GetSystemPowerStatusEx", Family::kNoLastErr, [&] { return c->Cmd(0x49, 0u); },
       {0, 0, 0, 0, 0, 0, 0}, "CeGetSystemPowerStatusEx"},
      {"RegOpenKeyEx", Family::kRegistry, [&] { return c->Cmd(0x2f, kHklm, u"Nope"); }, {2, 2}},
      {"RegEnumKeyEx", Family::kRegistry, [&] { return c->Cmd(0x30, kBad, 0u, 64u, 0u, 0u); },
       {6, 6}},
      {"RegCreateKeyEx", Family::kRegistry, [&] { return c->Cmd(0x31, kBad, u"a", nullptr); },
       {6, 6}},
      {"RegCloseKey", Family::kRegistry, [&] { return c->Cmd(0x32, kBad); }, {6, 6}},
      {"RegDeleteKey", Family::kRegistry, [&] { return c->Cmd(0x33, kHkcu, u"Nope"); }, {2, 2}},
      {"RegEnumValue past the end", Family::kRegistry,
       [&] { return c->Cmd(0x34, kHkcu, 999u, 64u, 0u); }, {259, 259}},
      {"RegDeleteValue", Family::kRegistry, [&] { return c->Cmd(0x35, kHkcu, u"nope"); }, {2, 2}},
      {"RegQueryInfoKey", Family::kRegistry, [&] { return c->Cmd(0x36, kBad, 0u, 0u); }, {6, 6}},
      {"RegQueryValueEx", Family::kRegistry, [&] { return c->Cmd(0x37, kBad, u"v", 4u); }, {6, 6}},
      {"RegSetValueEx", Family::kRegistry, [&] { return c->Cmd(0x38, kBad, u"v", 4u, 0u); },
       {6, 6}},
      {"SyncPause", Family::kHresult, [&] { return c->Cmd(0x0f); }, {5, 0x80070005},
       "CeSyncPause"},
      {"SyncResume without a partnership", Family::kHresult, [&] { return c->Cmd(0x10); },
       {1168, 0x80070490}},
      {"SyncStart without a partnership", Family::kHresult, [&] { return c->Cmd(0x59, nullptr); },
       {1168, 0x80070490}},
      {"RapiInvoke of a missing DLL", Family::kHresult,
       [&] { return c->Invoke(u"nothing.dll", u"Fn", {}); }, {126, 0x8007007E}},
      {"ProcessConfig of a malformed document", Family::kHresult,
       [&] { return c->Cmd(0x0e, u"<wap-provisioningdoc", 1u); }, {87, 0x80070057, 0}},
      {"ProcessConfig of another provider", Family::kHresult,
       [&] {
         return c->Cmd(0x0e,
                       u"<wap-provisioningdoc><characteristic type=\"CertificateStore\">"
                       u"<characteristic-query type=\"ROOT\"/></characteristic>"
                       u"</wap-provisioningdoc>",
                       1u);
       },
       {50, 0x80070032, 0}},
      {"CreateFile", Family::kAllOnes,
       [&] { return c->CreateFile(u"\\nope\\x", 0x80000000u, 1u, 3u); }, {3, kFail}},
      {"FindFirstFile", Family::kAllOnes, [&] { return c->Cmd(0x11, u"\\nope\\*.*"); },
       {3, kFail, 0}},
      {"GetFileAttributes of a missing file", Family::kAllOnes,
       [&] { return c->Cmd(0x14, u"\\nope"); }, {2, kFail}},
      {"GetFileAttributes below a missing folder", Family::kAllOnes,
       [&] { return c->Cmd(0x14, u"\\nope\\x"); }, {3, kFail}},
      {"GetFileSize asking the high word", Family::kAllOnes,
       [&] { return c->Cmd(0x2e, kBad, 1u, 4u, 0u); }, {6, kFail, 1, 4, 1, 0}},
      {"GetFileSize", Family::kAllOnes, [&] { return c->Cmd(0x2e, kBad, 0u); }, {6, kFail, 0}},
      {"SetFilePointer with a high word", Family::kAllOnes,
       [&] { return c->Cmd(0x26, kBad, 0u, 1u, 0u, 0u); }, {6, kFail, 0}},
      {"SetFilePointer", Family::kAllOnes, [&] { return c->Cmd(0x26, kBad, 0u, 0u, 0u); },
       {6, kFail}},
      {"GetSpecialFolderPath of the desktop", Family::kZeroCount,
       [&] { return c->Cmd(0x4b, 0x10u, 260u); }, {87, 0}},
      {"GetSpecialFolderPath into a small buffer", Family::kZeroCount,
       [&] { return c->Cmd(0x4b, 5u, 13u); }, {122, 0}},
      {"FindAllFiles", Family::kZeroCount, [&] { return c->Cmd(0x1a, u"\\nope\\*.*", 0xB3u); },
       {3, 0, 0}},
      {"GetSystemInfo", Family::kVoid, [&] { return c->Cmd(0x3d, 1u, 36u, 0u); }, {5},
       "CeGetSystemInfo"},
      {"SyncTimeToPc with no usable time", Family::kBool,
       [&] { return c->Cmd(0x01, 0u, 0u, 0u, 10000u); }, {87, 0}},
      {"unknown 0x3a", Family::kUnknown, [&] { return c->Cmd(0x3a, 1u, 2u); }, {120}},
      {"unknown 0x15 (declared, never sent)", Family::kUnknown,
       [&] { return c->Cmd(0x15, u"\\a", 0u); }, {120}},
      {"unknown 0x00", Family::kUnknown, [&] { return c->Cmd(0x00); }, {120}},
  };
  for (const Case& k : cases) {
    if (k.fault) emu_->faults().FailNext(k.fault, 1, 5);
    std::vector<uint8_t> reply = k.call();
    ASSERT_TRUE(c->ok()) << k.what;
    EXPECT_EQ(Words(reply), k.expected) << k.what;
    EXPECT_TRUE(ReadsAsFailure(k.family, reply)) << k.what;
  }
  // The connection still serves.
  EXPECT_EQ(Words(c->Cmd(0x14, u"\\")), (W{0, 0x10}));
}

// Index-based enumeration while entries are deleted: every call ends, in order, at 259.
TEST_F(SystemCalls, RegistryEnumerationWithDeletionsInTheMiddle) {
  auto c = Connect();
  auto created = c->Cmd(0x31, kHkcu, u"Software\\Enum", nullptr);
  ASSERT_EQ(Word(created, 1), 0u);
  const uint32_t h = Word(created, 2);
  const char16_t* names[] = {u"a", u"B", u"c", u"d", u"e"};
  for (const char16_t* n : names) {
    rapi2::Writer w;
    w.u32(0x38).u32(h).str(n).u32(4).u32(4).u32(7);
    ASSERT_EQ(Words(c->Call(w)), (W{0, 0}));
    ASSERT_EQ(Word(c->Cmd(0x31, h, n, nullptr), 1), 0u);  // a subkey of the same name
  }
  // Values: read index 0 and 1, delete "c" (index 2) and "a" (index 0), go on from 2.
  auto name = [&](uint32_t index) {
    auto r = c->Cmd(0x34, h, index, 64u, 64u);
    if (Word(r, 1) != 0) return std::u16string(u"#") + char16_t(u'0' + Word(r, 1) % 10);
    std::u16string s;
    for (uint32_t i = 0; i < Word(r, 2); ++i) s.push_back(char16_t(r[12 + 2 * i] | r[13 + 2 * i] << 8));
    return s;
  };
  EXPECT_EQ(name(0), u"a");
  EXPECT_EQ(name(1), u"B");
  EXPECT_EQ(Words(c->Cmd(0x35, h, u"C")), (W{0, 0}));  // names match without case
  EXPECT_EQ(Words(c->Cmd(0x35, h, u"a")), (W{0, 0}));
  EXPECT_EQ(Words(c->Cmd(0x35, h, u"a")), (W{2, 2}));  // deleted once only
  EXPECT_EQ(name(0), u"B");
  EXPECT_EQ(name(1), u"d");
  EXPECT_EQ(name(2), u"e");
  EXPECT_EQ(Words(c->Cmd(0x34, h, 3u, 64u, 64u)), (W{259, 259}));

  // Keys: delete a subtree in the middle; a handle into it reports the key gone.
  ASSERT_EQ(Word(c->Cmd(0x31, h, u"c\\deep\\er", nullptr), 1), 0u);
  auto deep = c->Cmd(0x2f, h, u"c\\deep");
  ASSERT_EQ(Word(deep, 1), 0u);
  EXPECT_EQ(Words(c->Cmd(0x33, h, u"c")), (W{0, 0}));
  EXPECT_EQ(Words(c->Cmd(0x2f, h, u"c\\deep\\er")), (W{2, 2}));
  EXPECT_EQ(Words(c->Cmd(0x36, Word(deep, 2), 0u, 0u)), (W{1018, 1018}));
  std::vector<std::u16string> keys;
  for (uint32_t i = 0;; ++i) {
    auto r = c->Cmd(0x30, h, i, 64u, 0u, 0u);
    if (Word(r, 1) == 259) break;
    ASSERT_EQ(Word(r, 1), 0u);
    ASSERT_LT(i, 10u);
    std::u16string s;
    for (uint32_t j = 0; j < Word(r, 2); ++j) s.push_back(char16_t(r[12 + 2 * j] | r[13 + 2 * j] << 8));
    keys.push_back(s);
  }
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"a", u"B", u"d", u"e"}));
  // Counts and maxima after the deletions; a name that does not fit answers 234.
  EXPECT_EQ(Words(c->Cmd(0x36, h, 0u, 0u)), (W{0, 0, 0, 4, 1, 0, 3, 1, 4}));
  EXPECT_EQ(Words(c->Cmd(0x30, h, 0u, 1u, 0u, 0u)), (W{234, 234}));
  EXPECT_EQ(Words(c->Cmd(0x34, h, 0u, 2u, 2u)), (W{234, 234}));  // data larger than the buffer
  // The roots stay.
  EXPECT_EQ(Words(c->Cmd(0x33, kHkcu, u"")), (W{5, 5}));
}

// Seeks past the end, negative seeks, truncation and extension on both stores.
TEST_F(SystemCalls, FilePointerAndEndOfFileOnBothVolumes) {
  auto c = Connect();
  for (const char16_t* path : {u"\\My Documents\\seek.bin", u"\\Storage Card\\seek.bin"}) {
    SCOPED_TRACE(Utf8(path));
    auto created = c->CreateFile(path, 0xC0000000u, 0u, 2u);
    ASSERT_EQ(Word(created, 0), 0u);
    const uint32_t h = Word(created, 1);
    ASSERT_EQ(Word(c->Write(h, "0123456789"), 1), 1u);
    EXPECT_EQ(Words(c->Cmd(0x26, h, 0u, 0u, 1u)), (W{0, 10}));            // where am I
    EXPECT_EQ(Words(c->Cmd(0x26, h, uint32_t(-4), 0u, 2u)), (W{0, 6}));   // 4 before the end
    EXPECT_EQ(Words(c->Cmd(0x26, h, uint32_t(-7), 0u, 1u)), (W{131, kFail}));
    EXPECT_EQ(Words(c->Cmd(0x26, h, 0u, 0u, 3u)), (W{87, kFail}));
    // Truncate at 6: the size follows, the pointer stays.
    EXPECT_EQ(Words(c->Cmd(0x27, h)), (W{0, 1, 1}));
    EXPECT_EQ(Words(c->Cmd(0x2e, h, 0u)), (W{0, 6, 0}));
    // Past the end: the size does not move until something is written or the end is set.
    EXPECT_EQ(Words(c->Cmd(0x26, h, 100u, 0u, 0u)), (W{0, 100}));
    EXPECT_EQ(Words(c->Cmd(0x2e, h, 1u, 4u, 0u)), (W{0, 6, 1, 4, 1, 0}));
    EXPECT_EQ(Words(c->Cmd(0x27, h)), (W{0, 1, 1}));
    EXPECT_EQ(Words(c->Cmd(0x2e, h, 0u)), (W{0, 100, 0}));
    // A 64-bit seek: 4 GiB from the start, then back.
    EXPECT_EQ(Words(c->Cmd(0x26, h, 0u, 1u, 1u, 0u)), (W{0, 0, 1}));
    EXPECT_EQ(Words(c->Cmd(0x26, h, 0u, 0u, 0u)), (W{0, 0}));
    EXPECT_EQ(Words(c->Cmd(0x17, h, 12u)).size(), 6u);  // E, ok, n and 12 bytes
    auto read = c->Cmd(0x17, h, 200u);
    EXPECT_EQ(Word(read, 2), 88u);  // the rest of the 100
    EXPECT_EQ(read.back(), 0);      // the extension reads as zeros
    ASSERT_EQ(Word(c->Cmd(0x19, h), 1), 1u);
    EXPECT_EQ(Words(c->Cmd(0x14, path)), (W{0, 0x20}));
    // A read-only handle cannot set the end.
    auto ro = c->CreateFile(path, 0x80000000u, 3u, 3u);
    EXPECT_EQ(Words(c->Cmd(0x27, Word(ro, 1))), (W{5, 0, 0}));
    c->Cmd(0x19, Word(ro, 1));
  }
  // A card cannot grow past its capacity.
  emu_->files().SetCapacity(u"Storage Card", 4096);
  auto h = Word(c->CreateFile(u"\\Storage Card\\big.bin", 0xC0000000u, 0u, 2u), 1);
  EXPECT_EQ(Words(c->Cmd(0x26, h, 1u << 20, 0u, 0u)), (W{0, 1u << 20}));
  EXPECT_EQ(Words(c->Cmd(0x27, h)), (W{112, 0, 0}));
  EXPECT_EQ(Words(c->Cmd(0x2e, h, 0u)), (W{0, 0, 0}));
}

TEST_F(SystemCalls, PhoneFacts) {
  auto c = Connect();
  // Folders and the root.
  EXPECT_EQ(Words(c->Cmd(0x14, u"\\")), (W{0, 0x10}));
  EXPECT_EQ(Words(c->Cmd(0x14, u"\\windows")), (W{0, 0x14}));
  EXPECT_EQ(Words(c->Cmd(0x14, u"\\Storage Card")), (W{0, 0x110}));
  // Special folders: counted units, no terminator.
  auto personal = c->Cmd(0x4b, 5u, 520u);
  EXPECT_EQ(Word(personal, 1), 13u);
  EXPECT_EQ(personal.size(), 8u + 26u);
  for (uint32_t csidl : {0x02u, 0x05u, 0x06u, 0x07u, 0x08u, 0x0bu, 0x14u, 0x16u})
    EXPECT_EQ(Word(c->Cmd(0x4b, csidl, 260u), 0), 0u) << csidl;
  // An ARM phone; power as the control socket sets it.
  EXPECT_EQ(Words(c->Cmd(0x3d, 0u)),
            (W{0, 5, 4096, 0x10000, 0x7FFFFFFF, 1, 1, 2577, 0x10000, 4}));
  EXPECT_EQ(emu_->Control(R"({"cmd":"power","state":"low"})"), R"({"ok":true})");
  auto power = c->Cmd(0x49, 0u);
  ASSERT_EQ(power.size(), 28u);
  EXPECT_EQ(Word(power, 0), 1u);
  EXPECT_EQ(power[4], 0);   // on battery
  EXPECT_EQ(power[5], 2);   // low
  EXPECT_EQ(power[6], 12);  // percent
  EXPECT_EQ(emu_->Control(R"({"cmd":"power","ac":1,"flag":8,"percent":40})"), R"({"ok":true})");
  power = c->Cmd(0x49, 1u);
  EXPECT_EQ(power[4], 1);
  EXPECT_EQ(power[5], 8);
  EXPECT_EQ(power[6], 40);
  EXPECT_NE(emu_->Control(R"({"cmd":"power","state":"flying"})"), R"({"ok":true})");
  // Store information agrees with the free space of the main store.
  auto store = c->Cmd(0x39);
  auto disk = c->Cmd(0x5c, u"\\");
  EXPECT_EQ(Word(store, 1), 1u);
  EXPECT_EQ(Word(store, 2), Word(disk, 4));
  EXPECT_EQ(Word(store, 3), Word(disk, 6));
  // The clock: an offset kept in the image.
  const uint64_t target = 0x01D0000000000000ull;
  EXPECT_EQ(Words(c->Cmd(0x01, uint32_t(target), uint32_t(target >> 32), 0u, 10000u)), (W{0, 1}));
  const int64_t drift = static_cast<int64_t>(emu_->system().Now() - target);
  EXPECT_GE(drift, 0);
  EXPECT_LT(drift, 50000000);  // 5 s
  // Sync: pausing nothing succeeds.
  EXPECT_EQ(Words(c->Cmd(0x0f)), (W{0, 0}));
}

TEST_F(SystemCalls, ProgramsStartedAreRecordedAndTheirHandlesClose) {
  auto c = Connect();
  auto r = c->Cmd(0x2a, u"wceload.exe", u"\"\\Windows\\AppMgr\\Install\\a.cab\"", 0u, 0u, 0u, 0u,
                  0u, 0u, 0u);
  ASSERT_EQ(Word(r, 1), 1u);
  EXPECT_EQ(r.size(), 24u);
  EXPECT_NE(Word(r, 2), 0u);
  EXPECT_NE(Word(r, 4), 0u);
  EXPECT_EQ(Words(c->Cmd(0x19, Word(r, 2))), (W{0, 1}));
  EXPECT_EQ(Words(c->Cmd(0x19, Word(r, 3))), (W{0, 1}));
  EXPECT_EQ(Words(c->Cmd(0x19, Word(r, 3))), (W{6, 0}));
  // A bare name without its extension, and a path with forward slashes.
  EXPECT_EQ(Word(c->Cmd(0x2a, u"unload", u"\"Sudoku\"", 0u, 0u, 0u, 0u, 0u, 0u, 0u), 1), 1u);
  EXPECT_EQ(Word(c->Cmd(0x2a, u"/Windows/wceload.exe", nullptr, 0u, 0u, 0u, 0u, 0u, 0u, 0u), 1), 1u);
  auto starts = emu_->system().ProcessStarts();
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[1].program, u"\\Windows\\unload.exe");
  EXPECT_EQ(starts[2].program, u"\\Windows\\wceload.exe");
  EXPECT_EQ(starts[2].commandLine, u"");
  EXPECT_EQ(starts[0].program, u"\\Windows\\wceload.exe");
  EXPECT_EQ(starts[0].commandLine, u"\"\\Windows\\AppMgr\\Install\\a.cab\"");
}

TEST_F(SystemCalls, RegistryConfigurationQueries) {
  auto c = Connect();
  auto text = [](const std::vector<uint8_t>& r) {
    std::u16string s;
    for (size_t i = 12; i + 1 < r.size(); i += 2) s.push_back(char16_t(r[i] | r[i + 1] << 8));
    while (!s.empty() && s.back() == 0) s.pop_back();
    return Utf8(s);
  };
  auto whole = c->Cmd(0x0e,
                      u"<wap-provisioningdoc><characteristic type=\"Registry\">"
                      u"<characteristic-query type=\"HKLM\\Ident\"/></characteristic>"
                      u"</wap-provisioningdoc>",
                      1u);
  ASSERT_EQ(Word(whole, 1), 0u) << Word(whole, 0);
  EXPECT_EQ(Word(whole, 2), whole.size() - 12);
  std::string doc = text(whole);
  EXPECT_NE(doc.find(R"(<characteristic type="HKLM\Ident"><parm name="OrigName" value="Aster W1" datatype="string"/>)"),
            std::string::npos)
      << doc;
  auto one = c->Cmd(0x0e,
                    u"<wap-provisioningdoc><characteristic type=\"Registry\">"
                    u"<characteristic type=\"HKCU\\System\\MDS\\Setting\">"
                    u"<parm-query name=\"LockSet\"/></characteristic></characteristic>"
                    u"</wap-provisioningdoc>",
                    1u);
  ASSERT_EQ(Word(one, 1), 0u);
  EXPECT_EQ(text(one),
            R"(<wap-provisioningdoc><characteristic type="Registry"><characteristic type="HKCU\System\MDS\Setting"><parm name="LockSet" value="0" datatype="integer"/></characteristic></characteristic></wap-provisioningdoc>)");
  // A change, a missing key: refused with nothing after the HRESULT's text count.
  EXPECT_EQ(Words(c->Cmd(0x0e,
                         u"<wap-provisioningdoc><characteristic type=\"Registry\">"
                         u"<characteristic type=\"HKCU\\A\"><parm name=\"x\" value=\"1\"/>"
                         u"</characteristic></characteristic></wap-provisioningdoc>",
                         1u)),
            (W{50, 0x80070032, 0}));
  EXPECT_EQ(Words(c->Cmd(0x0e,
                         u"<wap-provisioningdoc><characteristic type=\"Registry\">"
                         u"<characteristic-query type=\"HKLM\\Nope\"/></characteristic>"
                         u"</wap-provisioningdoc>",
                         1u)),
            (W{2, 0x80070002, 0}));
}

}  // namespace
}  // namespace wmemu::test
