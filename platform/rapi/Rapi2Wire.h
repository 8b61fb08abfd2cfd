// The RAPI2 wire format: the one writer and the one reader of RAPI2 frames, used by both the
// client (librapi) and the phone emulator. All integers are little-endian; a string is a u32
// byte count B = (UTF-16 units + 1) * 2 followed by the text and a NUL unit (B = 0: null).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rapi2 {

// Frames larger than this are refused by both sides.
inline constexpr uint32_t kMaxFrame = 64u * 1024u * 1024u;

enum Command : uint32_t {
  kFindFirstFile = 0x11,
  kFindNextFile = 0x12,
  kFindClose = 0x13,
  kCreateFile = 0x16,
  kReadFile = 0x17,
  kWriteFile = 0x18,
  kCloseHandle = 0x19,
  kFindAllFiles = 0x1a,
  kCreateDirectory = 0x28,
  kRemoveDirectory = 0x29,
  kMoveFile = 0x2b,
  kCopyFile = 0x2c,
  kDeleteFile = 0x2d,
  kRegOpenKeyEx = 0x2f,
  kRegCreateKeyEx = 0x31,
  kRegCloseKey = 0x32,
  kRegQueryValueEx = 0x37,
  kRegSetValueEx = 0x38,
  kGetFileTime = 0x41,
  kSetFileTime = 0x42,
  kGetVersionEx = 0x43,
  kRapiInvoke = 0x4c,
  kGetDiskFreeSpaceEx = 0x5c,
};

// Frame buffers a thread has finished with, kept for its next frames: a loop of calls
// allocates nothing per call once its buffers have grown. TakeBuffer gives an empty buffer
// (a kept one when there is one); GiveBuffer keeps a few, none of them large.
std::vector<uint8_t> TakeBuffer();
void GiveBuffer(std::vector<uint8_t>&& buffer);

// Builds one frame: the u32 length prefix is filled in by Finish().
class Writer {
 public:
  Writer() : buf_(TakeBuffer()) { buf_.resize(4); }
  Writer& u32(uint32_t v);
  Writer& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  Writer& u64(uint64_t v) { return u32(static_cast<uint32_t>(v)).u32(static_cast<uint32_t>(v >> 32)); }
  // A RAPI2 string; nullptr writes the null string (u32 0).
  Writer& str(const char16_t* s);
  Writer& str(std::u16string_view s);
  // A string counted in UTF-16 units, without a terminator (replies of the special-folder
  // and registry-enumeration calls).
  Writer& counted(std::u16string_view s);
  Writer& bytes(const void* p, size_t n);
  Writer& zeros(size_t n);
  size_t payloadSize() const { return buf_.size() - 4; }
  // The complete frame, length prefix included. With `trailing`, the frame's length counts
  // that many more bytes, which the caller sends right after the returned ones.
  std::vector<uint8_t> Finish(size_t trailing = 0);

 private:
  std::vector<uint8_t> buf_;
};

// Reads the fields of one frame payload in order. Every read is bounds-checked; after the
// first failing read ok() is false and every later read fails too.
class Reader {
 public:
  Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  explicit Reader(const std::vector<uint8_t>& v) : Reader(v.data(), v.size()) {}
  bool u32(uint32_t* v);
  bool i32(int32_t* v);
  bool u64(uint64_t* v);  // low word first
  // A RAPI2 string. isNull (optional) tells the null string from "". The text ends at the
  // first NUL unit inside the byte count; an odd byte count is malformed.
  bool str(std::u16string* s, bool* isNull = nullptr);
  // A string counted in UTF-16 units; a trailing NUL unit sent by a device is dropped.
  bool counted(std::u16string* s);
  // n raw bytes; *out points into the frame.
  bool bytes(size_t n, const uint8_t** out);
  bool skip(size_t n);
  size_t remaining() const { return ok_ ? n_ - off_ : 0; }
  bool ok() const { return ok_; }

 private:
  bool fail() { return ok_ = false; }
  const uint8_t* p_;
  size_t n_;
  size_t off_ = 0;
  bool ok_ = true;
};

enum class IoResult { kOk, kClosed, kTimeout, kError, kTooLarge };

// Writes all n bytes to a socket (no SIGPIPE).
IoResult SendAll(int fd, const void* p, size_t n);
// Writes the n bytes at p and then the m bytes at q, gathered in as few sends as the socket
// takes (one, mostly): a frame whose head and data lie apart, without copying them together.
IoResult SendAll(int fd, const void* p, size_t n, const void* q, size_t m);
// Reads exactly n bytes; timeoutMs < 0 waits forever.
IoResult RecvAll(int fd, void* p, size_t n, int timeoutMs);
// The same for a server waiting for its peer's next request: the wait for the first byte is
// open-ended (a blocking read, no poll first), the rest must come within timeoutMs.
IoResult RecvNext(int fd, void* p, size_t n, int timeoutMs);
// Reads one frame's payload (the length prefix is consumed and checked against maxFrame,
// itself capped by kMaxFrame). timeoutMs bounds the whole frame; < 0 waits forever.
IoResult RecvFrame(int fd, std::vector<uint8_t>* payload, int timeoutMs,
                   uint32_t maxFrame = kMaxFrame);
// The same for a server waiting for its peer's next request: the wait for the frame's first
// byte is open-ended (a blocking read, no poll first), the rest must come within timeoutMs.
IoResult RecvNextFrame(int fd, std::vector<uint8_t>* payload, int timeoutMs,
                       uint32_t maxFrame = kMaxFrame);

}  // namespace rapi2
