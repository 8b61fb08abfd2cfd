// RIFF/WAVE files of 16-bit mono PCM: the one writer the emulator's sample sounds and the
// CLI's decoded voice notes share.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace wav {

// A whole file: the 44-byte header (format 1, one channel, `rate` samples per second,
// 16 bits) and the samples, little-endian.
std::vector<uint8_t> PcmMono16(std::span<const int16_t> samples, uint32_t rate);

}  // namespace wav
