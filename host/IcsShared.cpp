#include "host/IcsShared.h"

#include <cstdlib>

#include "host/Text.h"

namespace qwbhost {

icaltimetype DayOf(DATE d) {
  icaltimetype t = icaltime_null_date();
  if (auto p = SplitDate(d)) {
    t.year = p->year;
    t.month = p->month;
    t.day = p->day;
  }
  return t;
}

icaltimetype UtcOf(std::time_t when) {
  return icaltime_from_timet_with_zone(when, 0, icaltimezone_get_utc_timezone());
}

// libical's encoding of a BYDAY entry: weekday (Sunday 1) plus 8 times the position, the
// sign of the position on the whole.
short EncodeDay(int weekday0, int position) {
  int v = (weekday0 + 1) + 8 * (position < 0 ? -position : position);
  return static_cast<short>(position < 0 ? -v : v);
}

void AddDays(icalrecurrencetype* r, int mask, int position) {
  int n = 0;
  for (int d = 0; d < 7; ++d)
    if (mask & (1 << d)) r->by_day[n++] = EncodeDay(d, position);
  r->by_day[n] = ICAL_RECURRENCE_ARRAY_MAX;
}

bool RuleOf(const Recurrence& rec, icalrecurrencetype* r) {
  if (rec.kind == RecurKind::kNone) return false;
  icalrecurrencetype_clear(r);
  r->interval = static_cast<short>(rec.every);
  int position = rec.instance == 5 ? -1 : rec.instance;
  switch (rec.kind) {
    case RecurKind::kDaily:
      r->freq = ICAL_DAILY_RECURRENCE;
      if (rec.weekdaysOnly) AddDays(r, 62, 0);
      break;
    case RecurKind::kWeekly:
      r->freq = ICAL_WEEKLY_RECURRENCE;
      if (rec.dayMask) AddDays(r, rec.dayMask, 0);
      break;
    case RecurKind::kMonthly:
      r->freq = ICAL_MONTHLY_RECURRENCE;
      if (rec.monthDay) r->by_month_day[0] = static_cast<short>(rec.monthDay);
      break;
    case RecurKind::kMonthlyWeekday:
      r->freq = ICAL_MONTHLY_RECURRENCE;
      AddDays(r, rec.dayMask, position);
      break;
    case RecurKind::kYearly:
      r->freq = ICAL_YEARLY_RECURRENCE;
      if (rec.month) r->by_month[0] = static_cast<short>(rec.month);
      if (rec.monthDay) r->by_month_day[0] = static_cast<short>(rec.monthDay);
      break;
    case RecurKind::kYearlyWeekday:
      r->freq = ICAL_YEARLY_RECURRENCE;
      if (rec.month) r->by_month[0] = static_cast<short>(rec.month);
      AddDays(r, rec.dayMask, position);
      break;
    case RecurKind::kNone:
      return false;
  }
  if (rec.end == Recurrence::End::kUntil && rec.until) r->until = DayOf(*rec.until);
  if (rec.end == Recurrence::End::kCount) r->count = rec.count;
  return true;
}

std::string RuleText(const icalrecurrencetype& rule) {
  char* text = icalrecurrencetype_as_string_r(const_cast<icalrecurrencetype*>(&rule));
  std::string out = text ? text : "";
  free(text);
  return out;
}

const char* ClassText(const std::string& sensitivity) {
  const std::string s = Lower(sensitivity);
  if (s == "personal" || s == "private") return "PRIVATE";
  if (s == "confidential") return "CONFIDENTIAL";
  return "PUBLIC";
}

}  // namespace qwbhost
