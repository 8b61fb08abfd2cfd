// FILETIME <-> SYSTEMTIME, DOS date/time, local file times, the clock.
#include <chrono>

#include "platform/win/WinInternal.h"
#include "wincompat/winbase.h"

namespace wincompat::detail {

// Howard Hinnant's civil-date algorithms (proleptic Gregorian, days since 1970-01-01).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

unsigned DaysInMonth(int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

unsigned WeekdayFromDays(int64_t z) {
  int64_t w = (z + 4) % 7;  // 1970-01-01 was a Thursday
  if (w < 0) w += 7;
  return static_cast<unsigned>(w);
}

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
