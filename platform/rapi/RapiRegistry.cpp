// The remote registry calls, on the codecs the phone emulator shares. They return Win32
// codes: the device's result, or the number of the transport failure (also the PC's last
// error), or ERROR_GEN_FAILURE for a reply that does not hold the call's fixed fields whole
// (the connection stays).
#include <cstring>

#include "platform/rapi/Rapi2Calls.h"
#include "platform/rapi/RapiSession.h"
#include "wincompat/rapi.h"

using qwb::rapi::Call;
using qwb::rapi::ExchangeReply;
using qwb::rapi::PcHandle;
using qwb::rapi::WireHandle;

namespace {

LONG Refuse(Call& c) {
  c.Refused(ERROR_INVALID_PARAMETER);
  return ERROR_INVALID_PARAMETER;
}

LONG OpenOrCreate(uint32_t command, HKEY hKey, LPCWSTR subKey, LPWSTR className, PHKEY phkResult,
                  LPDWORD lpdwDisposition) {
  rapi2::RegOpenKey::Request q;
  q.hkey = WireHandle(hKey);
  q.subKeyNull = subKey == nullptr;
  if (subKey) q.subKey = subKey;
  q.classNull = className == nullptr;
  if (className) q.className = className;
  rapi2::Writer w;
  rapi2::RegOpenKey::WriteRequest(w, command, q);
  Call c(std::move(w));
  if (!phkResult) return Refuse(c);
  rapi2::RegOpenKey::Reply rep;
  if (!ExchangeReply(c, &rep, [command](rapi2::Reader& r, auto* p) {
        return rapi2::RegOpenKey::ReadReply(r, command, p);
      }))
    return c.RegistryFailure();
  if (rep.result != ERROR_SUCCESS) return rep.result;
  *phkResult = static_cast<HKEY>(PcHandle(rep.key));
  if (lpdwDisposition) *lpdwDisposition = rep.disposition;
  return ERROR_SUCCESS;
}

}  // namespace

// C linkage comes from the declarations in rapi.h.
LONG WINAPI CeRegOpenKeyEx(HKEY hKey, LPCWSTR lpszSubKey, DWORD, REGSAM, PHKEY phkResult) {
  return OpenOrCreate(rapi2::RegOpenKey::kOpen, hKey, lpszSubKey, nullptr, phkResult, nullptr);
}

LONG WINAPI CeRegCreateKeyEx(HKEY hKey, LPCWSTR lpszSubKey, DWORD, LPWSTR lpClass, DWORD, REGSAM,
                             LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  return OpenOrCreate(rapi2::RegOpenKey::kCreate, hKey, lpszSubKey, lpClass, phkResult,
                      lpdwDisposition);
}

LONG WINAPI CeRegQueryValueEx(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType,
                              LPBYTE lpData, LPDWORD lpcbData) {
  const DWORD capacity = lpData && lpcbData ? *lpcbData : 0;
  rapi2::RegQueryValueEx::Request q;
  q.hkey = WireHandle(hKey);
  q.nameNull = lpValueName == nullptr;
  if (lpValueName) q.name = lpValueName;
  q.cbData = capacity;
  rapi2::Writer w;
  rapi2::RegQueryValueEx::WriteRequest(w, q);
  Call c(std::move(w));
  if (lpData && !lpcbData) return Refuse(c);
  rapi2::RegQueryValueEx::Reply rep;
  const bool withData = capacity > 0;
  if (!ExchangeReply(c, &rep, [withData](rapi2::Reader& r, auto* p) {
        return rapi2::RegQueryValueEx::ReadReply(r, p, withData);
      }))
    return c.RegistryFailure();
  if (rep.result == ERROR_MORE_DATA) {
    // The device may say how much it would take.
    if (rep.hasTypeAndSize) {
      if (lpType) *lpType = rep.type;
      if (lpcbData) *lpcbData = rep.size;
    }
    return rep.result;
  }
  if (rep.result != ERROR_SUCCESS) return rep.result;
  if (lpType) *lpType = rep.type;
  if (lpcbData) *lpcbData = rep.size;
  if (!lpData) return ERROR_SUCCESS;
  if (rep.size > capacity) return ERROR_MORE_DATA;
  // With a buffer the data came with the reply (the codec saw to it).
  if (rep.size > 0 && rep.data) std::memcpy(lpData, rep.data, rep.size);
  return ERROR_SUCCESS;
}

LONG WINAPI CeRegCloseKey(HKEY hKey) {
  rapi2::Writer w;
  rapi2::HandleRequest::WriteRequest(w, rapi2::kRegCloseKey, {WireHandle(hKey)});
  Call c(std::move(w));
  rapi2::RegResultReply::Reply rep;
  if (!ExchangeReply(c, &rep, [](rapi2::Reader& r, auto* p) {
        return rapi2::RegResultReply::ReadReply(r, p);
      }))
    return c.RegistryFailure();
  return rep.result;
}

LONG WINAPI CeRegSetValueEx(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                            DWORD cbData) {
  rapi2::RegSetValueEx::Request q;
  q.hkey = WireHandle(hKey);
  q.nameNull = lpValueName == nullptr;
  if (lpValueName) q.name = lpValueName;
  q.type = dwType;
  q.data = lpData;
  q.size = lpData ? cbData : 0;
  rapi2::Writer w;
  rapi2::RegSetValueEx::WriteRequest(w, q);
  Call c(std::move(w));
  if (cbData > 0 && !lpData) return Refuse(c);
  rapi2::RegResultReply::Reply rep;
  if (!ExchangeReply(c, &rep, [](rapi2::Reader& r, auto* p) {
        return rapi2::RegResultReply::ReadReply(r, p);
      }))
    return c.RegistryFailure();
  return rep.result;
}
