// Local files: CreateFileW, ReadFile, WriteFile, file times, CreateDirectoryW, DeleteFileW and
// the find calls, over POSIX file descriptors and directory listings.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinInternal.h"
#include "wincompat/winbase.h"

namespace {

using wincompat::detail::HandleObject;

constexpr int64_t kUnixEpochTicks = 116444736000000000LL;  // 1970-01-01 as a FILETIME
constexpr int64_t kTicksPerSecond = 10000000LL;

struct File : HandleObject {
  int fd = -1;
  ~File() override {
    if (fd >= 0) ::close(fd);
  }
};

struct Search : HandleObject {
  std::vector<WIN32_FIND_DATAW> found;
  size_t next = 0;
};

File* AsFile(HANDLE h) { return dynamic_cast<File*>(wincompat::detail::FromHandle(h)); }
Search* AsSearch(HANDLE h) { return dynamic_cast<Search*>(wincompat::detail::FromHandle(h)); }

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return 206;  // ERROR_FILENAME_EXCED_RANGE
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

BOOL FailErrno() {
  SetLastError(ErrorFromErrno(errno));
  return FALSE;
}

FILETIME ToFileTime(const struct timespec& ts) {
  const int64_t t = kUnixEpochTicks + static_cast<int64_t>(ts.tv_sec) * kTicksPerSecond +
                    ts.tv_nsec / 100;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(t) >> 32);
  return ft;
}

struct timespec FromFileTime(const FILETIME& ft) {
  const int64_t t =
      static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) -
      kUnixEpochTicks;
  struct timespec ts;
  int64_t sec = t / kTicksPerSecond, rem = t % kTicksPerSecond;
  if (rem < 0) {
    rem += kTicksPerSecond;
    --sec;
  }
  ts.tv_sec = static_cast<time_t>(sec);
  ts.tv_nsec = static_cast<long>(rem * 100);
  return ts;
}

