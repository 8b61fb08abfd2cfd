// The emulator's request reader: a client (any program on the machine or the network) sends
// whatever bytes it likes on a RAPI2 connection. The emulator serves them on a phone image,
// in this thread and without a socket (Emulator::ServeBytes), so that a run reaches thousands
// of connections a second; beyond "no crash", everything it sends back is a sequence of
// well-formed frames, never more frames than requests, and the same emulator keeps serving
// the next connection.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "fuzz/ScratchDir.h"
#include "platform/rapi/Rapi2Wire.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
  if (!condition) std::abort();
}

fs::path g_dir;
std::unique_ptr<wmemu::Emulator> g_emu;
long g_runs = 0;

// A fresh image every so many inputs, so that what the inputs write stays bounded.
void OpenEmulator() {
  g_emu.reset();
  std::error_code ec;
  fs::remove_all(g_dir / "image", ec);
  wmemu::Emulator::CreateImage(g_dir / "image", "empty", "Aster W1");
  g_emu = wmemu::Emulator::Open(g_dir / "image");
}

// How many complete frames `data` holds from its start (at most rapi2::kMaxFrame each).
size_t Frames(const uint8_t* data, size_t size) {
  size_t frames = 0, off = 0;
  while (size - off >= 4) {
    uint32_t n;
    std::memcpy(&n, data + off, 4);
    if (n > rapi2::kMaxFrame || n > size - off - 4) break;
    off += 4 + n;
    ++frames;
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_dir = fuzzsupport::MakeScratchDir("emu");
  OpenEmulator();
  std::atexit([] {
    g_emu.reset();
    std::error_code ec;
    fs::remove_all(g_dir, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (++g_runs % 20000 == 0) OpenEmulator();
  // The bytes go into a buffer of their own size, so that ASan sees any overrun.
  std::vector<uint8_t> input(data, data + size);
  std::vector<uint8_t> out = g_emu->ServeBytes(input.data(), input.size());
  // Replies are frames; a stream function's raw bytes may follow the stream's first frame,
  // so only the frames before the first stream reply are counted.
  Check(Frames(out.data(), out.size()) <= Frames(input.data(), input.size()) + 1);
  return 0;
}
