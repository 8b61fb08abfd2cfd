// LocalAlloc/LocalFree, CoTaskMemAlloc/CoTaskMemFree and the thread locale.
#include <cstdlib>

#include "wincompat/com.h"
#include "wincompat/winbase.h"

namespace {
thread_local LCID t_locale = 0x0409;  // en-US
}  // namespace

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  // A zero-byte block is still a distinct, freeable block.
  const SIZE_T n = uBytes ? uBytes : 1;
  void* p = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, n) : std::malloc(n);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }

void WINAPI CoTaskMemFree(LPVOID pv) { std::free(pv); }

LCID WINAPI GetThreadLocale(void) { return t_locale; }

BOOL WINAPI SetThreadLocale(LCID Locale) {
  if (Locale == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t_locale = Locale;
  return TRUE;
}
