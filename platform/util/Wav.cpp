#include "platform/util/Wav.h"

#include <cstring>

#include "platform/util/LittleEndian.h"

namespace wav {

std::vector<uint8_t> PcmMono16(std::span<const int16_t> samples, uint32_t rate) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out(44 + static_cast<size_t>(dataBytes));
  uint8_t* p = out.data();
  std::memcpy(p, "RIFF", 4);
  le::Put32(p + 4, 36 + dataBytes);
  std::memcpy(p + 8, "WAVEfmt ", 8);
  le::Put32(p + 16, 16);
  le::Put16(p + 20, 1);  // PCM
  le::Put16(p + 22, 1);  // mono
  le::Put32(p + 24, rate);
  le::Put32(p + 28, rate * 2);
  le::Put16(p + 32, 2);
  le::Put16(p + 34, 16);
  std::memcpy(p + 36, "data", 4);
  le::Put32(p + 40, dataBytes);
  for (size_t i = 0; i < samples.size(); ++i)
    le::Put16(p + 44 + 2 * i, static_cast<uint16_t>(samples[i]));
  return out;
}

}  // namespace wav
