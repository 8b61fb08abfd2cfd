// The picture calls of the platform, with the names, types and values of the Windows picture
// API's flat interface: start and shut down, load a bitmap from a file, width and height,
// thumbnail to a given size, the list of installed encoders, save with encoder parameters,
// dispose. Implemented on libvips (platform/imaging, static library `imaging`).
//
// What it reads: JPEG, PNG, GIF (first frame), WebP (first frame) when this libvips has the
// loader, and BMP when this libvips has its ImageMagick loader (otherwise a BMP file is
// refused with UnknownImageFormat). Files are recognised by their first bytes, never by their
// name; any other content is refused with UnknownImageFormat. A picture with an EXIF
// orientation is shown upright: width, height, thumbnails and saved copies follow the
// orientation.
//
// What it refuses, cleanly and before decoding a pixel: a file that is not a regular file or
// is larger than 128 MiB; a picture whose header gives more than 120 million pixels (JPEG and
// PNG, decoded in strips) or more than 40 million pixels (GIF, WebP, BMP, decoded whole),
// answering ValueOverflow. A corrupt or truncated picture is refused when loaded (the whole
// picture is decoded once, in strips, to prove it), answering GenericError.
//
// Saving writes JPEG (quality from EncoderQuality, 0..100, default 75) or PNG, 8-bit sRGB,
// transparency flattened onto white, with no metadata.
#pragma once

#include <memory>

#include "wincompat/com.h"
#include "wincompat/wintypes.h"

