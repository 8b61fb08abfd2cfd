#include "platform/rapi/Rapi2Calls.h"

namespace rapi2 {

namespace {

// Registry names the server sends and the client accepts stay within a registry's limits.
constexpr uint32_t kMaxRegistryData = 1u << 20;
// CE_FIND_DATA: 40 fixed bytes, then up to 260 units of name.
constexpr uint32_t kFindDataFixed = 40;
constexpr uint32_t kFindDataSize = 560;
constexpr size_t kMaxName = 259;
// CEOSVERSIONINFO: 20 fixed bytes, then 128 units of service-pack text.
constexpr uint32_t kVersionFixed = 20;

void WriteStr(Writer& w, const std::u16string& s, bool isNull) {
  if (isNull)
    w.u32(0);
  else
    w.str(s);
}

// UTF-16LE units up to the first NUL within n bytes (n even).
std::u16string TextOf(const uint8_t* p, size_t n) {
  std::u16string s;
  for (size_t i = 0; i + 1 < n; i += 2) {
    const char16_t c = static_cast<char16_t>(p[i] | p[i + 1] << 8);
    if (c == 0) break;
    s.push_back(c);
  }
  return s;
}

void PutText(Writer& w, const std::u16string& s) {
  for (char16_t c : s) {
    const uint8_t le[2] = {uint8_t(c), uint8_t(c >> 8)};
    w.bytes(le, 2);
  }
}

// The optional-parameter block of RAPI1 requests: u32 present, then u32 size, u32 hasValue.
bool ReadOptionalOut(Reader& r, bool* present) {
  uint32_t flag;
  if (!r.u32(&flag) || flag > 1) return false;
  *present = flag == 1;
  if (!*present) return true;
  uint32_t size, hasValue;
  return r.u32(&size) && r.u32(&hasValue);
}

}  // namespace

void WriteUnknownCommandReply(Writer& w) { w.u32(kNotImplemented); }

// ---- 0x14 ------------------------------------------------------------------------------
void GetFileAttributes::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand);
  if (r.pathNull)
    w.u32(0);
  else
    w.str(r.path);
}
bool GetFileAttributes::ReadRequest(Reader& r, Request* out) {
  return r.str(&out->path, &out->pathNull);
}
void GetFileAttributes::WriteReply(Writer& w, const Reply& r) { w.u32(r.lastErr).u32(r.attributes); }
bool GetFileAttributes::ReadReply(Reader& r, Reply* out) {
  return r.u32(&out->lastErr) && r.u32(&out->attributes);
}

// ---- 0x26 ------------------------------------------------------------------------------
void SetFilePointer::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.handle).i32(r.distanceLow).u32(r.hasHigh ? 1 : 0);
  if (r.hasHigh) w.i32(r.distanceHigh);
  w.u32(r.moveMethod);
}
bool SetFilePointer::ReadRequest(Reader& r, Request* out) {
  uint32_t hasHigh;
  if (!r.u32(&out->handle) || !r.i32(&out->distanceLow) || !r.u32(&hasHigh) || hasHigh > 1)
    return false;
  out->hasHigh = hasHigh == 1;
  if (out->hasHigh && !r.i32(&out->distanceHigh)) return false;
  return r.u32(&out->moveMethod);
}
void SetFilePointer::WriteReply(Writer& w, const Reply& r, bool hasHigh) {
  w.u32(r.lastErr).u32(r.newPosLow);
  if (hasHigh) w.i32(r.newPosHigh);
}
bool SetFilePointer::ReadReply(Reader& r, Reply* out, bool hasHigh) {
  if (!r.u32(&out->lastErr) || !r.u32(&out->newPosLow)) return false;
  return !hasHigh || r.i32(&out->newPosHigh);
}

// ---- 0x27 ------------------------------------------------------------------------------
void SetEndOfFile::WriteRequest(Writer& w, const Request& r) { w.u32(kCommand).u32(r.handle); }
bool SetEndOfFile::ReadRequest(Reader& r, Request* out) { return r.u32(&out->handle); }
void SetEndOfFile::WriteReply(Writer& w, const Reply& r) { w.u32(r.lastErr).u32(r.ok).u32(r.ok); }
bool SetEndOfFile::ReadReply(Reader& r, Reply* out) {
  if (!r.u32(&out->lastErr) || !r.u32(&out->ok)) return false;
  uint32_t again;
  if (r.remaining() >= 4) r.u32(&again);  // the repeated BOOL; a device may leave it out
  return true;
}

