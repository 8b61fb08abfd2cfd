// calendar.ics of the demo calendar on a domestic phone, read back with libical: every
// event's recurrence, expanded by libical's own recurrence iterator, ends on the occurrence
// our pattern expansion gives as the last; lunar entries carry their lunar date; all-day and
// timed events have the right value types; the PC's zone is written with its VTIMEZONE.
#include <gtest/gtest.h>
#include <libical/ical.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "host/CalendarIcs.h"
#include "host/EventRecord.h"
#include "host/Progress.h"
#include "host/Session.h"
#include "tests/support/EmulatedPhone.h"
#include "host/Text.h"
#include "tables/organizer/Recurrence.h"
#include "tables/organizer/TimeConv.h"

namespace {

using namespace qwbhost;

std::string Text(icaltimetype t) {
  char s[32];
  std::snprintf(s, sizeof s, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  return s;
}
std::string Text(DATE d) {
  qwb::OleDateParts p{};
  if (!qwb::SplitOleDate(d, &p)) return "invalid";
  char s[32];
  std::snprintf(s, sizeof s, "%04d-%02d-%02d %02d:%02d", p.year, p.month, p.day, p.hour, p.minute);
  return s;
}

TEST(CalendarIcs, DemoCalendarReadsBackAndRecurrencesAgree) {
  // Berlin has daylight saving: recurrences there cross its changes.
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  EmulatedPhone phone("demo", "Hanul HD-100");
  setenv("QWBDCAWM_REGISTRY", (phone.folder() / "registry.reg").c_str(), 1);

  std::map<std::string, EventRecord> byUid;
  const ExportContext context("phone", 0);
  std::string text;
  {
    Session session;
    ComPtr<IDataTable> table = session.Table(DTID_CALENDAR);
    ForEachItem(table.Get(), "calendar", [&](IItem* item, ULONG, ULONG) {
      EventRecord e = ReadEvent(item);
      byUid[context.Uid("event", e.id)] = e;
    });
    Progress progress("calendar", false);
    text = JoinRecords(ExportFormat::kICalendar,
                       MakeCalendarExporter()->Read(session, context, progress));
  }
  ASSERT_GE(byUid.size(), 36u);

  icalcomponent* cal = icalparser_parse_string(text.c_str());
  ASSERT_NE(cal, nullptr);
  icalcomponent* vtz = icalcomponent_get_first_component(cal, ICAL_VTIMEZONE_COMPONENT);
  ASSERT_NE(vtz, nullptr);
  EXPECT_STREQ(icalproperty_get_tzid(icalcomponent_get_first_property(vtz, ICAL_TZID_PROPERTY)),
               "Europe/Berlin");

  int events = 0, recurring = 0, lunar = 0, leap = 0;
  for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
       ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
    ++events;
    const std::string uid = icalcomponent_get_uid(ev);
    SCOPED_TRACE(uid);
    ASSERT_TRUE(byUid.count(uid));
    const EventRecord& e = byUid[uid];
    icaltimetype start = icalcomponent_get_dtstart(ev);
    EXPECT_EQ(icaltime_is_date(start) != 0, e.allDay);
    EXPECT_EQ(Text(start), Text(qwb::OleDatePart(*e.start) +
                                (e.allDay ? 0 : qwb::OleTimePart(*e.start))));
    if (!e.allDay) {
      icalproperty* p = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
      EXPECT_STREQ(icalproperty_get_parameter_as_string(p, "TZID"), "Europe/Berlin");
    }
    // Lunar entries: their solar day, the lunar date beside it, no solar RRULE.
    bool isLunar = false;
    for (icalproperty* x = icalcomponent_get_first_property(ev, ICAL_X_PROPERTY); x;
         x = icalcomponent_get_next_property(ev, ICAL_X_PROPERTY)) {
      if (std::string(icalproperty_get_x_name(x)) != "X-QWBDCAWM-LUNAR-DATE") continue;
      isLunar = true;
      if (icalproperty_get_first_parameter(x, ICAL_X_PARAMETER)) {
        ++leap;
        EXPECT_STREQ(icalproperty_get_x(x), "2009-05-10");  // 2 July 2009: leap 5th month
      }
    }
    EXPECT_EQ(isLunar, e.lunar());
    lunar += isLunar;
    icalproperty* rrule = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY);
    if (isLunar) {
      EXPECT_EQ(rrule, nullptr);
      continue;
    }
    const Recurrence rec = e.recurrence();
    ASSERT_EQ(rrule != nullptr, rec.kind != RecurKind::kNone);
    if (!rrule) continue;
    ++recurring;

    // libical's expansion, at most 999 occurrences, against ours with the same bounds; rules
    // without an end are compared within this century (libical stops in 2582).
    icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(rrule), start);
    ASSERT_NE(it, nullptr);
    icaltimetype last = icaltime_null_time();
    int n = 0;
    for (icaltimetype t = icalrecur_iterator_next(it);
         !icaltime_is_null_time(t) && n < 999 && t.year < 2100; t = icalrecur_iterator_next(it), ++n)
      last = t;
    icalrecur_iterator_free(it);
    DATE latest = 0;
    qwb::MakeOleDate(2099, 12, 31, 23, 59, 59, &latest);
    int count = qwb::kMaxOccurrences;
    if (rec.end == Recurrence::End::kCount) count = rec.count;
    if (rec.end == Recurrence::End::kUntil) latest = *rec.until;
    const auto ours = qwb::LastOccurrence(*e.start, *e.recurType, e.recurEvery.value_or(1),
                                          e.recurFlag.value_or(0), latest, count);
    ASSERT_TRUE(ours.has_value());
    EXPECT_EQ(Text(last), Text(*ours)) << e.subject;
  }
  icalcomponent_free(cal);
  EXPECT_EQ(static_cast<size_t>(events), byUid.size());
  EXPECT_GE(recurring, 20);
  EXPECT_EQ(lunar, 7);
  EXPECT_EQ(leap, 1);
}

}  // namespace
