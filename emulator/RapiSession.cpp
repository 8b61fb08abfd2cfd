#include "emulator/RapiSession.h"

#include <poll.h>
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
// Registry value data and names the device accepts.
constexpr uint32_t kMaxValueData = 1u << 20;
constexpr size_t kMaxValueName = 255;
constexpr size_t kMaxReply = rapi2::kMaxFrame - 64;

// Bytes of a name as UTF-16LE followed by its NUL.
void PutName(const std::u16string& name, Writer* w) {
  for (char16_t c : name) {
    const uint8_t le[2] = {uint8_t(c), uint8_t(c >> 8)};
    w->bytes(le, 2);
  }
  w->zeros(2);
}

// CE_FIND_DATA up to the name's terminator.
std::vector<uint8_t> FindDataBytes(const FileEntry& e) {
  std::u16string name = e.name.substr(0, MAX_PATH - 1);
  Writer w;
  w.u32(e.attrs).u64(e.ctime).u64(e.atime).u64(e.mtime);
  w.u32(static_cast<uint32_t>(e.size >> 32)).u32(static_cast<uint32_t>(e.size));
  w.u32(e.oid);
  PutName(name, &w);
  std::vector<uint8_t> frame = w.Finish();
  frame.erase(frame.begin(), frame.begin() + 4);  // the frame's length prefix
  return frame;
}

bool Hidden(const FileEntry& e) { return e.attrs & FILE_ATTRIBUTE_HIDDEN; }

}  // namespace

const char* RapiCommandName(uint32_t command) {
  switch (command) {
    case rapi2::kFindFirstFile:
      return "CeFindFirstFile";
    case rapi2::kFindNextFile:
      return "CeFindNextFile";
    case rapi2::kFindClose:
      return "CeFindClose";
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
    case rapi2::kCreateDirectory:
      return "CeCreateDirectory";
    case rapi2::kRemoveDirectory:
      return "CeRemoveDirectory";
    case rapi2::kMoveFile:
      return "CeMoveFile";
    case rapi2::kCopyFile:
      return "CeCopyFile";
    case rapi2::kDeleteFile:
      return "CeDeleteFile";
    case rapi2::kRegOpenKeyEx:
      return "CeRegOpenKeyEx";
    case rapi2::kRegCreateKeyEx:
      return "CeRegCreateKeyEx";
    case rapi2::kRegCloseKey:
      return "CeRegCloseKey";
    case rapi2::kRegQueryValueEx:
      return "CeRegQueryValueEx";
    case rapi2::kRegSetValueEx:
      return "CeRegSetValueEx";
    case rapi2::kGetFileTime:
      return "CeGetFileTime";
    case rapi2::kSetFileTime:
      return "CeSetFileTime";
    case rapi2::kGetVersionEx:
      return "CeGetVersionEx";
    case rapi2::kRapiInvoke:
      return "CeRapiInvoke";
    case rapi2::kGetDiskFreeSpaceEx:
      return "CeGetDiskFreeSpaceEx";
    default:
      return "";
  }
}

