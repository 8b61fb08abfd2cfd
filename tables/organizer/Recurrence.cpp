#include "tables/organizer/Recurrence.h"

#include <chrono>

#include "link/DeviceRecordWM.h"
#include "link/Recurrence.h"
#include "tables/organizer/TimeConv.h"

namespace qwb {

namespace chr = std::chrono;

namespace {

constexpr int16_t kDeviceTrue = -1;  // 0xFFFF

// Phone recurrence types.
constexpr int32_t kPhoneNone = -1, kPhoneDaily = 0, kPhoneWeekly = 1, kPhoneMonthly = 2,
                  kPhoneMonthlyWeekday = 3, kPhoneYearly = 5, kPhoneYearlyWeekday = 6;

using recur::InstanceBit;
using recur::InstanceOfFlag;
using recur::kWeekdaysMask;

}  // namespace

// ---- Device -> column ------------------------------------------------------------------------

void RecurrenceTypeToFields(const CPropertyMap& p, FieldMap* f, YearlyEveryDate yearly,
                            DATE start) {
  int32_t type = 0, mask = 0, instance = 0;
  if (!p.GetInteger(u"RecurrPattern.RecurrenceType", &type)) return;
  const bool hasMask = p.GetInteger(u"RecurrPattern.DayOfWeekMask", &mask);
  const bool hasInstance = p.GetInteger(u"RecurrPattern.Instance", &instance);
  auto put = [&](const char16_t* column, LONG value) { PutField(*f, column, Variant::I4(value)); };
  switch (type) {
    case kPhoneNone:
      put(u"RECURRENCE_TYPE", 0);
      break;
    case kPhoneDaily:
      put(u"RECURRENCE_TYPE", 1);
      if (!hasMask) {
        put(u"RECURRENCE_FLAG", 0);
      } else if (mask == kWeekdaysMask) {
        put(u"RECURRENCE_FLAG", 1);
      }
      break;
    case kPhoneWeekly:
      put(u"RECURRENCE_TYPE", 2);
      if (hasMask) put(u"RECURRENCE_FLAG", mask);
      break;
    case kPhoneMonthly:
      put(u"RECURRENCE_TYPE", 3);
      put(u"RECURRENCE_FLAG", 0);
      break;
    case kPhoneMonthlyWeekday:
      put(u"RECURRENCE_TYPE", 4);
      if (hasMask && hasInstance) put(u"RECURRENCE_FLAG", mask + InstanceBit(instance));
      break;
    case kPhoneYearly: {
      put(u"RECURRENCE_TYPE", 5);
      put(u"RECURRENCE_FLAG", 0);
      int32_t day = 0, month = 0;
      if (!p.GetInteger(u"RecurrPattern.DayOfMonth", &day) ||
          !p.GetInteger(u"RecurrPattern.MonthOfYear", &month))
        break;
      if (yearly == YearlyEveryDate::kStartDay) {
        PutField(*f, u"RECURRENCE_EVERY_DATE", Variant::Date(OleDatePart(start)));
        break;
      }
      OleDateParts s{};
      DATE every = 0;
      if (SplitOleDate(start, &s) &&
          MakeOleDate(s.year, month, day, s.hour, s.minute, s.second, &every))
        PutField(*f, u"RECURRENCE_EVERY_DATE", Variant::Date(every));
      break;
    }
    case kPhoneYearlyWeekday: {
      put(u"RECURRENCE_TYPE", 6);
      int32_t month = 0;
      if (hasMask && hasInstance && p.GetInteger(u"RecurrPattern.MonthOfYear", &month))
        put(u"RECURRENCE_FLAG", mask + InstanceBit(instance));
      break;
    }
    default:
      break;  // 4 and unknown types set no type
  }
}

// ---- Column -> device ------------------------------------------------------------------------

void RecurrencePatternToRecord(LONG type, LONG flag, const PatternDays& days,
                               CPropertyList* list) {
  auto recurring = [&](int32_t phoneType) {
    list->AddBoolean("IsRecurring", kDeviceTrue);
    list->AddInteger("RecurrPattern.RecurrenceType", phoneType);
  };
  switch (type) {
    case 0:
      list->AddInteger("RecurrPattern.RecurrenceType", kPhoneNone);
      break;
    case 1:
      recurring(kPhoneDaily);
      if (flag == 1) list->AddInteger("RecurrPattern.DayOfWeekMask", kWeekdaysMask);
      break;
    case 2:
      recurring(kPhoneWeekly);
      list->AddInteger("RecurrPattern.DayOfWeekMask", flag);
      break;
    case 3:
      recurring(kPhoneMonthly);
      list->AddInteger("RecurrPattern.DayOfMonth", days.monthlyDay);
      break;
    case 4:
      recurring(kPhoneMonthlyWeekday);
      list->AddInteger("RecurrPattern.DayOfWeekMask", flag & 127);
      list->AddInteger("RecurrPattern.Instance", InstanceOfFlag(flag));
      break;
    case 5:
      recurring(kPhoneYearly);
      list->AddInteger("RecurrPattern.DayOfMonth", days.yearlyDay);
      list->AddInteger("RecurrPattern.MonthOfYear", days.yearlyMonth);
      break;
    case 6:
      recurring(kPhoneYearlyWeekday);
      list->AddInteger("RecurrPattern.DayOfWeekMask", flag & 127);
      list->AddInteger("RecurrPattern.Instance", InstanceOfFlag(flag));
      list->AddInteger("RecurrPattern.MonthOfYear", days.weekdayMonth);
      break;
    default:
      break;
  }
}

void RecurrenceIntervalToRecord(LONG every, CPropertyList* list) {
  list->AddInteger("RecurrPattern.Interval", every >= 1 ? every : 1);
}

// ---- Expansion -------------------------------------------------------------------------------

namespace {

unsigned DaysInMonth(chr::year y, chr::month m) {
  return static_cast<unsigned>(chr::year_month_day_last{y / m / chr::last}.day());
}

// The n-th (1..4, 5 = last) day of the month whose weekday is in the mask; nullopt when the
// month has fewer such days (never for the last).
std::optional<chr::sys_days> NthMaskDay(chr::year y, chr::month m, int mask, int nth) {
  const chr::sys_days first{y / m / 1};
  const unsigned length = DaysInMonth(y, m);
  if (nth == 5) {
    for (int d = static_cast<int>(length) - 1; d >= 0; --d) {
      const chr::sys_days day = first + chr::days{d};
      if (mask & (1 << chr::weekday{day}.c_encoding())) return day;
    }
    return std::nullopt;
  }
  int seen = 0;
  for (unsigned d = 0; d < length; ++d) {
    const chr::sys_days day = first + chr::days{d};
    if ((mask & (1 << chr::weekday{day}.c_encoding())) && ++seen == nth) return day;
  }
  return std::nullopt;
}

}  // namespace

DATE LatestOccurrenceDate() {
  DATE d = 0;
  MakeOleDate(9999, 1, 1, 0, 0, 0, &d);
  return d;
}

int ForEachOccurrence(DATE start, LONG type, LONG every, LONG flag, DATE latest, int maxCount,
                      const std::function<bool(DATE)>& visit) {
  OleDateParts s{}, l{};
  if (maxCount <= 0 || !SplitOleDate(start, &s) || !SplitOleDate(latest, &l)) return 0;
  if (every < 1) every = 1;
  const chr::sys_days first{chr::year{s.year} / s.month / s.day};
  const chr::sys_days last{chr::year{l.year} / l.month / l.day};
  const int mask = static_cast<int>(flag & 127);
  const int nth = InstanceOfFlag(flag);

  int count = 0;
  bool stopped = false;
  // Visits one day; false ends the expansion.
  auto emit = [&](chr::sys_days day) {
    if (day < first) return true;
    if (day > last) {
      stopped = true;
      return false;
    }
    const chr::year_month_day ymd{day};
    DATE d = 0;
    MakeOleDate(static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
                static_cast<int>(static_cast<unsigned>(ymd.day())), s.hour, s.minute, s.second,
                &d);
    ++count;
    if (!visit(d) || count >= maxCount) {
      stopped = true;
      return false;
    }
    return true;
  };
  // The month `k` steps of `every` months after the start's month; nullopt once past the
  // latest date's year.
  auto monthAfter = [&](int64_t k) -> std::optional<chr::year_month> {
    const int64_t index = int64_t{s.year} * 12 + (s.month - 1) + k * every;
    if (index / 12 > l.year) return std::nullopt;
    return chr::year_month{chr::year{static_cast<int>(index / 12)},
                           chr::month{static_cast<unsigned>(index % 12 + 1)}};
  };

  switch (type) {
    case 1:
      if (flag == 1) {
        for (chr::sys_days day = first; !stopped; day += chr::days{1}) {
          const unsigned wd = chr::weekday{day}.c_encoding();
          if (wd >= 1 && wd <= 5) {
            if (!emit(day)) break;
          } else if (day > last) {
            break;
          }
        }
      } else {
        for (chr::sys_days day = first; !stopped; day += chr::days{every})
          if (!emit(day)) break;
      }
      break;
    case 2: {
      if (mask == 0) break;
      const chr::sys_days weekStart = first - chr::days{chr::weekday{first}.c_encoding()};
      for (int64_t w = 0; !stopped; ++w) {
        const chr::sys_days base = weekStart + chr::days{7 * every * w};
        if (base > last) break;
        for (unsigned d = 0; d < 7 && !stopped; ++d)
          if (mask & (1 << d)) emit(base + chr::days{d});
      }
      break;
    }
    case 3:
      for (int64_t k = 0; !stopped; ++k) {
        const auto next = monthAfter(k);
        if (!next) break;
        const chr::year_month ym = *next;
        const unsigned day = std::min<unsigned>(static_cast<unsigned>(s.day),
                                                DaysInMonth(ym.year(), ym.month()));
        emit(chr::sys_days{ym / chr::day{day}});
      }
      break;
    case 4:
    case 6: {
      if (mask == 0 || nth == 0) break;
      for (int64_t k = 0; !stopped; ++k) {
        const auto next = monthAfter(type == 4 ? k : 12 * k);
        if (!next || chr::sys_days{*next / 1} > last) break;
        const chr::year_month ym = *next;
        if (auto day = NthMaskDay(ym.year(), ym.month(), mask, nth)) emit(*day);
      }
      break;
    }
    case 5:
      for (int64_t k = 0; !stopped; ++k) {
        const auto next = monthAfter(12 * k);
        if (!next) break;
        const chr::year_month ym = *next;
        const unsigned day = std::min<unsigned>(static_cast<unsigned>(s.day),
                                                DaysInMonth(ym.year(), ym.month()));
        emit(chr::sys_days{ym / chr::day{day}});
      }
      break;
    default:
      break;
  }
  return count;
}

std::optional<DATE> LastOccurrence(DATE start, LONG type, LONG every, LONG flag, DATE latest,
                                   int maxCount) {
  std::optional<DATE> lastSeen;
  ForEachOccurrence(start, type, every, flag, latest, maxCount, [&](DATE d) {
    lastSeen = d;
    return true;
  });
  return lastSeen;
}

}  // namespace qwb
