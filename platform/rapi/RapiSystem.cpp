// The remote calls whose layouts live in Rapi2Calls: file attributes, sizes and pointers,
// special folders, registry enumeration and deletion, system and power information,
// processes, configuration documents, the clock and the sync controls. Each reads its whole
// reply with its codec; a reply that ends before the call's fixed fields gives the call's
// failure value and keeps the connection.
#include <cstring>

#include "platform/rapi/Rapi2Calls.h"
#include "platform/rapi/RapiSession.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

using qwb::rapi::Call;
using qwb::rapi::ExchangeReply;
using qwb::rapi::PcHandle;
using qwb::rapi::WireHandle;

namespace {

template <class Codec>
rapi2::Writer Request(const typename Codec::Request& q) {
  rapi2::Writer w;
  Codec::WriteRequest(w, q);
  return w;
}

// Copies a counted name with its terminator; false when it does not fit `chars`.
bool CopyName(const std::u16string& name, LPWSTR out, DWORD chars) {
  if (name.size() + 1 > chars) return false;
  std::memcpy(out, name.data(), name.size() * sizeof(WCHAR));
  out[name.size()] = 0;
  return true;
}

void Zero(PFILETIME ft) {
  if (ft) *ft = FILETIME{0, 0};
}

}  // namespace

// C linkage comes from the declarations in rapi.h.

// ---- files ----------------------------------------------------------------------------

DWORD WINAPI CeGetFileAttributes(LPCWSTR lpFileName) {
  if (!lpFileName) {
    Call c(rapi2::GetFileAttributes::kCommand);
    c.Refused(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  Call c(Request<rapi2::GetFileAttributes>({lpFileName, false}));
  rapi2::GetFileAttributes::Reply rep;
  if (!ExchangeReply(c, &rep, [](rapi2::Reader& r, auto* p) {
        return rapi2::GetFileAttributes::ReadReply(r, p);
      }))
    return INVALID_FILE_ATTRIBUTES;
  return rep.lastErr ? INVALID_FILE_ATTRIBUTES : rep.attributes;
}

DWORD WINAPI CeGetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  const bool wantHigh = lpFileSizeHigh != nullptr;
  Call c(Request<rapi2::GetFileSize>({WireHandle(hFile), wantHigh}));
  rapi2::GetFileSize::Reply rep;
  if (!ExchangeReply(c, &rep, [wantHigh](rapi2::Reader& r, auto* p) {
        return rapi2::GetFileSize::ReadReply(r, p, wantHigh);
      }))
    return INVALID_FILE_SIZE;
  if (rep.lastErr) return INVALID_FILE_SIZE;
  if (lpFileSizeHigh) *lpFileSizeHigh = rep.sizeHigh;
  return rep.sizeLow;
}

DWORD WINAPI CeSetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                              DWORD dwMoveMethod) {
  rapi2::SetFilePointer::Request q;
  q.handle = WireHandle(hFile);
  q.distanceLow = lDistanceToMove;
  q.hasHigh = lpDistanceToMoveHigh != nullptr;
  q.distanceHigh = q.hasHigh ? *lpDistanceToMoveHigh : 0;
  q.moveMethod = dwMoveMethod;
  Call c(Request<rapi2::SetFilePointer>(q));
  rapi2::SetFilePointer::Reply rep;
  const bool hasHigh = q.hasHigh;
  if (!ExchangeReply(c, &rep, [hasHigh](rapi2::Reader& r, auto* p) {
        return rapi2::SetFilePointer::ReadReply(r, p, hasHigh);
      }))
    return INVALID_SET_FILE_POINTER;
  // With a high word 0xFFFFFFFF can be a valid low word: the error tells.
  if (rep.lastErr) return INVALID_SET_FILE_POINTER;
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = rep.newPosHigh;
  return rep.newPosLow;
}

