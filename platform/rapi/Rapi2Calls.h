// Request and reply layouts of the RAPI2 system, process, sync, registry-enumeration and
// file-pointer calls: one codec per call, used by the client (librapi) to write requests and
// read replies, and by the phone emulator to read requests and write replies.
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

}  // namespace rapi2
