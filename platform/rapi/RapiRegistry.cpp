// The remote registry calls. They return Win32 codes: the device's result, or the number of
// the transport failure (also the PC's last error), or ERROR_GEN_FAILURE for a reply that
// does not hold the call's fixed fields whole (the connection stays).
#include <cstring>

#include "platform/rapi/RapiSession.h"
#include "wincompat/rapi.h"

using qwb::rapi::Call;
using qwb::rapi::PcHandle;
using qwb::rapi::WireHandle;

namespace {

LONG Refuse(Call& c) {
  c.Refused(ERROR_INVALID_PARAMETER);
  return ERROR_INVALID_PARAMETER;
}

// Exchanges and reads the result word; false (with *result the call's failure value) when
// the call failed before a result arrived.
bool Result(Call& c, int32_t* result) {
  if (!c.Exchange() || !c.Reply().i32(result) || !c.Complete()) {
    *result = c.RegistryFailure();
    return false;
  }
  return true;
}

}  // namespace

// C linkage comes from the declarations in rapi.h.
LONG WINAPI CeRegOpenKeyEx(HKEY hKey, LPCWSTR lpszSubKey, DWORD, REGSAM, PHKEY phkResult) {
  Call c(rapi2::kRegOpenKeyEx);
  if (!phkResult) return Refuse(c);
  c.Request().u32(WireHandle(hKey)).str(lpszSubKey);
  int32_t result;
  if (!Result(c, &result)) return result;
  if (result != ERROR_SUCCESS) return result;
  uint32_t key = 0;
  c.Reply().u32(&key);
  if (!c.Complete()) return c.RegistryFailure();
  *phkResult = static_cast<HKEY>(PcHandle(key));
  return ERROR_SUCCESS;
}

LONG WINAPI CeRegCreateKeyEx(HKEY hKey, LPCWSTR lpszSubKey, DWORD, LPWSTR lpClass, DWORD, REGSAM,
                             LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  Call c(rapi2::kRegCreateKeyEx);
  if (!phkResult) return Refuse(c);
  c.Request().u32(WireHandle(hKey)).str(lpszSubKey).str(lpClass);
  int32_t result;
  if (!Result(c, &result)) return result;
  if (result != ERROR_SUCCESS) return result;
  uint32_t key = 0, disposition = 0;
  c.Reply().u32(&key);
  c.Reply().u32(&disposition);
  if (!c.Complete()) return c.RegistryFailure();
  *phkResult = static_cast<HKEY>(PcHandle(key));
  if (lpdwDisposition) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

LONG WINAPI CeRegQueryValueEx(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType,
                              LPBYTE lpData, LPDWORD lpcbData) {
  Call c(rapi2::kRegQueryValueEx);
  if (lpData && !lpcbData) return Refuse(c);
  const DWORD capacity = lpData ? *lpcbData : 0;
  c.Request().u32(WireHandle(hKey)).str(lpValueName).u32(capacity);
  int32_t result;
  if (!Result(c, &result)) return result;
  rapi2::Reader& r = c.Reply();
  if (result == ERROR_MORE_DATA) {
    // The device may say how much it would take.
    uint32_t type = 0, size = 0;
    if (r.remaining() >= 8 && r.u32(&type) && r.u32(&size)) {
      if (lpType) *lpType = type;
      if (lpcbData) *lpcbData = size;
    }
    return result;
  }
  if (result != ERROR_SUCCESS) return result;
  uint32_t type = 0, size = 0;
  r.u32(&type);
  r.u32(&size);
  if (!c.Complete()) return c.RegistryFailure();
  // Asked with no buffer, the device gives the size alone; else the data follow.
  const uint8_t* data = nullptr;
  if (r.remaining() > 0 || capacity > 0) {
    r.bytes(size, &data);
    if (!c.Complete()) return c.RegistryFailure();
  }
  if (lpType) *lpType = type;
  if (lpcbData) *lpcbData = size;
  if (!lpData) return ERROR_SUCCESS;
  if (size > capacity) return ERROR_MORE_DATA;
  if (size > 0) std::memcpy(lpData, data, size);
  return ERROR_SUCCESS;
}

LONG WINAPI CeRegCloseKey(HKEY hKey) {
  Call c(rapi2::kRegCloseKey);
  c.Request().u32(WireHandle(hKey));
  int32_t result;
  if (!Result(c, &result)) return result;
  return result;
}

LONG WINAPI CeRegSetValueEx(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                            DWORD cbData) {
  Call c(rapi2::kRegSetValueEx);
  if (cbData > 0 && !lpData) return Refuse(c);
  c.Request().u32(WireHandle(hKey)).str(lpValueName).u32(dwType).u32(cbData).bytes(lpData, cbData);
  int32_t result;
  if (!Result(c, &result)) return result;
  return result;
}
