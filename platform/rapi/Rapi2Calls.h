// Request and reply layouts of every RAPI2 call: one codec per call (or per group of calls
// sharing a layout), used by the client (librapi) to write requests and read replies, and by
// the phone emulator to read requests and write replies.
//
// Every Reply starts out holding that call's failure values, so a reader that stops early
// leaves the caller with a failure. Reply readers return true only when every fixed field of
// the call arrived; the fields read before the end keep their values (lastErr in particular).
// Request readers start after the command word and return false on a malformed request.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/rapi/Rapi2Wire.h"

namespace rapi2 {

inline constexpr uint32_t kNoLastError = 0;
inline constexpr uint32_t kFailedWord = 0xFFFFFFFFu;  // attributes, size, position, handle
inline constexpr uint32_t kNotImplemented = 120;      // ERROR_CALL_NOT_IMPLEMENTED
inline constexpr int32_t kHrNotImplemented = static_cast<int32_t>(0x80070078u);

// The reply to a command number with no known layout: word 0 alone, so that every reader
// stays on its own failure default and still learns the error.
void WriteUnknownCommandReply(Writer& w);

// ---- 0x14 CeGetFileAttributes ----------------------------------------------------------
struct GetFileAttributes {
  static constexpr uint32_t kCommand = 0x14;
  struct Request {
    std::u16string path;
    bool pathNull = false;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t attributes = kFailedWord;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x26 CeSetFilePointer -------------------------------------------------------------
struct SetFilePointer {
  static constexpr uint32_t kCommand = 0x26;
  struct Request {
    uint32_t handle = 0;
    int32_t distanceLow = 0;
    bool hasHigh = false;
    int32_t distanceHigh = 0;
    uint32_t moveMethod = 0;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t newPosLow = kFailedWord;
    int32_t newPosHigh = 0;  // on the wire only when the request had a high word
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r, bool hasHigh);
  static bool ReadReply(Reader& r, Reply* out, bool hasHigh);
};

// ---- 0x27 CeSetEndOfFile ---------------------------------------------------------------
// The BOOL is sent twice: a RAPI2 reader takes lastErr and the first, a reader that takes
// word 0 for a RAPI1 status finds the BOOL in word 2.
struct SetEndOfFile {
  static constexpr uint32_t kCommand = 0x27;
  struct Request {
    uint32_t handle = 0;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x2e CeGetFileSize ----------------------------------------------------------------
// The high word travels in an optional-parameter block: requested as `1, 4, 0`, answered as
// `1, 4, 1, high`; without it both sides send `0`.
struct GetFileSize {
  static constexpr uint32_t kCommand = 0x2e;
  struct Request {
    uint32_t handle = 0;
    bool wantHigh = false;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t sizeLow = kFailedWord;
    uint32_t sizeHigh = 0;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r, bool wantHigh);
  static bool ReadReply(Reader& r, Reply* out, bool wantHigh);
};

// ---- 0x4b CeGetSpecialFolderPath -------------------------------------------------------
// No BOOL: the path's length in UTF-16 units is the result, 0 = failed. The path is counted
// in units and carries no terminator.
struct GetSpecialFolderPath {
  static constexpr uint32_t kCommand = 0x4b;
  struct Request {
    uint32_t csidl = 0;
    uint32_t bufferLength = 0;  // characters
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    std::u16string path;  // empty = failed
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x30 CeRegEnumKeyEx ---------------------------------------------------------------
struct RegEnumKeyEx {
  static constexpr uint32_t kCommand = 0x30;
  struct Request {
    uint32_t hkey = 0;
    uint32_t index = 0;
    uint32_t nameChars = 0;
    uint32_t classChars = 0;  // 0: the caller has no class buffer
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t result = kNotImplemented;
    std::u16string name;
    std::u16string className;  // on the wire only when the request had a class buffer
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r, bool withClass);
  static bool ReadReply(Reader& r, Reply* out, bool withClass);
};

// ---- 0x34 CeRegEnumValue ---------------------------------------------------------------
struct RegEnumValue {
  static constexpr uint32_t kCommand = 0x34;
  struct Request {
    uint32_t hkey = 0;
    uint32_t index = 0;
    uint32_t nameChars = 0;
    uint32_t cbData = 0;  // 0: no data buffer, the reply carries the size alone
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t result = kNotImplemented;
    std::u16string name;
    uint32_t type = 0;
    uint32_t size = 0;
    std::vector<uint8_t> data;  // on the wire only when the request had a data buffer
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r, bool withData);
  static bool ReadReply(Reader& r, Reply* out, bool withData);
};

// ---- 0x36 CeRegQueryInfoKey ------------------------------------------------------------
struct RegQueryInfoKey {
  static constexpr uint32_t kCommand = 0x36;
  struct Request {
    uint32_t hkey = 0;
    uint32_t classChars = 0;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t result = kNotImplemented;
    uint32_t classLen = 0;
    std::u16string className;  // only when the request had a class buffer
    uint32_t subKeys = 0, maxSubKeyChars = 0, maxClassChars = 0;
    uint32_t values = 0, maxValueNameChars = 0, maxValueBytes = 0;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r, bool withClass);
  static bool ReadReply(Reader& r, Reply* out, bool withClass);
};

// ---- 0x33 CeRegDeleteKey, 0x35 CeRegDeleteValue ----------------------------------------
struct RegDelete {
  static constexpr uint32_t kDeleteKey = 0x33;
  static constexpr uint32_t kDeleteValue = 0x35;
  struct Request {
    uint32_t hkey = 0;
    std::u16string name;
    bool nameNull = false;  // the default value (CeRegDeleteValue)
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t result = kNotImplemented;
  };
  static void WriteRequest(Writer& w, uint32_t command, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x2a CeCreateProcess --------------------------------------------------------------
struct ProcessInformation {
  uint32_t hProcess = 0, hThread = 0, processId = 0, threadId = 0;
};

struct CreateProcess {
  static constexpr uint32_t kCommand = 0x2a;
  struct Request {
    std::u16string application;
    std::u16string commandLine;
    bool commandLineNull = true;
    uint32_t creationFlags = 0;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
    ProcessInformation info;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x3d CeGetSystemInfo --------------------------------------------------------------
// A void call: lastErr and the structure, no result word.
struct SystemInfo {
  uint16_t processorArchitecture = 0, reserved = 0;
  uint32_t pageSize = 0, minimumApplicationAddress = 0, maximumApplicationAddress = 0;
  uint32_t activeProcessorMask = 0, numberOfProcessors = 0, processorType = 0;
  uint32_t allocationGranularity = 0;
  uint16_t processorLevel = 0, processorRevision = 0;
};

struct GetSystemInfo {
  static constexpr uint32_t kCommand = 0x3d;
  struct Request {
    bool withBuffer = true;  // the optional-out marker: `1, 36, 0` or `0`
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    SystemInfo info;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x39 CeGetStoreInformation --------------------------------------------------------
struct GetStoreInformation {
  static constexpr uint32_t kCommand = 0x39;
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
    uint32_t storeSize = 0, freeSize = 0;
  };
  static void WriteRequest(Writer& w);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x49 CeGetSystemPowerStatusEx -----------------------------------------------------
// No lastErr: word 0 is the BOOL.
struct PowerStatus {
  uint8_t acLineStatus = 0, batteryFlag = 0, batteryLifePercent = 0;
  uint32_t batteryLifeTime = 0, batteryFullLifeTime = 0;
  uint8_t backupBatteryFlag = 0, backupBatteryLifePercent = 0;
  uint32_t backupBatteryLifeTime = 0, backupBatteryFullLifeTime = 0;
};

struct GetSystemPowerStatusEx {
  static constexpr uint32_t kCommand = 0x49;
  struct Request {
    uint32_t refresh = 0;
  };
  struct Reply {
    uint32_t ok = 0;
    PowerStatus status;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x0e CeProcessConfig --------------------------------------------------------------
struct ProcessConfig {
  static constexpr uint32_t kCommand = 0x0e;
  struct Request {
    std::u16string xml;
    bool xmlNull = false;
    uint32_t flags = 0;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t hr = kHrNotImplemented;
    std::u16string text;  // sent with its terminator; none on failure
    bool hasText = false;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x01 CeSyncTimeToPc ---------------------------------------------------------------
struct SyncTimeToPc {
  static constexpr uint32_t kCommand = 0x01;
  struct Request {
    uint64_t now = 0;  // FILETIME, UTC
    uint32_t word1 = 0, word2 = 10000;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  // Only lastErr is needed: the time is set once any reply arrived.
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x02 CeStartReplication, 0x59 CeSyncStart, 0x10 CeSyncResume, 0x0f CeSyncPause ----
struct SyncControl {
  static constexpr uint32_t kStartReplication = 0x02;
  static constexpr uint32_t kSyncPause = 0x0f;
  static constexpr uint32_t kSyncResume = 0x10;
  static constexpr uint32_t kSyncStart = 0x59;
  struct Request {
    std::u16string params;  // CeSyncStart only
    bool paramsNull = true;
  };
  // Word 1 is a BOOL for CeStartReplication and an HRESULT for the others.
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t result = 0;
  };
  static void WriteRequest(Writer& w, uint32_t command, const Request& r);
  static bool ReadRequest(Reader& r, uint32_t command, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ==== File, registry and invocation calls ==============================================
// Byte views (`const uint8_t*` with a size) point into the frame being read or into the
// caller's buffer being written; they live as long as that buffer.

// ---- Shared shapes ---------------------------------------------------------------------
// `E, ok`: 0x13 CeFindClose, 0x19 CeCloseHandle, 0x28 CeCreateDirectory, 0x29
// CeRemoveDirectory, 0x2b CeMoveFile, 0x2c CeCopyFile, 0x2d CeDeleteFile, 0x42 CeSetFileTime.
struct BoolReply {
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
  };
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// `E, i32 result`: 0x32 CeRegCloseKey, 0x38 CeRegSetValueEx.
struct RegResultReply {
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t result = kNotImplemented;
  };
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// A request of one handle: 0x12 CeFindNextFile, 0x13 CeFindClose, 0x19 CeCloseHandle,
// 0x41 CeGetFileTime, 0x32 CeRegCloseKey.
struct HandleRequest {
  struct Request {
    uint32_t handle = 0;
  };
  static void WriteRequest(Writer& w, uint32_t command, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
};

// A request of one path: 0x2d CeDeleteFile, 0x28 CeCreateDirectory, 0x29 CeRemoveDirectory,
// 0x11 CeFindFirstFile, 0x5c CeGetDiskFreeSpaceEx.
struct PathRequest {
  struct Request {
    std::u16string path;
    bool pathNull = false;
  };
  static void WriteRequest(Writer& w, uint32_t command, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
};

// ---- 0x16 CeCreateFile -----------------------------------------------------------------
struct CreateFile {
  static constexpr uint32_t kCommand = 0x16;
  struct Request {
    std::u16string path;
    bool pathNull = false;
    uint32_t access = 0, share = 0, disposition = 0, flagsAndAttributes = 0, templateFile = 0;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t handle = kFailedWord;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x17 CeReadFile -------------------------------------------------------------------
struct ReadFile {
  static constexpr uint32_t kCommand = 0x17;
  struct Request {
    uint32_t handle = 0;
    uint32_t bytesToRead = 0;
  };
  // n is always sent (0 on failure).
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
    const uint8_t* data = nullptr;
    uint32_t size = 0;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x18 CeWriteFile ------------------------------------------------------------------
struct WriteFile {
  static constexpr uint32_t kCommand = 0x18;
  struct Request {
    uint32_t handle = 0;
    const uint8_t* data = nullptr;
    uint32_t size = 0;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
    uint32_t written = 0;
  };
  static void WriteRequest(Writer& w, const Request& r);
  // The request without its data: the fields before it, for a sender that sends the r.size
  // data bytes from where they are right after (Writer::Finish(r.size)).
  static void WriteRequestHead(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x41 CeGetFileTime, 0x42 CeSetFileTime --------------------------------------------
// FILETIMEs as 64-bit counts (low word first on the wire).
struct GetFileTime {
  static constexpr uint32_t kCommand = 0x41;
  // All three times are always sent (zeros on failure).
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
    uint64_t creation = 0, lastAccess = 0, lastWrite = 0;
  };
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

struct SetFileTime {
  static constexpr uint32_t kCommand = 0x42;
  // Each time travels as `u32 8` and the FILETIME, or `u32 0` when the caller gave none.
  struct Request {
    uint32_t handle = 0;
    std::array<uint64_t, 3> times{};  // creation, last access, last write
    std::array<bool, 3> given{};
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
};

// ---- 0x2c CeCopyFile, 0x2b CeMoveFile --------------------------------------------------
struct CopyMoveFile {
  static constexpr uint32_t kCopy = 0x2c;
  static constexpr uint32_t kMove = 0x2b;
  struct Request {
    std::u16string from, to;
    bool fromNull = false, toNull = false;
    uint32_t failIfExists = 0;  // CeCopyFile only
  };
  static void WriteRequest(Writer& w, uint32_t command, const Request& r);
  static bool ReadRequest(Reader& r, uint32_t command, Request* out);
};

// ---- 0x5c CeGetDiskFreeSpaceEx ---------------------------------------------------------
struct GetDiskFreeSpaceEx {
  static constexpr uint32_t kCommand = 0x5c;
  // The three sizes are always sent (zeros on failure); ok is any non-zero on success.
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t ok = 0;
    uint64_t freeToCaller = 0, total = 0, totalFree = 0;
  };
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x11 CeFindFirstFile, 0x12 CeFindNextFile -----------------------------------------
// One CE_FIND_DATA as it travels: the 40 fixed bytes, then the bare name and its NUL
// (S = 40 + 2 × (length + 1), at most 560).
struct FindData {
  uint32_t attributes = 0;
  uint64_t creation = 0, lastAccess = 0, lastWrite = 0;
  uint32_t sizeHigh = 0, sizeLow = 0, oid = 0;
  std::u16string name;  // at most 259 units
};

struct FindFile {
  static constexpr uint32_t kFirst = 0x11;
  static constexpr uint32_t kNext = 0x12;
  // Word 1 is the find handle for CeFindFirstFile, the BOOL for CeFindNextFile; S = 0 and no
  // structure on failure.
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t result = 0;
    bool found = false;
    FindData data;
  };
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x1a CeFindAllFiles ---------------------------------------------------------------
// Each record holds only the fields the low eight flag bits select, in a fixed order.
struct FindAllFiles {
  static constexpr uint32_t kCommand = 0x1a;
  struct Request {
    std::u16string pattern;
    bool patternNull = false;
    uint32_t flags = 0;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
    std::vector<FindData> found;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r, uint32_t flags);
  // Refuses counts the reply cannot hold and names beyond 520 bytes.
  static bool ReadReply(Reader& r, Reply* out, uint32_t flags);
};

// ---- 0x43 CeGetVersionEx ---------------------------------------------------------------
// The request is the command alone. The reply carries CEOSVERSIONINFO (276 bytes) sized by S.
struct GetVersionEx {
  static constexpr uint32_t kCommand = 0x43;
  static constexpr uint32_t kSize = 276;
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    uint32_t ok = 0;
    uint32_t major = 0, minor = 0, build = 0, platformId = 0;
    std::u16string csdVersion;  // at most 127 units
  };
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
};

// ---- 0x2f CeRegOpenKeyEx, 0x31 CeRegCreateKeyEx ----------------------------------------
// The key and the disposition follow only when the result is 0.
struct RegOpenKey {
  static constexpr uint32_t kOpen = 0x2f;
  static constexpr uint32_t kCreate = 0x31;
  struct Request {
    uint32_t hkey = 0;
    std::u16string subKey;
    bool subKeyNull = false;
    std::u16string className;  // CeRegCreateKeyEx only; usually null
    bool classNull = true;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t result = kNotImplemented;
    uint32_t key = 0;
    uint32_t disposition = 0;  // CeRegCreateKeyEx only
  };
  static void WriteRequest(Writer& w, uint32_t command, const Request& r);
  static bool ReadRequest(Reader& r, uint32_t command, Request* out);
  static void WriteReply(Writer& w, uint32_t command, const Reply& r);
  static bool ReadReply(Reader& r, uint32_t command, Reply* out);
};

// ---- 0x37 CeRegQueryValueEx ------------------------------------------------------------
// Result 0: type, size and, when the caller gave a buffer, the data. Result 234 (a buffer
// too small) may carry type and size.
struct RegQueryValueEx {
  static constexpr uint32_t kCommand = 0x37;
  struct Request {
    uint32_t hkey = 0;
    std::u16string name;
    bool nameNull = false;  // the default value
    uint32_t cbData = 0;
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t result = kNotImplemented;
    bool hasTypeAndSize = false;
    uint32_t type = 0, size = 0;
    const uint8_t* data = nullptr;  // size bytes, or null when none travelled
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out, bool withData);
};

// ---- 0x38 CeRegSetValueEx --------------------------------------------------------------
struct RegSetValueEx {
  static constexpr uint32_t kCommand = 0x38;
  struct Request {
    uint32_t hkey = 0;
    std::u16string name;
    bool nameNull = false;
    uint32_t type = 0;
    const uint8_t* data = nullptr;
    uint32_t size = 0;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
};

// ---- 0x4c CeRapiInvoke -----------------------------------------------------------------
// Block mode: `E, hr`, then the output only when hr ≥ 0. Stream mode: `E` alone, then the
// connection carries raw bytes.
struct RapiInvoke {
  static constexpr uint32_t kCommand = 0x4c;
  struct Request {
    uint32_t reserved = 0;
    std::u16string dll, function;
    bool dllNull = false, functionNull = false;
    const uint8_t* input = nullptr;
    uint32_t inputSize = 0;
    uint32_t mode = 0;  // 0 block, 1 stream
  };
  struct Reply {
    uint32_t lastErr = kNotImplemented;
    int32_t hr = kHrNotImplemented;
    const uint8_t* output = nullptr;
    uint32_t outputSize = 0;
  };
  static void WriteRequest(Writer& w, const Request& r);
  static bool ReadRequest(Reader& r, Request* out);
  static void WriteReply(Writer& w, const Reply& r);
  static bool ReadReply(Reader& r, Reply* out);
  static void WriteStreamReply(Writer& w, uint32_t lastErr);
  static bool ReadStreamReply(Reader& r, uint32_t* lastErr);
};

}  // namespace rapi2
