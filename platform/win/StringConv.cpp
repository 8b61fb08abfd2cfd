// UTF-8 <-> UTF-16 conversions. The ANSI code page is UTF-8 on this platform.
#include <cstring>

#include "platform/win/WinInternal.h"
#include "wincompat/winbase.h"

namespace wincompat::detail {

bool CopyOut(std::u16string_view s, WCHAR* buf, size_t n) {
  if (!buf || n < s.size() + 1) return false;
  std::memcpy(buf, s.data(), s.size() * sizeof(WCHAR));
  buf[s.size()] = 0;
  return true;
}

}  // namespace wincompat::detail

using utf::Utf16ToUtf8;
using utf::Utf8ToUtf16;

namespace {
bool IsUtf8CodePage(UINT cp) { return cp == CP_ACP || cp == CP_UTF8 || cp == 1 /*CP_OEMCP*/; }
}  // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (!IsUtf8CodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  // -1 means NUL-terminated, and the NUL is converted and counted too.
  const size_t len =
      cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  std::u16string wide;
  if (!Utf8ToUtf16(std::string_view(lpMultiByteStr, len), &wide,
                   (dwFlags & MB_ERR_INVALID_CHARS) != 0)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (wide.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cchWideChar == 0) return static_cast<int>(wide.size());
  if (wide.size() > static_cast<size_t>(cchWideChar)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(WCHAR));
  return static_cast<int>(wide.size());
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  if (!IsUtf8CodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr) ||
      reinterpret_cast<const void*>(lpWideCharStr) ==
          reinterpret_cast<const void*>(lpMultiByteStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // UTF-8 has no default character: asking for one is an error, as on Windows.
  if (lpDefaultChar || lpUsedDefaultChar) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const size_t len = cchWideChar == -1 ? wincompat::detail::WLen(lpWideCharStr) + 1
                                       : static_cast<size_t>(cchWideChar);
  std::string narrow;
  if (!Utf16ToUtf8(std::u16string_view(lpWideCharStr, len), &narrow,
                   (dwFlags & WC_ERR_INVALID_CHARS) != 0)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (narrow.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cbMultiByte == 0) return static_cast<int>(narrow.size());
  if (narrow.size() > static_cast<size_t>(cbMultiByte)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpMultiByteStr, narrow.data(), narrow.size());
  return static_cast<int>(narrow.size());
}