// ---- 0x2e ------------------------------------------------------------------------------
void GetFileSize::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.handle);
  if (r.wantHigh)
    w.u32(1).u32(4).u32(0);
  else
    w.u32(0);
}
bool GetFileSize::ReadRequest(Reader& r, Request* out) {
  return r.u32(&out->handle) && ReadOptionalOut(r, &out->wantHigh);
}
void GetFileSize::WriteReply(Writer& w, const Reply& r, bool wantHigh) {
  w.u32(r.lastErr).u32(r.sizeLow);
  if (wantHigh)
    w.u32(1).u32(4).u32(1).u32(r.sizeHigh);
  else
    w.u32(0);
}
bool GetFileSize::ReadReply(Reader& r, Reply* out, bool wantHigh) {
  uint32_t lastErr, low, present;
  if (!r.u32(&lastErr)) return false;
  out->lastErr = lastErr;
  if (!r.u32(&low) || !r.u32(&present) || present > 1) return false;
  if (present) {
    uint32_t size, hasValue;
    if (!r.u32(&size) || !r.u32(&hasValue) || hasValue > 1) return false;
    uint32_t high = 0;
    const uint8_t* p;
    if (hasValue) {
      if (size < 4 || !r.u32(&high) || !r.bytes(size - 4, &p)) return false;
    }
    out->sizeHigh = high;
  } else if (wantHigh) {
    return false;  // the high word was asked for and not given
  }
  out->sizeLow = low;
  return true;
}

// ---- 0x4b ------------------------------------------------------------------------------
void GetSpecialFolderPath::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.csidl).u32(r.bufferLength);
}
bool GetSpecialFolderPath::ReadRequest(Reader& r, Request* out) {
  return r.u32(&out->csidl) && r.u32(&out->bufferLength);
}
void GetSpecialFolderPath::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).counted(r.path);
}
bool GetSpecialFolderPath::ReadReply(Reader& r, Reply* out) {
  return r.u32(&out->lastErr) && r.counted(&out->path);
}

// ---- 0x30 ------------------------------------------------------------------------------
void RegEnumKeyEx::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.hkey).u32(r.index).u32(r.nameChars).u32(r.classChars).u32(0);
}
bool RegEnumKeyEx::ReadRequest(Reader& r, Request* out) {
  uint32_t placeholder;
  return r.u32(&out->hkey) && r.u32(&out->index) && r.u32(&out->nameChars) &&
         r.u32(&out->classChars) && r.u32(&placeholder);
}
void RegEnumKeyEx::WriteReply(Writer& w, const Reply& r, bool withClass) {
  w.u32(r.lastErr).i32(r.result);
  if (r.result != 0) return;
  w.counted(r.name);
  if (withClass) w.counted(r.className);
}
bool RegEnumKeyEx::ReadReply(Reader& r, Reply* out, bool withClass) {
  if (!r.u32(&out->lastErr) || !r.i32(&out->result)) return false;
  if (out->result != 0) return true;
  if (!r.counted(&out->name)) return false;
  return !withClass || r.counted(&out->className);
}

// ---- 0x34 ------------------------------------------------------------------------------
void RegEnumValue::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.hkey).u32(r.index).u32(r.nameChars).u32(r.cbData);
}
bool RegEnumValue::ReadRequest(Reader& r, Request* out) {
  return r.u32(&out->hkey) && r.u32(&out->index) && r.u32(&out->nameChars) && r.u32(&out->cbData);
}
void RegEnumValue::WriteReply(Writer& w, const Reply& r, bool withData) {
  w.u32(r.lastErr).i32(r.result);
  if (r.result != 0) return;
  w.counted(r.name).u32(r.type).u32(r.size);
  if (withData) w.bytes(r.data.data(), r.data.size());
}
bool RegEnumValue::ReadReply(Reader& r, Reply* out, bool withData) {
  if (!r.u32(&out->lastErr) || !r.i32(&out->result)) return false;
  if (out->result != 0) return true;
  if (!r.counted(&out->name) || !r.u32(&out->type) || !r.u32(&out->size)) return false;
  out->data.clear();
  if (!withData) return true;
  const uint8_t* p;
  if (out->size > kMaxRegistryData || !r.bytes(out->size, &p)) return false;
  out->data.assign(p, p + out->size);
  return true;
}

