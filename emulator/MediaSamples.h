// Small, valid media files for the demo phone: pictures (JPEG, PNG, drawn here and encoded
// with libvips) and recordings (AMR-NB voice notes and PCM WAV files).
#pragma once

#include <cstdint>
#include <vector>

namespace wmemu {

// A w x h picture of a colour gradient with a disc; seed varies the colours.
std::vector<uint8_t> SampleJpeg(int w, int h, uint32_t seed);
std::vector<uint8_t> SamplePng(int w, int h, uint32_t seed);
// An AMR-NB file ("#!AMR\n" and 12.2 kbit/s frames, 20 ms each).
std::vector<uint8_t> SampleAmr(int frames, uint32_t seed);
// A 16-bit mono 8 kHz PCM RIFF/WAVE file holding a tone.
std::vector<uint8_t> SampleWav(int milliseconds, int hertz);

}  // namespace wmemu
