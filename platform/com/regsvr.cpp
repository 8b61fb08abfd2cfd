// regsvr [-u] [-s] LIBRARY.so: registers (or with -u unregisters) a COM server library by
// calling its DllRegisterServer (DllUnregisterServer). Prints the outcome unless -s; exits 0
// when the call answered S_OK.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "wincompat/com.h"

namespace {

const char kUsage[] =
    "usage: regsvr [-u] [-s] LIBRARY.so\n"
    "Registers a COM server library by calling its DllRegisterServer.\n"
    "  -u         unregister instead (DllUnregisterServer)\n"
    "  -s         silent: print nothing\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false, silent = false;
  const char* library = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("regsvr %s\n", QWB_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "-u") == 0 || std::strcmp(argv[i], "/u") == 0) {
      unregister = true;
    } else if (std::strcmp(argv[i], "-s") == 0 || std::strcmp(argv[i], "/s") == 0) {
      silent = true;
    } else if (argv[i][0] == '-' || library) {
      return Usage();
    } else {
      library = argv[i];
    }
  }
  if (!library) return Usage();
  // The full path, so that the library registers where it really is.
  char resolved[PATH_MAX];
  const std::string path = ::realpath(library, resolved) ? resolved : library;
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    if (!silent) std::fprintf(stderr, "LoadLibrary(\"%s\") failed: %s\n", library, ::dlerror());
    return 3;
  }
  auto fn = reinterpret_cast<LPFNREGISTERSERVER>(::dlsym(h, entry));
  if (!fn) {
    if (!silent) std::fprintf(stderr, "%s was not found in %s.\n", entry, library);
    return 4;
  }
  const HRESULT hr = fn();
  if (hr == S_OK) {
    if (!silent) std::printf("%s in %s succeeded.\n", entry, library);
    return 0;
  }
  if (!silent)
    std::fprintf(stderr, "%s in %s failed. Return code was: 0x%08X\n", entry, library,
                 static_cast<unsigned>(hr));
  return 5;
}
