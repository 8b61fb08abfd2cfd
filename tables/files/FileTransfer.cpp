#include "tables/files/FileTransfer.h"

#include <algorithm>
#include <vector>

#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

namespace qwb::files {

BOOL ClosePcHandle(HANDLE h) { return CloseHandle(h); }
BOOL CloseDeviceHandle(HANDLE h) { return CeCloseHandle(h); }

CopyEnd CopyDeviceToPc(HANDLE device, HANDLE pc, DWORD chunk,
                       const std::function<bool(DWORD bytes)>& afterBlock) {
  // Blocks gather in one buffer that goes to the PC file when the next block might not fit:
  // one PC write per many device reads.
  constexpr size_t kBatch = 64 * 1024;
  std::vector<BYTE> buffer(std::max<size_t>(kBatch, chunk));
  size_t held = 0;
  auto flush = [&] {
    DWORD written = 0;
    const DWORD n = static_cast<DWORD>(held);
    held = 0;
    return n == 0 || (WriteFile(pc, buffer.data(), n, &written, nullptr) && written == n);
  };
  for (;;) {
    if (buffer.size() - held < chunk && !flush()) return CopyEnd::kWriteFailed;
    DWORD got = 0;
    if (!CeReadFile(device, buffer.data() + held, chunk, &got, nullptr)) {
      // What came before the failure is written all the same; the read's error stays the
      // thread's last error.
      const DWORD error = GetLastError();
      flush();
      SetLastError(error);
      return CopyEnd::kReadFailed;
    }
    held += got;
    if (got == 0 && !flush()) return CopyEnd::kWriteFailed;
    if (!afterBlock(got)) return flush() ? CopyEnd::kStopped : CopyEnd::kWriteFailed;
    if (got == 0) return CopyEnd::kDone;
  }
}

}  // namespace qwb::files
