// librapi against the phone emulator running in process on a loopback port: every call
// end to end, large transfers, the registry's value types, block and stream invocations,
// and each fault the emulator can inject.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "emulator/Emulator.h"
#include "gtest/gtest.h"
#include "tests/platform/rapi/FakeDevice.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

using rapitest::Block;
using rapitest::ScopedEnv;
using rapitest::Stream;

namespace {

constexpr HRESULT kHrReset = static_cast<HRESULT>(0x80072746);
constexpr HRESULT kHrNoConnection = static_cast<HRESULT>(0x800704B1);
constexpr HRESULT kHrTimeout = static_cast<HRESULT>(0x800705B4);

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 131 + i / 251) & 0xFF);
  return v;
}
uint64_t Ticks(const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

HANDLE Open(const char16_t* path, DWORD access, DWORD disposition) {
  return CeCreateFile(path, access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr);
}

// The call was answered by the device (with `deviceError`), not lost on the way.
#define EXPECT_DEVICE_ANSWERED(deviceError) \
  EXPECT_EQ(CeGetLastError(), deviceError); \
  EXPECT_EQ(CeRapiGetError(), S_OK);        \
  EXPECT_EQ(GetLastError(), 0u)
#define EXPECT_TRANSPORT(pcError, hr)                     \
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(pcError)); \
  EXPECT_EQ(CeRapiGetError(), hr)

