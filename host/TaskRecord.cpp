#include "host/TaskRecord.h"

#include <cctype>
#include <cstdlib>

#include "host/HostError.h"
#include "host/ItemColumns.h"
#include "host/Text.h"
#include "link/Recurrence.h"
#include "wincompat/comptr.h"

namespace qwbhost {

const char* const kWeekdayNames[7] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

namespace {

using recur::InstanceOfFlag;

}  // namespace

Recurrence TaskRecord::recurrence() const {
  return RecurrenceOfColumns(recurType, recurEvery, recurFlag, expireType, expireValue, expireDate,
                             everyDate, start);
}

TaskRecord ReadTask(IItem* item) {
  TaskRecord t;
  SUID suid = SUID_NULL;
  CheckHr("get_SUID", item->get_SUID(&suid));
  t.id = suid;
  t.subject = Text(item, u"SUBJECT");
  t.detail = Text(item, u"DETAIL");
  t.categories = Text(item, u"CATEGORIES");
  t.sensitivity = Text(item, u"SENSITIVITY");
  t.priority = Text(item, u"PRIORITY");
  t.doneState = Text(item, u"DONE_STATE");
  t.alarmType = Text(item, u"ALARM_TYPE");
  t.start = Date(item, u"START_DATE");
  t.due = Date(item, u"END_DATE");
  t.alarmTime = Date(item, u"ALARM_TIME");
  t.expireDate = Date(item, u"RECURRENCE_EXPIRE_DATE");
  t.everyDate = Date(item, u"RECURRENCE_EVERY_DATE");
  t.recurType = Integer(item, u"RECURRENCE_TYPE");
  t.recurEvery = Integer(item, u"RECURRENCE_EVERY");
  t.recurFlag = Integer(item, u"RECURRENCE_FLAG");
  t.expireType = Integer(item, u"RECURRENCE_EXPIRE_TYPE");
  t.expireValue = Integer(item, u"RECURRENCE_EXPIRE_VALUE");
  return t;
}

void ApplyEdit(IItem* item, const TaskEdit& e, std::optional<DATE> start) {
  if (e.subject) PutText(item, u"SUBJECT", *e.subject);
  if (e.detail) PutText(item, u"DETAIL", *e.detail);
  if (e.categories) PutText(item, u"CATEGORIES", *e.categories);
  if (e.sensitivity) PutText(item, u"SENSITIVITY", *e.sensitivity);
  if (e.priority) PutText(item, u"PRIORITY", *e.priority);
  if (e.done) PutText(item, u"DONE_STATE", *e.done ? "Done" : "Undone");
  if (e.start) Put(item, u"START_DATE", Variant::Date(*e.start));
  if (e.due) Put(item, u"END_DATE", Variant::Date(*e.due));
  if (e.alarm) {
    if (*e.alarm) {
      PutText(item, u"ALARM_TYPE", "Time");
      Put(item, u"ALARM_TIME", Variant::Date(**e.alarm));
    } else {
      PutText(item, u"ALARM_TYPE", "None");
      Put(item, u"ALARM_TIME", Variant());
    }
  }
  if (e.recurrence) PutRecurrence(item, *e.recurrence, start);
}

int ParseDays(const std::string& text, int* instance) {
  int mask = 0;
  size_t pos = 0;
  if (text.empty()) ThrowUsage("--days: empty list");
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    std::string part =
        text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    pos = comma == std::string::npos ? text.size() + 1 : comma + 1;
    if (part.size() < 2) ThrowUsage("--days: bad day '" + part + "'");
    std::string name = part.substr(part.size() - 2);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string ordinal = part.substr(0, part.size() - 2);
    int day = -1;
    for (int i = 0; i < 7; ++i)
      if (name == kWeekdayNames[i]) day = i;
    if (day < 0) ThrowUsage("--days: bad day '" + part + "'");
    if (!ordinal.empty()) {
      char* end = nullptr;
      long n = std::strtol(ordinal.c_str(), &end, 10);
      if (*end != '\0' || n == 0 || n < -1 || n > 5)
        ThrowUsage("--days: bad ordinal in '" + part + "' (1..4, 5 or -1 for the last)");
      int inst = n == -1 ? 5 : static_cast<int>(n);
      if (!instance || (*instance != 0 && *instance != inst))
        ThrowUsage("--days: one ordinal for all days");
      *instance = inst;
    }
    mask |= 1 << day;
  }
  return mask;
}

std::string FormatDays(int mask) {
  std::string s;
  for (int i = 0; i < 7; ++i)
    if (mask & (1 << i)) {
      if (!s.empty()) s.push_back(',');
      s.append(kWeekdayNames[i]);
    }
  return s;
}

std::string DescribeRecurrence(const Recurrence& r) {
  static const char* const kOrdinal[] = {"", "1st", "2nd", "3rd", "4th", "last"};
  std::string s;
  switch (r.kind) {
    case RecurKind::kNone:
      return "";
    case RecurKind::kDaily:
      s = r.weekdaysOnly ? "weekdays" : "daily";
      break;
    case RecurKind::kWeekly:
      s = "weekly " + FormatDays(r.dayMask);
      break;
    case RecurKind::kMonthly:
      s = "monthly day " + std::to_string(r.monthDay);
      break;
    case RecurKind::kMonthlyWeekday:
      s = std::string("monthly ") + kOrdinal[r.instance % 6] + " " + FormatDays(r.dayMask);
      break;
    case RecurKind::kYearly:
      s = "yearly " + std::to_string(r.month) + "/" + std::to_string(r.monthDay);
      break;
    case RecurKind::kYearlyWeekday:
      s = std::string("yearly ") + kOrdinal[r.instance % 6] + " " + FormatDays(r.dayMask) +
          " of month " + std::to_string(r.month);
      break;
  }
  if (r.every > 1) s += " every " + std::to_string(r.every);
  if (r.end == Recurrence::End::kUntil && r.until) s += " until " + FormatDay(*r.until);
  if (r.end == Recurrence::End::kCount) s += " x" + std::to_string(r.count);
  return s;
}

}  // namespace qwbhost
