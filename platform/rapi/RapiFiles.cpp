// The remote file calls. A reply that ends before the call's fixed fields, or whose counts
// promise more than it holds or than the call allows, gives the call's failure value
// (Call::Complete); the connection stays.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/rapi/RapiSession.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

using qwb::rapi::Call;
using qwb::rapi::PcHandle;
using qwb::rapi::WireHandle;

namespace {

// A read or write must fit in one frame with its header fields.
constexpr DWORD kMaxChunk = rapi2::kMaxFrame - 64;
// More entries than any device folder holds; refuses a reply that would make us allocate
// gigabytes from a few bytes of counts.
constexpr uint32_t kMaxFindAllCount = 1u << 18;
constexpr uint32_t kFindDataFixed = offsetof(CE_FIND_DATA, cFileName);
constexpr uint32_t kMaxNameBytes = sizeof(CE_FIND_DATA::cFileName);

// Calls whose reply is E, ok.
BOOL BoolCall(Call& c) {
  if (!c.Exchange()) return FALSE;
  uint32_t ok = 0;
  c.Reply().u32(&ok);
  if (!c.Complete()) return FALSE;
  return ok ? TRUE : FALSE;
}

bool ReadFileTime(rapi2::Reader& r, FILETIME* ft) {
  return r.u32(&ft->dwLowDateTime) && r.u32(&ft->dwHighDateTime);
}

// u32 S and S bytes of CE_FIND_DATA. The bytes go over a zeroed structure; a name that fills
// the whole array is cut to keep it terminated.
bool ReadFindData(rapi2::Reader& r, CE_FIND_DATA* out) {
  uint32_t size = 0;
  const uint8_t* p = nullptr;
  if (!r.u32(&size) || !r.bytes(size, &p)) return false;
  if (size < kFindDataFixed || size > sizeof(CE_FIND_DATA) || size % 2 != 0) return false;
  CE_FIND_DATA d{};
  std::memcpy(&d, p, size);
  d.cFileName[MAX_PATH - 1] = 0;
  *out = d;
  return true;
}

// Refuses bad arguments of a handle-returning call.
HANDLE RefuseHandle(Call& c) {
  c.Refused(ERROR_INVALID_PARAMETER);
  return INVALID_HANDLE_VALUE;
}

BOOL Refuse(Call& c, DWORD code = ERROR_INVALID_PARAMETER) {
  c.Refused(code);
  return FALSE;
}

}  // namespace

// C linkage comes from the declarations in rapi.h.
BOOL WINAPI CeFindAllFiles(LPCWSTR szPath, DWORD dwFlags, LPDWORD lpdwFoundCount,
                           LPLPCE_FIND_DATA ppFindDataArray) {
  Call c(rapi2::kFindAllFiles);
  if (lpdwFoundCount) *lpdwFoundCount = 0;
  if (ppFindDataArray) *ppFindDataArray = nullptr;
  if (!lpdwFoundCount || !ppFindDataArray) return Refuse(c);
  c.Request().str(szPath).u32(dwFlags);
  if (!c.Exchange()) return FALSE;
  rapi2::Reader& r = c.Reply();
  uint32_t ok = 0, count = 0;
  r.u32(&ok);
  r.u32(&count);
  if (!c.Complete() || !ok) return FALSE;
  if (count == 0) return TRUE;

  // Only the low eight flags shape a record; the others filter on the device.
  const bool name = dwFlags & FAF_NAME;
  const bool attributes = dwFlags & FAF_ATTRIBUTES;
  const bool creation = dwFlags & FAF_CREATION_TIME;
  const bool access = dwFlags & FAF_LASTACCESS_TIME;
  const bool write = dwFlags & FAF_LASTWRITE_TIME;
  const bool sizeHigh = dwFlags & FAF_SIZE_HIGH;
  const bool sizeLow = dwFlags & FAF_SIZE_LOW;
  const bool oid = dwFlags & FAF_OID;
  const size_t fixed = (name ? 4 : 0) + (attributes ? 4 : 0) + (creation ? 8 : 0) +
                       (access ? 8 : 0) + (write ? 8 : 0) + (sizeHigh ? 4 : 0) + (sizeLow ? 4 : 0) +
                       (oid ? 4 : 0);
  if (count > kMaxFindAllCount || (fixed > 0 && count > r.remaining() / fixed)) {
    c.ShortReply();
    return FALSE;
  }
  auto* array = static_cast<CE_FIND_DATA*>(LocalAlloc(LMEM_ZEROINIT, count * sizeof(CE_FIND_DATA)));
  if (!array) return Refuse(c, ERROR_NOT_ENOUGH_MEMORY);
  bool good = true;
  for (uint32_t i = 0; i < count && good; ++i) {
    CE_FIND_DATA& d = array[i];
    uint32_t nameBytes = 0;
    if (name) r.u32(&nameBytes);
    if (attributes) r.u32(&d.dwFileAttributes);
    if (creation) ReadFileTime(r, &d.ftCreationTime);
    if (access) ReadFileTime(r, &d.ftLastAccessTime);
    if (write) ReadFileTime(r, &d.ftLastWriteTime);
    if (sizeHigh) r.u32(&d.nFileSizeHigh);
    if (sizeLow) r.u32(&d.nFileSizeLow);
    if (oid) r.u32(&d.dwOID);
    if (name) {
      const uint8_t* p = nullptr;
      good = nameBytes <= kMaxNameBytes && nameBytes % 2 == 0 && r.bytes(nameBytes, &p);
      if (good) {
        std::memcpy(d.cFileName, p, nameBytes);
        d.cFileName[MAX_PATH - 1] = 0;
      }
    }
    good = good && r.ok();
  }
  if (!good || !c.Complete()) {
    c.ShortReply();
    LocalFree(array);
    return FALSE;
  }
  *lpdwFoundCount = count;
  *ppFindDataArray = array;
  return TRUE;
}