class RapiEmulator : public ::testing::Test {
 protected:
  void SetUp() override {
    // Short: a Unix socket inside it must fit the 108 bytes of a socket address.
    dir_ = std::filesystem::path(::testing::TempDir()) / ("rapi-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    wmemu::Emulator::CreateImage(dir_, "empty", "Tolvane T100");
    emu_ = wmemu::Emulator::Open(dir_);
    env_ = std::make_unique<ScopedEnv>("QWBDCAWM_DEVICE", emu_->Listen("tcp:127.0.0.1:0"));
    ASSERT_EQ(CeRapiInit(), S_OK);
  }
  void TearDown() override {
    while (CeRapiUninit() == S_OK) {
    }
    emu_->Stop();
    emu_.reset();
    std::filesystem::remove_all(dir_);
  }

  // Writes `data` to a new device file in pieces of `chunk` bytes.
  static void PutFile(const char16_t* path, const std::vector<uint8_t>& data, DWORD chunk) {
    HANDLE h = Open(path, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << CeGetLastError();
    for (size_t done = 0; done < data.size(); done += chunk) {
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(chunk, data.size() - done));
      DWORD written = 0;
      ASSERT_TRUE(CeWriteFile(h, data.data() + done, piece, &written, nullptr));
      ASSERT_EQ(written, piece);
    }
    ASSERT_TRUE(CeCloseHandle(h));
  }
  // Reads a device file in pieces of `chunk` bytes until a read returns nothing.
  static std::vector<uint8_t> GetFile(const char16_t* path, DWORD chunk) {
    std::vector<uint8_t> all, buf(chunk);
    HANDLE h = Open(path, GENERIC_READ, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    for (DWORD got = 1; h != INVALID_HANDLE_VALUE && got;) {
      EXPECT_TRUE(CeReadFile(h, buf.data(), chunk, &got, nullptr));
      EXPECT_LE(got, chunk);
      all.insert(all.end(), buf.begin(), buf.begin() + std::min(got, chunk));
    }
    EXPECT_TRUE(h == INVALID_HANDLE_VALUE || CeCloseHandle(h));
    return all;
  }

  std::filesystem::path dir_;
  std::unique_ptr<wmemu::Emulator> emu_;
  std::unique_ptr<ScopedEnv> env_;
};

TEST_F(RapiEmulator, FilesTravelInBothChunkSizes) {
  ASSERT_TRUE(CeCreateDirectory(u"\\Test", nullptr));
  const std::vector<uint8_t> data = Pattern(3 * 102400 + 4097);
  PutFile(u"\\Test\\big.bin", data, 102400);
  EXPECT_EQ(GetFile(u"\\Test\\big.bin", 4096), data);
  PutFile(u"\\Test\\small.bin", data, 4096);
  EXPECT_EQ(GetFile(u"\\Test\\small.bin", 102400), data);
  PutFile(u"\\Test\\empty.bin", {}, 4096);
  EXPECT_TRUE(GetFile(u"\\Test\\empty.bin", 4096).empty());

  // Times set are times read back.
  HANDLE h = Open(u"\\Test\\big.bin", GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const FILETIME created{0x11111111, 0x01D00000}, written{0x22222222, 0x01D10000};
  EXPECT_TRUE(CeSetFileTime(h, &created, nullptr, &written));
  FILETIME c{}, a{}, w{};
  EXPECT_TRUE(CeGetFileTime(h, &c, &a, &w));
  EXPECT_EQ(Ticks(c), Ticks(created));
  EXPECT_EQ(Ticks(w), Ticks(written));
  EXPECT_TRUE(CeCloseHandle(h));
  EXPECT_FALSE(CeCloseHandle(h));
  EXPECT_DEVICE_ANSWERED(ERROR_INVALID_HANDLE);

  EXPECT_TRUE(CeCopyFile(u"\\Test\\big.bin", u"\\Test\\copy.bin", TRUE));
  EXPECT_TRUE(CeMoveFile(u"\\Test\\copy.bin", u"\\Test\\moved.bin"));
  EXPECT_TRUE(CeDeleteFile(u"\\Test\\small.bin"));
  EXPECT_FALSE(CeDeleteFile(u"\\Test\\small.bin"));
  EXPECT_DEVICE_ANSWERED(ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(CeCreateDirectory(u"\\Test\\Sub", nullptr));

  // The voice memo listing's selection: name, attributes, creation time, size.
  DWORD count = 0;
  CE_FIND_DATA* all = nullptr;
  ASSERT_TRUE(CeFindAllFiles(u"\\Test\\*.*", 0xB3, &count, &all));
  std::map<std::u16string, const CE_FIND_DATA*> byName;
  for (DWORD i = 0; i < count; ++i) byName[all[i].cFileName] = &all[i];
  ASSERT_EQ(byName.size(), 4u);
  ASSERT_TRUE(byName.count(u"big.bin") && byName.count(u"Sub") && byName.count(u"moved.bin"));
  EXPECT_EQ(byName[u"big.bin"]->nFileSizeLow, data.size());
  EXPECT_EQ(byName[u"big.bin"]->ftCreationTime.dwLowDateTime, created.dwLowDateTime);
  EXPECT_EQ(byName[u"big.bin"]->ftLastWriteTime.dwLowDateTime, 0u) << "not asked for";
  EXPECT_TRUE(byName[u"Sub"]->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(CeRapiFreeBuffer(all), S_OK);
  // The folder listing the device link asks for: names and attributes of folders only.
  ASSERT_TRUE(
      CeFindAllFiles(u"\\*.*", FAF_FOLDERS_ONLY | FAF_ATTRIBUTES | FAF_NAME, &count, &all));
  std::set<std::u16string> folders;
  for (DWORD i = 0; i < count; ++i) {
    folders.insert(all[i].cFileName);
    EXPECT_TRUE(all[i].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) << i;
    EXPECT_EQ(all[i].nFileSizeLow, 0u) << "not asked for";
  }
  EXPECT_EQ(folders.count(u"Test"), 1u);
  EXPECT_EQ(CeRapiFreeBuffer(all), S_OK);
  ASSERT_TRUE(CeFindAllFiles(u"\\Test\\Sub\\*.*", 0xB3, &count, &all));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(all, nullptr);

  // The find handle, walked to its end.
  CE_FIND_DATA d;
  HANDLE find = CeFindFirstFile(u"\\Test\\*.*", &d);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  std::set<std::u16string> walked = {d.cFileName};
  while (CeFindNextFile(find, &d)) walked.insert(d.cFileName);
  EXPECT_DEVICE_ANSWERED(ERROR_NO_MORE_FILES);
  EXPECT_EQ(walked, (std::set<std::u16string>{u"big.bin", u"moved.bin", u"empty.bin", u"Sub"}));
  EXPECT_TRUE(CeFindClose(find));
  EXPECT_TRUE(CeRemoveDirectory(u"\\Test\\Sub"));

  ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
  ASSERT_TRUE(CeGetDiskFreeSpaceEx(u"\\", &freeToCaller, &total, &totalFree));
  EXPECT_GT(total.QuadPart, 0u);
  EXPECT_LE(totalFree.QuadPart, total.QuadPart);
  CEOSVERSIONINFO v{};
  v.dwOSVersionInfoSize = sizeof(v);
  ASSERT_TRUE(CeGetVersionEx(&v));
  EXPECT_GE(v.dwMajorVersion * 100 + v.dwMinorVersion, 501u);
  EXPECT_EQ(v.dwPlatformId, 3u);
}

TEST_F(RapiEmulator, RegistryValuesOfEveryType) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(CeRegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\RapiTest", 0, nullptr, 0, 0, nullptr,
                             &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  const auto bytes = [](const void* p, size_t n) {
    return std::vector<uint8_t>(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
  };
  const uint32_t dword = 0x12345678;
  const struct {
    const char16_t* name;
    DWORD type;
    std::vector<uint8_t> data;
  } values[] = {
      {u"Name", REG_SZ, bytes(u"Tolvane", 16)},
      {u"Path", REG_EXPAND_SZ, bytes(u"%windir%", 18)},
      {u"Blob", REG_BINARY, {0, 1, 2, 0xFF, 0}},
      {u"Count", REG_DWORD, bytes(&dword, 4)},
      {u"Big", REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}},
      {u"List", REG_MULTI_SZ, bytes(u"a\0bc\0", 12)},
      {u"Empty", REG_BINARY, {}},
      {nullptr, REG_SZ, bytes(u"default", 16)},
  };
  for (const auto& v : values)
    ASSERT_EQ(
        CeRegSetValueEx(key, v.name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size())),
        ERROR_SUCCESS);
  EXPECT_EQ(CeRegCloseKey(key), ERROR_SUCCESS);

  ASSERT_EQ(CeRegOpenKeyEx(HKEY_CURRENT_USER, u"software\\rapitest", 0, 0, &key), ERROR_SUCCESS);
  for (const auto& v : values) {
    SCOPED_TRACE(&v - values);
    DWORD type = 99, size = 0;
    // Size first, as the component's string reads do; then the value.
    ASSERT_EQ(CeRegQueryValueEx(key, v.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, v.type);
    EXPECT_EQ(size, v.data.size());
    std::vector<uint8_t> got(v.data.size() + 8, 0xCC);
    size = static_cast<DWORD>(got.size());
    ASSERT_EQ(CeRegQueryValueEx(key, v.name, nullptr, &type, got.data(), &size), ERROR_SUCCESS);
    got.resize(size);
    EXPECT_EQ(got, v.data);
  }
  EXPECT_EQ(CeRegCloseKey(key), ERROR_SUCCESS);

  // What the device link reads for the model name.
  ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &key), ERROR_SUCCESS);
  char16_t name[128] = {};
  DWORD size = 255;
  ASSERT_EQ(
      CeRegQueryValueEx(key, u"OrigName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Tolvane T100");
  EXPECT_EQ(CeRegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"No\\Such\\Key", 0, 0, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CeRegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RapiEmulator, BlockAndStreamInvocations) {
  std::vector<uint8_t> input = Pattern(200000);
  DWORD cb = 0;
  BYTE* out = nullptr;
  ASSERT_EQ(Block(u"DevCeEcho", input, &cb, &out), S_OK);
  EXPECT_EQ(std::vector<uint8_t>(out, out + cb), input);
  EXPECT_EQ(CeRapiFreeBuffer(out), S_OK);
  EXPECT_EQ(Block(u"DevCeNoSuchFunction", {}, &cb, &out), HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
  EXPECT_DEVICE_ANSWERED(ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(out, nullptr);

  // A stream with several packets of different sizes, while the main connection keeps going.
  IRAPIStream* stream = nullptr;
  ASSERT_EQ(Stream(u"DevCeEchoStream", &stream), S_OK);
  ASSERT_NE(stream, nullptr);
  for (size_t size : {16, 1, 4096, 102400}) {
    const std::vector<uint8_t> packet = Pattern(size);
    ULONG n = 0;
    ASSERT_EQ(stream->Write(packet.data(), static_cast<ULONG>(size), &n), S_OK);
    EXPECT_EQ(n, size);
    EXPECT_TRUE(CeCreateDirectory(u"\\Between", nullptr) || CeGetLastError() == 183);
    std::vector<uint8_t> back(size);
    ASSERT_EQ(stream->Read(back.data(), static_cast<ULONG>(size), &n), S_OK);
    EXPECT_EQ(n, size);
    EXPECT_EQ(back, packet);
  }
  stream->Release();
  IRAPIStream* none = nullptr;
  EXPECT_EQ(Stream(u"DevCeNoSuchStream", &none), E_FAIL);
  EXPECT_EQ(none, nullptr);
}

// (Over TCP, InitEx is driven against a scripted device.)
TEST_F(RapiEmulator, InitExSignalsOnceTheEmulatorAnswersOnAUnixSocket) {
  while (CeRapiUninit() == S_OK) {
  }
  ScopedEnv env("QWBDCAWM_DEVICE", emu_->Listen("unix:" + (dir_ / "rapi.sock").string()));
  RAPIINIT ri{12, nullptr, S_OK};
  ASSERT_EQ(CeRapiInitEx(&ri), S_OK);
  ASSERT_EQ(WaitForSingleObject(ri.heRapiInit, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(ri.hrRapiInit, S_OK);
  EXPECT_TRUE(CeCreateDirectory(u"\\ViaUnix", nullptr));
}

TEST_F(RapiEmulator, InjectedDeviceFailures) {
  PutFile(u"\\f.bin", Pattern(100), 100);
  HANDLE h = Open(u"\\f.bin", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  emu_->faults().FailNext("CeReadFile", 2, ERROR_ACCESS_DENIED);
  uint8_t buf[64];
  DWORD got = 9;
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(CeReadFile(h, buf, sizeof(buf), &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_DEVICE_ANSWERED(ERROR_ACCESS_DENIED);
  }
  EXPECT_TRUE(CeReadFile(h, buf, sizeof(buf), &got, nullptr));
  EXPECT_EQ(got, sizeof(buf));
  EXPECT_DEVICE_ANSWERED(0u);
  CeCloseHandle(h);

  emu_->faults().FailNext("CeRegOpenKeyEx", 1, ERROR_ACCESS_DENIED);
  HKEY key = nullptr;
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &key), ERROR_ACCESS_DENIED);
  EXPECT_DEVICE_ANSWERED(ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);

  // A DevCe function failing with an HRESULT, and with a device error.
  DWORD cb = 9;
  BYTE* out = nullptr;
  const std::vector<uint8_t> in = {1, 2, 3, 4};
  emu_->faults().FailNextHr("DevCeEcho", 1, static_cast<int32_t>(0x80004005));
  EXPECT_EQ(Block(u"DevCeEcho", in, &cb, &out), E_FAIL);
  EXPECT_EQ(cb, 0u);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CeRapiGetError(), S_OK);
  EXPECT_EQ(GetLastError(), 0u);
  emu_->faults().FailNext("DevCeEcho", 1, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Block(u"DevCeEcho", in, &cb, &out), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_DEVICE_ANSWERED(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Block(u"DevCeEcho", in, &cb, &out), S_OK);
  EXPECT_EQ(cb, 4u);
  LocalFree(out);
}

// (A call dropped unanswered on the main connection is driven against a scripted device.)
TEST_F(RapiEmulator, DroppedConnectionsEndTheSessionUntilReinit) {
  // Dropped part-way through a reply.
  PutFile(u"\\f.bin", Pattern(102400), 102400);
  HANDLE h = Open(u"\\f.bin", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  emu_->faults().DropAfterBytes(5000);
  std::vector<uint8_t> buf(102400);
  DWORD got = 7;
  EXPECT_FALSE(CeReadFile(h, buf.data(), 102400, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_TRANSPORT(WSAECONNRESET, kHrReset);
  EXPECT_FALSE(CeCreateDirectory(u"\\y", nullptr));
  EXPECT_TRANSPORT(ERROR_CONNECTION_UNAVAIL, kHrNoConnection);

  // Dropped while opening a stream: the stream fails, the main connection is its own.
  ASSERT_EQ(CeRapiInit(), S_OK);
  emu_->faults().DropOnCall(1, "DevCeEchoStream");
  IRAPIStream* stream = nullptr;
  EXPECT_EQ(Stream(u"DevCeEchoStream", &stream), kHrReset);
  EXPECT_EQ(stream, nullptr);
  EXPECT_TRANSPORT(WSAECONNRESET, kHrReset);
  EXPECT_TRUE(CeCreateDirectory(u"\\StillThere", nullptr));
}

TEST_F(RapiEmulator, UnpluggedPhone) {
  IRAPIStream* stream = nullptr;
  ASSERT_EQ(Stream(u"DevCeEchoStream", &stream), S_OK);
  emu_->faults().Unplug();
  EXPECT_FALSE(CeDeleteFile(u"\\x"));
  EXPECT_TRANSPORT(WSAECONNRESET, kHrReset);
  // Writing to a closed peer may take a few writes to notice; it must not raise SIGPIPE.
  ULONG n = 9;
  HRESULT hr = S_OK;
  for (int i = 0; i < 50 && hr == S_OK; ++i) hr = stream->Write("x", 1, &n);
  EXPECT_EQ(hr, kHrReset);
  EXPECT_EQ(n, 0u);
  stream->Release();

  // No new connection either, until the phone is back.
  EXPECT_EQ(CeRapiInit(), kHrNoConnection);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONNECTION_UNAVAIL));
  emu_->faults().Replug();
  EXPECT_EQ(CeRapiInit(), S_OK);
  EXPECT_TRUE(CeCreateDirectory(u"\\Back", nullptr));
}

TEST_F(RapiEmulator, SlowRepliesTimeOut) {
  // Delayed well past the time-out, which leaves a busy machine ample time for other calls.
  ScopedEnv timeout("QWBDCAWM_RAPI_TIMEOUT_MS", "1000");
  ASSERT_EQ(CeRapiUninit(), S_OK);
  ASSERT_EQ(CeRapiInit(), S_OK);  // takes the new time-out
  emu_->faults().Delay(3000, "CeCreateDirectory");
  EXPECT_FALSE(CeCreateDirectory(u"\\Slow", nullptr));
  EXPECT_TRANSPORT(ERROR_TIMEOUT, kHrTimeout);
  EXPECT_FALSE(CeDeleteFile(u"\\x"));
  EXPECT_TRANSPORT(ERROR_CONNECTION_UNAVAIL, kHrNoConnection);
  emu_->faults().Clear();
}

TEST_F(RapiEmulator, ConcurrentCallersEachGetTheirOwnReply) {
  // Interleaved frames on the one connection would hand replies to the wrong caller.
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &mismatches] {
      for (int i = 0; i < 40; ++i) {
        std::vector<uint8_t> in(1000 + 997 * t + i, static_cast<uint8_t>(t * 40 + i));
        DWORD cb = 0;
        BYTE* out = nullptr;
        HRESULT hr = Block(u"DevCeEcho", in, &cb, &out);
        mismatches[t] += hr != S_OK || std::vector<uint8_t>(out, out + cb) != in ||
                         CeRapiGetError() != S_OK || GetLastError() != 0;
        CeRapiFreeBuffer(out);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