BOOL WINAPI CeSetEndOfFile(HANDLE hFile) {
  Call c(Request<rapi2::SetEndOfFile>({WireHandle(hFile)}));
  rapi2::SetEndOfFile::Reply rep;
  if (!ExchangeReply(c, &rep, [](rapi2::Reader& r, auto* p) {
        return rapi2::SetEndOfFile::ReadReply(r, p);
      }))
    return FALSE;
  return rep.ok ? TRUE : FALSE;
}

DWORD WINAPI CeGetSpecialFolderPath(int nFolder, DWORD nBufferLength, LPWSTR lpBuffer) {
  if (!lpBuffer || nBufferLength == 0) {
    Call c(rapi2::GetSpecialFolderPath::kCommand);
    c.Refused(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Call c(Request<rapi2::GetSpecialFolderPath>({static_cast<uint32_t>(nFolder), nBufferLength}));
  rapi2::GetSpecialFolderPath::Reply rep;
  if (!ExchangeReply(c, &rep, [](rapi2::Reader& r, auto* p) {
        return rapi2::GetSpecialFolderPath::ReadReply(r, p);
      }))
    return 0;
  if (rep.path.empty()) return 0;
  if (!CopyName(rep.path, lpBuffer, nBufferLength)) {
    c.DeviceError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<DWORD>(rep.path.size());
}

// ---- registry -------------------------------------------------------------------------

LONG WINAPI CeRegEnumKeyEx(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcbName, LPDWORD,
                           LPWSTR lpClass, LPDWORD lpcbClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcbName || (lpClass && !lpcbClass)) {
    Call c(rapi2::RegEnumKeyEx::kCommand);
    c.Refused(ERROR_INVALID_PARAMETER);
    return ERROR_INVALID_PARAMETER;
  }
  rapi2::RegEnumKeyEx::Request q;
  q.hkey = WireHandle(hKey);
  q.index = dwIndex;
  q.nameChars = *lpcbName;
  q.classChars = lpClass ? *lpcbClass : 0;
  const bool withClass = q.classChars > 0;
  Call c(Request<rapi2::RegEnumKeyEx>(q));
  rapi2::RegEnumKeyEx::Reply rep;
  if (!ExchangeReply(c, &rep, [withClass](rapi2::Reader& r, auto* p) {
        return rapi2::RegEnumKeyEx::ReadReply(r, p, withClass);
      }))
    return c.RegistryFailure();
  if (rep.result != ERROR_SUCCESS) return rep.result;
  if (!CopyName(rep.name, lpName, *lpcbName)) return ERROR_MORE_DATA;
  *lpcbName = static_cast<DWORD>(rep.name.size());
  if (withClass) {
    if (!CopyName(rep.className, lpClass, *lpcbClass)) return ERROR_MORE_DATA;
    *lpcbClass = static_cast<DWORD>(rep.className.size());
  } else if (lpcbClass) {
    *lpcbClass = 0;
  }
  Zero(lpftLastWriteTime);
  return ERROR_SUCCESS;
}

LONG WINAPI CeRegEnumValue(HKEY hKey, DWORD dwIndex, LPWSTR lpszValueName, LPDWORD lpcbValueName,
                           LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpszValueName || !lpcbValueName || (lpData && !lpcbData)) {
    Call c(rapi2::RegEnumValue::kCommand);
    c.Refused(ERROR_INVALID_PARAMETER);
    return ERROR_INVALID_PARAMETER;
  }
  rapi2::RegEnumValue::Request q;
  q.hkey = WireHandle(hKey);
  q.index = dwIndex;
  q.nameChars = *lpcbValueName;
  q.cbData = lpData ? *lpcbData : 0;
  const bool withData = q.cbData > 0;
  Call c(Request<rapi2::RegEnumValue>(q));
  rapi2::RegEnumValue::Reply rep;
  if (!ExchangeReply(c, &rep, [withData](rapi2::Reader& r, auto* p) {
        return rapi2::RegEnumValue::ReadReply(r, p, withData);
      }))
    return c.RegistryFailure();
  if (rep.result != ERROR_SUCCESS) return rep.result;
  if (!CopyName(rep.name, lpszValueName, *lpcbValueName)) return ERROR_MORE_DATA;
  *lpcbValueName = static_cast<DWORD>(rep.name.size());
  if (lpType) *lpType = rep.type;
  if (!lpcbData) return ERROR_SUCCESS;
  const DWORD capacity = lpData ? *lpcbData : 0;
  *lpcbData = rep.size;
  if (!lpData) return ERROR_SUCCESS;
  if (rep.size > capacity || rep.data.size() != rep.size) return ERROR_MORE_DATA;
  if (rep.size) std::memcpy(lpData, rep.data.data(), rep.size);
  return ERROR_SUCCESS;
}

LONG WINAPI CeRegQueryInfoKey(HKEY hKey, LPWSTR lpClass, LPDWORD lpcbClass, LPDWORD,
                              LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                              LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                              LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                              LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpClass && !lpcbClass) {
    Call c(rapi2::RegQueryInfoKey::kCommand);
    c.Refused(ERROR_INVALID_PARAMETER);
    return ERROR_INVALID_PARAMETER;
  }
  rapi2::RegQueryInfoKey::Request q;
  q.hkey = WireHandle(hKey);
  q.classChars = lpClass ? *lpcbClass : 0;
  const bool withClass = q.classChars > 0;
  Call c(Request<rapi2::RegQueryInfoKey>(q));
  rapi2::RegQueryInfoKey::Reply rep;
  if (!ExchangeReply(c, &rep, [withClass](rapi2::Reader& r, auto* p) {
        return rapi2::RegQueryInfoKey::ReadReply(r, p, withClass);
      }))
    return c.RegistryFailure();
  if (rep.result != ERROR_SUCCESS) return rep.result;
  if (withClass) {
    if (!CopyName(rep.className, lpClass, *lpcbClass)) return ERROR_MORE_DATA;
    *lpcbClass = static_cast<DWORD>(rep.className.size());
  } else if (lpcbClass) {
    *lpcbClass = rep.classLen;
  }
  if (lpcSubKeys) *lpcSubKeys = rep.subKeys;
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = rep.maxSubKeyChars;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = rep.maxClassChars;
  if (lpcValues) *lpcValues = rep.values;
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = rep.maxValueNameChars;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = rep.maxValueBytes;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  Zero(lpftLastWriteTime);
  return ERROR_SUCCESS;
}