namespace Gdiplus {

enum Status {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  Aborted = 9,
  FileNotFound = 10,
  ValueOverflow = 11,
  AccessDenied = 12,
  UnknownImageFormat = 13,
  FontFamilyNotFound = 14,
  FontStyleNotFound = 15,
  NotTrueTypeFont = 16,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
  PropertyNotFound = 19,
  PropertyNotSupported = 20,
};

enum DebugEventLevel { DebugEventLevelFatal, DebugEventLevelWarning };
typedef void(WINAPI* DebugEventProc)(DebugEventLevel level, CHAR* message);
typedef Status(WINAPI* NotificationHookProc)(ULONG_PTR* token);
typedef void(WINAPI* NotificationUnhookProc)(ULONG_PTR token);

struct GdiplusStartupInput {
  UINT GdiplusVersion = 1;
  DebugEventProc DebugEventCallback = nullptr;
  BOOL SuppressBackgroundThread = FALSE;
  BOOL SuppressExternalCodecs = FALSE;
};

struct GdiplusStartupOutput {
  NotificationHookProc NotificationHook;
  NotificationUnhookProc NotificationUnhook;
};

struct ImageCodecInfo {
  CLSID Clsid;
  GUID FormatID;
  const WCHAR* CodecName;
  const WCHAR* DllName;
  const WCHAR* FormatDescription;
  const WCHAR* FilenameExtension;
  const WCHAR* MimeType;
  DWORD Flags;
  DWORD Version;
  DWORD SigCount;
  DWORD SigSize;
  const BYTE* SigPattern;
  const BYTE* SigMask;
};

enum ImageCodecFlags {
  ImageCodecFlagsEncoder = 0x00000001,
  ImageCodecFlagsDecoder = 0x00000002,
  ImageCodecFlagsSupportBitmap = 0x00000004,
  ImageCodecFlagsBuiltin = 0x00010000,
};

enum EncoderParameterValueType {
  EncoderParameterValueTypeByte = 1,
  EncoderParameterValueTypeASCII = 2,
  EncoderParameterValueTypeShort = 3,
  EncoderParameterValueTypeLong = 4,
  EncoderParameterValueTypeRational = 5,
  EncoderParameterValueTypeLongRange = 6,
  EncoderParameterValueTypeUndefined = 7,
  EncoderParameterValueTypeRationalRange = 8,
};

struct EncoderParameter {
  GUID Guid;
  ULONG NumberOfValues;
  ULONG Type;
  void* Value;
};

struct EncoderParameters {
  UINT Count;
  EncoderParameter Parameter[1];
};

// The quality parameter of the JPEG encoder: a long, 0..100.
inline constexpr GUID EncoderQuality = {
    0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

// Images are opaque; a bitmap is an image.
class GpImage {
 protected:
  GpImage() = default;
};
class GpBitmap : public GpImage {
 protected:
  GpBitmap() = default;
};

typedef Status GpStatus;
typedef BOOL(CALLBACK* GetThumbnailImageAbort)(void* callbackData);

}  // namespace Gdiplus

EXTERN_C {

// Starts the picture platform; `*token` receives the handle to give GdiplusShutdown. Every
// other call answers GdiplusNotInitialized while no start is outstanding. Starts and shut
// downs may nest. libvips itself is started once per process and never shut down (it cannot
// start again after shutting down).
Gdiplus::Status WINAPI GdiplusStartup(ULONG_PTR* token, const Gdiplus::GdiplusStartupInput* input,
                                      Gdiplus::GdiplusStartupOutput* output);
void WINAPI GdiplusShutdown(ULONG_PTR token);

// Loads the picture file (a wide path, UTF-8 on disk) into a new bitmap; FileNotFound when
// there is no such file, AccessDenied when it cannot be read.
Gdiplus::GpStatus WINAPI GdipCreateBitmapFromFile(const WCHAR* filename, Gdiplus::GpBitmap** bitmap);
Gdiplus::GpStatus WINAPI GdipGetImageWidth(Gdiplus::GpImage* image, UINT* width);
Gdiplus::GpStatus WINAPI GdipGetImageHeight(Gdiplus::GpImage* image, UINT* height);
// A new image of exactly thumbWidth x thumbHeight (the picture is stretched to it). A
// callback, when given, is asked once before the work and aborts it when it answers TRUE.
Gdiplus::GpStatus WINAPI GdipGetImageThumbnail(Gdiplus::GpImage* image, UINT thumbWidth,
                                               UINT thumbHeight, Gdiplus::GpImage** thumbImage,
                                               Gdiplus::GetThumbnailImageAbort callback,
                                               void* callbackData);
// The installed encoders (JPEG, PNG): their count and the bytes GdipGetImageEncoders needs
// (the records followed by their strings), then the records themselves.
Gdiplus::GpStatus WINAPI GdipGetImageEncodersSize(UINT* numEncoders, UINT* size);
Gdiplus::GpStatus WINAPI GdipGetImageEncoders(UINT numEncoders, UINT size,
                                              Gdiplus::ImageCodecInfo* encoders);
// Writes the image with the encoder `clsidEncoder`; a failed save leaves no file behind.
Gdiplus::GpStatus WINAPI GdipSaveImageToFile(Gdiplus::GpImage* image, const WCHAR* filename,
                                             const CLSID* clsidEncoder,
                                             const Gdiplus::EncoderParameters* encoderParams);
Gdiplus::GpStatus WINAPI GdipDisposeImage(Gdiplus::GpImage* image);

}  // EXTERN_C

namespace Gdiplus {

// An image owned by its holder, disposed on destruction; Receive() for the out-parameter of
// a creating call.
template <typename T>
class ScopedGpImage {
 public:
  ScopedGpImage() = default;
  ~ScopedGpImage() { reset(); }
  ScopedGpImage(const ScopedGpImage&) = delete;
  ScopedGpImage& operator=(const ScopedGpImage&) = delete;

  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** Receive() {
    reset();
    return &p_;
  }
  void reset() {
    if (p_) GdipDisposeImage(p_);
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};
using ScopedGpBitmap = ScopedGpImage<GpBitmap>;

// The picture platform started for the lifetime of the object.
class GdiplusSession {
 public:
  GdiplusSession() {
    const GdiplusStartupInput input;
    status_ = GdiplusStartup(&token_, &input, nullptr);
  }
  ~GdiplusSession() {
    if (status_ == Ok) GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  Status status() const { return status_; }

 private:
  ULONG_PTR token_ = 0;
  Status status_ = GenericError;
};

}  // namespace Gdiplus
