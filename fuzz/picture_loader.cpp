// The picture calls on any bytes as a user's photo file: loading never crashes and never
// decodes past the pixel limits; what loads has a size, makes a thumbnail of exactly the asked
// size and saves as JPEG.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/Check.h"
#include "wincompat/gdiplus.h"

namespace {

using fuzzsupport::Check;

std::u16string PathOf(int fd) {
  const std::string p = "/proc/self/fd/" + std::to_string(fd);
  return std::u16string(p.begin(), p.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Gdiplus::GdiplusSession session;
  Check(session.status() == Gdiplus::Ok);
  const int in = memfd_create("picture", 0), out = memfd_create("saved", 0);
  Check(in >= 0 && out >= 0);
  Check(write(in, data, size) == static_cast<ssize_t>(size));

  Gdiplus::ScopedGpBitmap bitmap;
  if (GdipCreateBitmapFromFile(PathOf(in).c_str(), bitmap.Receive()) == Gdiplus::Ok) {
    UINT w = 0, h = 0;
    Check(GdipGetImageWidth(bitmap.get(), &w) == Gdiplus::Ok && w > 0);
    Check(GdipGetImageHeight(bitmap.get(), &h) == Gdiplus::Ok && h > 0);
    Check(uint64_t{w} * h <= 120'000'000);
    Gdiplus::ScopedGpImage<Gdiplus::GpImage> thumb;
    if (GdipGetImageThumbnail(bitmap.get(), 36, 48, thumb.Receive(), nullptr, nullptr) ==
        Gdiplus::Ok) {
      UINT tw = 0, th = 0;
      GdipGetImageWidth(thumb.get(), &tw);
      GdipGetImageHeight(thumb.get(), &th);
      Check(tw == 36 && th == 48);
      const CLSID jpeg = {0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
      LONG quality = 50;
      Gdiplus::EncoderParameters params{
          1, {{Gdiplus::EncoderQuality, 1, Gdiplus::EncoderParameterValueTypeLong, &quality}}};
      Check(GdipSaveImageToFile(thumb.get(), PathOf(out).c_str(), &jpeg, &params) ==
            Gdiplus::Ok);
    }
  }
  close(in);
  close(out);
  return 0;
}
