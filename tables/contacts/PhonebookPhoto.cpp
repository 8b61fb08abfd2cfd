#include "tables/contacts/PhonebookPhoto.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "core/Log.h"
#include "link/DeviceRecordWM.h"
#include "tables/contacts/PhonebookMapping.h"
#include "wincompat/gdiplus.h"
#include "wincompat/winbase.h"

namespace qwb {
namespace {

constexpr DWORD kAppDataChars = 4096;
constexpr char16_t kPhotoSubPath[] = u"/Tolvane/Orvanta/Photo_Phonebook_WM";
constexpr char16_t kTempName[] = u"ImageTemp.jpg";
constexpr DWORD kReadPiece = 4096;
// A picture is one property of one stream packet; one that could not travel in it is not
// sent rather than failing the contact.
constexpr size_t kMaxPictureBytes = size_t{8} << 20;
constexpr LONG kJpegQuality = 50;

// A local file handle closed when it goes out of scope.
using FileHandle = std::unique_ptr<void, BOOL (*)(HANDLE)>;
FileHandle Hold(HANDLE h) { return FileHandle(h == INVALID_HANDLE_VALUE ? nullptr : h, CloseHandle); }

HRESULT LastErrorHr() {
  const auto e = static_cast<LONG>(GetLastError());
  return e <= 0 ? static_cast<HRESULT>(e)
                : static_cast<HRESULT>(0x80070000u | (static_cast<ULONG>(e) & 0xFFFFu));
}

std::u16string ImageName(DWORD entryId, bool second) {
  char name[32];
  std::snprintf(name, sizeof name, second ? "Image%04u_1.jpg" : "Image%04u.jpg",
                static_cast<unsigned>(entryId));
  return FromUtf8(name);
}

bool FileExists(const std::u16string& path) {
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(path.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return true;
}

void MarkNoPhoto(FieldMap& f) {
  PutField(f, u"PHOTO_TYPE", Variant::Str(u"NONE"));
  PutField(f, u"PHOTO", Variant::Str(u""));
  PutField(f, u"PHOTO_LOCAL_PATH", Variant::Str(u""));
}

// Whether the file at `path` holds exactly `bytes`. An unreadable file counts as the same:
// the file the host already has stays in use.
bool SameBytes(const std::u16string& path, const uint8_t* bytes, size_t length) {
  FileHandle file = Hold(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return true;
  DWORD high = 0;
  const DWORD low = GetFileSize(file.get(), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != 0) return true;
  if (((uint64_t{high} << 32) | low) != length) return false;
  std::vector<uint8_t> piece(64 * 1024);
  size_t at = 0;
  while (at < length) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min(piece.size(), length - at));
    if (!ReadFile(file.get(), piece.data(), want, &got, nullptr) || got != want) return false;
    if (std::memcmp(piece.data(), bytes + at, want) != 0) return false;
    at += want;
  }
  return true;
}

// The installed encoder of that MIME type, as the picture platform lists them.
bool EncoderClsid(const char16_t* mime, CLSID* clsid) {
  UINT count = 0, size = 0;
  if (GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::vector<uint64_t> storage((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(storage.data());
  if (GdipGetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && std::u16string_view(codecs[i].MimeType) == mime) {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

// Puts the picture file `source` at `temp`: copied unchanged when it fits, otherwise reduced
// and saved as JPEG. True when `temp` was written.
bool PreparePicture(const char* method, const std::u16string& source, const std::u16string& temp) {
  Gdiplus::GdiplusSession session;
  if (session.status() != Gdiplus::Ok) return false;
  Gdiplus::ScopedGpBitmap bitmap;
  if (GdipCreateBitmapFromFile(source.c_str(), bitmap.Receive()) != Gdiplus::Ok) return false;
  UINT w = 0, h = 0;
  if (GdipGetImageWidth(bitmap.get(), &w) != Gdiplus::Ok ||
      GdipGetImageHeight(bitmap.get(), &h) != Gdiplus::Ok)
    return false;
  const PictureSize size = SentPictureSize(w, h);
  if (!size.reduce) {
    const BOOL copied = CopyFileW(source.c_str(), temp.c_str(), FALSE);
    WMDebug("[%s]WM>> CopyJPG : %s to %s is %d", method, ToUtf8(source).c_str(),
            ToUtf8(temp).c_str(), copied);
    return copied != FALSE;
  }
  Gdiplus::ScopedGpImage<Gdiplus::GpImage> thumb;
  bool saved = false;
  CLSID jpeg;
  if (GdipGetImageThumbnail(bitmap.get(), size.width, size.height, thumb.Receive(), nullptr,
                            nullptr) == Gdiplus::Ok &&
      EncoderClsid(u"image/jpeg", &jpeg)) {
    LONG quality = kJpegQuality;
    Gdiplus::EncoderParameters params{
        1, {{Gdiplus::EncoderQuality, 1, Gdiplus::EncoderParameterValueTypeLong, &quality}}};
    saved = GdipSaveImageToFile(thumb.get(), temp.c_str(), &jpeg, &params) == Gdiplus::Ok;
  }
  WMDebug("[%s]WM>> SaveJPG : %s is %d", method, ToUtf8(temp).c_str(), saved ? 1 : 0);
  return saved;
}

// The whole temporary file, read in pieces into a buffer that grows by a piece at a time.
std::vector<uint8_t> ReadPicture(const std::u16string& path) {
  std::vector<uint8_t> bytes;
  FileHandle file = Hold(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return bytes;
  size_t total = 0;
  for (;;) {
    if (total + kReadPiece > kMaxPictureBytes + kReadPiece) return {};
    bytes.resize(total + kReadPiece);
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + total, kReadPiece, &got, nullptr)) got = 0;
    total += got;
    if (got < kReadPiece) break;
  }
  bytes.resize(total);
  if (total > kMaxPictureBytes) return {};
  return bytes;
}

}  // namespace

std::u16string PhotoFolder() {
  std::vector<WCHAR> buffer(kAppDataChars, 0);
  const DWORD n = GetEnvironmentVariableW(u"APPDATA", buffer.data(), kAppDataChars);
  if (n == 0 || n >= kAppDataChars) return {};
  return std::u16string(buffer.data(), n) + kPhotoSubPath;
}

bool MakePhotoFolder(std::u16string* folder) {
  *folder = PhotoFolder();
  if (folder->empty()) return false;
  // The folders above it first; only the photo folder's own result counts.
  for (size_t at = folder->find(u'/', 1); at != std::u16string::npos; at = folder->find(u'/', at + 1))
    CreateDirectoryW(folder->substr(0, at).c_str(), nullptr);
  if (CreateDirectoryW(folder->c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

PictureSize SentPictureSize(UINT w, UINT h) {
  if (w <= kPictureMaxWidth && h <= kPictureMaxHeight) return {w, h, false};
  // 64-bit products: a tall picture's height times 108 does not fit 32 bits.
  uint64_t width = kPictureMaxWidth;
  uint64_t height = uint64_t{h} * kPictureMaxWidth / w;
  if (height > kPictureMaxHeight) {
    width = uint64_t{w} * kPictureMaxHeight / h;
    height = kPictureMaxHeight;
  }
  return {static_cast<UINT>(width), static_cast<UINT>(height), true};
}

void fillPictureFieldsToMap(const CPropertyMap& props, DWORD entryId, FieldMap* fields) {
  const char* method = "CDataTableWMPhonebook::fillPictureFieldsToMap";
  const DeviceProperty* picture = props.Find(u"Picture");
  if (!picture) {
    MarkNoPhoto(*fields);
    return;
  }
  WMDebug("[%s]load pictue exist!", method);
  std::u16string folder;
  if (!MakePhotoFolder(&folder)) return;
  const auto* blob = picture->type == devrec::kTypeBinary ? picture->bytes() : nullptr;
  const uint8_t* bytes = blob && !blob->empty() ? blob->data() : nullptr;
  const size_t length = bytes ? blob->size() : 0;

  const std::u16string first = folder + u"/" + ImageName(entryId, false);
  const std::u16string second = folder + u"/" + ImageName(entryId, true);
  std::u16string current = FileExists(first) ? first : FileExists(second) ? second : u"";
  std::u16string used = current;
  if (current.empty() || !SameBytes(current, bytes, length)) {
    if (!current.empty()) DeleteFileW(current.c_str());
    used = current == first ? second : first;
    FileHandle file = Hold(CreateFileW(used.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      WMDebug("[%s] cannot createfile %s, hr = 0x%x", method, ToUtf8(used).c_str(),
              static_cast<unsigned>(LastErrorHr()));
      return;
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes, static_cast<DWORD>(length), &written, nullptr) ||
        written < length)
      return;
  }
  PutField(*fields, u"PHOTO_TYPE", Variant::Str(u"IMAGE_PHOTO"));
  PutField(*fields, u"PHOTO", Variant::Str(ImageName(entryId, false)));
  PutField(*fields, u"PHOTO_LOCAL_PATH", Variant::Str(used));
}

void MakePictureProperty(FieldMap& fields, std::vector<uint8_t>* picture) {
  const char* method = "CDataTableWMPhonebook::makeRapiPacket";
  picture->clear();
  const std::u16string localPath = FieldText(fields, u"PHOTO_LOCAL_PATH");
  if (localPath.empty()) {
    MarkNoPhoto(fields);
    return;
  }
  WMDebug("[%s]WM>> pic localpath = %s", method, ToUtf8(localPath).c_str());
  if (!FileExists(localPath)) {
    WMDebug("[%s]WM>> picture does not exist", method);
    return;
  }
  WMDebug("[%s]WM>> picture exist!", method);
  std::u16string folder;
  const bool folderUsable = MakePhotoFolder(&folder);
  const std::u16string temp = folder + u"/" + kTempName;
  // A folder that could not be made still sees the picture prepared (and logged), but
  // nothing from it is sent.
  const bool hasFolder = !folder.empty();
  if (hasFolder) DeleteFileW(temp.c_str());
  const bool prepared = hasFolder && PreparePicture(method, localPath, temp);
  if (prepared && folderUsable) {
    std::vector<uint8_t> bytes = ReadPicture(temp);
    if (!bytes.empty()) {
      PutField(fields, u"PHOTO_TYPE", Variant::Str(u"IMAGE_PHOTO"));
      PutField(fields, u"PHOTO", Variant::Str(kTempName));
      PutField(fields, u"PHOTO_LOCAL_PATH", Variant::Str(temp));
      *picture = std::move(bytes);
    }
  }
  if (hasFolder) DeleteFileW(temp.c_str());
}

}  // namespace qwb