void WriteFailure(uint32_t command, uint32_t error, Writer* w) {
  switch (command) {
    case rapi2::kCreateFile:
      w->u32(error).u32(kInvalidHandle);
      break;
    case rapi2::kReadFile:
    case rapi2::kWriteFile:
    case rapi2::kFindNextFile:
    case rapi2::kFindAllFiles:
    case rapi2::kGetVersionEx:
      w->u32(error).u32(0).u32(0);
      break;
    case rapi2::kFindFirstFile:
      w->u32(error).u32(kInvalidHandle).u32(0);
      break;
    case rapi2::kGetFileTime:
    case rapi2::kGetDiskFreeSpaceEx:
      w->u32(error).u32(0).zeros(24);
      break;
    case rapi2::kRegOpenKeyEx:
    case rapi2::kRegCreateKeyEx:
    case rapi2::kRegQueryValueEx:
    case rapi2::kRegSetValueEx:
    case rapi2::kRegCloseKey:
      w->u32(error).u32(error);
      break;
    case rapi2::kRapiInvoke:
      w->u32(error).i32(HRESULT_FROM_WIN32(error));
      break;
    case rapi2::kCloseHandle:
    case rapi2::kSetFileTime:
    case rapi2::kCopyFile:
    case rapi2::kMoveFile:
    case rapi2::kDeleteFile:
    case rapi2::kCreateDirectory:
    case rapi2::kRemoveDirectory:
    case rapi2::kFindClose:
      w->u32(error).u32(0);
      break;
    default:
      w->u32(ERROR_CALL_NOT_IMPLEMENTED).u32(0);
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

bool Connection::WaitForRequest() {
  for (;;) {
    pollfd pfd{fd_, POLLIN, 0};
    int r = ::poll(&pfd, 1, -1);
    if (r < 0 && errno == EINTR) continue;
    return r > 0;  // readable, or hung up: the read that follows tells
  }
}

rapi2::IoResult Connection::ReadFrame(std::vector<uint8_t>* payload) {
  if (!WaitForRequest()) return rapi2::IoResult::kClosed;
  return rapi2::RecvFrame(fd_, payload, ioTimeoutMs_, maxFrame_);
}

bool Connection::Read(void* p, size_t n) {
  return rapi2::RecvAll(fd_, p, n, ioTimeoutMs_) == rapi2::IoResult::kOk;
}

bool Connection::ReadNext(void* p, size_t n) {
  // The wait for the next stream packet is open-ended, its bytes are not.
  return WaitForRequest() && Read(p, n);
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
    if (conn_.ReadFrame(&payload) != rapi2::IoResult::kOk) return;
    Reader rd(payload);
    uint32_t cmd = 0;
    Writer w;
    if (!rd.u32(&cmd)) {
      WriteFailure(0, ERROR_CALL_NOT_IMPLEMENTED, &w);
      if (!conn_.Write(w.Finish().data(), w.payloadSize() + 4)) return;
      continue;
    }
    std::string name = RapiCommandName(cmd);
    // An invocation is also known by its DevCe function, for the faults.
    std::string fn;
    uint32_t invokeMode = 0;
    if (cmd == rapi2::kRapiInvoke) {
      Reader peek(payload);
      uint32_t skip;
      std::u16string dll, func;
      uint32_t cb = 0;
      if (peek.u32(&skip) && peek.u32(&skip) && peek.str(&dll) && peek.str(&func) &&
          peek.u32(&cb) && peek.skip(cb) && peek.u32(&invokeMode))
        fn = Utf8(func);
    }
    if (core_.faults.TakeDropOnCall(name, fn)) return;
    if (int ms = core_.faults.DelayFor(name, fn))
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    Outcome outcome = Outcome::kReply;
    if (auto f = core_.faults.TakeFailure(name, fn)) {
      if (cmd == rapi2::kRapiInvoke) {
        w.u32(f->DeviceError()).i32(f->Hresult());
        if (invokeMode == 1) outcome = Outcome::kDrop;  // the stream is refused and closed
        std::vector<uint8_t> frame = w.Finish();
        if (!conn_.WriteReply(name, fn, frame.data(), frame.size()) || outcome == Outcome::kDrop)
          return;
        continue;
      }
      WriteFailure(cmd, f->DeviceError(), &w);
    } else {
      outcome = Handle(cmd, rd, &w);
    }
    if (outcome == Outcome::kDrop || outcome == Outcome::kStreamDone) return;
    std::vector<uint8_t> frame = w.Finish();
    if (!conn_.WriteReply(name, fn, frame.data(), frame.size())) return;
  }
}

bool RapiSession::KeyOf(uint32_t hkey, int64_t* id) {
  if (DeviceRegistry::IsRoot(hkey)) {
    *id = core_.registry.Root(hkey);
    return true;
  }
  auto it = keys_.find(hkey);
  if (it == keys_.end()) return false;
  *id = it->second;
  return true;
}

RapiSession::Outcome RapiSession::Handle(uint32_t cmd, Reader& rd, Writer* w) {
  auto fail = [&](uint32_t err) { WriteFailure(cmd, err, w); };
  std::u16string a, b;
  uint32_t h = 0, x = 0, y = 0, z = 0, t = 0;
  switch (cmd) {
    case rapi2::kCreateFile: {
      if (!rd.str(&a) || !rd.u32(&x) || !rd.u32(&y) || !rd.u32(&z) || !rd.u32(&t) || !rd.u32(&h))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      std::shared_ptr<DeviceFs::OpenFile> f;
      if (uint32_t err = core_.fs.Open(a, x, y, z, t, &f)) return fail(err), Outcome::kReply;
      uint32_t handle = NewHandle();
      files_[handle] = std::move(f);
      w->u32(0).u32(handle);
      return Outcome::kReply;
    }
    case rapi2::kReadFile: {
      if (!rd.u32(&h) || !rd.u32(&x)) return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      auto it = files_.find(h);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      bool drop = false;
      x = static_cast<uint32_t>(core_.faults.AllowFileBytes(x, &drop));
      if (drop) return Outcome::kDrop;
      std::vector<uint8_t> data;
      if (uint32_t err = core_.fs.Read(*it->second, x, &data)) return fail(err), Outcome::kReply;
      w->u32(0).u32(1).u32(static_cast<uint32_t>(data.size())).bytes(data.data(), data.size());
      return Outcome::kReply;
    }
    case rapi2::kWriteFile: {
      const uint8_t* p = nullptr;
      if (!rd.u32(&h) || !rd.u32(&x) || !rd.bytes(x, &p))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      auto it = files_.find(h);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      bool drop = false;
      const uint64_t allowed = core_.faults.AllowFileBytes(x, &drop);
      if (drop) return Outcome::kDrop;
      if (allowed < x) {
        // The connection breaks in the middle of this write: what arrived is stored.
        core_.fs.Write(*it->second, p, static_cast<uint32_t>(allowed));
        core_.faults.DropAfterFileBytes(0);
        return Outcome::kDrop;
      }
      if (uint32_t err = core_.fs.Write(*it->second, p, x)) return fail(err), Outcome::kReply;
      w->u32(0).u32(1).u32(x);
      return Outcome::kReply;
    }
    case rapi2::kCloseHandle: {
      if (!rd.u32(&h)) return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      auto it = files_.find(h);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      core_.fs.Close(it->second);
      files_.erase(it);
      w->u32(0).u32(1);
      return Outcome::kReply;
    }
    case rapi2::kGetFileTime: {
      if (!rd.u32(&h)) return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      auto it = files_.find(h);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      uint64_t c, ac, wr;
      if (uint32_t err = core_.fs.GetTimes(*it->second, &c, &ac, &wr))
        return fail(err), Outcome::kReply;
      w->u32(0).u32(1).u64(c).u64(ac).u64(wr);
      return Outcome::kReply;
    }
    case rapi2::kSetFileTime: {
      if (!rd.u32(&h)) return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      uint64_t times[3];
      bool given[3];
      for (int i = 0; i < 3; ++i) {
        uint32_t len;
        if (!rd.u32(&len) || (len != 0 && len != 8) || (len == 8 && !rd.u64(&times[i])))
          return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
        given[i] = len == 8;
      }
      auto it = files_.find(h);
      if (it == files_.end()) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      if (uint32_t err =
              core_.fs.SetTimes(*it->second, given[0] ? &times[0] : nullptr,
                                given[1] ? &times[1] : nullptr, given[2] ? &times[2] : nullptr))
        return fail(err), Outcome::kReply;
      w->u32(0).u32(1);
      return Outcome::kReply;
    }
    case rapi2::kCopyFile:
    case rapi2::kMoveFile:
    case rapi2::kDeleteFile:
    case rapi2::kCreateDirectory:
    case rapi2::kRemoveDirectory: {
      bool two = cmd == rapi2::kCopyFile || cmd == rapi2::kMoveFile;
      bool isNull = false;
      if (!rd.str(&a, &isNull) || isNull || (two && (!rd.str(&b, &isNull) || isNull)) ||
          (cmd == rapi2::kCopyFile && !rd.u32(&x)))
        return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      uint32_t err = cmd == rapi2::kCopyFile          ? core_.fs.CopyFile(a, b, x != 0)
                     : cmd == rapi2::kMoveFile        ? core_.fs.MoveFile(a, b)
                     : cmd == rapi2::kDeleteFile      ? core_.fs.DeleteFile(a)
                     : cmd == rapi2::kCreateDirectory ? core_.fs.CreateDirectory(a)
                                                      : core_.fs.RemoveDirectory(a);
      if (err) return fail(err), Outcome::kReply;
      w->u32(0).u32(1);
      return Outcome::kReply;
    }
    case rapi2::kGetDiskFreeSpaceEx: {
      if (!rd.str(&a)) return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      uint64_t fc, tot, tf;
      if (uint32_t err = core_.fs.DiskFreeSpace(a, &fc, &tot, &tf))
        return fail(err), Outcome::kReply;
      w->u32(0).u32(1).u64(fc).u64(tot).u64(tf);
      return Outcome::kReply;
    }
    case rapi2::kFindFirstFile:
      FindFirst(rd, w);
      return Outcome::kReply;
    case rapi2::kFindNextFile:
      FindNext(rd, w);
      return Outcome::kReply;
    case rapi2::kFindClose: {
      if (!rd.u32(&h)) return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      if (!searches_.erase(h)) return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      w->u32(0).u32(1);
      return Outcome::kReply;
    }
    case rapi2::kFindAllFiles:
      FindAll(rd, w);
      return Outcome::kReply;
    case rapi2::kGetVersionEx: {
      // Windows CE 5.2, as the phones of this family report.
      w->u32(0).u32(1).u32(276);
      w->u32(276).u32(5).u32(2).u32(21234).u32(3).zeros(256);
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
      if (!rd.u32(&h)) return fail(ERROR_INVALID_PARAMETER), Outcome::kReply;
      if (!DeviceRegistry::IsRoot(h) && !keys_.erase(h))
        return fail(ERROR_INVALID_HANDLE), Outcome::kReply;
      w->u32(0).u32(0);
      return Outcome::kReply;
    }
    case rapi2::kRapiInvoke:
      return Invoke(rd, w);
    default:
      fail(ERROR_CALL_NOT_IMPLEMENTED);
      return Outcome::kReply;
  }
}

void RapiSession::FindFirst(Reader& rd, Writer* w) {
  std::u16string pattern;
  bool isNull = false;
  if (!rd.str(&pattern, &isNull) || isNull)
    return WriteFailure(rapi2::kFindFirstFile, ERROR_INVALID_PARAMETER, w);
  Search s;
  if (uint32_t err = core_.fs.Find(pattern, &s.entries))
    return WriteFailure(rapi2::kFindFirstFile, err, w);
  uint32_t h = NewHandle();
  std::vector<uint8_t> data = FindDataBytes(s.entries[0]);
  s.next = 1;
  searches_[h] = std::move(s);
  w->u32(0).u32(h).u32(static_cast<uint32_t>(data.size())).bytes(data.data(), data.size());
}

void RapiSession::FindNext(Reader& rd, Writer* w) {
  uint32_t h;
  if (!rd.u32(&h)) return WriteFailure(rapi2::kFindNextFile, ERROR_INVALID_PARAMETER, w);
  auto it = searches_.find(h);
  if (it == searches_.end()) return WriteFailure(rapi2::kFindNextFile, ERROR_INVALID_HANDLE, w);
  Search& s = it->second;
  if (s.next >= s.entries.size()) return WriteFailure(rapi2::kFindNextFile, ERROR_NO_MORE_FILES, w);
  std::vector<uint8_t> data = FindDataBytes(s.entries[s.next++]);
  w->u32(0).u32(1).u32(static_cast<uint32_t>(data.size())).bytes(data.data(), data.size());
}

void RapiSession::FindAll(Reader& rd, Writer* w) {
  std::u16string pattern;
  uint32_t flags = 0;
  bool isNull = false;
  if (!rd.str(&pattern, &isNull) || isNull || !rd.u32(&flags))
    return WriteFailure(rapi2::kFindAllFiles, ERROR_INVALID_PARAMETER, w);
  std::vector<FileEntry> entries;
  uint32_t err = core_.fs.Find(pattern, &entries);
  if (err && err != ERROR_NO_MORE_FILES) return WriteFailure(rapi2::kFindAllFiles, err, w);
  std::vector<const FileEntry*> picked;
  for (const FileEntry& e : entries) {
    if ((flags & FAF_FOLDERS_ONLY) && !(e.attrs & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if ((flags & FAF_ATTRIB_NO_HIDDEN) && Hidden(e)) continue;
    if ((flags & FAF_NO_HIDDEN_SYS_ROMMODULES) &&
        ((e.attrs & FILE_ATTRIBUTE_ROMMODULE) ||
         ((e.attrs & FILE_ATTRIBUTE_HIDDEN) && (e.attrs & FILE_ATTRIBUTE_SYSTEM))))
      continue;
    picked.push_back(&e);
  }
  w->u32(0).u32(1).u32(static_cast<uint32_t>(picked.size()));
  for (const FileEntry* e : picked) {
    std::u16string name = e->name.substr(0, MAX_PATH - 1);
    uint32_t attrs = e->attrs;
    if ((flags & FAF_ATTRIB_CHILDREN) && e->hasChildren) attrs |= FILE_ATTRIBUTE_HAS_CHILDREN;
    if (flags & FAF_NAME) w->u32(static_cast<uint32_t>(2 * (name.size() + 1)));
    if (flags & FAF_ATTRIBUTES) w->u32(attrs);
    if (flags & FAF_CREATION_TIME) w->u64(e->ctime);
    if (flags & FAF_LASTACCESS_TIME) w->u64(e->atime);
    if (flags & FAF_LASTWRITE_TIME) w->u64(e->mtime);
    if (flags & FAF_SIZE_HIGH) w->u32(static_cast<uint32_t>(e->size >> 32));
    if (flags & FAF_SIZE_LOW) w->u32(static_cast<uint32_t>(e->size));
    if (flags & FAF_OID) w->u32(e->oid);
    if (flags & FAF_NAME) PutName(name, w);
  }
}

void RapiSession::RegOpen(Reader& rd, Writer* w, bool create) {
  uint32_t cmd = create ? rapi2::kRegCreateKeyEx : rapi2::kRegOpenKeyEx;
  uint32_t hkey;
  std::u16string sub, cls;
  if (!rd.u32(&hkey) || !rd.str(&sub) || (create && !rd.str(&cls)))
    return WriteFailure(cmd, ERROR_INVALID_PARAMETER, w);
  int64_t key;
  if (!KeyOf(hkey, &key)) return WriteFailure(cmd, ERROR_INVALID_HANDLE, w);
  if (sub.size() > 255 * 32) return WriteFailure(cmd, ERROR_INVALID_PARAMETER, w);
  if (create) {
    auto [id, created] = core_.registry.Create(key, sub);
    uint32_t h = NewHandle();
    keys_[h] = id;
    w->u32(0).u32(0).u32(h).u32(created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY);
    return;
  }
  auto id = core_.registry.Open(key, sub);
  if (!id) return WriteFailure(cmd, ERROR_FILE_NOT_FOUND, w);
  uint32_t h = NewHandle();
  keys_[h] = *id;
  w->u32(0).u32(0).u32(h);
}

void RapiSession::RegQuery(Reader& rd, Writer* w) {
  uint32_t hkey, cb;
  std::u16string name;
  if (!rd.u32(&hkey) || !rd.str(&name) || !rd.u32(&cb))
    return WriteFailure(rapi2::kRegQueryValueEx, ERROR_INVALID_PARAMETER, w);
  int64_t key;
  if (!KeyOf(hkey, &key)) return WriteFailure(rapi2::kRegQueryValueEx, ERROR_INVALID_HANDLE, w);
  auto v = core_.registry.Query(key, name);
  if (!v) return WriteFailure(rapi2::kRegQueryValueEx, ERROR_FILE_NOT_FOUND, w);
  uint32_t size = static_cast<uint32_t>(v->data.size());
  if (cb == 0) {
    // A size probe: the type and the size, no data.
    w->u32(0).u32(0).u32(v->type).u32(size);
  } else if (cb < size) {
    w->u32(ERROR_MORE_DATA).u32(ERROR_MORE_DATA).u32(v->type).u32(size);
  } else {
    w->u32(0).u32(0).u32(v->type).u32(size).bytes(v->data.data(), size);
  }
}

void RapiSession::RegSet(Reader& rd, Writer* w) {
  uint32_t hkey, type, cb;
  std::u16string name;
  const uint8_t* p = nullptr;
  if (!rd.u32(&hkey) || !rd.str(&name) || !rd.u32(&type) || !rd.u32(&cb) || cb > kMaxValueData ||
      !rd.bytes(cb, &p))
    return WriteFailure(rapi2::kRegSetValueEx, ERROR_INVALID_PARAMETER, w);
  int64_t key;
  if (!KeyOf(hkey, &key)) return WriteFailure(rapi2::kRegSetValueEx, ERROR_INVALID_HANDLE, w);
  if (name.size() > kMaxValueName || type > REG_MULTI_SZ ||
      ((type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) && cb != 4))
    return WriteFailure(rapi2::kRegSetValueEx, ERROR_INVALID_PARAMETER, w);
  core_.registry.Set(key, name, type, std::vector<uint8_t>(p, p + cb));
  w->u32(0).u32(0);
}

RapiSession::Outcome RapiSession::Invoke(Reader& rd, Writer* w) {
  uint32_t reserved, cb, mode;
  std::u16string dll, func;
  const uint8_t* p = nullptr;
  if (!rd.u32(&reserved) || !rd.str(&dll) || !rd.str(&func) || !rd.u32(&cb) || !rd.bytes(cb, &p) ||
      !rd.u32(&mode) || mode > 1) {
    w->u32(ERROR_INVALID_PARAMETER).i32(E_INVALIDARG);
    return Outcome::kReply;
  }
  uint32_t err = 0;
  if (!ServiceRegistry::IsServiceLibrary(dll)) {
    err = ERROR_MOD_NOT_FOUND;
  } else if (mode == 0 ? !core_.services.FindBlock(func) : !core_.services.FindStream(func)) {
    err = ERROR_PROC_NOT_FOUND;
  }
  if (err) {
    WriteFailure(rapi2::kRapiInvoke, err, w);
    if (mode == 1) {
      std::vector<uint8_t> frame = w->Finish();
      conn_.Write(frame.data(), frame.size());
      return Outcome::kDrop;
    }
    return Outcome::kReply;
  }
  ServiceContext ctx(core_.image, core_.registry, &core_.faults);
  if (mode == 1) {
    StreamFunction fn = core_.services.FindStream(func);
    const uint8_t ok[8] = {4, 0, 0, 0, 0, 0, 0, 0};
    if (!conn_.WriteReply("CeRapiInvoke", Utf8(func), ok, sizeof ok)) return Outcome::kDrop;
    try {
      fn(ctx, conn_);
    } catch (...) {
      // A failing stream function ends its stream, nothing more.
    }
    return Outcome::kStreamDone;
  }
  BlockFunction fn = core_.services.FindBlock(func);
  std::vector<uint8_t> out;
  int32_t hr;
  try {
    hr = fn(ctx, std::vector<uint8_t>(p, p + cb), &out);
  } catch (...) {
    hr = E_FAIL;
  }
  if (hr >= 0 && out.size() > kMaxReply) hr = E_OUTOFMEMORY;
  if (hr < 0) {
    uint32_t code = static_cast<uint32_t>(hr);
    w->u32(((code >> 16) & 0x1fff) == FACILITY_WIN32 ? (code & 0xFFFF) : code).i32(hr);
    return Outcome::kReply;
  }
  w->u32(0).i32(hr).u32(static_cast<uint32_t>(out.size())).bytes(out.data(), out.size());
  return Outcome::kReply;
}

}  // namespace wmemu
