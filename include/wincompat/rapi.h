// The Remote API of the phone connection (librapi), with the Windows SDK names and
// signatures. Calls travel as RAPI2 frames to the device named by QWBDCAWM_DEVICE
// (tcp:HOST:PORT or unix:PATH).
#pragma once

#include "wincompat/com.h"
#include "wincompat/winreg.h"

typedef struct _RAPIINIT {
  DWORD cbSize;
  HANDLE heRapiInit;
  HRESULT hrRapiInit;
} RAPIINIT;

typedef struct _CE_FIND_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwOID;
  WCHAR cFileName[MAX_PATH];
} CE_FIND_DATA, *LPCE_FIND_DATA, **LPLPCE_FIND_DATA;
static_assert(sizeof(CE_FIND_DATA) == 560);

typedef struct _CEOSVERSIONINFO {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
} CEOSVERSIONINFO, *LPCEOSVERSIONINFO;
static_assert(sizeof(CEOSVERSIONINFO) == 276);

#define FAF_ATTRIBUTES 0x00000001
#define FAF_CREATION_TIME 0x00000002
#define FAF_LASTACCESS_TIME 0x00000004
#define FAF_LASTWRITE_TIME 0x00000008
#define FAF_SIZE_HIGH 0x00000010
#define FAF_SIZE_LOW 0x00000020
#define FAF_OID 0x00000040
#define FAF_NAME 0x00000080
#define FAF_FLAG_COUNT 8
#define FAF_ATTRIB_CHILDREN 0x00001000
#define FAF_ATTRIB_NO_HIDDEN 0x00002000
#define FAF_FOLDERS_ONLY 0x00004000
#define FAF_NO_HIDDEN_SYS_ROMMODULES 0x00008000

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_INROM 0x00000040
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_ATTRIBUTE_COMPRESSED 0x00000800
#define FILE_ATTRIBUTE_ROMSTATICREF 0x00001000
#define FILE_ATTRIBUTE_ROMMODULE 0x00002000
#define FILE_ATTRIBUTE_HAS_CHILDREN 0x00010000
#define FILE_ATTRIBUTE_SHORTCUT 0x00020000
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define OPEN_FOR_LOADER 6
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

// CeGetSystemInfo.
typedef struct _SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  DWORD lpMinimumApplicationAddress;
  DWORD lpMaximumApplicationAddress;
  DWORD dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;
static_assert(sizeof(SYSTEM_INFO) == 36);

#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_MIPS 1
#define PROCESSOR_ARCHITECTURE_SHX 4
#define PROCESSOR_ARCHITECTURE_ARM 5
#define PROCESSOR_ARCHITECTURE_UNKNOWN 0xFFFF
#define PROCESSOR_STRONGARM 2577
#define PROCESSOR_ARM720 1824
#define PROCESSOR_ARM920 23360

// CeGetSystemPowerStatusEx.
typedef struct _SYSTEM_POWER_STATUS_EX {
  BYTE ACLineStatus;
  BYTE BatteryFlag;
  BYTE BatteryLifePercent;
  BYTE Reserved1;
  DWORD BatteryLifeTime;
  DWORD BatteryFullLifeTime;
  BYTE Reserved2;
  BYTE BackupBatteryFlag;
  BYTE BackupBatteryLifePercent;
  BYTE Reserved3;
  DWORD BackupBatteryLifeTime;
  DWORD BackupBatteryFullLifeTime;
} SYSTEM_POWER_STATUS_EX, *PSYSTEM_POWER_STATUS_EX, *LPSYSTEM_POWER_STATUS_EX;
static_assert(sizeof(SYSTEM_POWER_STATUS_EX) == 24);

#define AC_LINE_OFFLINE 0x00
#define AC_LINE_ONLINE 0x01
#define AC_LINE_BACKUP_POWER 0x02
#define AC_LINE_UNKNOWN 0xFF
#define BATTERY_FLAG_HIGH 0x01
#define BATTERY_FLAG_LOW 0x02
#define BATTERY_FLAG_CRITICAL 0x04
#define BATTERY_FLAG_CHARGING 0x08
#define BATTERY_FLAG_NO_BATTERY 0x80
#define BATTERY_FLAG_UNKNOWN 0xFF
#define BATTERY_PERCENTAGE_UNKNOWN 0xFF
#define BATTERY_LIFE_UNKNOWN 0xFFFFFFFFu

// CeGetStoreInformation.
typedef struct STORE_INFORMATION {
  DWORD dwStoreSize;
  DWORD dwFreeSize;
} STORE_INFORMATION, *LPSTORE_INFORMATION;

// CeCreateProcess. The startup information is not sent; only its pointer type exists.
typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;
typedef struct _STARTUPINFOW* LPSTARTUPINFO;

// CeGetSpecialFolderPath.
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_FAVORITES_GRYPHON 0x0006
#define CSIDL_STARTUP 0x0007
#define CSIDL_RECENT 0x0008
#define CSIDL_STARTMENU 0x000b
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_FONTS 0x0014
#define CSIDL_FAVORITES 0x0016

// CeProcessConfig.
#define CONFIG_PROCESS_DOCUMENT 0x00000001
#define CONFIG_RETURN_METADATA 0x00000002

#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

typedef enum tagRAPISTREAMFLAG { STREAM_TIMEOUT_READ } RAPISTREAMFLAG;

