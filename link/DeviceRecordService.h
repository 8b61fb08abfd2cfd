// The device record service: how the tables reach the block calls of the device-side service
// without handling bytes. Each call builds its request with the one writer of its format,
// runs the block invocation of the device link (CeSyncStop, CeRapiInvoke, the debug line
// "[<method>]<function> hr=0x<hr>", request and reply freed) and reads the reply with the one
// reader of its format.
//
// Every call returns the HRESULT of the invocation and never throws for a device failure:
// whether a failure is thrown (and as what) is the calling table's rule. Only S_OK is success;
// the reply of any other result is not read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/DeviceRecordWM.h"
#include "wincompat/wintypes.h"

namespace qwb {

// Which decoder reads a record reply: the general one (every kind, binaries copied) or the
// task-only one (kind 3 names, binaries skipped).
enum class RecordDecoder { kGeneral, kTask };

class CDeviceRecordService {
 public:
  // Any block call: the request bytes as they go, the reply bytes as they came (cleared first;
  // filled on S_OK only).
  static HRESULT Call(const char16_t* function, const char* method,
                      std::span<const uint8_t> request, std::vector<uint8_t>* reply);

  // (kind) -> id list. An empty reply is an empty list.
  static HRESULT ListIds(const char16_t* function, const char* method, DWORD kind,
                         std::vector<DWORD>* ids);

  // (kind, id) -> one record decoded into *map. *decoded receives the decoder's result
  // (kDecodeOk, kDecodeEmpty for an empty reply, kDecodeMalformed ...); it is kDecodeEmpty
  // when the call failed.
  static HRESULT GetRecord(const char16_t* function, const char* method, DWORD kind, DWORD id,
                           RecordDecoder decoder, CPropertyMap* map, int* decoded);

  // A device record built from `list` (mode 0, or mode 1 with `entryId`) -> the first word
  // of the reply, when one came (*id stays empty for an empty reply).
  static HRESULT PutRecord(const char16_t* function, const char* method,
                           const CPropertyList& list, int mode, DWORD entryId,
                           std::optional<DWORD>* id);

  // (kind, id) -> nothing read.
  static HRESULT DeleteRecord(const char16_t* function, const char* method, DWORD kind,
                              DWORD id);
};

}  // namespace qwb
