// Little-endian access to 16- and 32-bit words in byte buffers: the byte order of every
// format the phone and the component exchange. One implementation, used by the readers and
// writers of the component, the emulator and the CLI.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace le {

// On a little-endian host a word is its bytes: one load or store.
inline constexpr bool kLittleEndianHost = std::endian::native == std::endian::little;

inline uint16_t Get16(const uint8_t* p) {
  if constexpr (kLittleEndianHost) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Get32(const uint8_t* p) {
  if constexpr (kLittleEndianHost) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void Put16(uint8_t* p, uint16_t v) {
  if constexpr (kLittleEndianHost) {
    std::memcpy(p, &v, 2);
    return;
  }
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  if constexpr (kLittleEndianHost) {
    std::memcpy(p, &v, 4);
    return;
  }
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void Append32(std::vector<uint8_t>* out, uint32_t v) {
  size_t at = out->size();
  out->resize(at + 4);
  Put32(out->data() + at, v);
}
// The 32-bit word at `*offset` when four bytes remain (the offset then moves past it).
inline bool Take32(const uint8_t* data, size_t size, size_t* offset, uint32_t* v) {
  if (*offset > size || size - *offset < 4) return false;
  *v = Get32(data + *offset);
  *offset += 4;
  return true;
}
// An 8-byte IEEE double (the OLE automation date) in the hosts' own byte order, which is the
// phone's.
inline double GetDouble(const uint8_t* p) {
  double d;
  std::memcpy(&d, p, 8);
  return d;
}
inline void PutDouble(uint8_t* p, double d) { std::memcpy(p, &d, 8); }

}  // namespace le
