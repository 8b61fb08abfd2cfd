// Helpers shared by the sources of libwincompat; not part of its public surface.
#pragma once

#include <string>
#include <string_view>

#include "wincompat/wintypes.h"

namespace wincompat::detail {

// Strict UTF-8 -> UTF-16. With `strict`, the first invalid sequence fails the whole
// conversion (returns false); otherwise each maximal invalid subpart becomes U+FFFD.
bool Utf8ToUtf16(std::string_view in, std::u16string* out, bool strict);
// UTF-16 -> UTF-8; lone surrogates fail with `strict`, else become U+FFFD.
bool Utf16ToUtf8(std::u16string_view in, std::string* out, bool strict);

inline std::string Narrow(std::u16string_view s) {
  std::string r;
  Utf16ToUtf8(s, &r, false);
  return r;
}
inline std::u16string Widen(std::string_view s) {
  std::u16string r;
  Utf8ToUtf16(s, &r, false);
  return r;
}
inline size_t WLen(const char16_t* s) {
  size_t n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}

// Copies s and its NUL into buf (capacity n characters). Returns false when it does not fit.
bool CopyOut(std::u16string_view s, WCHAR* buf, size_t n);

// Kernel objects behind a HANDLE. CloseHandle deletes them through this base. Live objects
// are registered, so that a stale or foreign pointer is refused rather than dereferenced.
struct HandleObject {
  HandleObject();
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;
  virtual ~HandleObject();
};
HandleObject* FromHandle(HANDLE h);

// The offset of local time from UTC, in minutes to add to UTC, at the given UTC time
// (100 ns units since 1601) under the time zone rule in effect.
LONG LocalOffsetMinutesAt(int64_t utcFileTime);
// Now as 100 ns units since 1601-01-01 UTC.
int64_t NowFileTime();

// Proleptic Gregorian day numbers (days since 1970-01-01) and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d);
void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d);
unsigned DaysInMonth(int64_t y, unsigned m);
// 0 = Sunday.
unsigned WeekdayFromDays(int64_t z);

}  // namespace wincompat::detail

struct _GUID;
namespace wincompat::detail {
bool ParseGuid(const char16_t* s, _GUID* out);
std::u16string GuidText(const _GUID& g);
}  // namespace wincompat::detail
