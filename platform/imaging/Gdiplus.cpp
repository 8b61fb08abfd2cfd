// The picture calls on libvips.
//
// A loaded bitmap keeps the file's bytes (read once, so later steps see the same picture
// even if the file changes) and decodes from them on demand; a thumbnail keeps its decoded
// pixels. Every decode goes through one loader chosen from the file's first bytes among the
// formats listed in gdiplus.h, never through libvips' own format search, so no other loader
// (documents, vector drawings, scientific formats) is ever reached from a picture file.
//
// Memory is bounded before any pixel is decoded: the file size, then the pixel count from
// the header (read by us for BMP, whose loader decodes while reading its header). Decodes run
// in sequential access, in strips, so a large JPEG or PNG never sits whole in memory; JPEG
// is shrunk while loading when the target is small. The operation cache is off, so nothing
// is kept between calls.
// The Windows declarations come before glib's, which keeps its own TRUE and FALSE only when
// none are defined yet.
#include "wincompat/gdiplus.h"
#include "wincompat/winbase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vips/vips8>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

using namespace Gdiplus;

namespace {

constexpr off_t kMaxFileBytes = off_t{128} << 20;
// JPEG and PNG decode in strips: the bound is time, not memory. GIF, WebP and BMP decode a
// whole frame at 4 bytes a pixel: 160 MB at most.
constexpr uint64_t kMaxStreamedPixels = 120'000'000;
constexpr uint64_t kMaxWholePixels = 40'000'000;
constexpr int kDefaultQuality = 75;

enum class Format { Jpeg, Png, Gif, WebP, Bmp };

struct FormatInfo {
  Format format;
  const char* loader;  // libvips operation reading it from memory
  bool streamed;
};

const FormatInfo kFormats[] = {
    {Format::Jpeg, "jpegload_buffer", true},   {Format::Png, "pngload_buffer", true},
    {Format::Gif, "gifload_buffer", false},    {Format::WebP, "webpload_buffer", false},
    {Format::Bmp, "magickload_buffer", false},
};

const FormatInfo* Sniff(const std::vector<uint8_t>& b) {
  auto starts = [&](const char* sig, size_t n, size_t at = 0) {
    return b.size() >= at + n && std::memcmp(b.data() + at, sig, n) == 0;
  };
  Format f;
  if (starts("\xFF\xD8\xFF", 3))
    f = Format::Jpeg;
  else if (starts("\x89PNG\r\n\x1A\n", 8))
    f = Format::Png;
  else if (starts("GIF87a", 6) || starts("GIF89a", 6))
    f = Format::Gif;
  else if (starts("RIFF", 4) && starts("WEBP", 4, 8))
    f = Format::WebP;
  else if (starts("BM", 2))
    f = Format::Bmp;
  else
    return nullptr;
  for (const FormatInfo& info : kFormats)
    if (info.format == f) return &info;
  return nullptr;
}

// BMP dimensions from the file's own header: the core header (12 bytes, 16-bit sizes) or any
// of the later ones (32-bit signed sizes; a negative height is a top-down picture).
bool BmpSize(const std::vector<uint8_t>& b, uint64_t* w, uint64_t* h) {
  auto u16 = [&](size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8; };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  if (b.size() < 26) return false;
  const uint32_t headerSize = u32(14);
  if (headerSize == 12) {
    *w = u16(18);
    *h = u16(20);
    return true;
  }
  if (headerSize < 40 || b.size() < 26) return false;
  const int32_t sw = static_cast<int32_t>(u32(18)), sh = static_cast<int32_t>(u32(22));
  if (sw <= 0 || sh == 0 || sh == INT32_MIN) return false;
  *w = static_cast<uint64_t>(sw);
  *h = static_cast<uint64_t>(sh < 0 ? -static_cast<int64_t>(sh) : sh);
  return true;
}

struct Image : GpBitmap {
  // A loaded file: its bytes and their format. Empty for a thumbnail.
  std::shared_ptr<const std::vector<uint8_t>> bytes;
  const FormatInfo* format = nullptr;
  int orientation = 1;  // EXIF orientation of the file, 1..8
  // A thumbnail: its pixels, in memory.
  vips::VImage pixels;
  UINT width = 0, height = 0;  // as shown: after the orientation
};

Image* Cast(GpImage* p) { return static_cast<Image*>(p); }

std::atomic<int> g_starts{0};

void DiscardVipsMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

bool StartVips() {
  static bool ok = [] {
    if (VIPS_INIT("qwbdcawm")) return false;
    vips_cache_set_max(0);
    vips_cache_set_max_mem(0);
    // The picture calls run inside the host's process: libvips' warnings about a damaged
    // picture must not reach the host's stderr. The caller learns of a failure by its Status.
    g_log_set_handler("VIPS",
                      static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                                  G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG),
                      DiscardVipsMessage, nullptr);
    return true;
  }();
  return ok;
}

