#include "host/CalendarCommand.h"


#include "host/HostError.h"
#include "host/ListSink.h"
#include "host/Text.h"

namespace qwbhost {
namespace {

std::string OneOf(const std::string& value, std::initializer_list<const char*> allowed,
                  const char* option) {
  std::string list;
  for (const char* a : allowed) {
    if (Lower(a) == Lower(value)) return a;
    if (!list.empty()) list.push_back('|');
    list.append(a);
  }
  ThrowUsage(std::string(option) + ": '" + value + "' is not one of " + list);
}

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM".
DATE When(const std::string& text, const char* option) {
  if (auto m = ParseMinute(text)) return *m;
  if (auto d = ParseDay(text)) return *d;
  ThrowUsage(std::string(option) + ": '" + text + "' is not YYYY-MM-DD or \"YYYY-MM-DD HH:MM\"");
}

// "15m", "2h", "1d", "1w" or "none".
std::optional<int> Reminder(const std::string& text) {
  if (Lower(text) == "none") return std::nullopt;
  const int per = text.empty() ? 0
                  : text.back() == 'm' ? 1
                  : text.back() == 'h' ? 60
                  : text.back() == 'd' ? 1440
                  : text.back() == 'w' ? 10080
                                       : 0;
  char* endp = nullptr;
  const long n = per ? std::strtol(text.c_str(), &endp, 10) : -1;
  if (!per || n < 0 || n > 100000 || endp != text.c_str() + text.size() - 1)
    ThrowUsage("--reminder: '" + text + "' is not a count with m, h, d or w (15m, 2h), or none");
  return static_cast<int>(n) * per;
}

ComPtr<IItem> FindEvent(IDataTable* table, LONG id) {
  ComPtr<IItem> found;
  ForEachItem(table, "calendar", [&](IItem* item, ULONG, ULONG) {
    SUID suid = SUID_NULL;
    if (!found && SUCCEEDED(item->get_SUID(&suid)) && suid == id) found = ComPtr<IItem>(item);
  });
  if (!found) throw HostError(kExitFailure, "no appointment with id " + std::to_string(id));
  return found;
}

std::string Moment(const EventRecord& e, std::optional<DATE> d) {
  if (!d) return "";
  return e.allDay ? FormatDay(*d) : FormatMinute(*d);
}

}  // namespace

EventEdit MakeEventEdit(const CalendarOptions& o, std::optional<DATE> currentStart, bool adding) {
  EventEdit e;
  e.subject = o.subject;
  e.location = o.location;
  e.detail = o.detail;
  e.categories = o.categories;
  e.attendees = o.attendees;
  if (o.sensitivity)
    e.sensitivity = OneOf(*o.sensitivity, {"Normal", "Personal", "Private", "Confidential"},
                          "--sensitivity");
  if (o.status)
    e.status = OneOf(*o.status, {"Free", "Tentative", "Busy", "OutofOffice"}, "--status");
  if (o.dateType) e.dateType = OneOf(*o.dateType, {"SOLAR", "LUNAR", "LEAP"}, "--date-type");
  if (o.allDay) e.allDay = true;
  if (o.timed) e.allDay = false;
  if (o.start) e.start = When(*o.start, "--start");
  if (o.end) e.end = When(*o.end, "--end");
  if (adding && !e.start) ThrowUsage("calendar add needs --start");
  if (adding && !e.end) e.end = e.allDay.value_or(false) ? *e.start : *e.start + 1.0 / 24;
  if (e.start && e.end && *e.end < *e.start) ThrowUsage("--end is before --start");
  if (o.reminder) e.reminder = Reminder(*o.reminder);
  if (o.recurrence.recur)
    e.recurrence = MakeRecurrence(o.recurrence, e.start ? e.start : currentStart);
  else if (o.recurrence.every || o.recurrence.days || o.recurrence.until || o.recurrence.count)
    ThrowUsage("--every, --days, --until and --count need --recur");
  return e;
}

nlohmann::json EventJson(const EventRecord& e) {
  nlohmann::json j;
  j["id"] = e.id;
  j["subject"] = e.subject;
  j["location"] = e.location;
  j["detail"] = e.detail;
  j["allDay"] = e.allDay;
  j["start"] = e.start ? nlohmann::json(FormatIso(*e.start)) : nlohmann::json();
  j["end"] = e.end ? nlohmann::json(FormatIso(*e.end)) : nlohmann::json();
  j["dateType"] = e.dateType;
  j["reminderMinutes"] = e.reminderMinutes() ? nlohmann::json(*e.reminderMinutes())
                                             : nlohmann::json();
  j["categories"] = e.categories;
  j["sensitivity"] = e.sensitivity;
  j["status"] = e.status;
  j["attendees"] = e.attendees;
  const Recurrence r = e.recurrence();
  j["recurrence"] = r.kind == RecurKind::kNone ? nlohmann::json() : nlohmann::json(DescribeRecurrence(r));
  return j;
}

namespace {

// The table's columns have fixed widths, so that each line is written as its event comes.
constexpr const char* kEventsHeader = "ID     START             END               TYPE   SUBJECT\n";

std::string EventLine(const EventRecord& e) {
  char head[128];
  std::snprintf(head, sizeof head, "%-6ld %-17s %-17s %-6s ", static_cast<long>(e.id),
                Moment(e, e.start).c_str(), Moment(e, e.end).c_str(), e.dateType.c_str());
  std::string line = head + e.subject;
  const Recurrence r = e.recurrence();
  if (r.kind != RecurKind::kNone) line += "  (" + DescribeRecurrence(r) + ")";
  line += '\n';
  return line;
}

}  // namespace

void ListEvents(Session& session, bool json, std::optional<std::string> from,
                std::optional<std::string> to, std::ostream& out) {
  std::optional<DATE> first, last;
  if (from) {
    auto d = ParseDay(*from);
    if (!d) ThrowUsage("--from: '" + *from + "' is not a date (YYYY-MM-DD)");
    first = *d;
  }
  if (to) {
    auto d = ParseDay(*to);
    if (!d) ThrowUsage("--to: '" + *to + "' is not a date (YYYY-MM-DD)");
    last = *d + 1;
  }
  ComPtr<IDataTable> table = session.Table(DTID_CALENDAR);
  ListSink sink(out, json, kEventsHeader);
  ForEachItem(table.Get(), "calendar", [&](IItem* item, ULONG, ULONG) {
    const EventRecord e = ReadEvent(item);
    const bool recurs = e.recurrence().kind != RecurKind::kNone;
    if (last && e.start && *e.start >= *last) return;
    if (first && !recurs && e.end && *e.end < *first) return;
    sink.Add([&] { return EventJson(e); }, [&] { return EventLine(e); });
  });
  sink.Finish();
}

EventRecord AddEvent(Session& session, const CalendarOptions& o) {
  EventEdit edit = MakeEventEdit(o, std::nullopt, true);
  ComPtr<IDataTable> table = session.Table(DTID_CALENDAR);
  ComPtr<IItem> item;
  CheckHr("NewItem",
          table->NewItem(DCADT_SCHEDULE, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
  if (!edit.recurrence) edit.recurrence = Recurrence{};
  if (!edit.reminder) edit.reminder = std::optional<int>();
  if (!edit.dateType) edit.dateType = "SOLAR";
  if (!edit.allDay) edit.allDay = false;
  ApplyEventEdit(item.Get(), edit);
  SUID id = SUID_NULL;
  CheckHr("CreateItem", table->CreateItem(item.Get(), &id));
  return ReadEvent(item.Get());
}

EventRecord UpdateEvent(Session& session, LONG id, const CalendarOptions& o) {
  ComPtr<IDataTable> table = session.Table(DTID_CALENDAR);
  ComPtr<IItem> item = FindEvent(table.Get(), id);
  const EventRecord current = ReadEvent(item.Get());
  EventEdit edit = MakeEventEdit(o, current.start, false);
  const DATE start = edit.start.value_or(current.start.value_or(0));
  const DATE end = edit.end.value_or(current.end.value_or(start));
  if (end < start) ThrowUsage("the end would be before the start " + FormatMinute(start));
  ApplyEventEdit(item.Get(), edit);
  CheckHr("UpdateItem", table->UpdateItem(item.Get()));
  return ReadEvent(item.Get());
}

void DeleteEvent(Session& session, LONG id) {
  ComPtr<IDataTable> table = session.Table(DTID_CALENDAR);
  ComPtr<IItem> item = FindEvent(table.Get(), id);
  CheckHr("DeleteItem", table->DeleteItem(item.Get()));
}

}  // namespace qwbhost
