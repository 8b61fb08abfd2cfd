// Modules: GetModuleFileNameW, GetModuleHandleExW, LoadLibraryW ("X.dll" -> libX.so),
// GetProcAddress and FreeLibrary over the dynamic loader.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "platform/win/WinInternal.h"
#include "wincompat/winbase.h"

using wincompat::detail::Narrow;
using wincompat::detail::Widen;

namespace {

std::string ExePath() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string Absolute(const std::string& p) {
  if (p.empty() || p[0] == '/') return p;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof(cwd))) return p;
  std::string r = cwd;
  if (p.rfind("./", 0) == 0) return r + p.substr(1);
  return r + "/" + p;
}

bool IsFile(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
  const size_t n = std::char_traits<char>::length(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
  }
  return true;
}

// "X.dll" -> "libX.so"; a name that is already a shared object is kept. The folder part
// (either separator) is kept apart.
void MapLibraryName(std::string name, std::string* dir, std::string* file) {
  for (char& c : name)
    if (c == '\\') c = '/';
  const size_t slash = name.rfind('/');
  *dir = slash == std::string::npos ? std::string() : name.substr(0, slash);
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  if (EndsWithNoCase(base, ".dll")) {
    base = "lib" + base.substr(0, base.size() - 4) + ".so";
  } else if (base.find(".so") == std::string::npos) {
    base = "lib" + base + ".so";
  }
  *file = base;
}

}  // namespace

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  std::string path;
  if (!hModule) {
    path = ExePath();
  } else {
    struct link_map* map = nullptr;
    if (::dlinfo(hModule, RTLD_DI_LINKMAP, &map) != 0 || !map) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path = (map->l_name && *map->l_name) ? Absolute(map->l_name) : ExePath();
  }
  const std::u16string w = Widen(path);
  if (!lpFilename || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // Too small: truncated and terminated, returns nSize, as Windows does.
  if (w.size() + 1 > nSize) {
    std::copy(w.begin(), w.begin() + (nSize - 1), lpFilename);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  wincompat::detail::CopyOut(w, lpFilename, nSize);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(w.size());
}

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
  if (!phModule) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phModule = nullptr;
  void* h = nullptr;
  if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<const void*>(lpModuleName), &info) || !info.dli_fname) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    h = ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!h && info.dli_fname == ExePath()) h = ::dlopen(nullptr, RTLD_LAZY);
  } else if (!lpModuleName) {
    h = ::dlopen(nullptr, RTLD_LAZY);
  } else {
    std::string dir, file;
    MapLibraryName(Narrow(lpModuleName), &dir, &file);
    h = ::dlopen((dir.empty() ? file : dir + "/" + file).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    // A bare name matches a loaded library by its file name, wherever it was loaded from:
    // the loader itself only matches the name it searched for or the library's SONAME.
    if (!h && dir.empty()) {
      struct Search {
        const std::string* file;
        std::string path;
      } search{&file, {}};
      ::dl_iterate_phdr(
          [](struct dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            const std::string name = info->dlpi_name ? info->dlpi_name : "";
            const size_t slash = name.rfind('/');
            if (name.empty() || name.substr(slash == std::string::npos ? 0 : slash + 1) != *s->file)
              return 0;
            s->path = name;
            return 1;
          },
          &search);
      if (!search.path.empty()) h = ::dlopen(search.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    }
  }
  if (!h) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) ::dlclose(h);
  *phModule = static_cast<HMODULE>(h);
  return TRUE;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  HMODULE h = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, lpModuleName, &h);
  return h;
}

// Not inlined: the return address must be the caller's, to find the calling module (a
// caller that tail-calls LoadLibraryW is seen as its own caller).
__attribute__((noinline)) HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  void* const caller = __builtin_return_address(0);
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string dir, file;
  MapLibraryName(Narrow(lpLibFileName), &dir, &file);
  void* h = nullptr;
  if (!dir.empty()) {
    h = ::dlopen((dir + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
  } else {
    // Beside the calling module first, then the loader's search path.
    Dl_info info{};
    if (::dladdr(caller, &info) && info.dli_fname) {
      std::string self = info.dli_fname;
      if (self.find('/') == std::string::npos) self = ExePath();
      const size_t slash = self.rfind('/');
      const std::string beside = Absolute(self.substr(0, slash + 1) + file);
      if (slash != std::string::npos && IsFile(beside))
        h = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!h) h = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!h) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<HMODULE>(h);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (!hModule || !lpProcName) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* p = ::dlsym(hModule, lpProcName);
  if (!p) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(p);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (!hLibModule || ::dlclose(hLibModule) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