std::string Utf8(const WCHAR* w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

Status ReadFileBytes(const std::string& path, std::vector<uint8_t>* out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? FileNotFound : AccessDenied;
  struct stat st;
  Status status = Ok;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    status = AccessDenied;
  } else if (st.st_size == 0) {
    status = UnknownImageFormat;
  } else if (st.st_size > kMaxFileBytes) {
    status = ValueOverflow;
  } else {
    out->resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out->size()) {
      const ssize_t n = ::read(fd, out->data() + got, out->size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    out->resize(got);  // a file that shrank meanwhile is taken as it now is
    if (got == 0) status = UnknownImageFormat;
  }
  ::close(fd);
  return status;
}

// Decodes the file's bytes with its format's loader, lazily: nothing but the header is read
// until pixels are asked for. `jpegShrink` (1, 2, 4, 8) shrinks a JPEG while decoding it.
vips::VImage Decode(const Image& img, bool sequential, int jpegShrink = 1) {
  VipsBlob* blob = vips_blob_new(nullptr, img.bytes->data(), img.bytes->size());
  vips::VImage out;
  vips::VOption* options = vips::VImage::option()
                               ->set("buffer", blob)
                               ->set("out", &out)
                               ->set("fail_on", VIPS_FAIL_ON_ERROR)
                               ->set("access", sequential ? VIPS_ACCESS_SEQUENTIAL
                                                          : VIPS_ACCESS_RANDOM);
  if (img.format->format == Format::Jpeg && jpegShrink > 1) options->set("shrink", jpegShrink);
  vips_area_unref(VIPS_AREA(blob));  // the options hold their own reference
  vips::VImage::call(img.format->loader, options);
  return out;
}

bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Turns a picture decoded as stored into the picture as shown. libvips' autorot needs
// random access, so this is done on small or in-memory pictures only.
vips::VImage Upright(const vips::VImage& in, int orientation) {
  if (orientation <= 1 || orientation > 8) return in;
  vips::VImage copy = in.copy();
  copy.set(VIPS_META_ORIENTATION, orientation);
  return copy.autorot();
}

// 8-bit sRGB with no alpha: what a JPEG holds and what a phone shows.
vips::VImage Displayable(vips::VImage in) {
  if (in.interpretation() != VIPS_INTERPRETATION_sRGB)
    in = in.colourspace(VIPS_INTERPRETATION_sRGB);
  if (in.has_alpha()) {
    const double white = in.format() == VIPS_FORMAT_USHORT ? 65535.0 : 255.0;
    in = in.flatten(vips::VImage::option()->set("background", std::vector<double>{white}));
  }
  if (in.format() != VIPS_FORMAT_UCHAR) in = in.cast(VIPS_FORMAT_UCHAR);
  return in;
}

// The largest JPEG shrink on load that still leaves at least w x h pixels.
int JpegShrinkFor(UINT storedW, UINT storedH, UINT w, UINT h) {
  int shrink = 1;
  for (int s : {2, 4, 8}) {
    if ((storedW + s - 1) / s >= w && (storedH + s - 1) / s >= h) shrink = s;
  }
  return shrink;
}

Status Fail() {
  vips_error_clear();
  return GenericError;
}

template <typename F>
Status Guarded(F&& f) {
  if (g_starts.load() <= 0) return GdiplusNotInitialized;
  try {
    return f();
  } catch (const vips::VError&) {
    return Fail();
  } catch (const std::bad_alloc&) {
    vips_error_clear();
    return OutOfMemory;
  } catch (...) {
    return Fail();
  }
}

// The encoders: JPEG and PNG, by the codec ids and format ids of the Windows picture API.
struct EncoderEntry {
  CLSID clsid;
  GUID format;
  const char16_t* name;
  const char16_t* description;
  const char16_t* extensions;
  const char16_t* mime;
  std::vector<uint8_t> signature;
};

const std::vector<EncoderEntry>& Encoders() {
  static const std::vector<EncoderEntry> encoders = {
      {{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}},
       {0xB96B3CAE, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}},
       u"libvips JPEG encoder",
       u"JPEG",
       u"*.JPG;*.JPEG;*.JPE;*.JFIF",
       u"image/jpeg",
       {0xFF, 0xD8}},
      {{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}},
       {0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}},
       u"libvips PNG encoder",
       u"PNG",
       u"*.PNG",
       u"image/png",
       {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}},
  };
  return encoders;
}

size_t WideBytes(const char16_t* s) { return (std::char_traits<char16_t>::length(s) + 1) * 2; }

