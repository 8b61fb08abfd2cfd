// libConvLunar on ICU's Korean (Dangi) calendar. ICU reckons the lunar months
// astronomically at the meridian of Korean time, which is what the phone's own calendar
// shows; the Gregorian side is plain day arithmetic on std::chrono.
#include "convlunar/ConvLunar.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <chrono>
#include <memory>

namespace {

namespace chr = std::chrono;

constexpr int32_t kFirstSolarYear = 1900;
constexpr int32_t kLastSolarYear = 2099;
// ICU counts Dangi years from 2333 BC; its extended year of solar year Y's lunar year is
// Y + 2333.
constexpr int32_t kDangiYearOffset = 2333;
constexpr double kMillisPerDay = 86400000.0;

struct LunarDate {
  int32_t year, month, day;
  bool leap;
};

// One calendar per thread: ICU calendars are not thread-safe, and creating one per call
// costs more than the conversion. The calendar's own zone is GMT so that an instant at
// 00:00 GMT is the civil day itself; the lunar month boundaries stay at Korean time.
icu::Calendar* Dangi() {
  thread_local std::unique_ptr<icu::Calendar> cal = [] {
    UErrorCode st = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> c(icu::Calendar::createInstance(
        icu::TimeZone::getGMT()->clone(), icu::Locale("ko_KR@calendar=dangi"), st));
    if (U_FAILURE(st)) c.reset();
    return c;
  }();
  return cal.get();
}

bool InCoverage(chr::year_month_day ymd) {
  return ymd.ok() && ymd.year() >= chr::year{kFirstSolarYear} &&
         ymd.year() <= chr::year{kLastSolarYear};
}

UDate ToUDate(chr::sys_days d) { return d.time_since_epoch().count() * kMillisPerDay; }

bool SolarToLunar(chr::sys_days solar, LunarDate* out) {
  icu::Calendar* cal = Dangi();
  if (!cal) return false;
  UErrorCode st = U_ZERO_ERROR;
  cal->setTime(ToUDate(solar), st);
  out->year = cal->get(UCAL_EXTENDED_YEAR, st) - kDangiYearOffset;
  out->month = cal->get(UCAL_MONTH, st) + 1;
  out->leap = cal->get(UCAL_IS_LEAP_MONTH, st) != 0;
  out->day = cal->get(UCAL_DATE, st);
  return U_SUCCESS(st);
}

// The solar day of a lunar date, without the coverage check. ICU normalises a date that
// does not exist (day 30 of a short month, a leap flag on a month without one) into a
// neighbouring one, so the answer is converted back and must give the same lunar date.
bool LunarToSolar(const LunarDate& lunar, chr::sys_days* out) {
  if (lunar.year < kFirstSolarYear - 1 || lunar.year > kLastSolarYear || lunar.month < 1 ||
      lunar.month > 12 || lunar.day < 1 || lunar.day > 30)
    return false;
  icu::Calendar* cal = Dangi();
  if (!cal) return false;
  UErrorCode st = U_ZERO_ERROR;
  cal->clear();
  cal->set(UCAL_EXTENDED_YEAR, lunar.year + kDangiYearOffset);
  cal->set(UCAL_MONTH, lunar.month - 1);
  cal->set(UCAL_IS_LEAP_MONTH, lunar.leap ? 1 : 0);
  cal->set(UCAL_DATE, lunar.day);
  const UDate t = cal->getTime(st);
  if (U_FAILURE(st)) return false;
  const chr::sys_days solar{chr::days{static_cast<int64_t>(t / kMillisPerDay)}};
  LunarDate back{};
  if (!SolarToLunar(solar, &back)) return false;
  if (back.year != lunar.year || back.month != lunar.month || back.day != lunar.day ||
      back.leap != lunar.leap)
    return false;
  *out = solar;
  return true;
}

void Clear(int32_t* year, int32_t* month, int32_t* day) {
  *year = 0;
  *month = 0;
  *day = 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int solar_to_lunar(int32_t* year, int32_t* month,
                                                          int32_t* day) {
  if (!year || !month || !day) return 0;
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31) {
    Clear(year, month, day);
    return 0;
  }
  const chr::year_month_day ymd{chr::year{*year}, chr::month{static_cast<unsigned>(*month)},
                                chr::day{static_cast<unsigned>(*day)}};
  LunarDate lunar{};
  if (!InCoverage(ymd) || !SolarToLunar(chr::sys_days{ymd}, &lunar)) {
    Clear(year, month, day);
    return 0;
  }
  *year = lunar.year;
  *month = lunar.month;
  *day = lunar.day;
  return lunar.leap ? 1 : 0;
}

__attribute__((visibility("default"))) int lunar_to_solar(int32_t* year, int32_t* month,
                                                          int32_t* day, int32_t leap) {
  if (!year || !month || !day) return 0;
  chr::sys_days solar{};
  if (!LunarToSolar({*year, *month, *day, leap != 0}, &solar) ||
      !InCoverage(chr::year_month_day{solar})) {
    Clear(year, month, day);
    return 0;
  }
  const chr::year_month_day ymd{solar};
  *year = static_cast<int32_t>(ymd.year());
  *month = static_cast<int32_t>(static_cast<unsigned>(ymd.month()));
  *day = static_cast<int32_t>(static_cast<unsigned>(ymd.day()));
  return 1;
}

__attribute__((visibility("default"))) int end_day_of_lunar_month(int32_t year, int32_t month,
                                                                  int32_t leap) {
  // The month must begin within the coverage; its end may lie beyond (the lunar month that
  // holds 31 December 2099 still has its full length).
  chr::sys_days first{};
  if (!LunarToSolar({year, month, 1, leap != 0}, &first) ||
      !InCoverage(chr::year_month_day{first}))
    return 0;
  chr::sys_days last{};
  return LunarToSolar({year, month, 30, leap != 0}, &last) ? 30 : 29;
}

}  // extern "C"
