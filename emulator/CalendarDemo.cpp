// The demo phone's calendar. Its owner lives in Seoul: timed appointments are set in Seoul
// time (nine hours ahead of UTC) and stored in UTC, as the phone stores them; all-day ones are
// stored at midnight with an end on the following midnight. Recurring appointments carry the
// pattern fields the phone's calendar keeps (start day and times, the end by count, by date
// or never). Several recurrences run across the daylight-saving changes of Europe and North
// America, so a PC in those zones sees them move by an hour in UTC.
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "emulator/AppointmentStore.h"
#include "emulator/Presets.h"
#include "emulator/RecordStore.h"
#include "link/DeviceRecord.h"

namespace wmemu {

namespace {

constexpr double kSeoulOffset = 9.0 / 24.0;
constexpr uint16_t kTrue = 0xFFFF;
// Phone recurrence types.
constexpr int kDaily = 0, kWeekly = 1, kMonthly = 2, kMonthlyNth = 3, kYearly = 5,
              kYearlyNth = 6;
[[maybe_unused]] constexpr int SU = 1, MO = 2, TU = 4, WE = 8, TH = 16, FR = 32, SA = 64;
constexpr int kLast = 5;

struct Appointment {
  std::string subject, location, body, categories, attendee;
  bool allDay = false;
  double start = 0, end = 0;  // Seoul time; all-day: first and last day
  int reminder = -1;          // minutes before the start; -1 none
  int sensitivity = 0, busy = 2;
  int type = -1, mask = 0, instance = 0, interval = 1;
  enum class End { kNever, kCount, kUntil } endKind = End::kNever;
  int count = 0;
  double until = 0;  // the last day, Seoul
  bool lunar = false;
};

Appointment Timed(const std::string& subject, double start, int minutes) {
  Appointment a;
  a.subject = subject;
  a.start = start;
  a.end = start + minutes / 1440.0;
  return a;
}

Appointment AllDay(const std::string& subject, double first, double last) {
  Appointment a;
  a.subject = subject;
  a.allDay = true;
  a.start = first;
  a.end = last;
  a.busy = 0;
  return a;
}

Appointment Recur(Appointment a, int type, int interval, int mask = 0, int instance = 0) {
  a.type = type;
  a.interval = interval;
  a.mask = mask;
  a.instance = instance;
  return a;
}
Appointment Count(Appointment a, int n) {
  a.endKind = Appointment::End::kCount;
  a.count = n;
  return a;
}
Appointment Until(Appointment a, double lastDay) {
  a.endKind = Appointment::End::kUntil;
  a.until = lastDay;
  return a;
}
Appointment With(Appointment a, int reminder, const std::string& location = "",
                 const std::string& categories = "") {
  a.reminder = reminder;
  a.location = location;
  a.categories = categories;
  return a;
}

double Day(double d) { return std::floor(d); }
double TimeOf(double d) { return d - std::floor(d); }

std::vector<devrec::Property> RecordOf(const Appointment& a) {
  using P = devrec::Property;
  std::vector<P> p;
  p.push_back(P::String("Subject", a.subject));
  if (!a.location.empty()) p.push_back(P::String("Location", a.location));
  if (!a.body.empty()) p.push_back(P::String("Body", a.body));
  const double start = a.allDay ? Day(a.start) : a.start - kSeoulOffset;
  const double end = a.allDay ? Day(a.end) + 1 : a.end - kSeoulOffset;
  const int duration = static_cast<int>(std::lround((end - start) * 1440));
  p.push_back(P::Date("Start", start));
  p.push_back(P::Date("End", end));
  if (a.allDay) {
    p.push_back(P::Boolean("AllDayEvent", kTrue));
  } else {
    p.push_back(P::Integer("Duration", duration));
  }
  p.push_back(P::Boolean("ReminderSet", a.reminder >= 0 ? kTrue : 0));
  if (a.reminder >= 0) p.push_back(P::Integer("ReminderMinutesBeforeStart", a.reminder));
  if (a.type >= 0) {
    p.push_back(P::Boolean("IsRecurring", kTrue));
    p.push_back(P::Integer("RecurrPattern.RecurrenceType", a.type));
    if (a.mask) p.push_back(P::Integer("RecurrPattern.DayOfWeekMask", a.mask));
    if (a.instance) p.push_back(P::Integer("RecurrPattern.Instance", a.instance));
    if (!a.allDay) p.push_back(P::Integer("RecurrPattern.Duration", duration));
    p.push_back(P::Integer("RecurrPattern.Interval", a.interval));
    p.push_back(P::Date("RecurrPattern.PatternStartDate", Day(start)));
    p.push_back(P::Date("RecurrPattern.StartTime", TimeOf(start)));
    p.push_back(P::Date("RecurrPattern.EndTime", TimeOf(end)));
    switch (a.endKind) {
      case Appointment::End::kCount:
        p.push_back(P::Integer("RecurrPattern.Occurrences", a.count));
        break;
      case Appointment::End::kUntil:
        // The last day, at the end's time of day, on the phone's clock.
        p.push_back(P::Date("RecurrPattern.PatternEndDate",
                            a.allDay ? Day(a.until)
                                     : Day(Day(a.until) + TimeOf(a.end) - kSeoulOffset)));
        break;
      case Appointment::End::kNever:
        p.push_back(P::Boolean("RecurrPattern.NoEndDate", kTrue));
        break;
    }
  } else {
    p.push_back(P::Integer("RecurrPattern.RecurrenceType", -1));
  }
  if (!a.categories.empty()) p.push_back(P::String("Categories", a.categories));
  p.push_back(P::Integer("ulSensitivity", a.sensitivity));
  p.push_back(P::Integer("ulBusyStatus", a.busy));
  if (!a.attendee.empty()) p.push_back(P::String("Attendee", a.attendee));
  if (a.lunar) p.push_back(P::String("Lunar", "LUNAR"));
  return p;
}

// Adds the day and month fields of monthly and yearly patterns, those of the start.
std::vector<devrec::Property> WithPatternDays(const Appointment& a) {
  using namespace std::chrono;
  const year_month_day ymd{sys_days{year{1899} / 12 / 30} + days{static_cast<int>(Day(a.start))}};
  const int day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  const int month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  std::vector<devrec::Property> p = RecordOf(a);
  if (a.type != kMonthly && a.type != kYearly && a.type != kYearlyNth) return p;
  std::vector<devrec::Property> out;
  for (auto& prop : p) {
    out.push_back(prop);
    if (prop.name == "RecurrPattern.RecurrenceType") {
      if (a.type != kYearlyNth) out.push_back(devrec::Property::Integer("RecurrPattern.DayOfMonth", day));
      if (a.type != kMonthly)
        out.push_back(devrec::Property::Integer("RecurrPattern.MonthOfYear", month));
    }
  }
  return out;
}

std::vector<Appointment> Solar() {
  const auto D = [](int y, int m, int d, int h = 0, int mi = 0) { return OleDate(y, m, d, h, mi); };
  std::vector<Appointment> e;
  auto add = [&](Appointment a) { e.push_back(a); };

  Appointment team = With(Recur(Timed("주간 팀 회의", D(2008, 1, 7, 10), 60), kWeekly, 1, MO), 15,
                          "본사 3층 회의실", "업무");
  team.body = "지난주 진행 상황, 이번 주 목표, 이슈 공유";
  team.attendee = "kim.minsu@example.co.kr; lee.jiyoung@example.co.kr";
  add(team);
  Appointment call = With(Count(Recur(Timed("Project status call", D(2008, 1, 9, 16), 30),
                                      kWeekly, 2, WE), 20),
                          10, "Bridge +82 2 555 0100", "Work");
  call.attendee = "j.smith@example.com";
  add(call);
  add(With(Until(Recur(Timed("Daily stand-up", D(2008, 2, 4, 9, 30), 15), kDaily, 1, 62),
                 D(2008, 6, 30)),
           5, "Room 401", "Work"));
  add(With(Count(Recur(Timed("Monthly report due", D(2008, 1, 25, 14), 60), kMonthly, 1), 12),
           1440, "", "Work"));
  add(With(Until(Recur(Timed("Book club", D(2008, 1, 17, 19), 120), kMonthlyNth, 1, TH, 3),
                 D(2009, 12, 31)),
           120, "교보문고 광화문점", "Personal"));
  add(With(Recur(Timed("Board meeting", D(2008, 3, 4, 9), 180), kYearlyNth, 1, TU, 1), 10080,
           "Head office", "Work"));
  add(With(Count(Recur(Timed("Quarterly review", D(2008, 1, 31, 15), 90), kMonthly, 3), 8), 60,
           "Meeting room B", "Work"));
  add(With(Count(Recur(Timed("Payday", D(2008, 1, 25, 9), 30), kMonthlyNth, 1, FR, kLast), 24),
           0));
  add(With(Count(Recur(Timed("Yoga class", D(2008, 9, 2, 7), 60), kWeekly, 1, TU | TH), 30), 30,
           "Lotus Yoga Studio", "Health"));
  add(With(Until(Recur(Timed("Piano lesson", D(2009, 1, 10, 10), 60), kWeekly, 1, SA),
                 D(2009, 6, 27)),
           60));
  add(With(Count(Recur(Timed("Conference call with London", D(2009, 3, 26, 17), 60), kDaily, 1),
                 5),
           15, "", "Work"));
  add(With(Timed("Overnight server migration", D(2009, 3, 29, 8), 240), 120, "IDC 목동", "Work"));
  add(With(Timed("Dentist", D(2008, 3, 14, 15), 45), 60, "서울치과"));
  {
    Appointment flight = With(Timed("Flight to Busan KE1105", D(2008, 4, 18, 7, 30), 65), 120,
                              "Gimpo Airport");
    flight.sensitivity = 1;
    flight.busy = 3;
    add(flight);
  }
  {
    Appointment lunch = With(Timed("Lunch with 민수", D(2008, 5, 9, 12), 60), 30, "을지로 칼국수");
    lunch.busy = 1;
    add(lunch);
  }
  add(With(Timed("학부모 상담", D(2008, 10, 17, 18, 30), 60), 1440, "한빛초등학교"));
  {
    Appointment interview =
        With(Timed("Interview: backend engineer", D(2009, 2, 11, 14), 60), 15, "Room 302", "Work");
    interview.sensitivity = 2;
    interview.attendee = "hr@example.com";
    interview.body = "Second round. Review the take-home assignment first.";
    add(interview);
  }
  add(With(Timed("Team dinner", D(2009, 12, 18, 19), 180), 120, "강남역 11번 출구", "업무"));
  add(With(Timed("Seoul marathon", D(2009, 10, 18, 8), 300), 10080, "Jamsil stadium"));
  add(With(Timed("Car inspection", D(2008, 11, 22, 10, 15), 75), 2880));

  // All-day.
  add(Recur(AllDay("신정", D(2008, 1, 1), D(2008, 1, 1)), kYearly, 1));
  add(Recur(AllDay("삼일절", D(2008, 3, 1), D(2008, 3, 1)), kYearly, 1));
  add(Recur(AllDay("어린이날", D(2008, 5, 5), D(2008, 5, 5)), kYearly, 1));
  add(Recur(AllDay("Leap day party", D(2008, 2, 29), D(2008, 2, 29)), kYearly, 1));
  add(With(Recur(AllDay("Sarah's birthday", D(2008, 6, 12), D(2008, 6, 12)), kYearly, 1), 1440,
           "", "Personal"));
  add(Until(Recur(AllDay("Wedding anniversary", D(2008, 9, 20), D(2008, 9, 20)), kYearly, 1),
            D(2012, 9, 20)));
  add(Count(Recur(AllDay("Company anniversary", D(2008, 11, 3), D(2008, 11, 3)), kYearly, 1), 5));
  add(Recur(AllDay("Thanksgiving", D(2008, 11, 27), D(2008, 11, 27)), kYearlyNth, 1, TH, 4));
  add(Count(Recur(AllDay("Recycling day", D(2008, 1, 2), D(2008, 1, 2)), kWeekly, 2, WE), 50));
  {
    Appointment vacation = With(AllDay("Summer vacation", D(2008, 7, 28), D(2008, 8, 1)), 10080,
                                "Jeju", "Personal");
    vacation.busy = 3;
    add(vacation);
  }
  {
    Appointment congress = AllDay("Mobile World Congress", D(2009, 2, 16), D(2009, 2, 19));
    congress.busy = 2;
    congress.location = "Barcelona";
    congress.categories = "Work";
    add(congress);
  }
  add(AllDay("이사", D(2009, 4, 25), D(2009, 4, 25)));
  return e;
}

// Lunar entries: their dates in the record are the solar days of the lunar dates in the year
// they were entered.
std::vector<Appointment> Lunar() {
  const auto D = [](int y, int m, int d) { return OleDate(y, m, d); };
  std::vector<Appointment> e;
  auto add = [&](Appointment a, int reminder) {
    a.lunar = true;
    a.reminder = reminder;
    e.push_back(a);
  };
  add(Recur(AllDay("설날", D(2008, 2, 7), D(2008, 2, 7)), kYearly, 1), -1);      // 1/1
  add(Recur(AllDay("부처님 오신 날", D(2008, 5, 12), D(2008, 5, 12)), kYearly, 1), -1);  // 4/8
  add(Recur(AllDay("추석", D(2008, 9, 14), D(2008, 9, 14)), kYearly, 1), -1);    // 8/15
  add(Recur(AllDay("할머니 생신", D(2008, 4, 20), D(2008, 4, 20)), kYearly, 1), 1440);  // 3/15
  add(Recur(AllDay("할아버지 제사", D(2008, 10, 31), D(2008, 10, 31)), kYearly, 1), 10080);  // 10/3
  add(AllDay("단오", D(2009, 5, 28), D(2009, 5, 28)), -1);                       // 5/5
  // Leap 5th month, day 10, of 2009.
  add(AllDay("어머니 생신 (윤달)", D(2009, 7, 2), D(2009, 7, 2)), 1440);
  return e;
}

}  // namespace

void BuildDemoCalendar(Image& image, int modelType) {
  RecordStore appointments(image, devrec::kKindAppointment);
  for (const Appointment& a : Solar()) {
    std::vector<devrec::RawEntry> raw;
    for (const devrec::Property& p : WithPatternDays(a))
      raw.push_back(RecordStore::Raw(devrec::kKindAppointment, p));
    appointments.Add(raw);
  }
  if (!HasLunarStore(modelType)) return;
  RecordStore lunar(image, kLunarStoreKind);
  for (const Appointment& a : Lunar()) {
    std::vector<devrec::RawEntry> raw;
    for (const devrec::Property& p : WithPatternDays(a))
      raw.push_back(RecordStore::Raw(devrec::kKindAppointment, p));
    lunar.Add(raw);
  }
}

}  // namespace wmemu