size_t EncodersBytes() {
  size_t size = 0;
  for (const EncoderEntry& e : Encoders()) {
    size += sizeof(ImageCodecInfo) + WideBytes(e.name) + WideBytes(e.description) +
            WideBytes(e.extensions) + WideBytes(e.mime) + 2 * e.signature.size();
  }
  return size;
}

}  // namespace

EXTERN_C {

Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                             GdiplusStartupOutput* output) {
  if (!token || !input) return InvalidParameter;
  if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
  if (!StartVips()) {
    vips_error_clear();
    return GenericError;
  }
  if (output) *output = GdiplusStartupOutput{nullptr, nullptr};
  *token = static_cast<ULONG_PTR>(++g_starts);
  return Ok;
}

void WINAPI GdiplusShutdown(ULONG_PTR token) {
  if (token == 0) return;
  int starts = g_starts.load();
  while (starts > 0 && !g_starts.compare_exchange_weak(starts, starts - 1)) {
  }
}

GpStatus WINAPI GdipCreateBitmapFromFile(const WCHAR* filename, GpBitmap** bitmap) {
  if (!filename || !bitmap) return InvalidParameter;
  *bitmap = nullptr;
  return Guarded([&]() -> Status {
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    if (Status s = ReadFileBytes(Utf8(filename), bytes.get()); s != Ok) return s;
    const FormatInfo* format = Sniff(*bytes);
    if (!format || !vips_type_find("VipsOperation", format->loader)) return UnknownImageFormat;

    auto img = std::make_unique<Image>();
    img->bytes = std::move(bytes);
    img->format = format;
    uint64_t w = 0, h = 0;
    if (format->format == Format::Bmp && !BmpSize(*img->bytes, &w, &h)) return GenericError;
    const uint64_t limit = format->streamed ? kMaxStreamedPixels : kMaxWholePixels;
    if (w * h > limit) return ValueOverflow;

    // The header only; then the pixel count; then one decode of every pixel, in strips,
    // which refuses a truncated or corrupt picture. JPEG proves itself at an eighth of its
    // size: every coefficient is still read.
    vips::VImage header = Decode(*img, true);
    w = static_cast<uint64_t>(header.width());
    h = static_cast<uint64_t>(header.height());
    if (w == 0 || h == 0 || w * h > limit) return ValueOverflow;
    int orientation = 1;
    if (vips_image_get_typeof(header.get_image(), VIPS_META_ORIENTATION))
      orientation = header.get_int(VIPS_META_ORIENTATION);
    img->orientation = orientation;
    vips::VImage check = format->format == Format::Jpeg ? Decode(*img, true, 8) : header;
    (void)check.avg();

    img->width = static_cast<UINT>(SwapsSides(orientation) ? h : w);
    img->height = static_cast<UINT>(SwapsSides(orientation) ? w : h);
    *bitmap = img.release();
    return Ok;
  });
}

GpStatus WINAPI GdipGetImageWidth(GpImage* image, UINT* width) {
  if (!image || !width) return InvalidParameter;
  return Guarded([&] {
    *width = Cast(image)->width;
    return Ok;
  });
}

GpStatus WINAPI GdipGetImageHeight(GpImage* image, UINT* height) {
  if (!image || !height) return InvalidParameter;
  return Guarded([&] {
    *height = Cast(image)->height;
    return Ok;
  });
}

GpStatus WINAPI GdipGetImageThumbnail(GpImage* image, UINT thumbWidth, UINT thumbHeight,
                                      GpImage** thumbImage, GetThumbnailImageAbort callback,
                                      void* callbackData) {
  if (!image || !thumbImage || thumbWidth == 0 || thumbHeight == 0) return InvalidParameter;
  *thumbImage = nullptr;
  if (uint64_t{thumbWidth} * thumbHeight > kMaxWholePixels) return ValueOverflow;
  return Guarded([&]() -> Status {
    if (callback && callback(callbackData)) return Aborted;
    const Image& src = *Cast(image);
    vips::VImage out;
    if (src.bytes) {
      // Stretched to the target while still as stored, then turned upright: the stored
      // picture's sides are the target's, swapped for a quarter turn.
      const bool swap = SwapsSides(src.orientation);
      const UINT w = swap ? thumbHeight : thumbWidth, h = swap ? thumbWidth : thumbHeight;
      const UINT storedW = swap ? src.height : src.width, storedH = swap ? src.width : src.height;
      vips::VImage decoded = Decode(src, true, JpegShrinkFor(storedW, storedH, w, h));
      out = decoded.thumbnail_image(static_cast<int>(w), vips::VImage::option()
                                                             ->set("height", static_cast<int>(h))
                                                             ->set("size", VIPS_SIZE_FORCE)
                                                             ->set("no_rotate", true));
      out = Upright(Displayable(out).copy_memory(), src.orientation);
    } else {
      out = src.pixels.thumbnail_image(static_cast<int>(thumbWidth),
                                       vips::VImage::option()
                                           ->set("height", static_cast<int>(thumbHeight))
                                           ->set("size", VIPS_SIZE_FORCE)
                                           ->set("no_rotate", true));
    }
    out = out.copy_memory();
    if (static_cast<UINT>(out.width()) != thumbWidth ||
        static_cast<UINT>(out.height()) != thumbHeight)
      return GenericError;
    auto thumb = std::make_unique<Image>();
    thumb->pixels = out;
    thumb->width = thumbWidth;
    thumb->height = thumbHeight;
    *thumbImage = thumb.release();
    return Ok;
  });
}

