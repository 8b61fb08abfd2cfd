// FILETIME <-> SYSTEMTIME, DOS date/time, local file times, the clock.
#include <chrono>

#include "platform/win/WinInternal.h"
#include "wincompat/winbase.h"

namespace wincompat::detail {

int64_t NowFileTime() {
  const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
  return since1970 / 100 + 116444736000000000LL;
}

}  // namespace wincompat::detail

namespace {

using namespace wincompat::detail;

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = kTicksPerSecond * 86400;
const int64_t kDays1601 = DaysFromCivil(1601, 1, 1);

int64_t ToTicks(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}
FILETIME FromTicks(int64_t t) {
  const auto u = static_cast<uint64_t>(t);
  return FILETIME{static_cast<DWORD>(u & 0xFFFFFFFFu), static_cast<DWORD>(u >> 32)};
}

void TicksToSystemTime(int64_t t, SYSTEMTIME* st) {
  const int64_t days = t / kTicksPerDay;
  int64_t rem = t % kTicksPerDay;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days + kDays1601, &y, &m, &d);
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  st->wDayOfWeek = static_cast<WORD>(WeekdayFromDays(days + kDays1601));
  st->wHour = static_cast<WORD>(rem / (3600 * kTicksPerSecond));
  rem %= 3600 * kTicksPerSecond;
  st->wMinute = static_cast<WORD>(rem / (60 * kTicksPerSecond));
  rem %= 60 * kTicksPerSecond;
  st->wSecond = static_cast<WORD>(rem / kTicksPerSecond);
  rem %= kTicksPerSecond;
  st->wMilliseconds = static_cast<WORD>(rem / 10000);
}

}  // namespace

BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime || (lpFileTime->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  TicksToSystemTime(ToTicks(*lpFileTime), lpSystemTime);
  return TRUE;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME lpFileTime) {
  // Day of week is ignored; every other field must be in range.
  if (!st || !lpFileTime || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 ||
      st->wMonth > 12 || st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) ||
      st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay) - kDays1601;
  const int64_t t = days * kTicksPerDay +
                    ((st->wHour * 60 + st->wMinute) * 60 + st->wSecond) * kTicksPerSecond +
                    st->wMilliseconds * 10000LL;
  *lpFileTime = FromTicks(t);
  return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  if (!lpFileTime || !lpLocalFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // As on Windows, the offset in effect now applies, whatever the date converted.
  const int64_t off = LocalOffsetMinutesAt(NowFileTime()) * 60 * kTicksPerSecond;
  *lpLocalFileTime = FromTicks(ToTicks(*lpFileTime) + off);
  return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
  if (!lpFileTime || !lpLocalFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int64_t off = LocalOffsetMinutesAt(NowFileTime()) * 60 * kTicksPerSecond;
  *lpFileTime = FromTicks(ToTicks(*lpLocalFileTime) - off);
  return TRUE;
}

BOOL WINAPI FileTimeToDosDateTime(const FILETIME* lpFileTime, LPWORD lpFatDate, LPWORD lpFatTime) {
  SYSTEMTIME st;
  if (!lpFatDate || !lpFatTime || !FileTimeToSystemTime(lpFileTime, &st) || st.wYear < 1980 ||
      st.wYear > 2107) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpFatDate = static_cast<WORD>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
  *lpFatTime = static_cast<WORD>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
  return TRUE;
}

BOOL WINAPI DosDateTimeToFileTime(WORD wFatDate, WORD wFatTime, LPFILETIME lpFileTime) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(1980 + (wFatDate >> 9));
  st.wMonth = static_cast<WORD>((wFatDate >> 5) & 0x0F);
  st.wDay = static_cast<WORD>(wFatDate & 0x1F);
  st.wHour = static_cast<WORD>(wFatTime >> 11);
  st.wMinute = static_cast<WORD>((wFatTime >> 5) & 0x3F);
  st.wSecond = static_cast<WORD>((wFatTime & 0x1F) * 2);
  return SystemTimeToFileTime(&st, lpFileTime);
}

LONG WINAPI CompareFileTime(const FILETIME* a, const FILETIME* b) {
  const auto x = static_cast<uint64_t>(ToTicks(*a)), y = static_cast<uint64_t>(ToTicks(*b));
  return x < y ? -1 : (x > y ? 1 : 0);
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  *lpSystemTimeAsFileTime = FromTicks(NowFileTime());
}

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  TicksToSystemTime(NowFileTime(), lpSystemTime);
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  const int64_t now = NowFileTime();
  TicksToSystemTime(now + LocalOffsetMinutesAt(now) * 60 * kTicksPerSecond, lpSystemTime);
}