// ---- 0x36 ------------------------------------------------------------------------------
void RegQueryInfoKey::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.hkey).u32(r.classChars).u32(0);
}
bool RegQueryInfoKey::ReadRequest(Reader& r, Request* out) {
  uint32_t placeholder;
  return r.u32(&out->hkey) && r.u32(&out->classChars) && r.u32(&placeholder);
}
void RegQueryInfoKey::WriteReply(Writer& w, const Reply& r, bool withClass) {
  w.u32(r.lastErr).i32(r.result);
  if (r.result != 0) return;
  w.u32(r.classLen);
  if (withClass) w.counted(r.className);
  w.u32(r.subKeys).u32(r.maxSubKeyChars).u32(r.maxClassChars);
  w.u32(r.values).u32(r.maxValueNameChars).u32(r.maxValueBytes);
}
bool RegQueryInfoKey::ReadReply(Reader& r, Reply* out, bool withClass) {
  if (!r.u32(&out->lastErr) || !r.i32(&out->result)) return false;
  if (out->result != 0) return true;
  if (!r.u32(&out->classLen)) return false;
  if (withClass && !r.counted(&out->className)) return false;
  return r.u32(&out->subKeys) && r.u32(&out->maxSubKeyChars) && r.u32(&out->maxClassChars) &&
         r.u32(&out->values) && r.u32(&out->maxValueNameChars) && r.u32(&out->maxValueBytes);
}

// ---- 0x33, 0x35 ------------------------------------------------------------------------
void RegDelete::WriteRequest(Writer& w, uint32_t command, const Request& r) {
  w.u32(command).u32(r.hkey);
  if (r.nameNull)
    w.u32(0);
  else
    w.str(r.name);
}
bool RegDelete::ReadRequest(Reader& r, Request* out) {
  return r.u32(&out->hkey) && r.str(&out->name, &out->nameNull);
}
void RegDelete::WriteReply(Writer& w, const Reply& r) { w.u32(r.lastErr).i32(r.result); }
bool RegDelete::ReadReply(Reader& r, Reply* out) {
  return r.u32(&out->lastErr) && r.i32(&out->result);
}

// ---- 0x2a ------------------------------------------------------------------------------
void CreateProcess::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).str(r.application);
  if (r.commandLineNull)
    w.u32(0);
  else
    w.str(r.commandLine);
  // Process and thread attributes, the inherit flag, then the flags, environment, current
  // directory and startup information: only the flags travel.
  w.u32(0).u32(0).u32(0).u32(r.creationFlags).u32(0).u32(0).u32(0);
}
bool CreateProcess::ReadRequest(Reader& r, Request* out) {
  bool appNull;
  uint32_t skip;
  if (!r.str(&out->application, &appNull) || appNull ||
      !r.str(&out->commandLine, &out->commandLineNull))
    return false;
  return r.u32(&skip) && r.u32(&skip) && r.u32(&skip) && r.u32(&out->creationFlags) &&
         r.u32(&skip) && r.u32(&skip) && r.u32(&skip);
}
void CreateProcess::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).u32(r.ok);
  w.u32(r.info.hProcess).u32(r.info.hThread).u32(r.info.processId).u32(r.info.threadId);
}
bool CreateProcess::ReadReply(Reader& r, Reply* out) {
  ProcessInformation pi;
  if (!r.u32(&out->lastErr) || !r.u32(&out->ok)) return false;
  if (!r.u32(&pi.hProcess) || !r.u32(&pi.hThread) || !r.u32(&pi.processId) ||
      !r.u32(&pi.threadId))
    return false;
  out->info = pi;
  return true;
}

// ---- 0x3d ------------------------------------------------------------------------------
void GetSystemInfo::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand);
  if (r.withBuffer)
    w.u32(1).u32(36).u32(0);
  else
    w.u32(0);
}
bool GetSystemInfo::ReadRequest(Reader& r, Request* out) {
  return ReadOptionalOut(r, &out->withBuffer);
}
void GetSystemInfo::WriteReply(Writer& w, const Reply& r) {
  const SystemInfo& s = r.info;
  w.u32(r.lastErr);
  w.u32(uint32_t(s.processorArchitecture) | uint32_t(s.reserved) << 16);
  w.u32(s.pageSize).u32(s.minimumApplicationAddress).u32(s.maximumApplicationAddress);
  w.u32(s.activeProcessorMask).u32(s.numberOfProcessors).u32(s.processorType);
  w.u32(s.allocationGranularity);
  w.u32(uint32_t(s.processorLevel) | uint32_t(s.processorRevision) << 16);
}
bool GetSystemInfo::ReadReply(Reader& r, Reply* out) {
  if (!r.u32(&out->lastErr)) return false;
  SystemInfo s;
  uint32_t arch, level;
  if (!r.u32(&arch) || !r.u32(&s.pageSize) || !r.u32(&s.minimumApplicationAddress) ||
      !r.u32(&s.maximumApplicationAddress) || !r.u32(&s.activeProcessorMask) ||
      !r.u32(&s.numberOfProcessors) || !r.u32(&s.processorType) ||
      !r.u32(&s.allocationGranularity) || !r.u32(&level))
    return false;
  s.processorArchitecture = uint16_t(arch);
  s.reserved = uint16_t(arch >> 16);
  s.processorLevel = uint16_t(level);
  s.processorRevision = uint16_t(level >> 16);
  out->info = s;
  return true;
}

