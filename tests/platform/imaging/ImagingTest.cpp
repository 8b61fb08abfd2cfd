// The picture calls on real files made here: every format people keep photos in, thumbnails
// checked by size and by where the colours land, the encoder list, JPEG and PNG saves, and
// hostile files (truncated, corrupt, huge dimensions in a tiny file, empty, not a file).
// The Windows declarations come before glib's (see Gdiplus.cpp).
#include "wincompat/gdiplus.h"
#include "wincompat/winbase.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <vips/vips8>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace Gdiplus;

namespace {

std::u16string Wide(const std::string& s) {
  std::u16string w(s.size() + 1, u'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, w.data(), static_cast<int>(w.size()));
  w.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return w;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void PutBE32(std::vector<uint8_t>* v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v->push_back(static_cast<uint8_t>(x >> s));
}
void PutLE16(std::vector<uint8_t>* v, uint32_t x) {
  v->push_back(static_cast<uint8_t>(x));
  v->push_back(static_cast<uint8_t>(x >> 8));
}
void PutLE32(std::vector<uint8_t>* v, uint32_t x) {
  PutLE16(v, x & 0xFFFF);
  PutLE16(v, x >> 16);
}

void PngChunk(std::vector<uint8_t>* png, const char* type, const std::vector<uint8_t>& data) {
  PutBE32(png, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png->insert(png->end(), body.begin(), body.end());
  PutBE32(png, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// A valid PNG header claiming width x height grey pixels, with one compressed row of zeros:
// a file of about a hundred bytes.
std::vector<uint8_t> PngClaiming(uint32_t width, uint32_t height) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutBE32(&ihdr, width);
  PutBE32(&ihdr, height);
  ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
  PngChunk(&png, "IHDR", ihdr);
  std::vector<uint8_t> row(1024, 0), packed(2048);
  uLongf n = packed.size();
  compress(packed.data(), &n, row.data(), row.size());
  packed.resize(n);
  PngChunk(&png, "IDAT", packed);
  PngChunk(&png, "IEND", {});
  return png;
}

// A 24-bit bottom-up BMP, written from the file format: left half red, right half blue.
std::vector<uint8_t> Bmp24(int32_t width, int32_t height) {
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t pixels = stride * static_cast<uint32_t>(height < 0 ? -height : height);
  std::vector<uint8_t> b = {'B', 'M'};
  PutLE32(&b, 54 + pixels);
  PutLE32(&b, 0);
  PutLE32(&b, 54);
  PutLE32(&b, 40);
  PutLE32(&b, static_cast<uint32_t>(width));
  PutLE32(&b, static_cast<uint32_t>(height));
  PutLE16(&b, 1);
  PutLE16(&b, 24);
  for (int i = 0; i < 6; ++i) PutLE32(&b, 0);
  for (int y = 0; y < (height < 0 ? -height : height); ++y) {
    for (int x = 0; x < width; ++x) {
      const bool red = x < width / 2;
      b.insert(b.end(), {static_cast<uint8_t>(red ? 0 : 255), 0, static_cast<uint8_t>(red ? 255 : 0)});
    }
    b.resize(b.size() + (stride - static_cast<uint32_t>(width) * 3), 0);
  }
  return b;
}

class Imaging : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(session_.status(), Ok);
    std::string tmpl = testing::TempDir() + "imagingXXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { (void)system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // w x h, left half red and right half blue, with a little noise so that JPEG sizes differ
  // by quality; saved by libvips as `name` (the suffix picks the format).
  std::string MakePicture(const std::string& name, int w, int h, const std::string& options = "",
                          int orientation = 1, bool alpha = false) {
    const int bands = alpha ? 4 : 3;
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * bands);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * bands];
        const uint8_t noise = static_cast<uint8_t>((x * 7 + y * 13) % 17);
        const bool red = x < w / 2;
        p[0] = red ? 255 - noise : noise;
        p[1] = noise;
        p[2] = red ? noise : 255 - noise;
        if (alpha) p[3] = 0;  // fully transparent
      }
    }
    vips::VImage img = vips::VImage::new_from_memory(px.data(), px.size(), w, h, bands,
                                                     VIPS_FORMAT_UCHAR);
    img = img.copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    if (orientation != 1) img.set(VIPS_META_ORIENTATION, orientation);
    const std::string path = Path(name);
    img.write_to_file((path + options).c_str());
    return path;
  }

  Status Load(const std::string& path, ScopedGpBitmap* bmp) {
    return GdipCreateBitmapFromFile(Wide(path).c_str(), bmp->Receive());
  }

