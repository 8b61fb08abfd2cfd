// Helpers shared by the sources of libwincompat; not part of its public surface.
#pragma once

#include <string>
#include <string_view>

#include "platform/util/CivilDate.h"
#include "platform/util/Utf.h"
#include "wincompat/wintypes.h"

namespace wincompat::detail {

using utf::Narrow;
using utf::Utf16ToUtf8;
using utf::Utf8ToUtf16;
using utf::Widen;
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

using civil::CivilFromDays;
using civil::DaysFromCivil;
using civil::DaysInMonth;
using civil::IsLeap;
using civil::WeekdayFromDays;

}  // namespace wincompat::detail

struct _GUID;
namespace wincompat::detail {
bool ParseGuid(const char16_t* s, _GUID* out);
std::u16string GuidText(const _GUID& g);
}  // namespace wincompat::detail
