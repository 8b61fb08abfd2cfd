// The file copy both the file items and the voice memo table use: handles that close
// themselves and the loop that copies an open device file into an open PC file.
#pragma once

#include <functional>

#include "wincompat/wintypes.h"

namespace qwb::files {

// A handle closed when it goes out of scope (PC files and device files).
template <BOOL (*Close)(HANDLE)>
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE h) : h_(h) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  void Reset() {
    if (Valid()) Close(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};
BOOL ClosePcHandle(HANDLE h);
BOOL CloseDeviceHandle(HANDLE h);
using PcFile = ScopedHandle<&ClosePcHandle>;
using DeviceFile = ScopedHandle<&CloseDeviceHandle>;

enum class CopyEnd { kDone, kStopped, kReadFailed, kWriteFailed };

// Reads the device file in blocks of up to `chunk` bytes (CeReadFile) and writes them to the
// PC file (WriteFile, several blocks at a time) until a read returns 0 bytes. After every
// block read, the empty last one included, `afterBlock(bytes)` runs; it returns false to stop
// the copy there. Every block read is in the PC file when the copy returns, whatever its end.
CopyEnd CopyDeviceToPc(HANDLE device, HANDLE pc, DWORD chunk,
                       const std::function<bool(DWORD bytes)>& afterBlock);

}  // namespace qwb::files