// ---- 0x39 ------------------------------------------------------------------------------
void GetStoreInformation::WriteRequest(Writer& w) { w.u32(kCommand); }
void GetStoreInformation::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).u32(r.ok).u32(r.storeSize).u32(r.freeSize);
}
bool GetStoreInformation::ReadReply(Reader& r, Reply* out) {
  uint32_t size, free;
  if (!r.u32(&out->lastErr) || !r.u32(&out->ok) || !r.u32(&size) || !r.u32(&free)) return false;
  out->storeSize = size;
  out->freeSize = free;
  return true;
}

// ---- 0x49 ------------------------------------------------------------------------------
void GetSystemPowerStatusEx::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.refresh);
}
bool GetSystemPowerStatusEx::ReadRequest(Reader& r, Request* out) { return r.u32(&out->refresh); }
void GetSystemPowerStatusEx::WriteReply(Writer& w, const Reply& r) {
  const PowerStatus& s = r.status;
  const uint8_t head[4] = {s.acLineStatus, s.batteryFlag, s.batteryLifePercent, 0};
  const uint8_t backup[4] = {0, s.backupBatteryFlag, s.backupBatteryLifePercent, 0};
  w.u32(r.ok).bytes(head, 4).u32(s.batteryLifeTime).u32(s.batteryFullLifeTime);
  w.bytes(backup, 4).u32(s.backupBatteryLifeTime).u32(s.backupBatteryFullLifeTime);
}
bool GetSystemPowerStatusEx::ReadReply(Reader& r, Reply* out) {
  PowerStatus s;
  const uint8_t *head, *backup;
  if (!r.u32(&out->ok) || !r.bytes(4, &head) || !r.u32(&s.batteryLifeTime) ||
      !r.u32(&s.batteryFullLifeTime) || !r.bytes(4, &backup) || !r.u32(&s.backupBatteryLifeTime) ||
      !r.u32(&s.backupBatteryFullLifeTime))
    return false;
  s.acLineStatus = head[0];
  s.batteryFlag = head[1];
  s.batteryLifePercent = head[2];
  s.backupBatteryFlag = backup[1];
  s.backupBatteryLifePercent = backup[2];
  out->status = s;
  return true;
}

// ---- 0x0e ------------------------------------------------------------------------------
void ProcessConfig::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand);
  if (r.xmlNull)
    w.u32(0);
  else
    w.str(r.xml);
  w.u32(r.flags);
}
bool ProcessConfig::ReadRequest(Reader& r, Request* out) {
  return r.str(&out->xml, &out->xmlNull) && r.u32(&out->flags);
}
void ProcessConfig::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).i32(r.hr);
  if (r.hasText)
    w.str(r.text);
  else
    w.u32(0);
}
bool ProcessConfig::ReadReply(Reader& r, Reply* out) {
  if (!r.u32(&out->lastErr) || !r.i32(&out->hr)) return false;
  bool isNull = true;
  if (!r.str(&out->text, &isNull)) return false;
  out->hasText = !isNull;
  return true;
}

// ---- 0x01 ------------------------------------------------------------------------------
void SyncTimeToPc::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u64(r.now).u32(r.word1).u32(r.word2);
}
bool SyncTimeToPc::ReadRequest(Reader& r, Request* out) {
  return r.u64(&out->now) && r.u32(&out->word1) && r.u32(&out->word2);
}
void SyncTimeToPc::WriteReply(Writer& w, const Reply& r) { w.u32(r.lastErr).u32(r.ok); }
bool SyncTimeToPc::ReadReply(Reader& r, Reply* out) {
  if (!r.u32(&out->lastErr)) return false;
  if (r.remaining() >= 4) r.u32(&out->ok);
  return true;
}

