// Reading exported VTODOs back with libical, for the CLI's tests.
#pragma once

#include <libical/ical.h>

#include <string>

namespace icalcheck {

// The VTODO whose UID (or, with bySummary, SUMMARY) is `key`; null when none.
inline icalcomponent* Todo(icalcomponent* cal, const std::string& key, bool bySummary = false) {
  for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_VTODO_COMPONENT); c;
       c = icalcomponent_get_next_component(cal, ICAL_VTODO_COMPONENT)) {
    const char* s = bySummary ? icalcomponent_get_summary(c) : icalcomponent_get_uid(c);
    if (s && key == s) return c;
  }
  return nullptr;
}

// The RRULE as text, "" when there is none.
inline std::string Rule(icalcomponent* todo) {
  icalproperty* p = todo ? icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY) : nullptr;
  if (!p) return "";
  icalrecurrencetype r = icalproperty_get_rrule(p);
  return icalrecurrencetype_as_string(&r);
}

inline int Priority(icalcomponent* todo) {
  return icalproperty_get_priority(icalcomponent_get_first_property(todo, ICAL_PRIORITY_PROPERTY));
}
inline icalproperty_class Class(icalcomponent* todo) {
  return icalproperty_get_class(icalcomponent_get_first_property(todo, ICAL_CLASS_PROPERTY));
}
inline icaltimetype Trigger(icalcomponent* alarm) {
  return icalproperty_get_trigger(icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY))
      .time;
}
inline int DateNumber(icaltimetype t) { return t.year * 10000 + t.month * 100 + t.day; }

}  // namespace icalcheck
