// GUID text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", written upper case, read in any case;
// new random GUIDs.
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/win/WinInternal.h"
#include "wincompat/com.h"

namespace wincompat::detail {

bool ParseGuid(const char16_t* s, GUID* out) {
  if (!s || WLen(s) != 38 || s[0] != u'{' || s[37] != u'}') return false;
  auto hex = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  uint8_t bytes[16];
  int nb = 0;
  for (int i = 1; i < 37;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (s[i] != u'-') return false;
      ++i;
      continue;
    }
    const int hi = hex(s[i]), lo = hex(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[nb++] = static_cast<uint8_t>(hi << 4 | lo);
    i += 2;
  }
  out->Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
               bytes[3];
  out->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  out->Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) out->Data4[i] = bytes[8 + i];
  return true;
}

std::u16string GuidText(REFGUID g) {
  char buf[40];
  std::snprintf(buf, sizeof(buf), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return std::u16string(buf, buf + 38);
}

}  // namespace wincompat::detail

using wincompat::detail::GuidText;
using wincompat::detail::ParseGuid;

int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax < 39) return 0;
  wincompat::detail::CopyOut(GuidText(rguid), lpsz, static_cast<size_t>(cchMax));
  return 39;
}

HRESULT WINAPI CoCreateGuid(GUID* pguid) {
  if (!pguid) return E_INVALIDARG;
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  uint8_t b[16];
  for (int i = 0; i < 16; i += 8) {
    uint64_t v = rng();
    std::memcpy(b + i, &v, 8);
  }
  b[7] = static_cast<uint8_t>((b[7] & 0x0F) | 0x40);  // version 4 (Data3's high nibble)
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  std::memcpy(pguid, b, 16);
  return S_OK;
}

HRESULT WINAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
  if (!lplpsz) return E_INVALIDARG;
  auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(OLECHAR)));
  if (!p) {
    *lplpsz = nullptr;
    return E_OUTOFMEMORY;
  }
  StringFromGUID2(rclsid, p, 39);
  *lplpsz = p;
  return S_OK;
}

HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!pclsid) return E_INVALIDARG;
  if (!lpsz || !*lpsz) {
    *pclsid = GUID_NULL;
    return S_OK;
  }
  if (ParseGuid(lpsz, pclsid)) return S_OK;
  // Not a GUID: it may be a ProgID.
  if (lpsz[0] != u'{' && SUCCEEDED(CLSIDFromProgID(lpsz, pclsid))) return S_OK;
  *pclsid = GUID_NULL;
  return CO_E_CLASSSTRING;
}

HRESULT WINAPI IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
  if (!lpiid) return E_INVALIDARG;
  if (!lpsz) {
    *lpiid = GUID_NULL;
    return S_OK;
  }
  if (ParseGuid(lpsz, lpiid)) return S_OK;
  *lpiid = GUID_NULL;
  return CO_E_IIDSTRING;
}