// ---- 0x02, 0x0f, 0x10, 0x59 ------------------------------------------------------------
void SyncControl::WriteRequest(Writer& w, uint32_t command, const Request& r) {
  w.u32(command);
  if (command != kSyncStart) return;
  if (r.paramsNull)
    w.u32(0);
  else
    w.str(r.params);
}
bool SyncControl::ReadRequest(Reader& r, uint32_t command, Request* out) {
  if (command != kSyncStart) return true;
  return r.str(&out->params, &out->paramsNull);
}
void SyncControl::WriteReply(Writer& w, const Reply& r) { w.u32(r.lastErr).u32(r.result); }
bool SyncControl::ReadReply(Reader& r, Reply* out) {
  return r.u32(&out->lastErr) && r.u32(&out->result);
}

// ==== File, registry and invocation calls ==============================================

void BoolReply::WriteReply(Writer& w, const Reply& r) { w.u32(r.lastErr).u32(r.ok); }
bool BoolReply::ReadReply(Reader& r, Reply* out) {
  return r.u32(&out->lastErr) && r.u32(&out->ok);
}

void RegResultReply::WriteReply(Writer& w, const Reply& r) { w.u32(r.lastErr).i32(r.result); }
bool RegResultReply::ReadReply(Reader& r, Reply* out) {
  return r.u32(&out->lastErr) && r.i32(&out->result);
}

void HandleRequest::WriteRequest(Writer& w, uint32_t command, const Request& r) {
  w.u32(command).u32(r.handle);
}
bool HandleRequest::ReadRequest(Reader& r, Request* out) { return r.u32(&out->handle); }

void PathRequest::WriteRequest(Writer& w, uint32_t command, const Request& r) {
  w.u32(command);
  WriteStr(w, r.path, r.pathNull);
}
bool PathRequest::ReadRequest(Reader& r, Request* out) {
  return r.str(&out->path, &out->pathNull);
}

// ---- 0x16 ------------------------------------------------------------------------------
void CreateFile::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand);
  WriteStr(w, r.path, r.pathNull);
  w.u32(r.access).u32(r.share).u32(r.disposition).u32(r.flagsAndAttributes).u32(r.templateFile);
}
bool CreateFile::ReadRequest(Reader& r, Request* out) {
  return r.str(&out->path, &out->pathNull) && r.u32(&out->access) && r.u32(&out->share) &&
         r.u32(&out->disposition) && r.u32(&out->flagsAndAttributes) && r.u32(&out->templateFile);
}
void CreateFile::WriteReply(Writer& w, const Reply& r) { w.u32(r.lastErr).u32(r.handle); }
bool CreateFile::ReadReply(Reader& r, Reply* out) {
  uint32_t handle;
  if (!r.u32(&out->lastErr) || !r.u32(&handle)) return false;
  out->handle = handle;
  return true;
}

// ---- 0x17 ------------------------------------------------------------------------------
void ReadFile::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.handle).u32(r.bytesToRead);
}
bool ReadFile::ReadRequest(Reader& r, Request* out) {
  return r.u32(&out->handle) && r.u32(&out->bytesToRead);
}
void ReadFile::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).u32(r.ok).u32(r.size).bytes(r.data, r.size);
}
bool ReadFile::ReadReply(Reader& r, Reply* out) {
  uint32_t ok, n;
  const uint8_t* p;
  if (!r.u32(&out->lastErr) || !r.u32(&ok) || !r.u32(&n) || !r.bytes(n, &p)) return false;
  out->ok = ok;
  out->data = p;
  out->size = n;
  return true;
}

// ---- 0x18 ------------------------------------------------------------------------------
void WriteFile::WriteRequestHead(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.handle).u32(r.size);
}
void WriteFile::WriteRequest(Writer& w, const Request& r) {
  WriteRequestHead(w, r);
  w.bytes(r.data, r.size);
}
bool WriteFile::ReadRequest(Reader& r, Request* out) {
  return r.u32(&out->handle) && r.u32(&out->size) && r.bytes(out->size, &out->data);
}
void WriteFile::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).u32(r.ok).u32(r.written);
}
bool WriteFile::ReadReply(Reader& r, Reply* out) {
  uint32_t ok, written;
  if (!r.u32(&out->lastErr) || !r.u32(&ok) || !r.u32(&written)) return false;
  out->ok = ok;
  out->written = written;
  return true;
}