  static CLSID EncoderFor(const char16_t* mime) {
    UINT count = 0, size = 0;
    EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
    std::vector<uint8_t> buf(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buf.data());
    EXPECT_EQ(GdipGetImageEncoders(count, size, codecs), Ok);
    for (UINT i = 0; i < count; ++i)
      if (std::u16string(codecs[i].MimeType) == mime) return codecs[i].Clsid;
    ADD_FAILURE() << "no encoder";
    return {};
  }

  // Saves at the given quality and reads the file back with libvips.
  vips::VImage SaveJpeg(GpImage* img, const std::string& path, LONG quality) {
    const CLSID jpeg = EncoderFor(u"image/jpeg");
    EncoderParameters params{1, {{EncoderQuality, 1, EncoderParameterValueTypeLong, &quality}}};
    EXPECT_EQ(GdipSaveImageToFile(img, Wide(path).c_str(), &jpeg, &params), Ok);
    return vips::VImage::new_from_file(path.c_str());
  }

  GdiplusSession session_;
  std::string dir_;
};

// Mean of one band over a small box: where a colour landed.
double Mean(const vips::VImage& img, int band, int left, int top, int w, int h) {
  return img.extract_area(left, top, w, h).extract_band(band).avg();
}

TEST_F(Imaging, LoadsEveryPhotoFormatWithItsSize) {
  struct Case {
    std::string name, options;
    int w, h;
  } const cases[] = {
      {"a.jpg", "", 300, 200}, {"b.png", "", 64, 48}, {"c.gif", "", 40, 30},
      {"d.webp", "", 120, 90}, {"사진.jpg", "", 20, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = MakePicture(c.name, c.w, c.h, c.options);
    ScopedGpBitmap bmp;
    ASSERT_EQ(Load(path, &bmp), Ok);
    UINT w = 0, h = 0;
    EXPECT_EQ(GdipGetImageWidth(bmp.get(), &w), Ok);
    EXPECT_EQ(GdipGetImageHeight(bmp.get(), &h), Ok);
    EXPECT_EQ(w, static_cast<UINT>(c.w));
    EXPECT_EQ(h, static_cast<UINT>(c.h));
  }
  // BMP, written by hand, bottom-up and top-down: loaded through libvips' ImageMagick
  // loader when this libvips has one, refused as an unknown format otherwise.
  const bool bmpLoader = vips_type_find("VipsOperation", "magickload_buffer") != 0;
  for (int32_t height : {6, -6}) {
    WriteAll(Path("e.bmp"), Bmp24(10, height));
    ScopedGpBitmap bmp;
    if (!bmpLoader) {
      EXPECT_EQ(Load(Path("e.bmp"), &bmp), UnknownImageFormat);
      continue;
    }
    ASSERT_EQ(Load(Path("e.bmp"), &bmp), Ok);
    UINT w = 0, h = 0;
    GdipGetImageWidth(bmp.get(), &w);
    GdipGetImageHeight(bmp.get(), &h);
    EXPECT_EQ(w, 10u);
    EXPECT_EQ(h, 6u);
    ScopedGpImage<GpImage> thumb;
    ASSERT_EQ(GdipGetImageThumbnail(bmp.get(), 10, 6, thumb.Receive(), nullptr, nullptr), Ok);
    const vips::VImage out = SaveJpeg(thumb.get(), Path("e.jpg"), 95);
    EXPECT_GT(Mean(out, 0, 0, 0, 3, 6), 200);  // red on the left
    EXPECT_GT(Mean(out, 2, 7, 0, 3, 6), 200);  // blue on the right
  }
}

// Thumbnails have exactly the asked size, the colours stay where they were, and a picture
// with an EXIF quarter turn is shown upright (its width and height swapped).
TEST_F(Imaging, ThumbnailsToTheAskedSize) {
  struct Case {
    int w, h, orientation;
    UINT tw, th;
    UINT shownW, shownH;
  } const cases[] = {
      {216, 144, 1, 108, 72, 216, 144},   {200, 400, 1, 72, 144, 200, 400},
      {50, 300, 1, 24, 144, 50, 300},     {1600, 1200, 1, 108, 81, 1600, 1200},
      {300, 200, 6, 96, 144, 200, 300},  // stored landscape, turned a quarter clockwise
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " o" << c.orientation);
    const std::string src = MakePicture("src.jpg", c.w, c.h, "[Q=95]", c.orientation);
    ScopedGpBitmap bmp;
    ASSERT_EQ(Load(src, &bmp), Ok);
    UINT w = 0, h = 0;
    GdipGetImageWidth(bmp.get(), &w);
    GdipGetImageHeight(bmp.get(), &h);
    EXPECT_EQ(w, c.shownW);
    EXPECT_EQ(h, c.shownH);
    ScopedGpImage<GpImage> thumb;
    ASSERT_EQ(GdipGetImageThumbnail(bmp.get(), c.tw, c.th, thumb.Receive(), nullptr, nullptr),
              Ok);
    GdipGetImageWidth(thumb.get(), &w);
    GdipGetImageHeight(thumb.get(), &h);
    EXPECT_EQ(w, c.tw);
    EXPECT_EQ(h, c.th);
    const vips::VImage out = SaveJpeg(thumb.get(), Path("out.jpg"), 50);
    ASSERT_EQ(static_cast<UINT>(out.width()), c.tw);
    ASSERT_EQ(static_cast<UINT>(out.height()), c.th);
    const int q = 4;
    if (c.orientation == 1) {
      EXPECT_GT(Mean(out, 0, 0, 0, q, q), 200);                          // red left
      EXPECT_GT(Mean(out, 2, static_cast<int>(c.tw) - q, 0, q, q), 200);  // blue right
    } else {
      EXPECT_GT(Mean(out, 0, 0, 0, q, q), 200);                          // red on top
      EXPECT_GT(Mean(out, 2, 0, static_cast<int>(c.th) - q, q, q), 200);  // blue below
    }
  }
}

