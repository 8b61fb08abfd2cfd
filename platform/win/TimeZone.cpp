// GetTimeZoneInformation from the POSIX TZ rule in effect: $TZ (a rule, or a zone name whose
// zoneinfo file ends in a rule line), else the rule line at the end of /etc/localtime.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win/WinInternal.h"
#include "wincompat/testhooks.h"
#include "wincompat/winbase.h"

using namespace wincompat::detail;

namespace {

struct Transition {
  enum Kind { kMonthWeekDay, kJulianNoLeap, kZeroBasedDay } kind = kMonthWeekDay;
  int month = 0, week = 0, weekday = 0;  // Mm.w.d
  int day = 0;                           // Jn or n
  int seconds = 7200;                    // local time of day, 02:00 by default
};

struct Rule {
  std::string stdName, dstName;
  int stdOffset = 0;  // seconds west of UTC (POSIX sign, the Windows Bias sign)
  int dstOffset = 0;
  bool hasDst = false;
  Transition start, end;  // into daylight time, back to standard time
};

class Parser {
 public:
  explicit Parser(const std::string& s) : s_(s) {}

  std::optional<Rule> Parse() {
    Rule r;
    if (!Name(&r.stdName) || !Offset(&r.stdOffset)) return std::nullopt;
    if (AtEnd()) return r;
    if (!Name(&r.dstName)) return std::nullopt;
    r.hasDst = true;
    r.dstOffset = r.stdOffset - 3600;
    if (!AtEnd() && Peek() != ',' && !Offset(&r.dstOffset)) return std::nullopt;
    if (AtEnd()) {
      // No rule given: the traditional US rule.
      r.start = Transition{Transition::kMonthWeekDay, 3, 2, 0, 0, 7200};
      r.end = Transition{Transition::kMonthWeekDay, 11, 1, 0, 0, 7200};
      return r;
    }
    if (Peek() != ',') return std::nullopt;
    ++i_;
    if (!Trans(&r.start) || AtEnd() || Peek() != ',') return std::nullopt;
    ++i_;
    if (!Trans(&r.end) || !AtEnd()) return std::nullopt;
    return r;
  }

 private:
  bool AtEnd() const { return i_ >= s_.size(); }
  char Peek() const { return s_[i_]; }

  bool Name(std::string* out) {
    if (AtEnd()) return false;
    if (Peek() == '<') {
      const size_t close = s_.find('>', i_);
      if (close == std::string::npos) return false;
      *out = s_.substr(i_ + 1, close - i_ - 1);
      i_ = close + 1;
      return !out->empty();
    }
    const size_t b = i_;
    while (!AtEnd() && std::isalpha(static_cast<unsigned char>(Peek()))) ++i_;
    *out = s_.substr(b, i_ - b);
    return out->size() >= 3;
  }

  bool Number(int* v, int maxDigits) {
    int n = 0;
    *v = 0;
    while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek())) && n < maxDigits) {
      *v = *v * 10 + (Peek() - '0');
      ++i_;
      ++n;
    }
    return n > 0;
  }

  // [+-]hh[:mm[:ss]] in seconds. A zone's offset is at most 24 hours; a transition time may
  // reach 167 hours (a rule can move a switch into the following week). Minutes and seconds
  // stop at 59.
  bool Offset(int* out, int maxHours = 24) {
    int sign = 1;
    if (!AtEnd() && (Peek() == '+' || Peek() == '-')) {
      sign = Peek() == '-' ? -1 : 1;
      ++i_;
    }
    int h, m = 0, s = 0;
    if (!Number(&h, 3)) return false;
    if (!AtEnd() && Peek() == ':') {
      ++i_;
      if (!Number(&m, 2)) return false;
      if (!AtEnd() && Peek() == ':') {
        ++i_;
        if (!Number(&s, 2)) return false;
      }
    }
    if (h > maxHours || m > 59 || s > 59) return false;
    *out = sign * (h * 3600 + m * 60 + s);
    return true;
  }

  bool Trans(Transition* t) {
    if (AtEnd()) return false;
    if (Peek() == 'M') {
      ++i_;
      t->kind = Transition::kMonthWeekDay;
      if (!Number(&t->month, 2) || AtEnd() || Peek() != '.') return false;
      ++i_;
      if (!Number(&t->week, 1) || AtEnd() || Peek() != '.') return false;
      ++i_;
      if (!Number(&t->weekday, 1)) return false;
      if (t->month < 1 || t->month > 12 || t->week < 1 || t->week > 5 || t->weekday > 6)
        return false;
    } else if (Peek() == 'J') {
      ++i_;
      t->kind = Transition::kJulianNoLeap;
      if (!Number(&t->day, 3) || t->day < 1 || t->day > 365) return false;
    } else {
      t->kind = Transition::kZeroBasedDay;
      if (!Number(&t->day, 3) || t->day > 365) return false;
    }
    t->seconds = 7200;
    if (!AtEnd() && Peek() == '/') {
      ++i_;
      if (!Offset(&t->seconds, 167)) return false;
    }
    return true;
  }

  const std::string& s_;
  size_t i_ = 0;
};

