#include "emulator/RapiSession.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "emulator/Text.h"
#include "wincompat/rapi.h"

namespace wmemu {

namespace {

using rapi2::Reader;
using rapi2::Writer;

constexpr uint32_t kInvalidHandle = 0xFFFFFFFFu;
// Registry value names the device accepts.
constexpr size_t kMaxValueName = 255;
constexpr size_t kMaxReply = rapi2::kMaxFrame - 64;

bool Hidden(const FileEntry& e) { return e.attrs & FILE_ATTRIBUTE_HIDDEN; }

}  // namespace

const char* RapiCommandName(uint32_t command) {
  switch (command) {
    case rapi2::SyncTimeToPc::kCommand:
      return "CeSyncTimeToPc";
    case rapi2::SyncControl::kStartReplication:
      return "CeStartReplication";
    case rapi2::ProcessConfig::kCommand:
      return "CeProcessConfig";
    case rapi2::SyncControl::kSyncPause:
      return "CeSyncPause";
    case rapi2::SyncControl::kSyncResume:
      return "CeSyncResume";
    case rapi2::kFindFirstFile:
      return "CeFindFirstFile";
    case rapi2::kFindNextFile:
      return "CeFindNextFile";
    case rapi2::kFindClose:
      return "CeFindClose";
    case rapi2::GetFileAttributes::kCommand:
      return "CeGetFileAttributes";
    case rapi2::kCreateFile:
      return "CeCreateFile";
    case rapi2::kReadFile:
      return "CeReadFile";
    case rapi2::kWriteFile:
      return "CeWriteFile";
    case rapi2::kCloseHandle:
      return "CeCloseHandle";
    case rapi2::kFindAllFiles:
      return "CeFindAllFiles";
    case rapi2::SetFilePointer::kCommand:
      return "CeSetFilePointer";
    case rapi2::SetEndOfFile::kCommand:
      return "CeSetEndOfFile";
    case rapi2::kCreateDirectory:
      return "CeCreateDirectory";
    case rapi2::kRemoveDirectory:
      return "CeRemoveDirectory";
    case rapi2::CreateProcess::kCommand:
      return "CeCreateProcess";
    case rapi2::kMoveFile:
      return "CeMoveFile";
    case rapi2::kCopyFile:
      return "CeCopyFile";
    case rapi2::kDeleteFile:
      return "CeDeleteFile";
    case rapi2::GetFileSize::kCommand:
      return "CeGetFileSize";
    case rapi2::kRegOpenKeyEx:
      return "CeRegOpenKeyEx";
    case rapi2::RegEnumKeyEx::kCommand:
      return "CeRegEnumKeyEx";
    case rapi2::kRegCreateKeyEx:
      return "CeRegCreateKeyEx";
    case rapi2::kRegCloseKey:
      return "CeRegCloseKey";
    case rapi2::RegDelete::kDeleteKey:
      return "CeRegDeleteKey";
    case rapi2::RegEnumValue::kCommand:
      return "CeRegEnumValue";
    case rapi2::RegDelete::kDeleteValue:
      return "CeRegDeleteValue";
    case rapi2::RegQueryInfoKey::kCommand:
      return "CeRegQueryInfoKey";
    case rapi2::kRegQueryValueEx:
      return "CeRegQueryValueEx";
    case rapi2::kRegSetValueEx:
      return "CeRegSetValueEx";
    case rapi2::GetStoreInformation::kCommand:
      return "CeGetStoreInformation";
    case rapi2::GetSystemInfo::kCommand:
      return "CeGetSystemInfo";
    case rapi2::kGetFileTime:
      return "CeGetFileTime";
    case rapi2::kSetFileTime:
      return "CeSetFileTime";
    case rapi2::kGetVersionEx:
      return "CeGetVersionEx";
    case rapi2::GetSystemPowerStatusEx::kCommand:
      return "CeGetSystemPowerStatusEx";
    case rapi2::GetSpecialFolderPath::kCommand:
      return "CeGetSpecialFolderPath";
    case rapi2::kRapiInvoke:
      return "CeRapiInvoke";
    case rapi2::SyncControl::kSyncStart:
      return "CeSyncStart";
    case rapi2::kGetDiskFreeSpaceEx:
      return "CeGetDiskFreeSpaceEx";
    default:
      return "";
  }
}

void WriteFailure(uint32_t command, uint32_t error, const Reader& request, Writer* w) {
  const int32_t hr = HRESULT_FROM_WIN32(error);
  switch (command) {
    // BOOL
    case rapi2::kFindClose:
    case rapi2::kCloseHandle:
    case rapi2::kCreateDirectory:
    case rapi2::kRemoveDirectory:
    case rapi2::kMoveFile:
    case rapi2::kCopyFile:
    case rapi2::kDeleteFile:
    case rapi2::kSetFileTime:
      rapi2::BoolReply::WriteReply(*w, {error, 0});
      break;
    case rapi2::SyncControl::kStartReplication:
      rapi2::SyncControl::WriteReply(*w, {error, 0});
      break;
    // unchecked by the peer, answered the same way
    case rapi2::SyncTimeToPc::kCommand:
      rapi2::SyncTimeToPc::WriteReply(*w, {error, 0});
      break;
    // BOOL and a fixed tail
    case rapi2::kFindNextFile:
      rapi2::FindFile::WriteReply(*w, {error, 0, false, {}});
      break;
    case rapi2::kReadFile:
      rapi2::ReadFile::WriteReply(*w, {error, 0, nullptr, 0});
      break;
    case rapi2::kWriteFile:
      rapi2::WriteFile::WriteReply(*w, {error, 0, 0});
      break;
    case rapi2::kGetVersionEx:
      rapi2::GetVersionEx::WriteReply(*w, {error, 0, 0, 0, 0, 0, {}});
      break;
    case rapi2::kGetFileTime:
      rapi2::GetFileTime::WriteReply(*w, {error, 0, 0, 0, 0});
      break;
    case rapi2::kGetDiskFreeSpaceEx:
      rapi2::GetDiskFreeSpaceEx::WriteReply(*w, {error, 0, 0, 0, 0});
      break;
    case rapi2::CreateProcess::kCommand:
      rapi2::CreateProcess::WriteReply(*w, {error, 0, {}});
      break;
    case rapi2::GetStoreInformation::kCommand:
      rapi2::GetStoreInformation::WriteReply(*w, {error, 0, 0, 0});
      break;
    case rapi2::SetEndOfFile::kCommand:
      rapi2::SetEndOfFile::WriteReply(*w, {error, 0});
      break;
    case rapi2::GetSystemPowerStatusEx::kCommand:
      rapi2::GetSystemPowerStatusEx::WriteReply(*w, {});
      break;
    // registry LONG: the error is the result, nothing bracketed follows
    case rapi2::kRegOpenKeyEx:
    case rapi2::RegEnumKeyEx::kCommand:
    case rapi2::kRegCreateKeyEx:
    case rapi2::kRegCloseKey:
    case rapi2::RegDelete::kDeleteKey:
    case rapi2::RegEnumValue::kCommand:
    case rapi2::RegDelete::kDeleteValue:
    case rapi2::RegQueryInfoKey::kCommand:
    case rapi2::kRegQueryValueEx:
    case rapi2::kRegSetValueEx:
      rapi2::RegResultReply::WriteReply(*w, {error, static_cast<int32_t>(error)});
      break;
    // HRESULT
    case rapi2::SyncControl::kSyncPause:
    case rapi2::SyncControl::kSyncResume:
    case rapi2::SyncControl::kSyncStart:
      rapi2::SyncControl::WriteReply(*w, {error, static_cast<uint32_t>(hr)});
      break;
    case rapi2::kRapiInvoke: {
      // The stream answer is word 0 alone.
      Reader peek = request;
      rapi2::RapiInvoke::Request q;
      if (rapi2::RapiInvoke::ReadRequest(peek, &q) && q.mode == 1)
        rapi2::RapiInvoke::WriteStreamReply(*w, error);
      else
        rapi2::RapiInvoke::WriteReply(*w, {error, hr, nullptr, 0});
      break;
    }
    case rapi2::ProcessConfig::kCommand: {
      rapi2::ProcessConfig::Reply r;
      r.lastErr = error;
      r.hr = hr;
      rapi2::ProcessConfig::WriteReply(*w, r);
      break;
    }
    // handles
    case rapi2::kCreateFile:
      rapi2::CreateFile::WriteReply(*w, {error, rapi2::kFailedWord});
      break;
    case rapi2::kFindFirstFile:
      rapi2::FindFile::WriteReply(*w, {error, rapi2::kFailedWord, false, {}});
      break;
    // attribute set, size, position
    case rapi2::GetFileAttributes::kCommand:
      rapi2::GetFileAttributes::WriteReply(*w, {error, rapi2::kFailedWord});
      break;
    case rapi2::GetFileSize::kCommand: {
      Reader peek = request;
      rapi2::GetFileSize::Request q;
      const bool wantHigh = rapi2::GetFileSize::ReadRequest(peek, &q) && q.wantHigh;
      rapi2::GetFileSize::WriteReply(*w, {error, rapi2::kFailedWord, 0}, wantHigh);
      break;
    }
    case rapi2::SetFilePointer::kCommand: {
      Reader peek = request;
      rapi2::SetFilePointer::Request q;
      const bool hasHigh = rapi2::SetFilePointer::ReadRequest(peek, &q) && q.hasHigh;
      rapi2::SetFilePointer::WriteReply(*w, {error, rapi2::kFailedWord, 0}, hasHigh);
      break;
    }
    // counted string, record list, void
    case rapi2::GetSpecialFolderPath::kCommand:
      rapi2::GetSpecialFolderPath::WriteReply(*w, {error, u""});
      break;
    case rapi2::kFindAllFiles:
      rapi2::FindAllFiles::WriteReply(*w, {error, 0, {}}, 0);
      break;
    case rapi2::GetSystemInfo::kCommand:
      w->u32(error);
      break;
    default:
      // No layout is known: word 0 alone leaves every reader on its own failure value.
      rapi2::WriteUnknownCommandReply(*w);
  }
}

// ---- Connection ------------------------------------------------------------

Connection::Connection(int fd, FaultInjector& faults, int ioTimeoutMs, uint32_t maxFrame)
    : fd_(fd), faults_(faults), ioTimeoutMs_(ioTimeoutMs), maxFrame_(maxFrame) {
  if (ioTimeoutMs_ > 0) {
    // A client that stops taking its replies fails the write that would block past it.
    timeval tv{ioTimeoutMs_ / 1000, (ioTimeoutMs_ % 1000) * 1000};
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
}

rapi2::IoResult Connection::ReadFrame(std::vector<uint8_t>* payload) {
  return rapi2::RecvNextFrame(fd_, payload, ioTimeoutMs_, maxFrame_);
}

bool Connection::Read(void* p, size_t n) {
  return rapi2::RecvAll(fd_, p, n, ioTimeoutMs_) == rapi2::IoResult::kOk;
}

bool Connection::ReadNext(void* p, size_t n) {
  // The wait for the next stream packet is open-ended, its bytes are not.
  return rapi2::RecvNext(fd_, p, n, ioTimeoutMs_) == rapi2::IoResult::kOk;
}

size_t Connection::ReadSome(void* p, size_t n) {
  for (;;) {
    ssize_t got = ::recv(fd_, p, n, 0);
    if (got < 0 && errno == EINTR) continue;
    return got > 0 ? static_cast<size_t>(got) : 0;
  }
}

bool Connection::Write(const void* p, size_t n) {
  if (dropped_) return false;
  bool drop = false;
  size_t allowed = faults_.AllowWrite(n, &drop);
  bool ok = allowed == 0 || rapi2::SendAll(fd_, p, allowed) == rapi2::IoResult::kOk;
  if (drop) {
    dropped_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    return false;
  }
  return ok;
}

rapi2::IoResult MemoryConnection::ReadFrame(std::vector<uint8_t>* payload) {
  uint8_t len[4];
  if (!Read(len, 4)) return rapi2::IoResult::kClosed;
  uint32_t n = uint32_t(len[0]) | uint32_t(len[1]) << 8 | uint32_t(len[2]) << 16 |
               uint32_t(len[3]) << 24;
  if (n > rapi2::kMaxFrame) return rapi2::IoResult::kTooLarge;
  if (n > size_ - at_) return rapi2::IoResult::kClosed;
  payload->assign(in_ + at_, in_ + at_ + n);
  at_ += n;
  return rapi2::IoResult::kOk;
}

bool MemoryConnection::Read(void* p, size_t n) {
  if (n > size_ - at_) {
    at_ = size_;
    return false;
  }
  if (n) std::memcpy(p, in_ + at_, n);
  at_ += n;
  return true;
}

size_t MemoryConnection::ReadSome(void* p, size_t n) {
  n = std::min(n, size_ - at_);
  if (n) std::memcpy(p, in_ + at_, n);
  at_ += n;
  return n;
}

bool MemoryConnection::Write(const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  out_.insert(out_.end(), b, b + n);
  return true;
}

bool Connection::WriteReply(std::string_view name, const void* p, size_t n) {
  return WriteReply(name, {}, p, n);
}

bool Connection::WriteReply(std::string_view name, std::string_view alt, const void* p,
                            size_t n) {
  bool cut = false;
  const size_t allowed = faults_.ReplyBytes(name, alt, n, &cut);
  const bool ok = Write(p, allowed);
  if (cut && !dropped_) {
    dropped_ = true;
    ::shutdown(fd_, SHUT_RDWR);
  }
  return ok && !cut;
}

// ---- Session -----------------------------------------------------------------

RapiSession::~RapiSession() {
  for (auto& [h, f] : files_) core_.fs.Close(f);
}

uint32_t RapiSession::NewHandle() {
  uint32_t h = nextHandle_++;
  if (nextHandle_ == kInvalidHandle || nextHandle_ == 0) nextHandle_ = 0x1000;
  return h;
}

void RapiSession::Run() {
  std::vector<uint8_t> payload;
  for (;;) {
    readAhead_.reset();
    if (conn_.ReadFrame(&payload) != rapi2::IoResult::kOk) return;
    Reader rd(payload);
    uint32_t cmd = 0;
    Writer w;
    if (!rd.u32(&cmd)) {
      rapi2::WriteUnknownCommandReply(w);
      if (!conn_.Write(w.Finish().data(), w.payloadSize() + 4)) return;
      continue;
    }
    std::string name = RapiCommandName(cmd);
    // An invocation is also known by its DevCe function, for the faults.
    std::string fn;
    uint32_t invokeMode = 0;
    if (cmd == rapi2::kRapiInvoke) {
      Reader peek = rd;
      rapi2::RapiInvoke::Request q;
      if (rapi2::RapiInvoke::ReadRequest(peek, &q)) {
        fn = Utf8(q.function);
        invokeMode = q.mode;
      }
    }
    if (core_.faults.TakeDropOnCall(name, fn)) return;
    if (int ms = core_.faults.DelayFor(name, fn))
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    Outcome outcome = Outcome::kReply;
    if (auto f = core_.faults.TakeFailure(name, fn)) {
      if (cmd == rapi2::kRapiInvoke) {
        if (invokeMode == 1) {
          // The stream is refused: word 0 alone, then the connection closes.
          rapi2::RapiInvoke::WriteStreamReply(w, f->DeviceError());
          outcome = Outcome::kDrop;
        } else {
          rapi2::RapiInvoke::WriteReply(w, {f->DeviceError(), f->Hresult(), nullptr, 0});
        }
        std::vector<uint8_t> frame = w.Finish();
        if (!conn_.WriteReply(name, fn, frame.data(), frame.size()) || outcome == Outcome::kDrop)
          return;
        continue;
      }
      WriteFailure(cmd, f->DeviceError(), rd, &w);
    } else {
      outcome = Handle(cmd, rd, &w);
    }
    if (outcome == Outcome::kDrop || outcome == Outcome::kStreamDone) return;
    std::vector<uint8_t> frame = w.Finish();
    if (!conn_.WriteReply(name, fn, frame.data(), frame.size())) return;
    rapi2::GiveBuffer(std::move(frame));
    if (readAhead_) {
      core_.fs.ReadAhead(*readAhead_, readAheadBytes_);
      readAhead_.reset();
    }
  }
}

uint32_t RapiSession::KeyOf(uint32_t hkey, int64_t* id) {
  if (DeviceRegistry::IsRoot(hkey)) {
    *id = core_.registry.Root(hkey);
    return 0;
  }
  auto it = keys_.find(hkey);
  if (it == keys_.end()) return ERROR_INVALID_HANDLE;
  if (!core_.registry.Exists(it->second)) return ERROR_KEY_DELETED;
  *id = it->second;
  return 0;
}

RapiSession::Outcome RapiSession::Handle(uint32_t cmd, Reader& rd, Writer* w) {
  const Reader request = rd;
  auto fail = [&](uint32_t err) { WriteFailure(cmd, err, request, w); };
  switch (cmd) {
    case rapi2::kCreateFile: {
      rapi2::CreateFile::Request q;
      if (!rapi2::CreateFile::ReadRequest(rd, &q))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      std::shared_ptr<DeviceFs::OpenFile> f;
      if (uint32_t err =
              core_.fs.Open(q.path, q.access, q.share, q.disposition, q.flagsAndAttributes, &f))
        return fail(err), Outcome::kReply;
      uint32_t handle = NewHandle();
      files_[handle] = std::move(f);
      rapi2::CreateFile::WriteReply(*w, {0, handle});
      return Outcome::kReply;
    }
    case rapi2::kReadFile: {
      rapi2::ReadFile::Request q;
      if (!rapi2::ReadFile::ReadRequest(rd, &q))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      auto it = files_.find(q.handle);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      bool drop = false;
      const uint32_t n = static_cast<uint32_t>(core_.faults.AllowFileBytes(q.bytesToRead, &drop));
      if (drop) return Outcome::kDrop;
      std::vector<uint8_t>& data = fileData_;
      if (uint32_t err = core_.fs.Read(*it->second, n, &data)) return fail(err), Outcome::kReply;
      rapi2::ReadFile::WriteReply(*w, {0, 1, data.data(), static_cast<uint32_t>(data.size())});
      if (n > 0 && data.size() == n) {
        readAhead_ = it->second;
        readAheadBytes_ = n;
      }
      return Outcome::kReply;
    }
    case rapi2::kWriteFile: {
      rapi2::WriteFile::Request q;
      if (!rapi2::WriteFile::ReadRequest(rd, &q))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      auto it = files_.find(q.handle);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      bool drop = false;
      const uint64_t allowed = core_.faults.AllowFileBytes(q.size, &drop);
      if (drop) return Outcome::kDrop;
      if (allowed < q.size) {
        // The connection breaks in the middle of this write: what arrived is stored.
        core_.fs.Write(*it->second, q.data, static_cast<uint32_t>(allowed));
        core_.faults.DropAfterFileBytes(0);
        return Outcome::kDrop;
      }
      if (uint32_t err = core_.fs.Write(*it->second, q.data, q.size))
        return fail(err), Outcome::kReply;
      rapi2::WriteFile::WriteReply(*w, {0, 1, q.size});
      return Outcome::kReply;
    }
    case rapi2::kCloseHandle: {
      rapi2::HandleRequest::Request q;
      if (!rapi2::HandleRequest::ReadRequest(rd, &q))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      auto it = files_.find(q.handle);
      if (it != files_.end()) {
        core_.fs.Close(it->second);
        files_.erase(it);
      } else if (!processes_.erase(q.handle)) {
        return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      }
      rapi2::BoolReply::WriteReply(*w, {0, 1});
      return Outcome::kReply;
    }
    case rapi2::kGetFileTime: {
      rapi2::HandleRequest::Request q;
      if (!rapi2::HandleRequest::ReadRequest(rd, &q))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      auto it = files_.find(q.handle);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      rapi2::GetFileTime::Reply r;
      if (uint32_t err = core_.fs.GetTimes(*it->second, &r.creation, &r.lastAccess, &r.lastWrite))
        return fail(err), Outcome::kReply;
      r.lastErr = 0;
      r.ok = 1;
      rapi2::GetFileTime::WriteReply(*w, r);
      return Outcome::kReply;
    }
    case rapi2::kSetFileTime: {
      rapi2::SetFileTime::Request q;
      if (!rapi2::SetFileTime::ReadRequest(rd, &q))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      auto it = files_.find(q.handle);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      if (uint32_t err = core_.fs.SetTimes(*it->second, q.given[0] ? &q.times[0] : nullptr,
                                           q.given[1] ? &q.times[1] : nullptr,
                                           q.given[2] ? &q.times[2] : nullptr))
        return fail(err), Outcome::kReply;
      rapi2::BoolReply::WriteReply(*w, {0, 1});
      return Outcome::kReply;
    }
    case rapi2::kCopyFile:
    case rapi2::kMoveFile: {
      rapi2::CopyMoveFile::Request q;
      if (!rapi2::CopyMoveFile::ReadRequest(rd, cmd, &q) || q.fromNull || q.toNull)
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      const uint32_t err = cmd == rapi2::kCopyFile ? core_.fs.CopyFile(q.from, q.to, q.failIfExists != 0)
                                                   : core_.fs.MoveFile(q.from, q.to);
      if (err) return fail(err), Outcome::kReply;
      rapi2::BoolReply::WriteReply(*w, {0, 1});
      return Outcome::kReply;
    }
    case rapi2::kDeleteFile:
    case rapi2::kCreateDirectory:
    case rapi2::kRemoveDirectory: {
      rapi2::PathRequest::Request q;
      if (!rapi2::PathRequest::ReadRequest(rd, &q) || q.pathNull)
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      const uint32_t err = cmd == rapi2::kDeleteFile        ? core_.fs.DeleteFile(q.path)
                           : cmd == rapi2::kCreateDirectory ? core_.fs.CreateDirectory(q.path)
                                                            : core_.fs.RemoveDirectory(q.path);
      if (err) return fail(err), Outcome::kReply;
      rapi2::BoolReply::WriteReply(*w, {0, 1});
      return Outcome::kReply;
    }
    case rapi2::kGetDiskFreeSpaceEx: {
      rapi2::PathRequest::Request q;
      if (!rapi2::PathRequest::ReadRequest(rd, &q))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      rapi2::GetDiskFreeSpaceEx::Reply r;
      if (uint32_t err = core_.fs.DiskFreeSpace(q.path, &r.freeToCaller, &r.total, &r.totalFree))
        return fail(err), Outcome::kReply;
      r.lastErr = 0;
      r.ok = 1;
      rapi2::GetDiskFreeSpaceEx::WriteReply(*w, r);
      return Outcome::kReply;
    }
    case rapi2::kFindFirstFile:
      FindFirst(rd, w);
      return Outcome::kReply;
    case rapi2::kFindNextFile:
      FindNext(rd, w);
      return Outcome::kReply;
    case rapi2::kFindClose: {
      rapi2::HandleRequest::Request q;
      if (!rapi2::HandleRequest::ReadRequest(rd, &q))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      if (!searches_.erase(q.handle)) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      rapi2::BoolReply::WriteReply(*w, {0, 1});
      return Outcome::kReply;
    }
    case rapi2::kFindAllFiles:
      FindAll(rd, w);
      return Outcome::kReply;
    case rapi2::kGetVersionEx: {
      // Windows CE 5.2, as the phones of this family report.
      rapi2::GetVersionEx::Reply r;
      r.lastErr = 0;
      r.ok = 1;
      r.major = 5;
      r.minor = 2;
      r.build = 21234;
      r.platformId = 3;
      rapi2::GetVersionEx::WriteReply(*w, r);
      return Outcome::kReply;
    }
    case rapi2::kRegOpenKeyEx:
      RegOpen(rd, w, false);
      return Outcome::kReply;
    case rapi2::kRegCreateKeyEx:
      RegOpen(rd, w, true);
      return Outcome::kReply;
    case rapi2::kRegQueryValueEx:
      RegQuery(rd, w);
      return Outcome::kReply;
    case rapi2::kRegSetValueEx:
      RegSet(rd, w);
      return Outcome::kReply;
    case rapi2::kRegCloseKey: {
      rapi2::HandleRequest::Request q;
      if (!rapi2::HandleRequest::ReadRequest(rd, &q))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      if (!DeviceRegistry::IsRoot(q.handle) && !keys_.erase(q.handle))
        return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      rapi2::RegResultReply::WriteReply(*w, {0, 0});
      return Outcome::kReply;
    }
    case rapi2::kRapiInvoke:
      return Invoke(rd, w);
    case rapi2::GetFileAttributes::kCommand:
    case rapi2::SetFilePointer::kCommand:
    case rapi2::SetEndOfFile::kCommand:
    case rapi2::GetFileSize::kCommand:
    case rapi2::GetSpecialFolderPath::kCommand:
      FileCall(cmd, rd, w);
      return Outcome::kReply;
    case rapi2::RegEnumKeyEx::kCommand:
    case rapi2::RegEnumValue::kCommand:
    case rapi2::RegQueryInfoKey::kCommand:
    case rapi2::RegDelete::kDeleteKey:
    case rapi2::RegDelete::kDeleteValue:
      RegistryCall(cmd, rd, w);
      return Outcome::kReply;
    case rapi2::SyncTimeToPc::kCommand:
    case rapi2::SyncControl::kStartReplication:
    case rapi2::SyncControl::kSyncPause:
    case rapi2::SyncControl::kSyncResume:
    case rapi2::SyncControl::kSyncStart:
    case rapi2::ProcessConfig::kCommand:
    case rapi2::CreateProcess::kCommand:
    case rapi2::GetSystemInfo::kCommand:
    case rapi2::GetStoreInformation::kCommand:
    case rapi2::GetSystemPowerStatusEx::kCommand:
      SystemCall(cmd, rd, w);
      return Outcome::kReply;
    default:
      fail(ERROR_CALL_NOT_IMPLEMENTED);
      return Outcome::kReply;
  }
}

namespace {

rapi2::FindData FindDataOf(const FileEntry& e) {
  rapi2::FindData d;
  d.attributes = e.attrs;
  d.creation = e.ctime;
  d.lastAccess = e.atime;
  d.lastWrite = e.mtime;
  d.sizeHigh = static_cast<uint32_t>(e.size >> 32);
  d.sizeLow = static_cast<uint32_t>(e.size);
  d.oid = e.oid;
  d.name = e.name.substr(0, MAX_PATH - 1);
  return d;
}

}  // namespace

void RapiSession::FindFirst(Reader& rd, Writer* w) {
  rapi2::PathRequest::Request q;
  if (!rapi2::PathRequest::ReadRequest(rd, &q) || q.pathNull)
    return WriteFailure(rapi2::kFindFirstFile, ERROR_INVALID_PARAMETER, w);
  Search s;
  if (uint32_t err = core_.fs.Find(q.path, &s.entries))
    return WriteFailure(rapi2::kFindFirstFile, err, w);
  uint32_t h = NewHandle();
  rapi2::FindFile::Reply r;
  r.lastErr = 0;
  r.result = h;
  r.found = true;
  r.data = FindDataOf(s.entries[0]);
  s.next = 1;
  searches_[h] = std::move(s);
  rapi2::FindFile::WriteReply(*w, r);
}

void RapiSession::FindNext(Reader& rd, Writer* w) {
  rapi2::HandleRequest::Request q;
  if (!rapi2::HandleRequest::ReadRequest(rd, &q))
    return WriteFailure(rapi2::kFindNextFile, ERROR_INVALID_PARAMETER, w);
  auto it = searches_.find(q.handle);
  if (it == searches_.end()) return WriteFailure(rapi2::kFindNextFile, ERROR_INVALID_HANDLE, w);
  Search& s = it->second;
  if (s.next >= s.entries.size()) return WriteFailure(rapi2::kFindNextFile, ERROR_NO_MORE_FILES, w);
  rapi2::FindFile::Reply r;
  r.lastErr = 0;
  r.result = 1;
  r.found = true;
  r.data = FindDataOf(s.entries[s.next++]);
  rapi2::FindFile::WriteReply(*w, r);
}

void RapiSession::FindAll(Reader& rd, Writer* w) {
  rapi2::FindAllFiles::Request q;
  if (!rapi2::FindAllFiles::ReadRequest(rd, &q) || q.patternNull)
    return WriteFailure(rapi2::kFindAllFiles, ERROR_INVALID_PARAMETER, w);
  const uint32_t flags = q.flags;
  std::vector<FileEntry> entries;
  uint32_t err = core_.fs.Find(q.pattern, &entries);
  if (err && err != ERROR_NO_MORE_FILES) return WriteFailure(rapi2::kFindAllFiles, err, w);
  rapi2::FindAllFiles::Reply r;
  r.lastErr = 0;
  r.ok = 1;
  for (const FileEntry& e : entries) {
    if ((flags & FAF_FOLDERS_ONLY) && !(e.attrs & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if ((flags & FAF_ATTRIB_NO_HIDDEN) && Hidden(e)) continue;
    if ((flags & FAF_NO_HIDDEN_SYS_ROMMODULES) &&
        ((e.attrs & FILE_ATTRIBUTE_ROMMODULE) ||
         ((e.attrs & FILE_ATTRIBUTE_HIDDEN) && (e.attrs & FILE_ATTRIBUTE_SYSTEM))))
      continue;
    rapi2::FindData d = FindDataOf(e);
    if ((flags & FAF_ATTRIB_CHILDREN) && e.hasChildren) d.attributes |= FILE_ATTRIBUTE_HAS_CHILDREN;
    r.found.push_back(std::move(d));
  }
  rapi2::FindAllFiles::WriteReply(*w, r, flags);
}

void RapiSession::RegOpen(Reader& rd, Writer* w, bool create) {
  const uint32_t cmd = create ? rapi2::RegOpenKey::kCreate : rapi2::RegOpenKey::kOpen;
  rapi2::RegOpenKey::Request q;
  if (!rapi2::RegOpenKey::ReadRequest(rd, cmd, &q)) return WriteFailure(cmd, ERROR_INVALID_PARAMETER, w);
  int64_t key;
  if (uint32_t err = KeyOf(q.hkey, &key)) return WriteFailure(cmd, err, w);
  if (q.subKey.size() > 255 * 32) return WriteFailure(cmd, ERROR_INVALID_PARAMETER, w);
  rapi2::RegOpenKey::Reply r;
  r.lastErr = 0;
  r.result = 0;
  if (create) {
    auto [id, created] = core_.registry.Create(key, q.subKey);
    r.key = NewHandle();
    keys_[r.key] = id;
    r.disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return rapi2::RegOpenKey::WriteReply(*w, cmd, r);
  }
  auto id = core_.registry.Open(key, q.subKey);
  if (!id) return WriteFailure(cmd, ERROR_FILE_NOT_FOUND, w);
  r.key = NewHandle();
  keys_[r.key] = *id;
  rapi2::RegOpenKey::WriteReply(*w, cmd, r);
}

void RapiSession::RegQuery(Reader& rd, Writer* w) {
  rapi2::RegQueryValueEx::Request q;
  if (!rapi2::RegQueryValueEx::ReadRequest(rd, &q))
    return WriteFailure(rapi2::kRegQueryValueEx, ERROR_INVALID_PARAMETER, w);
  int64_t key;
  if (uint32_t err = KeyOf(q.hkey, &key)) return WriteFailure(rapi2::kRegQueryValueEx, err, w);
  auto v = core_.registry.Query(key, q.name);
  if (!v) return WriteFailure(rapi2::kRegQueryValueEx, ERROR_FILE_NOT_FOUND, w);
  rapi2::RegQueryValueEx::Reply r;
  r.hasTypeAndSize = true;
  r.type = v->type;
  r.size = static_cast<uint32_t>(v->data.size());
  if (q.cbData > 0 && q.cbData < r.size) {
    // Too small a buffer: the type and the size, so that the caller can ask again.
    r.lastErr = ERROR_MORE_DATA;
    r.result = ERROR_MORE_DATA;
  } else {
    // A size probe (no buffer) gets the type and the size alone.
    r.lastErr = 0;
    r.result = 0;
    if (q.cbData > 0) r.data = v->data.data();
  }
  rapi2::RegQueryValueEx::WriteReply(*w, r);
}

void RapiSession::RegSet(Reader& rd, Writer* w) {
  rapi2::RegSetValueEx::Request q;
  if (!rapi2::RegSetValueEx::ReadRequest(rd, &q))
    return WriteFailure(rapi2::kRegSetValueEx, ERROR_INVALID_PARAMETER, w);
  int64_t key;
  if (uint32_t err = KeyOf(q.hkey, &key)) return WriteFailure(rapi2::kRegSetValueEx, err, w);
  if (q.name.size() > kMaxValueName || q.type > REG_MULTI_SZ ||
      ((q.type == REG_DWORD || q.type == REG_DWORD_BIG_ENDIAN) && q.size != 4))
    return WriteFailure(rapi2::kRegSetValueEx, ERROR_INVALID_PARAMETER, w);
  core_.registry.Set(key, q.name, q.type, std::vector<uint8_t>(q.data, q.data + q.size));
  rapi2::RegResultReply::WriteReply(*w, {0, 0});
}

RapiSession::Outcome RapiSession::Invoke(Reader& rd, Writer* w) {
  rapi2::RapiInvoke::Request q;
  if (!rapi2::RapiInvoke::ReadRequest(rd, &q) || q.mode > 1) {
    rapi2::RapiInvoke::WriteReply(*w, {ERROR_INVALID_PARAMETER, E_INVALIDARG, nullptr, 0});
    return Outcome::kReply;
  }
  const std::u16string& dll = q.dll;
  const std::u16string& func = q.function;
  const uint32_t mode = q.mode;
  const uint8_t* p = q.input;
  const uint32_t cb = q.inputSize;
  uint32_t err = 0;
  BlockFunction block;
  StreamFunction stream;
  if (!ServiceRegistry::IsServiceLibrary(dll)) {
    err = ERROR_MOD_NOT_FOUND;
  } else if (mode == 0 ? !(block = core_.services.FindBlock(func))
                       : !(stream = core_.services.FindStream(func))) {
    err = ERROR_PROC_NOT_FOUND;
  }
  if (err) {
    if (mode == 1) {
      // The stream is refused: word 0 alone, then the connection closes.
      rapi2::RapiInvoke::WriteStreamReply(*w, err);
      std::vector<uint8_t> frame = w->Finish();
      conn_.Write(frame.data(), frame.size());
      return Outcome::kDrop;
    }
    WriteFailure(rapi2::kRapiInvoke, err, w);
    return Outcome::kReply;
  }
  ServiceContext ctx(core_.image, core_.registry, &core_.faults);
  if (mode == 1) {
    Writer accepted;
    rapi2::RapiInvoke::WriteStreamReply(accepted, 0);
    const std::vector<uint8_t> ok = accepted.Finish();
    if (!conn_.WriteReply("CeRapiInvoke", Utf8(func), ok.data(), ok.size())) return Outcome::kDrop;
    try {
      stream(ctx, conn_);
    } catch (...) {
      // A failing stream function ends its stream, nothing more.
    }
    return Outcome::kStreamDone;
  }
  std::vector<uint8_t> out;
  int32_t hr;
  try {
    hr = block(ctx, std::vector<uint8_t>(p, p + cb), &out);
  } catch (...) {
    hr = E_FAIL;
  }
  if (hr >= 0 && out.size() > kMaxReply) hr = E_OUTOFMEMORY;
  if (hr < 0) {
    uint32_t code = static_cast<uint32_t>(hr);
    const uint32_t lastErr = ((code >> 16) & 0x1fff) == FACILITY_WIN32 ? (code & 0xFFFF) : code;
    rapi2::RapiInvoke::WriteReply(*w, {lastErr, hr, nullptr, 0});
    return Outcome::kReply;
  }
  rapi2::RapiInvoke::WriteReply(*w, {0, hr, out.data(), static_cast<uint32_t>(out.size())});
  return Outcome::kReply;
}

}  // namespace wmemu

namespace wmemu {

namespace {

// Names the enumeration calls send fit the caller's buffer with their terminator.
bool Fits(const std::u16string& name, uint32_t chars) { return name.size() + 1 <= chars; }

// pstatus-style tools print the store sizes signed: keep them below 2 GiB.
uint32_t StoreBytes(uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, 0x7FFFFFFF)); }

}  // namespace

void RapiSession::FileCall(uint32_t cmd, Reader& rd, Writer* w) {
  const Reader request = rd;
  auto fail = [&](uint32_t err) { WriteFailure(cmd, err, request, w); };
  switch (cmd) {
    case rapi2::GetFileAttributes::kCommand: {
      rapi2::GetFileAttributes::Request q;
      if (!rapi2::GetFileAttributes::ReadRequest(rd, &q) || q.pathNull)
        return fail(ERROR_INVALID_PARAMETER);
      uint32_t attrs = 0;
      if (uint32_t err = core_.fs.Attributes(q.path, &attrs)) return fail(err);
      return rapi2::GetFileAttributes::WriteReply(*w, {0, attrs});
    }
    case rapi2::SetFilePointer::kCommand: {
      rapi2::SetFilePointer::Request q;
      if (!rapi2::SetFilePointer::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      auto it = files_.find(q.handle);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE);
      // A low word alone is a signed 32-bit distance; with a high word, a signed 64-bit one.
      const int64_t distance =
          q.hasHigh ? static_cast<int64_t>(uint64_t(uint32_t(q.distanceHigh)) << 32 |
                                           uint32_t(q.distanceLow))
                    : int64_t(q.distanceLow);
      uint64_t pos = 0;
      if (uint32_t err = core_.fs.Seek(*it->second, distance, q.moveMethod, &pos)) return fail(err);
      // Without a high word the caller cannot see a position of 4 GiB or more.
      if (!q.hasHigh && pos > 0xFFFFFFFEu) return fail(ERROR_INVALID_PARAMETER);
      rapi2::SetFilePointer::WriteReply(
          *w, {0, static_cast<uint32_t>(pos), static_cast<int32_t>(pos >> 32)}, q.hasHigh);
      return;
    }
    case rapi2::SetEndOfFile::kCommand: {
      rapi2::SetEndOfFile::Request q;
      if (!rapi2::SetEndOfFile::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      auto it = files_.find(q.handle);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE);
      if (uint32_t err = core_.fs.SetEndOfFile(*it->second)) return fail(err);
      return rapi2::SetEndOfFile::WriteReply(*w, {0, 1});
    }
    case rapi2::GetFileSize::kCommand: {
      rapi2::GetFileSize::Request q;
      if (!rapi2::GetFileSize::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      auto it = files_.find(q.handle);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE);
      uint64_t size = 0;
      if (uint32_t err = core_.fs.Size(*it->second, &size)) return fail(err);
      rapi2::GetFileSize::WriteReply(
          *w, {0, static_cast<uint32_t>(size), static_cast<uint32_t>(size >> 32)}, q.wantHigh);
      return;
    }
    case rapi2::GetSpecialFolderPath::kCommand: {
      rapi2::GetSpecialFolderPath::Request q;
      if (!rapi2::GetSpecialFolderPath::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      std::u16string path;
      if (uint32_t err = core_.system.SpecialFolder(q.csidl, &path)) return fail(err);
      if (path.size() >= MAX_PATH || !Fits(path, q.bufferLength))
        return fail(ERROR_INSUFFICIENT_BUFFER);
      return rapi2::GetSpecialFolderPath::WriteReply(*w, {0, path});
    }
  }
}

void RapiSession::RegistryCall(uint32_t cmd, Reader& rd, Writer* w) {
  const Reader request = rd;
  auto fail = [&](uint32_t err) { WriteFailure(cmd, err, request, w); };
  int64_t key = 0;
  switch (cmd) {
    case rapi2::RegEnumKeyEx::kCommand: {
      rapi2::RegEnumKeyEx::Request q;
      if (!rapi2::RegEnumKeyEx::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      if (uint32_t err = KeyOf(q.hkey, &key)) return fail(err);
      std::vector<std::u16string> subKeys = core_.registry.SubKeys(key);
      if (q.index >= subKeys.size()) return fail(ERROR_NO_MORE_ITEMS);
      const std::u16string& name = subKeys[q.index];
      if (!Fits(name, q.nameChars) || (q.classChars > 0 && !Fits(u"", q.classChars)))
        return fail(ERROR_MORE_DATA);
      rapi2::RegEnumKeyEx::Reply r;
      r.lastErr = 0;
      r.result = 0;
      r.name = name;
      return rapi2::RegEnumKeyEx::WriteReply(*w, r, q.classChars > 0);
    }
    case rapi2::RegEnumValue::kCommand: {
      rapi2::RegEnumValue::Request q;
      if (!rapi2::RegEnumValue::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      if (uint32_t err = KeyOf(q.hkey, &key)) return fail(err);
      std::vector<DeviceRegistry::NamedValue> values = core_.registry.Values(key);
      if (q.index >= values.size()) return fail(ERROR_NO_MORE_ITEMS);
      const DeviceRegistry::NamedValue& v = values[q.index];
      const uint32_t size = static_cast<uint32_t>(v.value.data.size());
      if (!Fits(v.name, q.nameChars) || (q.cbData > 0 && q.cbData < size))
        return fail(ERROR_MORE_DATA);
      rapi2::RegEnumValue::Reply r;
      r.lastErr = 0;
      r.result = 0;
      r.name = v.name;
      r.type = v.value.type;
      r.size = size;
      if (q.cbData > 0) r.data = v.value.data;
      return rapi2::RegEnumValue::WriteReply(*w, r, q.cbData > 0);
    }
    case rapi2::RegQueryInfoKey::kCommand: {
      rapi2::RegQueryInfoKey::Request q;
      if (!rapi2::RegQueryInfoKey::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      if (uint32_t err = KeyOf(q.hkey, &key)) return fail(err);
      rapi2::RegQueryInfoKey::Reply r;
      r.lastErr = 0;
      r.result = 0;
      for (const std::u16string& name : core_.registry.SubKeys(key)) {
        ++r.subKeys;
        r.maxSubKeyChars = std::max<uint32_t>(r.maxSubKeyChars, static_cast<uint32_t>(name.size()));
      }
      for (const DeviceRegistry::NamedValue& v : core_.registry.Values(key)) {
        ++r.values;
        r.maxValueNameChars =
            std::max<uint32_t>(r.maxValueNameChars, static_cast<uint32_t>(v.name.size()));
        r.maxValueBytes =
            std::max<uint32_t>(r.maxValueBytes, static_cast<uint32_t>(v.value.data.size()));
      }
      return rapi2::RegQueryInfoKey::WriteReply(*w, r, q.classChars > 0);
    }
    case rapi2::RegDelete::kDeleteKey:
    case rapi2::RegDelete::kDeleteValue: {
      rapi2::RegDelete::Request q;
      if (!rapi2::RegDelete::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      if (uint32_t err = KeyOf(q.hkey, &key)) return fail(err);
      uint32_t err = cmd == rapi2::RegDelete::kDeleteKey
                         ? (q.nameNull ? ERROR_INVALID_PARAMETER
                                       : core_.registry.DeleteKey(key, q.name))
                         : core_.registry.DeleteValue(key, q.name);
      if (err) return fail(err);
      return rapi2::RegDelete::WriteReply(*w, {0, 0});
    }
  }
}

void RapiSession::SystemCall(uint32_t cmd, Reader& rd, Writer* w) {
  const Reader request = rd;
  auto fail = [&](uint32_t err) { WriteFailure(cmd, err, request, w); };
  switch (cmd) {
    case rapi2::SyncTimeToPc::kCommand: {
      rapi2::SyncTimeToPc::Request q;
      // A time before 1601 + 1 s or past year 30827 is no time a clock can take.
      if (!rapi2::SyncTimeToPc::ReadRequest(rd, &q) || q.now < 10000000ull ||
          q.now > 0x7FFFFFFFFFFFFFFFull)
        return fail(ERROR_INVALID_PARAMETER);
      core_.system.SetClock(q.now);
      return rapi2::SyncTimeToPc::WriteReply(*w, {0, 1});
    }
    // This phone has no desktop partnership, so there is nothing to replicate or to resume:
    // starting replication fails as on a phone never paired, starting or resuming a sync
    // finds no partner, and pausing (what removing a partnership sends first) does nothing
    // and succeeds.
    case rapi2::SyncControl::kStartReplication:
    case rapi2::SyncControl::kSyncPause:
    case rapi2::SyncControl::kSyncResume:
    case rapi2::SyncControl::kSyncStart: {
      rapi2::SyncControl::Request q;
      if (!rapi2::SyncControl::ReadRequest(rd, cmd, &q)) return fail(ERROR_INVALID_PARAMETER);
      if (cmd == rapi2::SyncControl::kSyncPause) return rapi2::SyncControl::WriteReply(*w, {0, 0});
      return fail(ERROR_NOT_FOUND);
    }
    case rapi2::ProcessConfig::kCommand: {
      rapi2::ProcessConfig::Request q;
      if (!rapi2::ProcessConfig::ReadRequest(rd, &q) || q.xmlNull)
        return fail(ERROR_INVALID_PARAMETER);
      rapi2::ProcessConfig::Reply r;
      uint32_t err = core_.system.ProcessConfig(q.xml, q.flags, &r.text, &r.hr);
      r.lastErr = err;
      r.hasText = err == 0;
      if (!r.hasText) r.text.clear();
      return rapi2::ProcessConfig::WriteReply(*w, r);
    }
    case rapi2::CreateProcess::kCommand: {
      rapi2::CreateProcess::Request q;
      if (!rapi2::CreateProcess::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      ProcessStart started;
      if (uint32_t err = core_.system.StartProcess(q.application, q.commandLine, &started))
        return fail(err);
      rapi2::CreateProcess::Reply r;
      r.lastErr = 0;
      r.ok = 1;
      r.info.hProcess = NewHandle();
      r.info.hThread = NewHandle();
      processes_.insert(r.info.hProcess);
      processes_.insert(r.info.hThread);
      // Process and thread ids as the kernel hands them out: non-zero, multiples of 4.
      r.info.processId = static_cast<uint32_t>(0x0C000000u + started.id * 8);
      r.info.threadId = r.info.processId + 4;
      return rapi2::CreateProcess::WriteReply(*w, r);
    }
    case rapi2::GetSystemInfo::kCommand: {
      // The request's buffer marker changes nothing: the structure always follows.
      rapi2::GetSystemInfo::Reply r;
      r.lastErr = 0;
      r.info = DeviceSystem::SystemInfo();
      return rapi2::GetSystemInfo::WriteReply(*w, r);
    }
    case rapi2::GetStoreInformation::kCommand: {
      uint64_t freeToCaller = 0, total = 0, totalFree = 0;
      if (uint32_t err = core_.fs.DiskFreeSpace(u"\\", &freeToCaller, &total, &totalFree))
        return fail(err);
      return rapi2::GetStoreInformation::WriteReply(
          *w, {0, 1, StoreBytes(total), StoreBytes(totalFree)});
    }
    case rapi2::GetSystemPowerStatusEx::kCommand: {
      rapi2::GetSystemPowerStatusEx::Request q;
      if (!rapi2::GetSystemPowerStatusEx::ReadRequest(rd, &q)) return fail(ERROR_INVALID_PARAMETER);
      return rapi2::GetSystemPowerStatusEx::WriteReply(*w, {1, core_.system.Power()});
    }
  }
}

}  // namespace wmemu
