// The AMR-NB frame reader of the CLI's voice note export: any bytes are refused or split
// into frames that cover the file exactly, each as long as its frame type says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "host/AmrWav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const size_t kBytes[16] = {13, 14, 16, 18, 20, 21, 27, 32, 6, 0, 0, 0, 0, 0, 0, 1};
  std::vector<std::span<const uint8_t>> frames;
  std::string error;
  if (!qwbhost::SplitAmrFrames(std::span<const uint8_t>(data, size), &frames, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  size_t covered = 6;
  for (const auto& f : frames) {
    if (f.data() != data + covered || f.size() != kBytes[(f[0] >> 3) & 0x0F]) std::abort();
    covered += f.size();
  }
  if (covered != size) std::abort();
  return 0;
}