// The rule line that ends a TZif (version 2 or later) file.
std::string FooterOf(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return {};
  // Zone files are a few kilobytes; a TZ naming something endless (a device, a pipe) must
  // not be read for ever.
  constexpr size_t kMaxZoneFile = 1u << 20;
  std::string data(kMaxZoneFile + 1, '\0');
  f.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<size_t>(f.gcount()));
  if (data.size() > kMaxZoneFile) return {};
  if (data.size() < 6 || data.compare(0, 4, "TZif") != 0 || data[4] < '2') return {};
  if (data.back() != '\n') return {};
  const size_t nl = data.rfind('\n', data.size() - 2);
  if (nl == std::string::npos) return {};
  return data.substr(nl + 1, data.size() - nl - 2);
}

std::mutex g_mu;
std::string g_testRule;  // set through the test hook
std::string g_cachedZoneSetting;
Rule g_cachedRule;
bool g_cached = false;

Rule ResolveLocked() {
  // Asked for every date a table converts: the setting is compared where it stands.
  const char* tz = g_testRule.empty() ? std::getenv("TZ") : nullptr;
  const std::string_view setting = !g_testRule.empty() ? std::string_view(g_testRule)
                                   : tz                 ? std::string_view(tz)
                                                        : std::string_view();
  if (g_cached && setting == g_cachedZoneSetting) return g_cachedRule;
  const std::string zoneSetting(setting);
  std::string ruleText;
  std::string s = zoneSetting;
  if (!s.empty() && s[0] == ':') s.erase(0, 1);
  if (s.empty()) {
    ruleText = FooterOf("/etc/localtime");
  } else if (Parser(s).Parse()) {
    ruleText = s;
  } else {
    ruleText = FooterOf(s[0] == '/' ? s : "/usr/share/zoneinfo/" + s);
  }
  std::optional<Rule> r = Parser(ruleText).Parse();
  g_cachedRule = r ? *r : Rule{"UTC", "", 0, 0, false, {}, {}};
  g_cachedZoneSetting = zoneSetting;
  g_cached = true;
  return g_cachedRule;
}

Rule CurrentRule() {
  std::lock_guard lock(g_mu);
  return ResolveLocked();
}


// Local seconds since 1970 at which a transition happens in the given year.
int64_t TransitionLocal(const Transition& t, int64_t year) {
  int64_t days;
  if (t.kind == Transition::kMonthWeekDay) {
    const int64_t first = DaysFromCivil(year, static_cast<unsigned>(t.month), 1);
    const unsigned wd = WeekdayFromDays(first);
    int64_t day = 1 + (t.weekday - static_cast<int>(wd) + 7) % 7 + (t.week - 1) * 7;
    while (day > DaysInMonth(year, static_cast<unsigned>(t.month))) day -= 7;
    days = first + day - 1;
  } else if (t.kind == Transition::kJulianNoLeap) {
    days = DaysFromCivil(year, 1, 1) + t.day - 1 + (IsLeap(year) && t.day >= 60 ? 1 : 0);
  } else {
    days = DaysFromCivil(year, 1, 1) + t.day;
  }
  return days * 86400 + t.seconds;
}

