// The remote file calls, on the codecs the phone emulator shares. A reply that ends before
// the call's fixed fields, or whose counts promise more than it holds or than the call
// allows, gives the call's failure value; the connection stays.
#include <algorithm>
#include <cstring>

#include "platform/rapi/Rapi2Calls.h"
#include "platform/rapi/RapiSession.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

using qwb::rapi::Call;
using qwb::rapi::ExchangeReply;
using qwb::rapi::PcHandle;
using qwb::rapi::WireHandle;

namespace {

// A read or write must fit in one frame with its header fields.
constexpr DWORD kMaxChunk = rapi2::kMaxFrame - 64;

rapi2::PathRequest::Request PathOf(LPCWSTR path) {
  rapi2::PathRequest::Request q;
  q.pathNull = path == nullptr;
  if (path) q.path = path;
  return q;
}

rapi2::Writer PathRequest(uint32_t command, LPCWSTR path) {
  rapi2::Writer w;
  rapi2::PathRequest::WriteRequest(w, command, PathOf(path));
  return w;
}

rapi2::Writer HandleRequest(uint32_t command, HANDLE h) {
  rapi2::Writer w;
  rapi2::HandleRequest::WriteRequest(w, command, {WireHandle(h)});
  return w;
}

// Calls whose reply is E, ok.
BOOL BoolCall(rapi2::Writer request) {
  Call c(std::move(request));
  rapi2::BoolReply::Reply rep;
  if (!ExchangeReply(c, &rep,
                     [](rapi2::Reader& r, auto* p) { return rapi2::BoolReply::ReadReply(r, p); }))
    return FALSE;
  return rep.ok ? TRUE : FALSE;
}

FILETIME FileTimeOf(uint64_t t) {
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

CE_FIND_DATA FindDataOf(const rapi2::FindData& d) {
  CE_FIND_DATA out{};
  out.dwFileAttributes = d.attributes;
  out.ftCreationTime = FileTimeOf(d.creation);
  out.ftLastAccessTime = FileTimeOf(d.lastAccess);
  out.ftLastWriteTime = FileTimeOf(d.lastWrite);
  out.nFileSizeHigh = d.sizeHigh;
  out.nFileSizeLow = d.sizeLow;
  out.dwOID = d.oid;
  const size_t n = std::min<size_t>(d.name.size(), MAX_PATH - 1);
  std::memcpy(out.cFileName, d.name.data(), n * sizeof(WCHAR));
  return out;
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
  if (lpdwFoundCount) *lpdwFoundCount = 0;
  if (ppFindDataArray) *ppFindDataArray = nullptr;
  rapi2::FindAllFiles::Request q;
  q.patternNull = szPath == nullptr;
  if (szPath) q.pattern = szPath;
  q.flags = dwFlags;
  rapi2::Writer w;
  rapi2::FindAllFiles::WriteRequest(w, q);
  Call c(std::move(w));
  if (!lpdwFoundCount || !ppFindDataArray) return Refuse(c);
  rapi2::FindAllFiles::Reply rep;
  if (!ExchangeReply(c, &rep, [dwFlags](rapi2::Reader& r, auto* p) {
        return rapi2::FindAllFiles::ReadReply(r, p, dwFlags);
      }))
    return FALSE;
  if (!rep.ok) return FALSE;
  if (rep.found.empty()) return TRUE;
  const size_t count = rep.found.size();
  auto* array = static_cast<CE_FIND_DATA*>(LocalAlloc(LMEM_ZEROINIT, count * sizeof(CE_FIND_DATA)));
  if (!array) return Refuse(c, ERROR_NOT_ENOUGH_MEMORY);
  for (size_t i = 0; i < count; ++i) array[i] = FindDataOf(rep.found[i]);
  *lpdwFoundCount = static_cast<DWORD>(count);
  *ppFindDataArray = array;
  return TRUE;
}

HANDLE WINAPI CeFindFirstFile(LPCWSTR lpFileName, LPCE_FIND_DATA lpFindFileData) {
  Call c(PathRequest(rapi2::FindFile::kFirst, lpFileName));
  if (!lpFindFileData) return RefuseHandle(c);
  rapi2::FindFile::Reply rep;
  if (!ExchangeReply(c, &rep,
                     [](rapi2::Reader& r, auto* p) { return rapi2::FindFile::ReadReply(r, p); }))
    return INVALID_HANDLE_VALUE;
  if (rep.result == 0xFFFFFFFFu) return INVALID_HANDLE_VALUE;
  if (!rep.found) {
    c.ShortReply();  // a handle with no entry
    return INVALID_HANDLE_VALUE;
  }
  *lpFindFileData = FindDataOf(rep.data);
  return PcHandle(rep.result);
}

BOOL WINAPI CeFindNextFile(HANDLE hFindFile, LPCE_FIND_DATA lpFindFileData) {
  Call c(HandleRequest(rapi2::FindFile::kNext, hFindFile));
  if (!lpFindFileData) return Refuse(c);
  rapi2::FindFile::Reply rep;
  if (!ExchangeReply(c, &rep,
                     [](rapi2::Reader& r, auto* p) { return rapi2::FindFile::ReadReply(r, p); }))
    return FALSE;
  if (!rep.result) return FALSE;
  if (!rep.found) {
    c.ShortReply();  // success with no entry
    return FALSE;
  }
  *lpFindFileData = FindDataOf(rep.data);
  return TRUE;
}

BOOL WINAPI CeFindClose(HANDLE hFindFile) {
  return BoolCall(HandleRequest(rapi2::kFindClose, hFindFile));
}

HANDLE WINAPI CeCreateFile(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                           LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                           DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  rapi2::CreateFile::Request q;
  q.pathNull = lpFileName == nullptr;
  if (lpFileName) q.path = lpFileName;
  q.access = dwDesiredAccess;
  q.share = dwShareMode;
  q.disposition = dwCreationDisposition;
  q.flagsAndAttributes = dwFlagsAndAttributes;
  q.templateFile = WireHandle(hTemplateFile);
  rapi2::Writer w;
  rapi2::CreateFile::WriteRequest(w, q);
  Call c(std::move(w));
  rapi2::CreateFile::Reply rep;
  if (!ExchangeReply(c, &rep,
                     [](rapi2::Reader& r, auto* p) { return rapi2::CreateFile::ReadReply(r, p); }))
    return INVALID_HANDLE_VALUE;
  return PcHandle(rep.handle);
}

BOOL WINAPI CeReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                       LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  // Larger requests read less, as a short read does; callers read until 0 bytes come back.
  const DWORD asked = std::min(nNumberOfBytesToRead, kMaxChunk);
  rapi2::Writer w;
  rapi2::ReadFile::WriteRequest(w, {WireHandle(hFile), asked});
  Call c(std::move(w));
  if (nNumberOfBytesToRead > 0 && !lpBuffer) return Refuse(c);
  rapi2::ReadFile::Reply rep;
  if (!ExchangeReply(c, &rep,
                     [](rapi2::Reader& r, auto* p) { return rapi2::ReadFile::ReadReply(r, p); }))
    return FALSE;
  if (rep.size > asked) {
    c.ShortReply();  // more than was asked for
    return FALSE;
  }
  if (!rep.ok) return FALSE;
  if (rep.size > 0) std::memcpy(lpBuffer, rep.data, rep.size);
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = rep.size;
  return TRUE;
}

BOOL WINAPI CeWriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                        LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (nNumberOfBytesToWrite > 0 && !lpBuffer) {
    Call c(rapi2::WriteFile::kCommand);
    return Refuse(c);
  }
  const uint8_t* p = static_cast<const uint8_t*>(lpBuffer);
  DWORD done = 0;
  // Writes larger than a frame go in pieces; the first short or failed piece ends it.
  do {
    const DWORD piece = std::min(nNumberOfBytesToWrite - done, kMaxChunk);
    // The data goes from the caller's buffer straight to the socket, after the fields.
    rapi2::Writer w;
    rapi2::WriteFile::WriteRequestHead(w, {WireHandle(hFile), p + done, piece});
    Call c(std::move(w), p + done, piece);
    rapi2::WriteFile::Reply rep;
    if (!ExchangeReply(c, &rep,
                       [](rapi2::Reader& r, auto* q) { return rapi2::WriteFile::ReadReply(r, q); }))
      return FALSE;
    if (rep.written > piece) {
      c.ShortReply();  // more than was sent
      return FALSE;
    }
    done += rep.written;
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    if (!rep.ok) return FALSE;
    if (rep.written < piece) break;
  } while (done < nNumberOfBytesToWrite);
  return TRUE;
}