namespace {
LONG RegDelete(uint32_t command, HKEY hKey, LPCWSTR name) {
  rapi2::RegDelete::Request q;
  q.hkey = WireHandle(hKey);
  q.nameNull = name == nullptr;
  if (name) q.name = name;
  rapi2::Writer w;
  rapi2::RegDelete::WriteRequest(w, command, q);
  Call c(std::move(w));
  rapi2::RegDelete::Reply rep;
  if (!ExchangeReply(c, &rep,
                [](rapi2::Reader& r, auto* p) { return rapi2::RegDelete::ReadReply(r, p); }))
    return c.RegistryFailure();
  return rep.result;
}
}  // namespace

LONG WINAPI CeRegDeleteKey(HKEY hKey, LPCWSTR lpszSubKey) {
  if (!lpszSubKey) {
    Call c(rapi2::RegDelete::kDeleteKey);
    c.Refused(ERROR_INVALID_PARAMETER);
    return ERROR_INVALID_PARAMETER;
  }
  return RegDelete(rapi2::RegDelete::kDeleteKey, hKey, lpszSubKey);
}

LONG WINAPI CeRegDeleteValue(HKEY hKey, LPCWSTR lpszValueName) {
  return RegDelete(rapi2::RegDelete::kDeleteValue, hKey, lpszValueName);
}

// ---- system and processes -------------------------------------------------------------

