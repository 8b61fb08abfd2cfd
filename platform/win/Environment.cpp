// GetEnvironmentVariableW over the process environment (UTF-8).
#include <cstdlib>
#include <string>

#include "platform/win/WinInternal.h"
#include "wincompat/winbase.h"

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  if (!lpName || !*lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string name = wincompat::detail::Narrow(lpName);
  const char* v = std::getenv(name.c_str());
  // Windows always defines the application-data folder; here it is $XDG_DATA_HOME, else
  // ~/.local/share, unless APPDATA is set.
  std::string appData;
  if (!v && name == "APPDATA") {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
      appData = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
      appData = std::string(home) + "/.local/share";
    }
    if (!appData.empty()) v = appData.c_str();
  }
  if (!v) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  const std::u16string w = wincompat::detail::Widen(v);
  // Too small a buffer: the size needed, NUL included.
  if (!wincompat::detail::CopyOut(w, lpBuffer, nSize)) return static_cast<DWORD>(w.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(w.size());
}
