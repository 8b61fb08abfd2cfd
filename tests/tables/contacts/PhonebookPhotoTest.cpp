// Contact photos on the PC side: the size a picture is sent at, the Image%04d / Image%04d_1
// files a received picture is kept in, and real picture files through the picture calls on
// their way to the phone (copied byte for byte, reduced, or refused without failing).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Log.h"
#include "link/DeviceRecord.h"
#include "link/DeviceRecordWM.h"
#include "tables/contacts/PhonebookMapping.h"
#include "tables/contacts/PhonebookPhoto.h"
#include "wincompat/gdiplus.h"
// After the Windows declarations: glib keeps its own TRUE and FALSE only when none exist.
#include <vips/vips8>

namespace {

namespace fs = std::filesystem;
using qwb::FieldMap;
using qwb::FieldText;
using qwb::FromUtf8;
using qwb::ToUtf8;
using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}
void WriteAll(const fs::path& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A w x h gradient picture in the format of `suffix` (".jpg", ".png", ".gif", ".webp").
Bytes Picture(int w, int h, const char* suffix) {
  vips::VImage xy = vips::VImage::xyz(w, h);
  vips::VImage rgb = (xy[0] * (255.0 / w)).bandjoin(xy[1] * (255.0 / h)).bandjoin(128);
  rgb = rgb.cast(VIPS_FORMAT_UCHAR);
  void* data = nullptr;
  size_t size = 0;
  rgb.write_to_buffer(suffix, &data, &size);
  Bytes out(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  g_free(data);
  return out;
}

void PutBE32(Bytes* v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v->push_back(static_cast<uint8_t>(x >> s));
}
void PngChunk(Bytes* png, const char* type, const Bytes& data) {
  PutBE32(png, static_cast<uint32_t>(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png->insert(png->end(), body.begin(), body.end());
  PutBE32(png, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}
// A PNG of a hundred bytes whose header claims 100,000 x 100,000 pixels.
Bytes PngBomb() {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBE32(&ihdr, 100000);
  PutBE32(&ihdr, 100000);
  ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
  PngChunk(&png, "IHDR", ihdr);
  Bytes row(1024, 0), packed(2048);
  uLongf n = packed.size();
  compress(packed.data(), &n, row.data(), row.size());
  packed.resize(n);
  PngChunk(&png, "IDAT", packed);
  PngChunk(&png, "IEND", {});
  return png;
}

struct Size {
  int w, h;
};
Size SizeOf(const Bytes& picture) {
  vips::VImage img = vips::VImage::new_from_buffer(picture.data(), picture.size(), "");
  return {img.width(), img.height()};
}

class PhonebookPhoto : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = testing::TempDir() + "photoXXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    setenv("APPDATA", root_.c_str(), 1);
    folder_ = root_ / "Tolvane" / "Orvanta" / "Photo_Phonebook_WM";
  }
  void TearDown() override { fs::remove_all(root_); }

  // The photo columns of entry `id` read from a reply carrying `picture` (or none).
  FieldMap Receive(DWORD id, const Bytes* picture) {
    std::vector<devrec::Property> props = {devrec::Property::String("FirstName", "Ann")};
    if (picture) props.push_back(devrec::Property::Binary("Picture", *picture));
    const Bytes reply = devrec::EncodeReply(id, props);
    qwb::CPropertyMap map;
    EXPECT_EQ(qwb::DecodeDeviceRecord(1, reply.data(), static_cast<DWORD>(reply.size()), &map),
              qwb::kDecodeOk);
    FieldMap fields;
    qwb::fillPictureFieldsToMap(map, id, &fields);
    return fields;
  }

  // What is sent for a contact whose PHOTO_LOCAL_PATH is `path`, and the columns after.
  Bytes Send(const std::u16string& path, FieldMap* fields) {
    qwb::PutField(*fields, u"PHOTO_TYPE", Variant::Str(u"IMAGE_PHOTO"));
    qwb::PutField(*fields, u"PHOTO", Variant::Str(u"mine.jpg"));
    qwb::PutField(*fields, u"PHOTO_LOCAL_PATH", Variant::Str(path));
    Bytes picture;
    qwb::MakePictureProperty(*fields, &picture);
    return picture;
  }
  std::u16string Put(const char* name, const Bytes& bytes) {
    WriteAll(root_ / name, bytes);
    return FromUtf8((root_ / name).string());
  }

  fs::path root_, folder_;
};

TEST(PictureSize, FitsIn108By144) {
  struct Case {
    UINT w, h, sentW, sentH;
    bool reduce;
  };
  const Case cases[] = {
      {100, 100, 100, 100, false},  {108, 144, 108, 144, false}, {1, 1, 1, 1, false},
      {109, 144, 108, 142, true},   {108, 145, 107, 144, true},  {216, 144, 108, 72, true},
      {200, 400, 72, 144, true},    {50, 300, 24, 144, true},    {4000, 3000, 108, 81, true},
      {640, 480, 108, 81, true},    {3000, 4000, 108, 144, true}, {1000, 2, 108, 0, true},
      // Heights that overflow 32 bits when multiplied by 108 are computed in full.
      {40, 100000000, 0, 144, true}, {100000000, 1, 108, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const qwb::PictureSize s = qwb::SentPictureSize(c.w, c.h);
    EXPECT_EQ(s.width, c.sentW);
    EXPECT_EQ(s.height, c.sentH);
    EXPECT_EQ(s.reduce, c.reduce);
  }
}

TEST_F(PhonebookPhoto, ReceivedPicturesAlternateBetweenTwoFiles) {
  const Bytes p1 = {1, 2, 3}, p2 = {1, 2, 4}, p3 = {1, 2, 3, 0};
  enum Start { kNone, kFirst, kSecond };
  struct Case {
    const char* what;
    Start start;           // which file holds p1 before
    const Bytes& picture;  // what arrives
    bool onSecond;         // the file used after
  };
  const Case cases[] = {
      {"first picture", kNone, p1, false},
      {"same as Image%04d", kFirst, p1, false},
      {"changed bytes move to _1", kFirst, p2, true},
      {"a longer picture moves to _1", kFirst, p3, true},
      {"same as _1", kSecond, p1, true},
      {"changed _1 moves back", kSecond, p2, false},
  };
  const DWORD id = 7;
  const fs::path first = folder_ / "Image0007.jpg", second = folder_ / "Image0007_1.jpg";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_);
    if (c.start != kNone) {
      fs::create_directories(folder_);
      WriteAll(c.start == kFirst ? first : second, p1);
    }
    FieldMap fields = Receive(id, &c.picture);
    const fs::path used = c.onSecond ? second : first, other = c.onSecond ? first : second;
    EXPECT_EQ(FieldText(fields, u"PHOTO_TYPE"), u"IMAGE_PHOTO");
    EXPECT_EQ(FieldText(fields, u"PHOTO"), u"Image0007.jpg");  // also for the _1 file
    EXPECT_EQ(ToUtf8(FieldText(fields, u"PHOTO_LOCAL_PATH")), used.string());
    EXPECT_EQ(ReadAll(used), c.picture);
    EXPECT_FALSE(fs::exists(other));
  }
}

TEST_F(PhonebookPhoto, ReceivedPictureNamesAndFailures) {
  const Bytes picture = {0xFF, 0xD8, 0xFF, 0xD9};
  // At least four digits, more when the entry id has them.
  for (auto [id, name] : {std::pair<DWORD, const char*>{7, "Image0007.jpg"},
                          {123456, "Image123456.jpg"},
                          {0, "Image0000.jpg"}}) {
    FieldMap fields = Receive(id, &picture);
    EXPECT_EQ(ToUtf8(FieldText(fields, u"PHOTO")), name);
    EXPECT_EQ(ReadAll(folder_ / name), picture);
  }
  // No picture: "NONE" and empty names; the files of the contact are left alone.
  FieldMap none = Receive(7, nullptr);
  EXPECT_EQ(FieldText(none, u"PHOTO_TYPE"), u"NONE");
  EXPECT_EQ(FieldText(none, u"PHOTO"), u"");
  EXPECT_TRUE(qwb::HasField(none, u"PHOTO_LOCAL_PATH"));
  EXPECT_TRUE(fs::exists(folder_ / "Image0007.jpg"));

  // A photo folder that cannot be made leaves the columns untouched.
  fs::remove_all(root_ / "Tolvane");
  WriteAll(root_ / "Tolvane", {1});  // a file where the folder should be
  FieldMap blocked = Receive(8, &picture);
  EXPECT_FALSE(qwb::HasField(blocked, u"PHOTO_TYPE"));
  EXPECT_FALSE(qwb::HasField(blocked, u"PHOTO_LOCAL_PATH"));
}

TEST_F(PhonebookPhoto, SmallPicturesTravelByteForByteLargeOnesAreReduced) {
  struct Case {
    int w, h;
    const char* suffix;
    bool unchanged;
    int sentW, sentH;
  };
  const Case cases[] = {
      {100, 100, ".png", true, 100, 100},  {108, 144, ".jpg", true, 108, 144},
      {40, 30, ".gif", true, 40, 30},      {16, 16, ".webp", true, 16, 16},
      {216, 144, ".jpg", false, 108, 72},  {200, 400, ".png", false, 72, 144},
      {50, 300, ".jpg", false, 24, 144},   {640, 480, ".webp", false, 108, 81},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + c.suffix);
    const Bytes file = Picture(c.w, c.h, c.suffix);
    const std::u16string path = Put((std::string("in") + c.suffix).c_str(), file);
    FieldMap fields;
    const Bytes sent = Send(path, &fields);
    ASSERT_FALSE(sent.empty());
    if (c.unchanged) {
      EXPECT_EQ(sent, file);
    } else {
      ASSERT_GE(sent.size(), 3u);
      EXPECT_EQ(sent[0], 0xFF);  // a JPEG
      EXPECT_EQ(sent[1], 0xD8);
    }
    const Size s = SizeOf(sent);
    EXPECT_EQ(s.w, c.sentW);
    EXPECT_EQ(s.h, c.sentH);
    // The item names the temporary file, which is gone once the picture is read.
    EXPECT_EQ(FieldText(fields, u"PHOTO"), u"ImageTemp.jpg");
    EXPECT_EQ(ToUtf8(FieldText(fields, u"PHOTO_LOCAL_PATH")), (folder_ / "ImageTemp.jpg").string());
    EXPECT_FALSE(fs::exists(folder_ / "ImageTemp.jpg"));
    EXPECT_EQ(ReadAll(ToUtf8(path)), file);  // the host's file is never touched
  }
}

TEST_F(PhonebookPhoto, BrokenOrMissingFilesSendNoPictureAndKeepTheColumns) {
  const Bytes jpeg = Picture(300, 200, ".jpg");
  struct Case {
    const char* what;
    std::u16string path;
  };
  const Case cases[] = {
      {"truncated JPEG", Put("half.jpg", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2))},
      {"PNG bomb", Put("bomb.png", PngBomb())},
      {"zero bytes", Put("empty.jpg", {})},
      {"not a picture", Put("notes.jpg", {'h', 'e', 'l', 'l', 'o'})},
      {"a folder", FromUtf8(root_.string())},
      {"missing file", FromUtf8((root_ / "gone.jpg").string())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FieldMap fields;
    EXPECT_TRUE(Send(c.path, &fields).empty());
    EXPECT_EQ(FieldText(fields, u"PHOTO_TYPE"), u"IMAGE_PHOTO");
    EXPECT_EQ(FieldText(fields, u"PHOTO"), u"mine.jpg");
    EXPECT_EQ(FieldText(fields, u"PHOTO_LOCAL_PATH"), c.path);
    EXPECT_FALSE(fs::exists(folder_ / "ImageTemp.jpg"));
  }
  // No path at all: the contact has no photo.
  FieldMap none;
  EXPECT_TRUE(Send(u"", &none).empty());
  EXPECT_EQ(FieldText(none, u"PHOTO_TYPE"), u"NONE");
  EXPECT_EQ(FieldText(none, u"PHOTO"), u"");
}

}  // namespace