// ---- 0x41, 0x42 ------------------------------------------------------------------------
void GetFileTime::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).u32(r.ok).u64(r.creation).u64(r.lastAccess).u64(r.lastWrite);
}
bool GetFileTime::ReadReply(Reader& r, Reply* out) {
  uint32_t ok;
  uint64_t t[3];
  if (!r.u32(&out->lastErr) || !r.u32(&ok) || !r.u64(&t[0]) || !r.u64(&t[1]) || !r.u64(&t[2]))
    return false;
  out->ok = ok;
  out->creation = t[0];
  out->lastAccess = t[1];
  out->lastWrite = t[2];
  return true;
}

void SetFileTime::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.handle);
  for (int i = 0; i < 3; ++i) {
    if (r.given[i])
      w.u32(8).u64(r.times[i]);
    else
      w.u32(0);
  }
}
bool SetFileTime::ReadRequest(Reader& r, Request* out) {
  if (!r.u32(&out->handle)) return false;
  for (int i = 0; i < 3; ++i) {
    uint32_t len;
    if (!r.u32(&len) || (len != 0 && len != 8)) return false;
    out->given[i] = len == 8;
    if (out->given[i] && !r.u64(&out->times[i])) return false;
  }
  return true;
}

// ---- 0x2c, 0x2b ------------------------------------------------------------------------
void CopyMoveFile::WriteRequest(Writer& w, uint32_t command, const Request& r) {
  w.u32(command);
  WriteStr(w, r.from, r.fromNull);
  WriteStr(w, r.to, r.toNull);
  if (command == kCopy) w.u32(r.failIfExists);
}
bool CopyMoveFile::ReadRequest(Reader& r, uint32_t command, Request* out) {
  if (!r.str(&out->from, &out->fromNull) || !r.str(&out->to, &out->toNull)) return false;
  return command != kCopy || r.u32(&out->failIfExists);
}

// ---- 0x5c ------------------------------------------------------------------------------
void GetDiskFreeSpaceEx::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).i32(r.ok).u64(r.freeToCaller).u64(r.total).u64(r.totalFree);
}
bool GetDiskFreeSpaceEx::ReadReply(Reader& r, Reply* out) {
  int32_t ok;
  uint64_t v[3];
  if (!r.u32(&out->lastErr) || !r.i32(&ok) || !r.u64(&v[0]) || !r.u64(&v[1]) || !r.u64(&v[2]))
    return false;
  out->ok = ok;
  out->freeToCaller = v[0];
  out->total = v[1];
  out->totalFree = v[2];
  return true;
}

// ---- 0x11, 0x12 ------------------------------------------------------------------------
void FindFile::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).u32(r.result);
  if (!r.found) {
    w.u32(0);
    return;
  }
  const std::u16string name = r.data.name.substr(0, kMaxName);
  const FindData& d = r.data;
  w.u32(static_cast<uint32_t>(kFindDataFixed + 2 * (name.size() + 1)));
  w.u32(d.attributes).u64(d.creation).u64(d.lastAccess).u64(d.lastWrite);
  w.u32(d.sizeHigh).u32(d.sizeLow).u32(d.oid);
  PutText(w, name);
  w.zeros(2);
}
bool FindFile::ReadReply(Reader& r, Reply* out) {
  uint32_t result, size;
  if (!r.u32(&out->lastErr) || !r.u32(&result) || !r.u32(&size)) return false;
  if (size == 0) {
    out->result = result;
    out->found = false;
    return true;
  }
  const uint8_t* p;
  if (size < kFindDataFixed || size > kFindDataSize || size % 2 != 0 || !r.bytes(size, &p))
    return false;
  Reader fields(p, size);
  FindData d;
  fields.u32(&d.attributes);
  fields.u64(&d.creation);
  fields.u64(&d.lastAccess);
  fields.u64(&d.lastWrite);
  fields.u32(&d.sizeHigh);
  fields.u32(&d.sizeLow);
  fields.u32(&d.oid);
  d.name = TextOf(p + kFindDataFixed, size - kFindDataFixed).substr(0, kMaxName);
  out->result = result;
  out->found = true;
  out->data = std::move(d);
  return true;
}