TEST_F(Imaging, EncodersAndSaving) {
  UINT count = 0, size = 0;
  ASSERT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  ASSERT_EQ(count, 2u);
  std::vector<uint8_t> buf(size);
  auto* codecs = reinterpret_cast<ImageCodecInfo*>(buf.data());
  EXPECT_EQ(GdipGetImageEncoders(count, size - 1, codecs), GenericError);
  ASSERT_EQ(GdipGetImageEncoders(count, size, codecs), Ok);
  // The JPEG encoder's codec id, typed from the platform's published value.
  const CLSID jpegClsid = {0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  int jpegs = 0;
  for (UINT i = 0; i < count; ++i) {
    // Every string lies inside the caller's buffer.
    for (const WCHAR* s : {codecs[i].CodecName, codecs[i].MimeType, codecs[i].FormatDescription}) {
      const auto* p = reinterpret_cast<const uint8_t*>(s);
      EXPECT_TRUE(p >= buf.data() + count * sizeof(ImageCodecInfo) && p < buf.data() + size);
    }
    if (std::u16string(codecs[i].MimeType) == u"image/jpeg") {
      ++jpegs;
      EXPECT_TRUE(codecs[i].Clsid == jpegClsid);
      EXPECT_EQ(codecs[i].SigPattern[0], 0xFF);
    }
  }
  EXPECT_EQ(jpegs, 1);

  // Quality 50 makes a smaller file than quality 95; the file is a JPEG with no metadata.
  const std::string src = MakePicture("q.png", 400, 300);
  ScopedGpBitmap bmp;
  ASSERT_EQ(Load(src, &bmp), Ok);
  SaveJpeg(bmp.get(), Path("q50.jpg"), 50);
  SaveJpeg(bmp.get(), Path("q95.jpg"), 95);
  const auto q50 = ReadAll(Path("q50.jpg")), q95 = ReadAll(Path("q95.jpg"));
  ASSERT_GT(q50.size(), 2u);
  EXPECT_EQ(q50[0], 0xFF);
  EXPECT_EQ(q50[1], 0xD8);
  EXPECT_LT(q50.size(), q95.size());

  // Transparency is flattened onto white.
  const std::string clear = MakePicture("clear.png", 20, 20, "", 1, true);
  ScopedGpBitmap bmpClear;
  ASSERT_EQ(Load(clear, &bmpClear), Ok);
  const vips::VImage flat = SaveJpeg(bmpClear.get(), Path("clear.jpg"), 90);
  EXPECT_EQ(flat.bands(), 3);
  EXPECT_GT(flat.avg(), 240);

  // Parameters the JPEG encoder refuses; a refused save leaves no file.
  LONG quality = 101;
  EncoderParameters bad{1, {{EncoderQuality, 1, EncoderParameterValueTypeLong, &quality}}};
  EXPECT_EQ(GdipSaveImageToFile(bmp.get(), Wide(Path("bad.jpg")).c_str(), &jpegClsid, &bad),
            InvalidParameter);
  quality = 50;
  bad.Parameter[0].Type = EncoderParameterValueTypeShort;
  EXPECT_EQ(GdipSaveImageToFile(bmp.get(), Wide(Path("bad.jpg")).c_str(), &jpegClsid, &bad),
            InvalidParameter);
  const CLSID unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(GdipSaveImageToFile(bmp.get(), Wide(Path("bad.jpg")).c_str(), &unknown, nullptr),
            UnknownImageFormat);
  EXPECT_NE(GdipSaveImageToFile(bmp.get(), Wide(Path("no/such/dir.jpg")).c_str(), &jpegClsid,
                                nullptr),
            Ok);
  EXPECT_NE(access(Path("bad.jpg").c_str(), F_OK), 0);
}

// Hostile and broken files fail cleanly, before any large allocation.
TEST_F(Imaging, RefusesBrokenAndHostileFiles) {
  const auto jpeg = ReadAll(MakePicture("whole.jpg", 400, 300, "[Q=90]"));
  ASSERT_GT(jpeg.size(), 1000u);

  std::vector<uint8_t> truncated(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
  // Damaged entropy-coded data is what photo viewers show with grey blocks: the decoder
  // recovers and the picture loads. A damaged Huffman table cannot be decoded at all.
  std::vector<uint8_t> scrambled = jpeg;
  for (size_t i = scrambled.size() / 3; i < scrambled.size() / 3 + 200; ++i) scrambled[i] = 0xFF;
  std::vector<uint8_t> badTable = jpeg;
  for (size_t i = 2; i + 30 < badTable.size(); ++i) {
    if (badTable[i] == 0xFF && badTable[i + 1] == 0xC4) {
      for (size_t k = i + 5; k < i + 21; ++k) badTable[k] = 0xFF;  // 16 code counts of 255
      break;
    }
  }

  // A JPEG whose frame header claims 60000 x 60000.
  std::vector<uint8_t> hugeJpeg = jpeg;
  for (size_t i = 2; i + 8 < hugeJpeg.size(); ++i) {
    if (hugeJpeg[i] == 0xFF && hugeJpeg[i + 1] == 0xC0) {
      hugeJpeg[i + 5] = 0xEA, hugeJpeg[i + 6] = 0x60, hugeJpeg[i + 7] = 0xEA, hugeJpeg[i + 8] = 0x60;
      break;
    }
  }
  std::vector<uint8_t> hugeBmp = Bmp24(4, 4);
  hugeBmp[18] = 0xA0, hugeBmp[19] = 0x86, hugeBmp[20] = 0x01;  // width 100000
  hugeBmp[22] = 0xA0, hugeBmp[23] = 0x86, hugeBmp[24] = 0x01;  // height 100000

  // A PNG whose rows break off inside the compressed data.
  const auto png = ReadAll(MakePicture("whole.png", 300, 200));
  std::vector<uint8_t> shortPng(png.begin(), png.begin() + png.size() * 2 / 3);

  const std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'/>";
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Status expected;
  } const cases[] = {
      {"empty.jpg", {}, UnknownImageFormat},
      {"truncated.jpg", truncated, GenericError},
      {"scrambled.jpg", scrambled, Ok},
      {"bad-table.jpg", badTable, GenericError},
      {"huge.jpg", hugeJpeg, ValueOverflow},
      {"bomb.png", PngClaiming(100000, 100000), ValueOverflow},
      {"short.png", shortPng, GenericError},
      {"huge.bmp", hugeBmp, ValueOverflow},
      {"drawing.jpg", std::vector<uint8_t>(svg.begin(), svg.end()), UnknownImageFormat},
      {"noise.png", std::vector<uint8_t>(3000, 0x5A), UnknownImageFormat},
      {"magic-only.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, GenericError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteAll(Path(c.name), c.bytes);
    ScopedGpBitmap bmp;
    EXPECT_EQ(Load(Path(c.name), &bmp), c.expected);
    EXPECT_EQ(static_cast<bool>(bmp), c.expected == Ok);
  }
  ScopedGpBitmap bmp;
  EXPECT_EQ(Load(Path("missing.jpg"), &bmp), FileNotFound);
  EXPECT_EQ(Load(dir_, &bmp), AccessDenied);
  EXPECT_EQ(Load("/dev/zero", &bmp), AccessDenied);
}

TEST(ImagingSession, CallsNeedAStartedPlatform) {
  UINT count = 0, size = 0;
  EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), GdiplusNotInitialized);
  ULONG_PTR outer = 0, inner = 0;
  GdiplusStartupInput input;
  input.GdiplusVersion = 2;
  EXPECT_EQ(GdiplusStartup(&outer, &input, nullptr), UnsupportedGdiplusVersion);
  input.GdiplusVersion = 1;
  ASSERT_EQ(GdiplusStartup(&outer, &input, nullptr), Ok);
  ASSERT_EQ(GdiplusStartup(&inner, &input, nullptr), Ok);
  GdiplusShutdown(inner);
  EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  GdiplusShutdown(outer);
  EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), GdiplusNotInitialized);
}

}  // namespace
