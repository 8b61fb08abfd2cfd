#include "tables/files/FileTransfer.h"

#include <vector>

#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

namespace qwb::files {

BOOL ClosePcHandle(HANDLE h) { return CloseHandle(h); }
BOOL CloseDeviceHandle(HANDLE h) { return CeCloseHandle(h); }

CopyEnd CopyDeviceToPc(HANDLE device, HANDLE pc, DWORD chunk,
                       const std::function<bool(DWORD bytes)>& afterBlock) {
  std::vector<BYTE> buffer(chunk);
  for (;;) {
    DWORD got = 0;
    if (!CeReadFile(device, buffer.data(), chunk, &got, nullptr)) return CopyEnd::kReadFailed;
    DWORD written = 0;
    if (!WriteFile(pc, buffer.data(), got, &written, nullptr) || written != got)
      return CopyEnd::kWriteFailed;
    if (!afterBlock(got)) return CopyEnd::kStopped;
    if (got == 0) return CopyEnd::kDone;
  }
}

}  // namespace qwb::files