HANDLE WINAPI CeFindFirstFile(LPCWSTR lpFileName, LPCE_FIND_DATA lpFindFileData) {
  Call c(rapi2::kFindFirstFile);
  if (!lpFindFileData) return RefuseHandle(c);
  c.Request().str(lpFileName);
  if (!c.Exchange()) return INVALID_HANDLE_VALUE;
  uint32_t handle = 0xFFFFFFFFu;
  c.Reply().u32(&handle);
  if (!c.Complete() || handle == 0xFFFFFFFFu) return INVALID_HANDLE_VALUE;
  CE_FIND_DATA d;
  if (!ReadFindData(c.Reply(), &d)) {
    c.ShortReply();
    return INVALID_HANDLE_VALUE;
  }
  *lpFindFileData = d;
  return PcHandle(handle);
}

BOOL WINAPI CeFindNextFile(HANDLE hFindFile, LPCE_FIND_DATA lpFindFileData) {
  Call c(rapi2::kFindNextFile);
  if (!lpFindFileData) return Refuse(c);
  c.Request().u32(WireHandle(hFindFile));
  if (!c.Exchange()) return FALSE;
  uint32_t ok = 0;
  c.Reply().u32(&ok);
  if (!c.Complete() || !ok) return FALSE;
  CE_FIND_DATA d;
  if (!ReadFindData(c.Reply(), &d)) {
    c.ShortReply();
    return FALSE;
  }
  *lpFindFileData = d;
  return TRUE;
}

BOOL WINAPI CeFindClose(HANDLE hFindFile) {
  Call c(rapi2::kFindClose);
  c.Request().u32(WireHandle(hFindFile));
  return BoolCall(c);
}

HANDLE WINAPI CeCreateFile(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                           LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                           DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  Call c(rapi2::kCreateFile);
  c.Request()
      .str(lpFileName)
      .u32(dwDesiredAccess)
      .u32(dwShareMode)
      .u32(dwCreationDisposition)
      .u32(dwFlagsAndAttributes)
      .u32(WireHandle(hTemplateFile));
  if (!c.Exchange()) return INVALID_HANDLE_VALUE;
  uint32_t handle = 0xFFFFFFFFu;
  c.Reply().u32(&handle);
  if (!c.Complete()) return INVALID_HANDLE_VALUE;
  return PcHandle(handle);
}

BOOL WINAPI CeReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                       LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
  Call c(rapi2::kReadFile);
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (nNumberOfBytesToRead > 0 && !lpBuffer) return Refuse(c);
  // Larger requests read less, as a short read does; callers read until 0 bytes come back.
  const DWORD asked = std::min(nNumberOfBytesToRead, kMaxChunk);
  c.Request().u32(WireHandle(hFile)).u32(asked);
  if (!c.Exchange()) return FALSE;
  uint32_t ok = 0, n = 0;
  const uint8_t* data = nullptr;
  c.Reply().u32(&ok);
  c.Reply().u32(&n);
  c.Reply().bytes(n, &data);
  if (!c.Complete()) return FALSE;
  if (n > asked) {
    c.ShortReply();
    return FALSE;
  }
  if (!ok) return FALSE;
  if (n > 0) std::memcpy(lpBuffer, data, n);
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = n;
  return TRUE;
}

BOOL WINAPI CeWriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                        LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (nNumberOfBytesToWrite > 0 && !lpBuffer) {
    Call c(rapi2::kWriteFile);
    return Refuse(c);
  }
  const uint8_t* p = static_cast<const uint8_t*>(lpBuffer);
  DWORD done = 0;
  // Writes larger than a frame go in pieces; the first short or failed piece ends it.
  do {
    const DWORD piece = std::min(nNumberOfBytesToWrite - done, kMaxChunk);
    Call c(rapi2::kWriteFile);
    c.Request().u32(WireHandle(hFile)).u32(piece).bytes(p + done, piece);
    if (!c.Exchange()) return FALSE;
    uint32_t ok = 0, written = 0;
    c.Reply().u32(&ok);
    c.Reply().u32(&written);
    if (!c.Complete()) return FALSE;
    if (written > piece) {
      c.ShortReply();
      return FALSE;
    }
    done += written;
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    if (!ok) return FALSE;
    if (written < piece) break;
  } while (done < nNumberOfBytesToWrite);
  return TRUE;
}

