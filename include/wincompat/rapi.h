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
}
