// Voice notes as WAV: AMR-NB files (the "#!AMR\n" storage format, RFC 4867 section 5)
// decoded with the opencore-amrnb decoder into 16-bit mono 8 kHz PCM WAV files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qwbhost {

// Whether this build has the decoder (libopencore-amrnb).
bool HaveAmrDecoder();

// The frames of an AMR-NB file, each with its one-byte header; false with *error set when the
// file does not start with "#!AMR\n", a frame type is reserved (9 to 14) or the last frame is
// cut short.
bool SplitAmrFrames(std::span<const uint8_t> file, std::vector<std::span<const uint8_t>>* frames,
                    std::string* error);

// The WAV file of an AMR-NB file; false with *error set for a bad file or without decoder.
bool AmrToWav(std::span<const uint8_t> file, std::vector<uint8_t>* wav, std::string* error);

}  // namespace qwbhost