// ---- 0x1a ------------------------------------------------------------------------------
void FindAllFiles::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand);
  WriteStr(w, r.pattern, r.patternNull);
  w.u32(r.flags);
}
bool FindAllFiles::ReadRequest(Reader& r, Request* out) {
  return r.str(&out->pattern, &out->patternNull) && r.u32(&out->flags);
}
void FindAllFiles::WriteReply(Writer& w, const Reply& r, uint32_t flags) {
  w.u32(r.lastErr).u32(r.ok).u32(static_cast<uint32_t>(r.found.size()));
  for (const FindData& d : r.found) {
    const std::u16string name = d.name.substr(0, kMaxName);
    if (flags & 0x80) w.u32(static_cast<uint32_t>(2 * (name.size() + 1)));
    if (flags & 0x01) w.u32(d.attributes);
    if (flags & 0x02) w.u64(d.creation);
    if (flags & 0x04) w.u64(d.lastAccess);
    if (flags & 0x08) w.u64(d.lastWrite);
    if (flags & 0x10) w.u32(d.sizeHigh);
    if (flags & 0x20) w.u32(d.sizeLow);
    if (flags & 0x40) w.u32(d.oid);
    if (flags & 0x80) {
      PutText(w, name);
      w.zeros(2);
    }
  }
}
bool FindAllFiles::ReadReply(Reader& r, Reply* out, uint32_t flags) {
  uint32_t ok, count;
  if (!r.u32(&out->lastErr) || !r.u32(&ok) || !r.u32(&count)) return false;
  const bool name = flags & 0x80;
  const size_t fixed = (name ? 4 : 0) + (flags & 0x01 ? 4 : 0) + (flags & 0x02 ? 8 : 0) +
                       (flags & 0x04 ? 8 : 0) + (flags & 0x08 ? 8 : 0) + (flags & 0x10 ? 4 : 0) +
                       (flags & 0x20 ? 4 : 0) + (flags & 0x40 ? 4 : 0);
  // More entries than the reply has room for is a lie that would make the reader allocate
  // gigabytes from a few bytes. Entries of no field (flags asking for none) take no room, so
  // the count alone bounds them: 65536, the most entries a FAT folder can hold, is the most
  // any listing may have (the caller's array of them is then 35 MiB at most).
  if (count > (1u << 16) || (fixed > 0 && count > r.remaining() / fixed)) return false;
  std::vector<FindData> found(count);
  for (FindData& d : found) {
    uint32_t nameBytes = 0;
    if (name) r.u32(&nameBytes);
    if (flags & 0x01) r.u32(&d.attributes);
    if (flags & 0x02) r.u64(&d.creation);
    if (flags & 0x04) r.u64(&d.lastAccess);
    if (flags & 0x08) r.u64(&d.lastWrite);
    if (flags & 0x10) r.u32(&d.sizeHigh);
    if (flags & 0x20) r.u32(&d.sizeLow);
    if (flags & 0x40) r.u32(&d.oid);
    if (name) {
      const uint8_t* p;
      if (nameBytes > 2 * (kMaxName + 1) || nameBytes % 2 != 0 || !r.bytes(nameBytes, &p))
        return false;
      d.name = TextOf(p, nameBytes);
    }
    if (!r.ok()) return false;
  }
  out->ok = ok;
  out->found = std::move(found);
  return true;
}

// ---- 0x43 ------------------------------------------------------------------------------
void GetVersionEx::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).u32(r.ok);
  if (!r.ok) {
    w.u32(0);
    return;
  }
  const std::u16string csd = r.csdVersion.substr(0, 127);
  w.u32(kSize).u32(kSize).u32(r.major).u32(r.minor).u32(r.build).u32(r.platformId);
  PutText(w, csd);
  w.zeros(kSize - kVersionFixed - 2 * csd.size());
}
bool GetVersionEx::ReadReply(Reader& r, Reply* out) {
  uint32_t ok, size;
  if (!r.u32(&out->lastErr) || !r.u32(&ok) || !r.u32(&size)) return false;
  if (size == 0 && !ok) {
    out->ok = 0;
    return true;
  }
  const uint8_t* p;
  if (size < kVersionFixed || size > kSize || !r.bytes(size, &p)) return false;
  Reader fields(p, size);
  uint32_t structSize;
  fields.u32(&structSize);
  fields.u32(&out->major);
  fields.u32(&out->minor);
  fields.u32(&out->build);
  fields.u32(&out->platformId);
  out->csdVersion = TextOf(p + kVersionFixed, (size - kVersionFixed) & ~size_t(1)).substr(0, 127);
  out->ok = ok;
  return true;
}