// The stream of a stream-mode CeRapiInvoke: raw bytes on a connection of its own.
struct IRAPIStream : public IStream {
  virtual HRESULT STDMETHODCALLTYPE SetRapiStat(RAPISTREAMFLAG Flag, DWORD dwValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRapiStat(RAPISTREAMFLAG Flag, DWORD* pdwValue) = 0;
};

EXTERN_C {
HRESULT WINAPI CeRapiInit(void);
HRESULT WINAPI CeRapiInitEx(RAPIINIT* pRapiInit);
HRESULT WINAPI CeRapiUninit(void);
HRESULT WINAPI CeRapiGetError(void);
DWORD WINAPI CeGetLastError(void);
HRESULT WINAPI CeRapiFreeBuffer(LPVOID Buffer);
HRESULT WINAPI CeSyncStart(LPCWSTR szCommand);
HRESULT WINAPI CeSyncStop(void);

HRESULT WINAPI CeRapiInvoke(LPCWSTR pDllPath, LPCWSTR pFunctionName, DWORD cbInput,
                            BYTE* pInput, DWORD* pcbOutput, BYTE** ppOutput,
                            IRAPIStream** ppIRAPIStream, DWORD dwReserved);

BOOL WINAPI CeFindAllFiles(LPCWSTR szPath, DWORD dwFlags, LPDWORD lpdwFoundCount,
                           LPLPCE_FIND_DATA ppFindDataArray);
HANDLE WINAPI CeFindFirstFile(LPCWSTR lpFileName, LPCE_FIND_DATA lpFindFileData);
BOOL WINAPI CeFindNextFile(HANDLE hFindFile, LPCE_FIND_DATA lpFindFileData);
BOOL WINAPI CeFindClose(HANDLE hFindFile);
HANDLE WINAPI CeCreateFile(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                           LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                           DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                           HANDLE hTemplateFile);
BOOL WINAPI CeReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                       LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
BOOL WINAPI CeWriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                        LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL WINAPI CeCloseHandle(HANDLE hObject);
BOOL WINAPI CeGetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                          LPFILETIME lpLastWriteTime);
BOOL WINAPI CeSetFileTime(HANDLE hFile, const FILETIME* lpCreationTime,
                          const FILETIME* lpLastAccessTime, const FILETIME* lpLastWriteTime);
BOOL WINAPI CeCopyFile(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);
BOOL WINAPI CeMoveFile(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
BOOL WINAPI CeDeleteFile(LPCWSTR lpFileName);
BOOL WINAPI CeCreateDirectory(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL WINAPI CeRemoveDirectory(LPCWSTR lpPathName);
BOOL WINAPI CeGetDiskFreeSpaceEx(LPCWSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailable,
                                 PULARGE_INTEGER lpTotalNumberOfBytes,
                                 PULARGE_INTEGER lpTotalNumberOfFreeBytes);
BOOL WINAPI CeGetVersionEx(LPCEOSVERSIONINFO lpVersionInformation);
DWORD WINAPI CeGetFileAttributes(LPCWSTR lpFileName);
DWORD WINAPI CeGetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
DWORD WINAPI CeSetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                              DWORD dwMoveMethod);
BOOL WINAPI CeSetEndOfFile(HANDLE hFile);
DWORD WINAPI CeGetSpecialFolderPath(int nFolder, DWORD nBufferLength, LPWSTR lpBuffer);

void WINAPI CeGetSystemInfo(LPSYSTEM_INFO lpSystemInfo);
BOOL WINAPI CeGetSystemPowerStatusEx(PSYSTEM_POWER_STATUS_EX pstatus, BOOL fUpdate);
BOOL WINAPI CeGetStoreInformation(LPSTORE_INFORMATION lpsi);
BOOL WINAPI CeCreateProcess(LPCWSTR lpApplicationName, LPCWSTR lpCommandLine,
                            LPSECURITY_ATTRIBUTES lpProcessAttributes,
                            LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                            DWORD dwCreationFlags, LPVOID lpEnvironment,
                            LPWSTR lpCurrentDirectory, LPSTARTUPINFO lpStartupInfo,
                            LPPROCESS_INFORMATION lpProcessInformation);
HRESULT WINAPI CeProcessConfig(LPCWSTR pszXML, DWORD dwFlags, LPWSTR* ppszwXMLout);
// Sets the phone's clock to this computer's.
BOOL WINAPI CeSyncTimeToPc(void);
BOOL WINAPI CeStartReplication(void);
HRESULT WINAPI CeSyncResume(void);
HRESULT WINAPI CeSyncPause(void);

LONG WINAPI CeRegOpenKeyEx(HKEY hKey, LPCWSTR lpszSubKey, DWORD ulOptions, REGSAM samDesired,
                           PHKEY phkResult);
LONG WINAPI CeRegQueryValueEx(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved,
                              LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LONG WINAPI CeRegCloseKey(HKEY hKey);
LONG WINAPI CeRegCreateKeyEx(HKEY hKey, LPCWSTR lpszSubKey, DWORD Reserved, LPWSTR lpClass,
                             DWORD ulOptions, REGSAM samDesired,
                             LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                             LPDWORD lpdwDisposition);
LONG WINAPI CeRegSetValueEx(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                            const BYTE* lpData, DWORD cbData);
// Name and class sizes are in characters, as the device counts them.
LONG WINAPI CeRegEnumKeyEx(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcbName,
                           LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcbClass,
                           PFILETIME lpftLastWriteTime);
LONG WINAPI CeRegEnumValue(HKEY hKey, DWORD dwIndex, LPWSTR lpszValueName,
                           LPDWORD lpcbValueName, LPDWORD lpReserved, LPDWORD lpType,
                           LPBYTE lpData, LPDWORD lpcbData);
LONG WINAPI CeRegQueryInfoKey(HKEY hKey, LPWSTR lpClass, LPDWORD lpcbClass, LPDWORD lpReserved,
                              LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                              LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                              LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                              LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
LONG WINAPI CeRegDeleteKey(HKEY hKey, LPCWSTR lpszSubKey);
LONG WINAPI CeRegDeleteValue(HKEY hKey, LPCWSTR lpszValueName);
}
