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
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "fuzz/Check.h"
#include "fuzz/ScratchEmulator.h"
#include "platform/rapi/Rapi2Wire.h"

namespace {

using fuzzsupport::Check;

long g_runs = 0;

fuzzsupport::ScratchEmulator& Phone() { return fuzzsupport::ScratchEmulator::Get("emu"); }

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
  Phone();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A fresh image every so many inputs, so that what the inputs write stays bounded.
  if (++g_runs % 20000 == 0) Phone().Reopen();
  // The bytes go into a buffer of their own size, so that ASan sees any overrun.
  std::vector<uint8_t> input(data, data + size);
  std::vector<uint8_t> out = Phone().emulator().ServeBytes(input.data(), input.size());
  // Replies are frames; a stream function's raw bytes may follow the stream's first frame,
  // so only the frames before the first stream reply are counted.
  Check(Frames(out.data(), out.size()) <= Frames(input.data(), input.size()) + 1);
  return 0;
}
