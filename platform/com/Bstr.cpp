// BSTR: a 32-bit byte length, then the text and a wide NUL. The BSTR points at the text.
#include <cstdlib>
#include <cstring>

#include "platform/win/WinInternal.h"
#include "wincompat/com.h"

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);
constexpr UINT kMaxBytes = 0x7FFFFFF0u;

uint32_t* Header(BSTR b) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(b) - kPrefix);
}

// Allocates room for `bytes` bytes of text plus the NUL; copies `src` when given, else
// zero-fills (Windows leaves it undefined; zeros are friendlier to whoever reads it).
BSTR Alloc(const void* src, UINT bytes) {
  if (bytes > kMaxBytes) return nullptr;
  auto* base = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR) + 1));
  if (!base) return nullptr;
  std::memcpy(base, &bytes, kPrefix);
  char* text = base + kPrefix;
  if (src)
    std::memcpy(text, src, bytes);
  else
    std::memset(text, 0, bytes);
  std::memset(text + bytes, 0, sizeof(OLECHAR) + 1);
  return reinterpret_cast<BSTR>(text);
}

}  // namespace

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  const size_t n = wincompat::detail::WLen(psz);
  if (n > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return Alloc(psz, static_cast<UINT>(n * sizeof(OLECHAR)));
}

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (ui > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return Alloc(strIn, ui * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len) { return Alloc(psz, len); }

INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
  if (!pbstr) return FALSE;
  // psz may point into the old string: allocate before freeing.
  BSTR b = SysAllocStringLen(psz, len);
  if (!b) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = b;
  return TRUE;
}

INT WINAPI SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (!pbstr) return FALSE;
  BSTR b = SysAllocString(psz);
  if (psz && !b) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = b;
  return TRUE;
}

UINT WINAPI SysStringByteLen(BSTR bstr) { return bstr ? *Header(bstr) : 0; }

UINT WINAPI SysStringLen(BSTR pbstr) {
  return pbstr ? *Header(pbstr) / static_cast<UINT>(sizeof(OLECHAR)) : 0;
}

void WINAPI SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(Header(bstrString));
}