// Birth, access and write times of an open descriptor or a path (fd = AT_FDCWD).
bool StatTimes(int fd, const char* path, FILETIME* c, FILETIME* a, FILETIME* w, uint64_t* size,
               bool* isDir, bool* readOnly) {
  struct statx sx;
  const int flags = path && *path ? 0 : AT_EMPTY_PATH;
  if (::statx(fd, path ? path : "", flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  struct timespec atime{static_cast<time_t>(sx.stx_atime.tv_sec),
                        static_cast<long>(sx.stx_atime.tv_nsec)};
  struct timespec mtime{static_cast<time_t>(sx.stx_mtime.tv_sec),
                        static_cast<long>(sx.stx_mtime.tv_nsec)};
  struct timespec btime = mtime;
  if (sx.stx_mask & STATX_BTIME)
    btime = {static_cast<time_t>(sx.stx_btime.tv_sec), static_cast<long>(sx.stx_btime.tv_nsec)};
  if (c) *c = ToFileTime(btime);
  if (a) *a = ToFileTime(atime);
  if (w) *w = ToFileTime(mtime);
  if (size) *size = sx.stx_size;
  if (isDir) *isDir = S_ISDIR(sx.stx_mode);
  if (readOnly) *readOnly = (sx.stx_mode & 0222) == 0;
  return true;
}

bool FillFindData(const std::string& path, const std::string& name, WIN32_FIND_DATAW* d) {
  *d = WIN32_FIND_DATAW{};
  uint64_t size = 0;
  bool isDir = false, readOnly = false;
  if (!StatTimes(AT_FDCWD, path.c_str(), &d->ftCreationTime, &d->ftLastAccessTime,
                 &d->ftLastWriteTime, &size, &isDir, &readOnly))
    return false;
  d->dwFileAttributes = isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (readOnly) d->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  d->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  d->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  std::u16string wide = wincompat::detail::Widen(name);
  if (wide.size() >= MAX_PATH) wide.resize(MAX_PATH - 1);
  std::memcpy(d->cFileName, wide.data(), wide.size() * sizeof(char16_t));
  return true;
}

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const bool write = dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL);
  const bool read = dwDesiredAccess & (GENERIC_READ | GENERIC_ALL);
  int flags = O_CLOEXEC | (write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY);
  switch (dwCreationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      if (!write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if ((flags & O_CREAT) && !write) flags = (flags & ~(O_RDONLY | O_WRONLY)) | O_RDWR;
  const std::string path = wincompat::detail::Narrow(lpFileName);
  const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  const int fd = ::open(path.c_str(), flags, mode);
  if (fd < 0) {
    FailErrno();
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto* f = new File;
  f->fd = fd;
  SetLastError(0);
  return f;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPVOID) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  File* f = AsFile(hFile);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD done = 0;
  auto* p = static_cast<uint8_t*>(lpBuffer);
  while (done < nNumberOfBytesToRead) {
    ssize_t got = ::read(f->fd, p + done, nNumberOfBytesToRead - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return FailErrno();
    if (got == 0) break;
    done += static_cast<DWORD>(got);
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPVOID) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  File* f = AsFile(hFile);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD done = 0;
  const auto* p = static_cast<const uint8_t*>(lpBuffer);
  while (done < nNumberOfBytesToWrite) {
    ssize_t put = ::write(f->fd, p + done, nNumberOfBytesToWrite - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
      return put < 0 ? FailErrno() : (SetLastError(ERROR_DISK_FULL), FALSE);
    }
    done += static_cast<DWORD>(put);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime) {
  File* f = AsFile(hFile);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!StatTimes(f->fd, nullptr, lpCreationTime, lpLastAccessTime, lpLastWriteTime, nullptr,
                 nullptr, nullptr))
    return FailErrno();
  return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME*, const FILETIME* lpLastAccessTime,
                        const FILETIME* lpLastWriteTime) {
  File* f = AsFile(hFile);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  struct timespec ts[2];
  ts[0].tv_nsec = ts[1].tv_nsec = UTIME_OMIT;
  ts[0].tv_sec = ts[1].tv_sec = 0;
  if (lpLastAccessTime) ts[0] = FromFileTime(*lpLastAccessTime);
  if (lpLastWriteTime) ts[1] = FromFileTime(*lpLastWriteTime);
  if (::futimens(f->fd, ts) != 0) return FailErrno();
  return TRUE;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (!lpPathName || !*lpPathName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const std::string path = wincompat::detail::Narrow(lpPathName);
  if (::mkdir(path.c_str(), 0777) == 0) return TRUE;
  const int e = errno;
  SetLastError(e == EEXIST ? ERROR_ALREADY_EXISTS
               : e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                             : ErrorFromErrno(e));
  return FALSE;
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  if (!lpFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string path = wincompat::detail::Narrow(lpFileName);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::unlink(path.c_str()) != 0) return FailErrno();
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  File* f = AsFile(hFile);
  struct stat st;
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  if (::fstat(f->fd, &st) != 0) {
    FailErrno();
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(0);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  if (!lpExistingFileName || !lpNewFileName || !*lpExistingFileName || !*lpNewFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string from = wincompat::detail::Narrow(lpExistingFileName);
  const std::string to = wincompat::detail::Narrow(lpNewFileName);
  // Non-blocking open: a pipe or device named as the source is refused, not waited on.
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return FailErrno();
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const int out = ::open(to.c_str(),
                         O_WRONLY | O_CREAT | O_CLOEXEC | (bFailIfExists ? O_EXCL : O_TRUNC), 0666);
  if (out < 0) {
    const int e = errno;
    ::close(in);
    errno = e;
    return FailErrno();
  }
  std::vector<uint8_t> buffer(64 * 1024);
  bool ok = true;
  int error = 0;
  for (;;) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ok = false;
      error = errno;
      break;
    }
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        ok = false;
        error = put < 0 ? errno : ENOSPC;
        break;
      }
      done += put;
    }
    if (!ok) break;
  }
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(to.c_str());
    errno = error;
    return FailErrno();
  }
  SetLastError(0);
  return TRUE;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (!lpFileName || !*lpFileName || !lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string pattern = wincompat::detail::Narrow(lpFileName);
  const size_t slash = pattern.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : pattern.substr(0, slash ? slash : 1);
  const std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  auto search = std::make_unique<Search>();
  if (last.find_first_of("*?") == std::string::npos) {
    WIN32_FIND_DATAW d;
    if (last.empty() || !FillFindData(pattern, last, &d)) {
      SetLastError(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    search->found.push_back(d);
  } else {
    DIR* dp = ::opendir(dir.c_str());
    if (!dp) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    const std::string match = last == "*.*" ? "*" : last;
    while (dirent* e = ::readdir(dp)) {
      if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
      if (::fnmatch(match.c_str(), e->d_name, 0) != 0) continue;
      WIN32_FIND_DATAW d;
      if (FillFindData(dir + "/" + e->d_name, e->d_name, &d)) search->found.push_back(d);
    }
    ::closedir(dp);
    if (search->found.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
  }
  *lpFindFileData = search->found[0];
  search->next = 1;
  SetLastError(0);
  return search.release();
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  Search* s = AsSearch(hFindFile);
  if (!s || !lpFindFileData) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (s->next >= s->found.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *lpFindFileData = s->found[s->next++];
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  Search* s = AsSearch(hFindFile);
  if (!s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete s;
  return TRUE;
}
