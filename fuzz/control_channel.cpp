// Fuzzes the connection manager's control channel readers: any bytes, as a device
// information payload and as a stream the manager or the phone reads message by message in
// any state and in pieces of any size, must be read without touching memory outside them;
// the reader never holds more than what arrived; whatever reads as device information reads
// back the same after being written again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/Check.h"
#include "link/ControlChannel.h"

namespace {

using fuzzsupport::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  ctlwire::DeviceInfo info;
  std::string error;
  if (ctlwire::ParseDeviceInfo(bytes.data(), bytes.size(), &info, &error)) {
    std::vector<uint8_t> again = ctlwire::DeviceInfoMessage(info);
    Check(again.size() >= 8);
    ctlwire::DeviceInfo back;
    Check(ctlwire::ParseDeviceInfo(again.data() + 8, again.size() - 8, &back, &error));
    Check(back.name == info.name && back.model == info.model && back.platform == info.platform &&
          back.passwordKey == info.passwordKey && back.guid == info.guid);
  } else {
    Check(!error.empty());
  }
  // The first byte picks what each reader is asked for; the rest arrives in small pieces.
  if (size == 0) return 0;
  ctlwire::Reader rd;
  const uint8_t plan = bytes[0];
  size_t at = 1;
  while (at < size) {
    size_t n = std::min<size_t>(size - at, 1 + (bytes[at] % 13));
    std::vector<uint8_t> piece(bytes.begin() + static_cast<long>(at),
                               bytes.begin() + static_cast<long>(at + n));
    if (!rd.Feed(piece.data(), piece.size())) break;
    at += n;
    Check(rd.pending() <= ctlwire::kMaxInfoBytes + 16 && rd.pending() < at);
    for (int step = 0; step < 8; ++step) {
      ctlwire::Reader::Result r;
      uint32_t w;
      uint16_t h;
      std::u16string pw;
      switch ((plan >> (step % 4) * 2) & 3) {
        case 0:
          r = rd.TakeWord(&w);
          break;
        case 1:
          r = rd.TakeDeviceInfo(&info, &error);
          break;
        case 2:
          r = rd.TakePassword(plan, &pw);
          if (r == ctlwire::Reader::kOk) Check(pw.size() * 2 <= at);
          break;
        default:
          r = rd.TakeSessionRequestRest(&w);
          if (r == ctlwire::Reader::kBad) r = rd.TakeHalf(&h);
          break;
      }
      if (r != ctlwire::Reader::kOk) break;
    }
  }
  return 0;
}
