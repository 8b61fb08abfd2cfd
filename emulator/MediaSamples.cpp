#include "emulator/MediaSamples.h"

#include <cmath>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vips/vips8>

#include "platform/util/Wav.h"

namespace wmemu {

namespace {

std::vector<uint8_t> Pixels(int w, int h, uint32_t seed) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
  const int r0 = 40 + seed * 37 % 180, g0 = 60 + seed * 53 % 160, b0 = 90 + seed * 29 % 150;
  const double cx = w * 0.6, cy = h * 0.45, rad = std::min(w, h) * 0.3;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 3];
      double d = std::hypot(x - cx, y - cy);
      if (d < rad) {
        p[0] = 240, p[1] = static_cast<uint8_t>(200 - 120 * d / rad), p[2] = 40;
      } else {
        p[0] = static_cast<uint8_t>((r0 + x * 60 / w) % 256);
        p[1] = static_cast<uint8_t>((g0 + y * 80 / h) % 256);
        p[2] = static_cast<uint8_t>((b0 + (x + y) * 40 / (w + h)) % 256);
      }
    }
  }
  return px;
}

std::vector<uint8_t> Encode(int w, int h, uint32_t seed, const char* suffix) {
  static std::once_flag once;
  std::call_once(once, [] {
    if (VIPS_INIT("qwbdcawm-emu")) throw std::runtime_error("libvips does not start");
  });
  std::vector<uint8_t> px = Pixels(w, h, seed);
  vips::VImage img =
      vips::VImage::new_from_memory(px.data(), px.size(), w, h, 3, VIPS_FORMAT_UCHAR);
  void* buf = nullptr;
  size_t len = 0;
  img.write_to_buffer(suffix, &buf, &len);
  std::vector<uint8_t> out(static_cast<uint8_t*>(buf), static_cast<uint8_t*>(buf) + len);
  g_free(buf);
  return out;
}

}  // namespace

std::vector<uint8_t> SampleJpeg(int w, int h, uint32_t seed) { return Encode(w, h, seed, ".jpg"); }
std::vector<uint8_t> SamplePng(int w, int h, uint32_t seed) { return Encode(w, h, seed, ".png"); }

std::vector<uint8_t> SampleAmr(int frames, uint32_t seed) {
  std::string magic = "#!AMR\n";
  std::vector<uint8_t> out(magic.begin(), magic.end());
  uint32_t x = seed * 2654435761u + 1;
  for (int f = 0; f < frames; ++f) {
    out.push_back(0x3C);  // frame type 7 (12.2 kbit/s), quality bit set: 31 bytes follow
    for (int i = 0; i < 31; ++i) {
      x = x * 1103515245u + 12345u;
      out.push_back(uint8_t(x >> 16));
    }
  }
  return out;
}

std::vector<uint8_t> SampleWav(int milliseconds, int hertz) {
  const uint32_t rate = 8000, count = rate * milliseconds / 1000;
  std::vector<int16_t> samples(count);
  for (uint32_t i = 0; i < count; ++i)
    samples[i] = static_cast<int16_t>(std::sin(2 * M_PI * hertz * i / rate) * 8000);
  return wav::PcmMono16(samples, rate);
}

}  // namespace wmemu