bool IsDaylightAt(const Rule& r, int64_t utcSeconds) {
  if (!r.hasDst) return false;
  int64_t y;
  unsigned m, d;
  CivilFromDays(utcSeconds / 86400 - (utcSeconds < 0 && utcSeconds % 86400 ? 1 : 0), &y, &m, &d);
  // Local start is in standard time; local end is in daylight time.
  const int64_t start = TransitionLocal(r.start, y) + r.stdOffset;
  const int64_t end = TransitionLocal(r.end, y) + r.dstOffset;
  if (start < end) return utcSeconds >= start && utcSeconds < end;
  return !(utcSeconds >= end && utcSeconds < start);  // southern hemisphere
}

SYSTEMTIME ToSystemTime(const Transition& t) {
  SYSTEMTIME st{};
  int secs = t.seconds % 86400;
  if (secs < 0) secs += 86400;
  st.wHour = static_cast<WORD>(secs / 3600);
  st.wMinute = static_cast<WORD>(secs / 60 % 60);
  st.wSecond = static_cast<WORD>(secs % 60);
  if (t.kind == Transition::kMonthWeekDay) {
    st.wMonth = static_cast<WORD>(t.month);
    st.wDayOfWeek = static_cast<WORD>(t.weekday);
    st.wDay = static_cast<WORD>(t.week);
    return st;
  }
  // A fixed day of the year has no n-th weekday form: give this year's absolute date.
  SYSTEMTIME now;
  GetSystemTime(&now);
  const int64_t year = now.wYear;
  const int64_t days = TransitionLocal(t, year) / 86400;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>(WeekdayFromDays(days));
  return st;
}

void CopyName(const std::string& name, WCHAR (&out)[32]) {
  const std::u16string w = Widen(name).substr(0, 31);
  std::copy(w.begin(), w.end(), out);
  out[w.size()] = 0;
}

int64_t TicksToUnixSeconds(int64_t ticks) { return (ticks - 116444736000000000LL) / 10000000; }

}  // namespace

namespace wincompat {

bool TimeZoneFromRuleForTesting(const std::string& posixRule, TIME_ZONE_INFORMATION* tzi,
                                LONG* offsetMinutesAt, const int64_t* utcFileTimes, size_t n) {
  std::optional<Rule> r = Parser(posixRule).Parse();
  if (!r) return false;
  *tzi = TIME_ZONE_INFORMATION{};
  tzi->Bias = r->stdOffset / 60;
  CopyName(r->stdName, tzi->StandardName);
  if (r->hasDst) {
    CopyName(r->dstName, tzi->DaylightName);
    tzi->DaylightBias = (r->dstOffset - r->stdOffset) / 60;
    tzi->StandardDate = ToSystemTime(r->end);
    tzi->DaylightDate = ToSystemTime(r->start);
  }
  for (size_t i = 0; i < n; ++i) {
    const bool dst = IsDaylightAt(*r, TicksToUnixSeconds(utcFileTimes[i]));
    offsetMinutesAt[i] = -(dst ? r->dstOffset : r->stdOffset) / 60;
  }
  return true;
}

void SetTimeZoneRuleForTesting(const std::string& posixRule) {
  std::lock_guard lock(g_mu);
  g_testRule = posixRule;
}

namespace detail {

LONG LocalOffsetMinutesAt(int64_t utcFileTime) {
  const Rule r = CurrentRule();
  const bool dst = IsDaylightAt(r, TicksToUnixSeconds(utcFileTime));
  return -(dst ? r.dstOffset : r.stdOffset) / 60;
}

}  // namespace detail
}  // namespace wincompat

DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION tzi) {
  if (!tzi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  const Rule r = CurrentRule();
  *tzi = TIME_ZONE_INFORMATION{};
  tzi->Bias = r.stdOffset / 60;
  CopyName(r.stdName, tzi->StandardName);
  tzi->StandardBias = 0;
  if (!r.hasDst) return TIME_ZONE_ID_UNKNOWN;
  CopyName(r.dstName, tzi->DaylightName);
  tzi->DaylightBias = (r.dstOffset - r.stdOffset) / 60;
  tzi->StandardDate = ToSystemTime(r.end);
  tzi->DaylightDate = ToSystemTime(r.start);
  return IsDaylightAt(r, TicksToUnixSeconds(NowFileTime())) ? TIME_ZONE_ID_DAYLIGHT
                                                            : TIME_ZONE_ID_STANDARD;
}