GpStatus WINAPI GdipGetImageEncodersSize(UINT* numEncoders, UINT* size) {
  if (!numEncoders || !size) return InvalidParameter;
  return Guarded([&] {
    *numEncoders = static_cast<UINT>(Encoders().size());
    *size = static_cast<UINT>(EncodersBytes());
    return Ok;
  });
}

GpStatus WINAPI GdipGetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders) {
  if (!encoders) return InvalidParameter;
  return Guarded([&]() -> Status {
    const auto& list = Encoders();
    if (numEncoders != list.size() || size != EncodersBytes()) return GenericError;
    // The records first, then their strings and signatures, all within `size` bytes.
    auto* tail = reinterpret_cast<uint8_t*>(encoders + list.size());
    auto put = [&](const void* data, size_t n) {
      std::memcpy(tail, data, n);
      const uint8_t* at = tail;
      tail += n;
      return at;
    };
    auto putWide = [&](const char16_t* s) {
      return reinterpret_cast<const WCHAR*>(put(s, WideBytes(s)));
    };
    for (size_t i = 0; i < list.size(); ++i) {
      const EncoderEntry& e = list[i];
      ImageCodecInfo& info = encoders[i];
      info.Clsid = e.clsid;
      info.FormatID = e.format;
      info.CodecName = putWide(e.name);
      info.DllName = nullptr;
      info.FormatDescription = putWide(e.description);
      info.FilenameExtension = putWide(e.extensions);
      info.MimeType = putWide(e.mime);
      info.Flags = ImageCodecFlagsEncoder | ImageCodecFlagsDecoder | ImageCodecFlagsSupportBitmap |
                   ImageCodecFlagsBuiltin;
      info.Version = 1;
      info.SigCount = 1;
      info.SigSize = static_cast<DWORD>(e.signature.size());
      info.SigPattern = put(e.signature.data(), e.signature.size());
      const std::vector<uint8_t> mask(e.signature.size(), 0xFF);
      info.SigMask = put(mask.data(), mask.size());
    }
    return Ok;
  });
}

GpStatus WINAPI GdipSaveImageToFile(GpImage* image, const WCHAR* filename,
                                    const CLSID* clsidEncoder,
                                    const EncoderParameters* encoderParams) {
  if (!image || !filename || !clsidEncoder) return InvalidParameter;
  const auto& list = Encoders();
  const bool jpeg = *clsidEncoder == list[0].clsid, png = *clsidEncoder == list[1].clsid;
  if (!jpeg && !png) return UnknownImageFormat;
  int quality = kDefaultQuality;
  if (encoderParams) {
    for (UINT i = 0; i < encoderParams->Count; ++i) {
      const EncoderParameter& p = encoderParams->Parameter[i];
      if (p.Guid != EncoderQuality) continue;
      if (p.Type != EncoderParameterValueTypeLong || p.NumberOfValues != 1 || !p.Value)
        return InvalidParameter;
      const LONG q = *static_cast<const LONG*>(p.Value);
      if (q < 0 || q > 100) return InvalidParameter;
      quality = q;
    }
  }
  const std::string path = Utf8(filename);
  if (path.empty()) return InvalidParameter;
  const Status status = Guarded([&] {
    const Image& src = *Cast(image);
    // A whole loaded picture is decoded at once only when it has to be turned upright.
    vips::VImage pixels =
        src.bytes ? Upright(Decode(src, src.orientation <= 1), src.orientation) : src.pixels;
    pixels = Displayable(pixels);
    if (jpeg) {
      pixels.jpegsave(path.c_str(),
                      vips::VImage::option()->set("Q", quality)->set("strip", true));
    } else {
      pixels.pngsave(path.c_str(), vips::VImage::option()->set("strip", true));
    }
    return Ok;
  });
  if (status != Ok && status != GdiplusNotInitialized) ::unlink(path.c_str());
  return status;
}

GpStatus WINAPI GdipDisposeImage(GpImage* image) {
  if (!image) return InvalidParameter;
  delete Cast(image);
  return Ok;
}

}  // EXTERN_C