BOOL WINAPI CeCloseHandle(HANDLE hObject) {
  return BoolCall(HandleRequest(rapi2::kCloseHandle, hObject));
}

BOOL WINAPI CeGetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                          LPFILETIME lpLastWriteTime) {
  Call c(HandleRequest(rapi2::GetFileTime::kCommand, hFile));
  rapi2::GetFileTime::Reply rep;
  if (!ExchangeReply(c, &rep,
                     [](rapi2::Reader& r, auto* p) { return rapi2::GetFileTime::ReadReply(r, p); }))
    return FALSE;
  if (!rep.ok) return FALSE;
  if (lpCreationTime) *lpCreationTime = FileTimeOf(rep.creation);
  if (lpLastAccessTime) *lpLastAccessTime = FileTimeOf(rep.lastAccess);
  if (lpLastWriteTime) *lpLastWriteTime = FileTimeOf(rep.lastWrite);
  return TRUE;
}

BOOL WINAPI CeSetFileTime(HANDLE hFile, const FILETIME* lpCreationTime,
                          const FILETIME* lpLastAccessTime, const FILETIME* lpLastWriteTime) {
  rapi2::SetFileTime::Request q;
  q.handle = WireHandle(hFile);
  const FILETIME* given[3] = {lpCreationTime, lpLastAccessTime, lpLastWriteTime};
  for (int i = 0; i < 3; ++i) {
    q.given[i] = given[i] != nullptr;
    if (given[i]) q.times[i] = uint64_t(given[i]->dwHighDateTime) << 32 | given[i]->dwLowDateTime;
  }
  rapi2::Writer w;
  rapi2::SetFileTime::WriteRequest(w, q);
  return BoolCall(std::move(w));
}

