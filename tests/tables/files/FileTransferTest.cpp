// The download loop against a phone emulator on a loopback port: the PC file ends up holding
// exactly the blocks read, however the copy ends (whole, stopped by its caller, or refused by
// the PC file), for files written in one PC write and for files written in many while the
// next blocks are being read.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "emulator/DeviceFs.h"
#include "emulator/Emulator.h"
#include "gtest/gtest.h"
#include "tables/files/FileTransfer.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

namespace {

using qwb::files::CopyEnd;
namespace fs = std::filesystem;

constexpr DWORD kChunk = 4096;

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + i / 4096);
  return v;
}

std::vector<uint8_t> Contents(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FileTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("xfer-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    wmemu::Emulator::CreateImage(dir_ / "image", "empty", "Tolvane T100");
    emu_ = wmemu::Emulator::Open(dir_ / "image");
    ::setenv("QWBDCAWM_DEVICE", emu_->Listen("tcp:127.0.0.1:0").c_str(), 1);
    ASSERT_EQ(CeRapiInit(), S_OK);
  }
  void TearDown() override {
    while (CeRapiUninit() == S_OK) {
    }
    ::unsetenv("QWBDCAWM_DEVICE");
    emu_->Stop();
    emu_.reset();
    fs::remove_all(dir_);
  }
  fs::path dir_;
  std::unique_ptr<wmemu::Emulator> emu_;
};

TEST_F(FileTransfer, ThePcFileHoldsExactlyTheBlocksRead) {
  struct Case {
    const char* name;
    size_t size;
    int stopAfter;  // blocks; -1 never
    bool pcRefusesWrites;
    CopyEnd end;
  };
  const std::vector<Case> cases = {
      {"empty file", 0, -1, false, CopyEnd::kDone},
      {"less than a block", 1000, -1, false, CopyEnd::kDone},
      {"one PC write", 100 * 1024 + 7, -1, false, CopyEnd::kDone},
      {"many PC writes", 3 * 1024 * 1024 + 5, -1, false, CopyEnd::kDone},
      {"stopped in the first PC write", 3 * 1024 * 1024, 10, false, CopyEnd::kStopped},
      {"stopped after several PC writes", 3 * 1024 * 1024, 500, false, CopyEnd::kStopped},
      {"PC file refuses a small file", 1000, -1, true, CopyEnd::kWriteFailed},
      {"PC file refuses a large file", 3 * 1024 * 1024, -1, true, CopyEnd::kWriteFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> data = Pattern(c.size);
    emu_->files().PutFile(u"\\f.bin", data);
    const fs::path pcPath = dir_ / "pc.bin";
    std::ofstream(pcPath, std::ios::trunc).close();
    qwb::files::DeviceFile device(CeCreateFile(u"\\f.bin", GENERIC_READ, FILE_SHARE_READ,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(device.Valid());
    const std::u16string pcName(pcPath.u16string());
    qwb::files::PcFile pc(CreateFileW(reinterpret_cast<LPCWSTR>(pcName.c_str()),
                                      c.pcRefusesWrites ? GENERIC_READ : GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(pc.Valid());
    size_t blocks = 0, bytes = 0;
    const CopyEnd end =
        qwb::files::CopyDeviceToPc(device.Get(), pc.Get(), kChunk, [&](DWORD got) {
          ++blocks;
          bytes += got;
          return c.stopAfter < 0 || blocks < static_cast<size_t>(c.stopAfter);
        });
    const DWORD error = GetLastError();
    pc.Reset();
    EXPECT_EQ(end, c.end);
    if (c.end == CopyEnd::kWriteFailed) {
      EXPECT_NE(error, 0u);
      EXPECT_TRUE(Contents(pcPath).empty());
      continue;
    }
    const size_t expectBytes =
        c.stopAfter < 0 ? c.size : std::min(c.size, size_t(c.stopAfter) * kChunk);
    EXPECT_EQ(bytes, expectBytes);
    EXPECT_EQ(Contents(pcPath), std::vector<uint8_t>(data.begin(), data.begin() + expectBytes));
  }
}

}  // namespace
