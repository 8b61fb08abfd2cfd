// OLE dates: days since 30 December 1899, the fraction the time of day. For dates before
// that day the integer part counts back while the fraction still counts forward from the
// start of the day: -1.25 is 29 December 1899, 06:00.
#include <cmath>

#include "platform/win/WinInternal.h"
#include "wincompat/com.h"

using namespace wincompat::detail;

namespace {

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);
constexpr double kMinDate = -657434.0;         // 1 January 100
constexpr double kMaxDate = 2958465.99999999;  // 31 December 9999, end of day

}  // namespace

INT WINAPI SystemTimeToVariantTime(LPSYSTEMTIME st, DOUBLE* pvtime) {
  if (!st || !pvtime || st->wYear < 100 || st->wYear > 9999 || st->wMonth < 1 || st->wMonth > 12 ||
      st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 ||
      st->wMinute > 59 || st->wSecond > 59) {
    return FALSE;
  }
  // Milliseconds are ignored, as OLE does.
  const int64_t day = DaysFromCivil(st->wYear, st->wMonth, st->wDay) - kEpochDays;
  const double frac = ((st->wHour * 60 + st->wMinute) * 60 + st->wSecond) / 86400.0;
  *pvtime = day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac;
  return TRUE;
}

INT WINAPI VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME st) {
  if (!st || std::isnan(vtime) || vtime < kMinDate || vtime > kMaxDate) return FALSE;
  int64_t day = static_cast<int64_t>(std::trunc(vtime));
  const double frac = std::fabs(vtime - static_cast<double>(day));
  // Rounded to the nearest second; 23:59:59.5 and later belongs to the next day.
  int64_t secs = std::llround(frac * 86400.0);
  if (secs >= 86400) {
    secs = 0;
    ++day;
  }
  int64_t y;
  unsigned m, d;
  CivilFromDays(day + kEpochDays, &y, &m, &d);
  if (y < 100 || y > 9999) return FALSE;
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  st->wDayOfWeek = static_cast<WORD>(WeekdayFromDays(day + kEpochDays));
  st->wHour = static_cast<WORD>(secs / 3600);
  st->wMinute = static_cast<WORD>(secs / 60 % 60);
  st->wSecond = static_cast<WORD>(secs % 60);
  st->wMilliseconds = 0;
  return TRUE;
}

INT WINAPI DosDateTimeToVariantTime(USHORT wDosDate, USHORT wDosTime, DOUBLE* pvtime) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(1980 + (wDosDate >> 9));
  st.wMonth = static_cast<WORD>((wDosDate >> 5) & 0x0F);
  st.wDay = static_cast<WORD>(wDosDate & 0x1F);
  st.wHour = static_cast<WORD>(wDosTime >> 11);
  st.wMinute = static_cast<WORD>((wDosTime >> 5) & 0x3F);
  st.wSecond = static_cast<WORD>((wDosTime & 0x1F) * 2);
  return SystemTimeToVariantTime(&st, pvtime);
}

INT WINAPI VariantTimeToDosDateTime(DOUBLE vtime, USHORT* pwDosDate, USHORT* pwDosTime) {
  SYSTEMTIME st;
  if (!pwDosDate || !pwDosTime || !VariantTimeToSystemTime(vtime, &st) || st.wYear < 1980 ||
      st.wYear > 2107) {
    return FALSE;
  }
  *pwDosDate = static_cast<USHORT>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
  *pwDosTime = static_cast<USHORT>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
  return TRUE;
}
