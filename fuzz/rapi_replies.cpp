// The RAPI client's reply readers: whatever a device answers, every call the client makes
// reads only what arrived, reports what it promises and allocates no more than the reply
// can fill. The first byte picks the call (and some of its arguments); the rest is the
// reply payload handed back for the call's request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/Check.h"
#include "platform/rapi/RapiSession.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

namespace {

const uint8_t* g_reply = nullptr;
size_t g_replySize = 0;

DWORD Answer(const std::vector<uint8_t>&, std::vector<uint8_t>* reply) {
  reply->assign(g_reply, g_reply + g_replySize);
  return 0;
}

using fuzzsupport::Check;

// A name the client copied out: NUL-terminated within its buffer.
void CheckName(const WCHAR* name, size_t capacity) {
  size_t n = 0;
  while (n < capacity && name[n]) ++n;
  Check(n < capacity);
}

HANDLE SomeHandle() { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x1234)); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qwb::rapi::SetExchangeHookForFuzzing(&Answer);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t call = data[0];
  const uint8_t arg = data[1];
  // The reply in a buffer of its own size, so that any read past it is caught.
  std::vector<uint8_t> reply(data + 2, data + size);
  g_reply = reply.data();
  g_replySize = reply.size();
  const DWORD bound = static_cast<DWORD>(reply.size());

  switch (call % 32) {
    case 0: {
      CE_FIND_DATA fd;
      std::memset(&fd, 0x5A, sizeof fd);
      HANDLE h = CeFindFirstFile(u"\\*.*", &fd);
      if (h != INVALID_HANDLE_VALUE) CheckName(fd.cFileName, 260);
      break;
    }
    case 1: {
      CE_FIND_DATA fd;
      std::memset(&fd, 0x5A, sizeof fd);
      if (CeFindNextFile(SomeHandle(), &fd)) CheckName(fd.cFileName, 260);
      break;
    }
    case 2: {
      // Every combination of the layout flags, with and without the filters.
      const DWORD flags = arg | (arg & 1 ? FAF_FOLDERS_ONLY : 0);
      DWORD count = 0;
      LPCE_FIND_DATA found = nullptr;
      if (CeFindAllFiles(u"\\*.*", flags, &count, &found)) {
        // Each record takes at least a byte of the reply when it has any field, and the
        // array is never larger than the count says.
        if (flags & 0xFF) Check(count <= bound);
        for (DWORD i = 0; i < count; ++i) {
          if (flags & FAF_NAME) CheckName(found[i].cFileName, 260);
        }
      } else {
        Check(found == nullptr);
      }
      CeRapiFreeBuffer(found);
      break;
    }
    case 3: {
      std::vector<uint8_t> buffer(arg * 17u + 1);
      DWORD read = 0xFFFFFFFF;
      if (CeReadFile(SomeHandle(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                     nullptr))
        Check(read <= buffer.size() && read <= bound);
      break;
    }
    case 4: {
      const uint8_t bytes[16] = {};
      DWORD written = 0;
      if (CeWriteFile(SomeHandle(), bytes, arg % 17, &written, nullptr)) Check(written <= 16);
      break;
    }
    case 5:
      CeCreateFile(u"\\My Documents\\a.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                   FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
    case 6:
      CeCloseHandle(SomeHandle());
      CeFindClose(SomeHandle());
      break;
    case 7: {
      FILETIME c, a, w;
      CeGetFileTime(SomeHandle(), &c, &a, &w);
      break;
    }
    case 8: {
      FILETIME t{1, 2};
      CeSetFileTime(SomeHandle(), &t, nullptr, &t);
      break;
    }
    case 9:
      CeCopyFile(u"\\a", u"\\b", arg & 1);
      CeMoveFile(u"\\a", u"\\b");
      break;
    case 10:
      CeDeleteFile(u"\\a");
      CeCreateDirectory(u"\\d", nullptr);
      CeRemoveDirectory(u"\\d");
      break;
    case 11: {
      ULARGE_INTEGER free, total, totalFree;
      CeGetDiskFreeSpaceEx(u"\\", &free, &total, &totalFree);
      break;
    }
    case 12: {
      CEOSVERSIONINFO v;
      std::memset(&v, 0, sizeof v);
      v.dwOSVersionInfoSize = sizeof v;
      if (CeGetVersionEx(&v)) CheckName(v.szCSDVersion, 128);
      break;
    }
    case 13: {
      HKEY key = nullptr;
      CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &key);
      break;
    }
    case 14: {
      HKEY key = nullptr;
      DWORD disposition = 0;
      CeRegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\x", 0, nullptr, 0, 0, nullptr, &key,
                       &disposition);
      CeRegCloseKey(key);
      break;
    }
    case 15: {
      // The buffer sizes a caller passes: none (asking for the size), small, the usual 255.
      const DWORD sizes[] = {0, 1, 4, 255};
      DWORD cb = sizes[arg % 4];
      std::vector<BYTE> buffer(cb ? cb : 1);
      DWORD type = 0xFFFFFFFF;
      LONG rc = CeRegQueryValueEx(HKEY_LOCAL_MACHINE, arg & 4 ? nullptr : u"OrigName", nullptr,
                                  &type, cb ? buffer.data() : nullptr, &cb);
      (void)rc;
      break;
    }
    case 16: {
      const DWORD value = 7;
      CeRegSetValueEx(HKEY_CURRENT_USER, u"v", 0, REG_DWORD,
                      reinterpret_cast<const BYTE*>(&value), sizeof value);
      break;
    }
    case 17:
    case 18: {
      BYTE input[4] = {3, 0, 0, 0};
      DWORD cbOutput = 0xFFFFFFFF;
      BYTE* output = nullptr;
      HRESULT hr = CeRapiInvoke(u"QWBRapiServer", u"DevCeList", sizeof input, input, &cbOutput,
                                &output, nullptr, 0);
      if (SUCCEEDED(hr) && output) {
        Check(cbOutput <= bound);
        volatile BYTE sum = 0;
        for (DWORD i = 0; i < cbOutput; ++i) sum = sum + output[i];
      }
      if (output) LocalFree(output);
      break;
    }
    case 20: {
      WCHAR path[MAX_PATH];
      const DWORD length = arg % 2 ? MAX_PATH : 8;
      DWORD n = CeGetSpecialFolderPath(CSIDL_PERSONAL, length, path);
      if (n) {
        Check(n < length);
        Check(path[n] == 0);
      }
      break;
    }
    case 21: {
      // Names and data into buffers of the sizes callers pass.
      WCHAR name[8];
      DWORD chars = arg % 9;
      BYTE data[6];
      DWORD cb = arg % 7, type = 0;
      if (CeRegEnumValue(HKEY_LOCAL_MACHINE, 0, name, &chars, nullptr, &type,
                         arg & 8 ? data : nullptr, &cb) == ERROR_SUCCESS) {
        Check(chars < 8 && name[chars] == 0);
        if (arg & 8) Check(cb <= 6);
      }
      break;
    }
    case 22: {
      WCHAR name[8], cls[4];
      DWORD chars = arg % 9, classChars = 4;
      if (CeRegEnumKeyEx(HKEY_LOCAL_MACHINE, 0, name, &chars, nullptr, arg & 16 ? cls : nullptr,
                         arg & 16 ? &classChars : nullptr, nullptr) == ERROR_SUCCESS)
        Check(chars < 8 && name[chars] == 0);
      break;
    }
    case 23: {
      WCHAR cls[4];
      DWORD classChars = 4, subKeys, values;
      CeRegQueryInfoKey(HKEY_LOCAL_MACHINE, arg & 1 ? cls : nullptr, arg & 1 ? &classChars : nullptr,
                        nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                        nullptr);
      CeRegDeleteKey(HKEY_CURRENT_USER, u"a");
      CeRegDeleteValue(HKEY_CURRENT_USER, nullptr);
      break;
    }
    case 24: {
      DWORD high = 0;
      LONG distanceHigh = arg;
      CeGetFileSize(SomeHandle(), arg & 1 ? &high : nullptr);
      CeSetFilePointer(SomeHandle(), arg, arg & 2 ? &distanceHigh : nullptr, arg % 3);
      CeSetEndOfFile(SomeHandle());
      CeGetFileAttributes(u"\\a");
      break;
    }
    case 25: {
      SYSTEM_INFO si;
      CeGetSystemInfo(&si);
      SYSTEM_POWER_STATUS_EX power;
      CeGetSystemPowerStatusEx(&power, arg & 1);
      STORE_INFORMATION store;
      CeGetStoreInformation(&store);
      break;
    }
    case 26: {
      PROCESS_INFORMATION pi;
      CeCreateProcess(u"wceload.exe", arg & 1 ? u"a.cab" : nullptr, nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, nullptr, &pi);
      break;
    }
    case 27: {
      LPWSTR out = nullptr;
      HRESULT hr = CeProcessConfig(u"<wap-provisioningdoc/>", 1, &out);
      if (out) {
        Check(SUCCEEDED(hr));
        size_t n = 0;
        while (out[n]) ++n;  // terminated within what was allocated (ASan)
        CeRapiFreeBuffer(out);
      }
      break;
    }
    case 28:
      CeSyncTimeToPc();
      CeStartReplication();
      CeSyncResume();
      CeSyncPause();
      break;
    default:
      CeRegCloseKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x4321)));
      break;
  }
  return 0;
}