namespace {
BOOL CopyOrMove(uint32_t command, LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  rapi2::CopyMoveFile::Request q;
  q.fromNull = from == nullptr;
  if (from) q.from = from;
  q.toNull = to == nullptr;
  if (to) q.to = to;
  q.failIfExists = failIfExists ? 1 : 0;
  rapi2::Writer w;
  rapi2::CopyMoveFile::WriteRequest(w, command, q);
  return BoolCall(std::move(w));
}
}  // namespace

BOOL WINAPI CeCopyFile(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  return CopyOrMove(rapi2::CopyMoveFile::kCopy, lpExistingFileName, lpNewFileName, bFailIfExists);
}

BOOL WINAPI CeMoveFile(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  return CopyOrMove(rapi2::CopyMoveFile::kMove, lpExistingFileName, lpNewFileName, FALSE);
}

BOOL WINAPI CeDeleteFile(LPCWSTR lpFileName) {
  return BoolCall(PathRequest(rapi2::kDeleteFile, lpFileName));
}

BOOL WINAPI CeCreateDirectory(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  return BoolCall(PathRequest(rapi2::kCreateDirectory, lpPathName));
}

BOOL WINAPI CeRemoveDirectory(LPCWSTR lpPathName) {
  return BoolCall(PathRequest(rapi2::kRemoveDirectory, lpPathName));
}

BOOL WINAPI CeGetDiskFreeSpaceEx(LPCWSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailable,
                                 PULARGE_INTEGER lpTotalNumberOfBytes,
                                 PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
  Call c(PathRequest(rapi2::GetDiskFreeSpaceEx::kCommand, lpDirectoryName));
  rapi2::GetDiskFreeSpaceEx::Reply rep;
  if (!ExchangeReply(c, &rep, [](rapi2::Reader& r, auto* p) {
        return rapi2::GetDiskFreeSpaceEx::ReadReply(r, p);
      }))
    return FALSE;
  if (!rep.ok) return FALSE;
  if (lpFreeBytesAvailable) lpFreeBytesAvailable->QuadPart = rep.freeToCaller;
  if (lpTotalNumberOfBytes) lpTotalNumberOfBytes->QuadPart = rep.total;
  if (lpTotalNumberOfFreeBytes) lpTotalNumberOfFreeBytes->QuadPart = rep.totalFree;
  return TRUE;
}

BOOL WINAPI CeGetVersionEx(LPCEOSVERSIONINFO lpVersionInformation) {
  Call c(rapi2::GetVersionEx::kCommand);
  if (!lpVersionInformation) return Refuse(c);
  rapi2::GetVersionEx::Reply rep;
  if (!ExchangeReply(c, &rep,
                     [](rapi2::Reader& r, auto* p) { return rapi2::GetVersionEx::ReadReply(r, p); }))
    return FALSE;
  if (!rep.ok) return FALSE;
  CEOSVERSIONINFO v{};
  v.dwOSVersionInfoSize = sizeof(CEOSVERSIONINFO);
  v.dwMajorVersion = rep.major;
  v.dwMinorVersion = rep.minor;
  v.dwBuildNumber = rep.build;
  v.dwPlatformId = rep.platformId;
  const size_t n = std::min<size_t>(rep.csdVersion.size(), 127);
  std::memcpy(v.szCSDVersion, rep.csdVersion.data(), n * sizeof(WCHAR));
  *lpVersionInformation = v;
  return TRUE;
}
