// Fuzzes the control channel readers: any bytes, as a device information payload and as a
// stream the manager or the phone reads message by message in any state, must be read
// without touching memory outside them; whatever reads as device information must read back
// the same after being written again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/ControlChannel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ctlwire::DeviceInfo info;
  std::string error;
  if (ctlwire::ParseDeviceInfo(data, size, &info, &error)) {
    std::vector<uint8_t> again = ctlwire::DeviceInfoMessage(info);
    ctlwire::DeviceInfo back;
    if (!ctlwire::ParseDeviceInfo(again.data() + 8, again.size() - 8, &back, &error)) std::abort();
    if (back.name != info.name || back.model != info.model || back.platform != info.platform ||
        back.passwordKey != info.passwordKey || back.guid != info.guid)
      std::abort();
  }
  // The first byte picks what each reader is asked for; the rest arrives in small pieces.
  if (size == 0) return 0;
  ctlwire::Reader rd;
  uint8_t plan = data[0];
  size_t at = 1;
  while (at < size) {
    size_t n = std::min<size_t>(size - at, 1 + (data[at] % 13));
    if (!rd.Feed(data + at, n)) break;
    at += n;
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