BOOL WINAPI CeCloseHandle(HANDLE hObject) {
  Call c(rapi2::kCloseHandle);
  c.Request().u32(WireHandle(hObject));
  return BoolCall(c);
}

BOOL WINAPI CeGetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                          LPFILETIME lpLastWriteTime) {
  Call c(rapi2::kGetFileTime);
  c.Request().u32(WireHandle(hFile));
  if (!c.Exchange()) return FALSE;
  uint32_t ok = 0;
  FILETIME t[3] = {};
  c.Reply().u32(&ok);
  for (FILETIME& ft : t) ReadFileTime(c.Reply(), &ft);
  if (!c.Complete() || !ok) return FALSE;
  if (lpCreationTime) *lpCreationTime = t[0];
  if (lpLastAccessTime) *lpLastAccessTime = t[1];
  if (lpLastWriteTime) *lpLastWriteTime = t[2];
  return TRUE;
}

BOOL WINAPI CeSetFileTime(HANDLE hFile, const FILETIME* lpCreationTime,
                          const FILETIME* lpLastAccessTime, const FILETIME* lpLastWriteTime) {
  Call c(rapi2::kSetFileTime);
  c.Request().u32(WireHandle(hFile));
  for (const FILETIME* ft : {lpCreationTime, lpLastAccessTime, lpLastWriteTime}) {
    if (ft) {
      c.Request().u32(8).u32(ft->dwLowDateTime).u32(ft->dwHighDateTime);
    } else {
      c.Request().u32(0);
    }
  }
  return BoolCall(c);
}

BOOL WINAPI CeCopyFile(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  Call c(rapi2::kCopyFile);
  c.Request().str(lpExistingFileName).str(lpNewFileName).u32(bFailIfExists ? 1 : 0);
  return BoolCall(c);
}

BOOL WINAPI CeMoveFile(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  Call c(rapi2::kMoveFile);
  c.Request().str(lpExistingFileName).str(lpNewFileName);
  return BoolCall(c);
}

BOOL WINAPI CeDeleteFile(LPCWSTR lpFileName) {
  Call c(rapi2::kDeleteFile);
  c.Request().str(lpFileName);
  return BoolCall(c);
}

BOOL WINAPI CeCreateDirectory(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  Call c(rapi2::kCreateDirectory);
  c.Request().str(lpPathName);
  return BoolCall(c);
}

BOOL WINAPI CeRemoveDirectory(LPCWSTR lpPathName) {
  Call c(rapi2::kRemoveDirectory);
  c.Request().str(lpPathName);
  return BoolCall(c);
}

BOOL WINAPI CeGetDiskFreeSpaceEx(LPCWSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailable,
                                 PULARGE_INTEGER lpTotalNumberOfBytes,
                                 PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
  Call c(rapi2::kGetDiskFreeSpaceEx);
  c.Request().str(lpDirectoryName);
  if (!c.Exchange()) return FALSE;
  int32_t ok = 0;
  uint64_t v[3] = {};
  c.Reply().i32(&ok);
  for (uint64_t& x : v) c.Reply().u64(&x);
  if (!c.Complete() || !ok) return FALSE;
  if (lpFreeBytesAvailable) lpFreeBytesAvailable->QuadPart = v[0];
  if (lpTotalNumberOfBytes) lpTotalNumberOfBytes->QuadPart = v[1];
  if (lpTotalNumberOfFreeBytes) lpTotalNumberOfFreeBytes->QuadPart = v[2];
  return TRUE;
}

BOOL WINAPI CeGetVersionEx(LPCEOSVERSIONINFO lpVersionInformation) {
  Call c(rapi2::kGetVersionEx);
  if (!lpVersionInformation) return Refuse(c);
  if (!c.Exchange()) return FALSE;
  uint32_t ok = 0, size = 0;
  const uint8_t* p = nullptr;
  c.Reply().u32(&ok);
  c.Reply().u32(&size);
  c.Reply().bytes(size, &p);
  if (!c.Complete() || !ok) return FALSE;
  if (size < offsetof(CEOSVERSIONINFO, szCSDVersion) || size > sizeof(CEOSVERSIONINFO)) {
    c.ShortReply();
    return FALSE;
  }
  CEOSVERSIONINFO v{};
  std::memcpy(&v, p, size);
  v.szCSDVersion[127] = 0;
  *lpVersionInformation = v;
  return TRUE;
}
