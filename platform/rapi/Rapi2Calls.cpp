#include "platform/rapi/Rapi2Calls.h"

namespace rapi2 {

namespace {

// Registry names the server sends and the client accepts stay within a registry's limits.
constexpr uint32_t kMaxRegistryData = 1u << 20;

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

}  // namespace rapi2