void WINAPI CeGetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  if (!lpSystemInfo) return;
  Call c(Request<rapi2::GetSystemInfo>({true}));
  rapi2::GetSystemInfo::Reply rep;
  if (!ExchangeReply(c, &rep,
                [](rapi2::Reader& r, auto* p) { return rapi2::GetSystemInfo::ReadReply(r, p); }))
    return;  // the caller's structure stays as it was
  const rapi2::SystemInfo& s = rep.info;
  SYSTEM_INFO out{};
  out.wProcessorArchitecture = s.processorArchitecture;
  out.wReserved = s.reserved;
  out.dwPageSize = s.pageSize;
  out.lpMinimumApplicationAddress = s.minimumApplicationAddress;
  out.lpMaximumApplicationAddress = s.maximumApplicationAddress;
  out.dwActiveProcessorMask = s.activeProcessorMask;
  out.dwNumberOfProcessors = s.numberOfProcessors;
  out.dwProcessorType = s.processorType;
  out.dwAllocationGranularity = s.allocationGranularity;
  out.wProcessorLevel = s.processorLevel;
  out.wProcessorRevision = s.processorRevision;
  *lpSystemInfo = out;
}

BOOL WINAPI CeGetSystemPowerStatusEx(PSYSTEM_POWER_STATUS_EX pstatus, BOOL fUpdate) {
  Call c(Request<rapi2::GetSystemPowerStatusEx>({fUpdate ? 1u : 0u}));
  if (!pstatus) {
    c.Refused(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // No device error travels with this reply: the BOOL comes first.
  if (!c.ExchangeFrame()) return FALSE;
  rapi2::GetSystemPowerStatusEx::Reply rep;
  if (!rapi2::GetSystemPowerStatusEx::ReadReply(c.Reply(), &rep)) {
    c.ShortReply();
    return FALSE;
  }
  if (!rep.ok) return FALSE;
  const rapi2::PowerStatus& s = rep.status;
  SYSTEM_POWER_STATUS_EX out{};
  out.ACLineStatus = s.acLineStatus;
  out.BatteryFlag = s.batteryFlag;
  out.BatteryLifePercent = s.batteryLifePercent;
  out.BatteryLifeTime = s.batteryLifeTime;
  out.BatteryFullLifeTime = s.batteryFullLifeTime;
  out.BackupBatteryFlag = s.backupBatteryFlag;
  out.BackupBatteryLifePercent = s.backupBatteryLifePercent;
  out.BackupBatteryLifeTime = s.backupBatteryLifeTime;
  out.BackupBatteryFullLifeTime = s.backupBatteryFullLifeTime;
  *pstatus = out;
  return TRUE;
}

BOOL WINAPI CeGetStoreInformation(LPSTORE_INFORMATION lpsi) {
  rapi2::Writer w;
  rapi2::GetStoreInformation::WriteRequest(w);
  Call c(std::move(w));
  if (!lpsi) {
    c.Refused(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  rapi2::GetStoreInformation::Reply rep;
  if (!ExchangeReply(c, &rep, [](rapi2::Reader& r, auto* p) {
        return rapi2::GetStoreInformation::ReadReply(r, p);
      }))
    return FALSE;
  if (!rep.ok) return FALSE;
  lpsi->dwStoreSize = rep.storeSize;
  lpsi->dwFreeSize = rep.freeSize;
  return TRUE;
}

BOOL WINAPI CeCreateProcess(LPCWSTR lpApplicationName, LPCWSTR lpCommandLine,
                            LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                            DWORD dwCreationFlags, LPVOID, LPWSTR, LPSTARTUPINFO,
                            LPPROCESS_INFORMATION lpProcessInformation) {
  if (lpProcessInformation) *lpProcessInformation = PROCESS_INFORMATION{};
  if (!lpApplicationName) {
    Call c(rapi2::CreateProcess::kCommand);
    c.Refused(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  rapi2::CreateProcess::Request q;
  q.application = lpApplicationName;
  q.commandLineNull = lpCommandLine == nullptr;
  if (lpCommandLine) q.commandLine = lpCommandLine;
  q.creationFlags = dwCreationFlags;
  Call c(Request<rapi2::CreateProcess>(q));
  rapi2::CreateProcess::Reply rep;
  if (!ExchangeReply(c, &rep,
                [](rapi2::Reader& r, auto* p) { return rapi2::CreateProcess::ReadReply(r, p); }))
    return FALSE;
  if (!rep.ok) return FALSE;
  if (lpProcessInformation) {
    lpProcessInformation->hProcess = PcHandle(rep.info.hProcess);
    lpProcessInformation->hThread = PcHandle(rep.info.hThread);
    lpProcessInformation->dwProcessId = rep.info.processId;
    lpProcessInformation->dwThreadId = rep.info.threadId;
  }
  return TRUE;
}

HRESULT WINAPI CeProcessConfig(LPCWSTR pszXML, DWORD dwFlags, LPWSTR* ppszwXMLout) {
  if (ppszwXMLout) *ppszwXMLout = nullptr;
  if (!pszXML || !ppszwXMLout) {
    Call c(rapi2::ProcessConfig::kCommand);
    c.Refused(ERROR_INVALID_PARAMETER);
    return E_INVALIDARG;
  }
  rapi2::ProcessConfig::Request q;
  q.xml = pszXML;
  q.flags = dwFlags;
  Call c(Request<rapi2::ProcessConfig>(q));
  rapi2::ProcessConfig::Reply rep;
  if (!ExchangeReply(c, &rep,
                [](rapi2::Reader& r, auto* p) { return rapi2::ProcessConfig::ReadReply(r, p); }))
    return c.HresultFailure();
  if (FAILED(rep.hr)) return rep.hr;
  if (!rep.hasText) return E_FAIL;  // success promises a document
  const size_t bytes = (rep.text.size() + 1) * sizeof(WCHAR);
  auto* text = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, bytes));
  if (!text) return E_OUTOFMEMORY;
  std::memcpy(text, rep.text.data(), rep.text.size() * sizeof(WCHAR));
  text[rep.text.size()] = 0;
  *ppszwXMLout = text;
  return rep.hr;
}

BOOL WINAPI CeSyncTimeToPc(void) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  rapi2::SyncTimeToPc::Request q;
  // Whole seconds, as a clock set from a PC shows them.
  const uint64_t ft = uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  q.now = ft - ft % 10000000ull;
  Call c(Request<rapi2::SyncTimeToPc>(q));
  rapi2::SyncTimeToPc::Reply rep;
  if (!ExchangeReply(c, &rep,
                [](rapi2::Reader& r, auto* p) { return rapi2::SyncTimeToPc::ReadReply(r, p); }))
    return FALSE;
  return rep.lastErr == 0 && rep.ok ? TRUE : FALSE;
}

namespace {
// Word 1 of the sync controls; false (with *result untouched) when it did not arrive.
bool SyncControl(uint32_t command, uint32_t* result) {
  rapi2::Writer w;
  rapi2::SyncControl::WriteRequest(w, command, {});
  Call c(std::move(w));
  rapi2::SyncControl::Reply rep;
  if (!ExchangeReply(c, &rep,
                [](rapi2::Reader& r, auto* p) { return rapi2::SyncControl::ReadReply(r, p); })) {
    if (c.Failure()) *result = static_cast<uint32_t>(c.HresultFailure());
    return false;
  }
  *result = rep.result;
  return true;
}
}  // namespace

BOOL WINAPI CeStartReplication(void) {
  uint32_t ok = 0;
  return SyncControl(rapi2::SyncControl::kStartReplication, &ok) && ok ? TRUE : FALSE;
}

HRESULT WINAPI CeSyncResume(void) {
  uint32_t hr = static_cast<uint32_t>(E_FAIL);
  SyncControl(rapi2::SyncControl::kSyncResume, &hr);
  return static_cast<HRESULT>(hr);
}

HRESULT WINAPI CeSyncPause(void) {
  uint32_t hr = static_cast<uint32_t>(E_FAIL);
  SyncControl(rapi2::SyncControl::kSyncPause, &hr);
  return static_cast<HRESULT>(hr);
}