// ---- 0x2f, 0x31 ------------------------------------------------------------------------
void RegOpenKey::WriteRequest(Writer& w, uint32_t command, const Request& r) {
  w.u32(command).u32(r.hkey);
  WriteStr(w, r.subKey, r.subKeyNull);
  if (command == kCreate) WriteStr(w, r.className, r.classNull);
}
bool RegOpenKey::ReadRequest(Reader& r, uint32_t command, Request* out) {
  if (!r.u32(&out->hkey) || !r.str(&out->subKey, &out->subKeyNull)) return false;
  return command != kCreate || r.str(&out->className, &out->classNull);
}
void RegOpenKey::WriteReply(Writer& w, uint32_t command, const Reply& r) {
  w.u32(r.lastErr).i32(r.result);
  if (r.result != 0) return;
  w.u32(r.key);
  if (command == kCreate) w.u32(r.disposition);
}
bool RegOpenKey::ReadReply(Reader& r, uint32_t command, Reply* out) {
  if (!r.u32(&out->lastErr) || !r.i32(&out->result)) return false;
  if (out->result != 0) return true;
  uint32_t key, disposition = 0;
  if (!r.u32(&key) || (command == kCreate && !r.u32(&disposition))) return false;
  out->key = key;
  out->disposition = disposition;
  return true;
}

// ---- 0x37 ------------------------------------------------------------------------------
void RegQueryValueEx::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.hkey);
  WriteStr(w, r.name, r.nameNull);
  w.u32(r.cbData);
}
bool RegQueryValueEx::ReadRequest(Reader& r, Request* out) {
  return r.u32(&out->hkey) && r.str(&out->name, &out->nameNull) && r.u32(&out->cbData);
}
void RegQueryValueEx::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).i32(r.result);
  if (!r.hasTypeAndSize) return;
  w.u32(r.type).u32(r.size);
  if (r.data) w.bytes(r.data, r.size);
}
bool RegQueryValueEx::ReadReply(Reader& r, Reply* out, bool withData) {
  if (!r.u32(&out->lastErr) || !r.i32(&out->result)) return false;
  if (out->result == 234) {
    // A buffer too small: type and size may follow.
    if (r.remaining() >= 8 && r.u32(&out->type) && r.u32(&out->size)) out->hasTypeAndSize = true;
    return true;
  }
  if (out->result != 0) return true;
  uint32_t type, size;
  if (!r.u32(&type) || !r.u32(&size)) return false;
  // Asked without a buffer, a device sends the size alone; data that come anyway are read.
  const uint8_t* p = nullptr;
  if ((withData || r.remaining() > 0) && (size > kMaxRegistryData || !r.bytes(size, &p)))
    return false;
  out->hasTypeAndSize = true;
  out->type = type;
  out->size = size;
  out->data = p;
  return true;
}

// ---- 0x38 ------------------------------------------------------------------------------
void RegSetValueEx::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.hkey);
  WriteStr(w, r.name, r.nameNull);
  w.u32(r.type).u32(r.size).bytes(r.data, r.size);
}
bool RegSetValueEx::ReadRequest(Reader& r, Request* out) {
  return r.u32(&out->hkey) && r.str(&out->name, &out->nameNull) && r.u32(&out->type) &&
         r.u32(&out->size) && out->size <= kMaxRegistryData && r.bytes(out->size, &out->data);
}

// ---- 0x4c ------------------------------------------------------------------------------
void RapiInvoke::WriteRequest(Writer& w, const Request& r) {
  w.u32(kCommand).u32(r.reserved);
  WriteStr(w, r.dll, r.dllNull);
  WriteStr(w, r.function, r.functionNull);
  w.u32(r.inputSize).bytes(r.input, r.inputSize).u32(r.mode);
}
bool RapiInvoke::ReadRequest(Reader& r, Request* out) {
  return r.u32(&out->reserved) && r.str(&out->dll, &out->dllNull) &&
         r.str(&out->function, &out->functionNull) && r.u32(&out->inputSize) &&
         r.bytes(out->inputSize, &out->input) && r.u32(&out->mode);
}
void RapiInvoke::WriteReply(Writer& w, const Reply& r) {
  w.u32(r.lastErr).i32(r.hr);
  if (r.hr < 0) return;
  w.u32(r.outputSize).bytes(r.output, r.outputSize);
}
bool RapiInvoke::ReadReply(Reader& r, Reply* out) {
  int32_t hr;
  if (!r.u32(&out->lastErr) || !r.i32(&hr)) return false;
  if (hr < 0) {
    out->hr = hr;
    return true;
  }
  uint32_t n;
  const uint8_t* p;
  if (!r.u32(&n) || !r.bytes(n, &p)) return false;
  out->hr = hr;
  out->output = p;
  out->outputSize = n;
  return true;
}
void RapiInvoke::WriteStreamReply(Writer& w, uint32_t lastErr) { w.u32(lastErr); }
bool RapiInvoke::ReadStreamReply(Reader& r, uint32_t* lastErr) { return r.u32(lastErr); }

}  // namespace rapi2
