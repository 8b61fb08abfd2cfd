#include "host/AmrWav.h"

#include <cstring>
#include <memory>

#include "platform/util/Wav.h"

#ifdef QWB_HAVE_AMRNB
#include <opencore-amrnb/interf_dec.h>
#endif

namespace qwbhost {
namespace {

constexpr char kMagic[] = "#!AMR\n";
constexpr size_t kMagicSize = 6;
// Bytes after the frame header by frame type: the eight speech modes, SID, reserved, no data.
constexpr int kFrameBytes[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, -1, -1, -1, -1, -1, -1, 0};
#ifdef QWB_HAVE_AMRNB
constexpr int kSamplesPerFrame = 160;  // 20 ms at 8 kHz
constexpr uint32_t kRate = 8000;
#endif

}  // namespace

bool SplitAmrFrames(std::span<const uint8_t> file, std::vector<std::span<const uint8_t>>* frames,
                    std::string* error) {
  frames->clear();
  if (file.size() < kMagicSize || std::memcmp(file.data(), kMagic, kMagicSize) != 0) {
    *error = "not an AMR-NB file (no #!AMR header)";
    return false;
  }
  size_t at = kMagicSize;
  while (at < file.size()) {
    const int type = (file[at] >> 3) & 0x0F;
    const int bytes = kFrameBytes[type];
    if (bytes < 0) {
      *error = "reserved frame type " + std::to_string(type) + " at byte " + std::to_string(at);
      return false;
    }
    if (file.size() - at < static_cast<size_t>(bytes) + 1) {
      *error = "last frame cut short at byte " + std::to_string(at);
      return false;
    }
    frames->push_back(file.subspan(at, static_cast<size_t>(bytes) + 1));
    at += static_cast<size_t>(bytes) + 1;
  }
  return true;
}

#ifdef QWB_HAVE_AMRNB

bool HaveAmrDecoder() { return true; }

bool AmrToWav(std::span<const uint8_t> file, std::vector<uint8_t>* wav, std::string* error) {
  std::vector<std::span<const uint8_t>> frames;
  if (!SplitAmrFrames(file, &frames, error)) return false;
  struct Exit {
    void operator()(void* state) const { Decoder_Interface_exit(state); }
  };
  std::unique_ptr<void, Exit> decoder(Decoder_Interface_init());
  if (!decoder) {
    *error = "the AMR decoder does not start";
    return false;
  }
  std::vector<int16_t> samples(frames.size() * kSamplesPerFrame);
  // The decoder reads a whole frame of its largest size; give it each frame padded.
  uint8_t frame[32];
  for (size_t i = 0; i < frames.size(); ++i) {
    std::memset(frame, 0, sizeof frame);
    std::memcpy(frame, frames[i].data(), frames[i].size());
    Decoder_Interface_Decode(decoder.get(), frame, samples.data() + i * kSamplesPerFrame, 0);
  }
  *wav = wav::PcmMono16(samples, kRate);
  return true;
}

#else

bool HaveAmrDecoder() { return false; }

bool AmrToWav(std::span<const uint8_t>, std::vector<uint8_t>*, std::string* error) {
  *error = "this build has no AMR decoder (libopencore-amrnb)";
  return false;
}

#endif

}  // namespace qwbhost
