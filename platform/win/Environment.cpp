// GetEnvironmentVariableW over the process environment (UTF-8).
#include <cstdlib>

#include "platform/win/WinInternal.h"
#include "wincompat/winbase.h"

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  if (!lpName || !*lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* v = std::getenv(wincompat::detail::Narrow(lpName).c_str());
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
