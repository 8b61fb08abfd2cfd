#include "host/EventRecord.h"

#include "host/HostError.h"
#include "host/ItemColumns.h"
#include "link/Recurrence.h"

namespace qwbhost {

Recurrence EventRecord::recurrence() const {
  return RecurrenceOfColumns(recurType, recurEvery, recurFlag, expireType, expireValue, expireDate,
                             everyDate, start);
}

std::optional<int> EventRecord::reminderMinutes() const {
  const int value = static_cast<int>(alarmValue.value_or(0));
  if (alarmType == "Minute") return value;
  if (alarmType == "Hour") return value * 60;
  if (alarmType == "Day") return value * 1440;
  if (alarmType == "Week") return value * 10080;
  return std::nullopt;
}

EventRecord ReadEvent(IItem* item) {
  EventRecord e;
  SUID suid = SUID_NULL;
  CheckHr("get_SUID", item->get_SUID(&suid));
  e.id = suid;
  e.subject = Text(item, u"SUBJECT");
  e.location = Text(item, u"LOCATION");
  e.detail = Text(item, u"DETAIL");
  e.categories = Text(item, u"CATEGORIES");
  e.attendees = Text(item, u"ATTENDEES");
  e.sensitivity = Text(item, u"SENSITIVITY");
  e.status = Text(item, u"STATUS");
  e.alarmType = Text(item, u"ALARM_TYPE");
  e.dateType = Text(item, u"START_DATE_TYPE");
  e.allDay = Text(item, u"ISALLDAY") == "TRUE";
  e.start = Date(item, u"START_DATE");
  e.end = Date(item, u"END_DATE");
  e.expireDate = Date(item, u"RECURRENCE_EXPIRE_DATE");
  e.everyDate = Date(item, u"RECURRENCE_EVERY_DATE");
  e.alarmValue = Integer(item, u"ALARM_VALUE");
  e.recurType = Integer(item, u"RECURRENCE_TYPE");
  e.recurEvery = Integer(item, u"RECURRENCE_EVERY");
  e.recurFlag = Integer(item, u"RECURRENCE_FLAG");
  e.expireType = Integer(item, u"RECURRENCE_EXPIRE_TYPE");
  e.expireValue = Integer(item, u"RECURRENCE_EXPIRE_VALUE");
  return e;
}

void ApplyEventEdit(IItem* item, const EventEdit& e) {
  if (e.subject) PutText(item, u"SUBJECT", *e.subject);
  if (e.location) PutText(item, u"LOCATION", *e.location);
  if (e.detail) PutText(item, u"DETAIL", *e.detail);
  if (e.categories) PutText(item, u"CATEGORIES", *e.categories);
  if (e.attendees) PutText(item, u"ATTENDEES", *e.attendees);
  if (e.sensitivity) PutText(item, u"SENSITIVITY", *e.sensitivity);
  if (e.status) PutText(item, u"STATUS", *e.status);
  if (e.dateType) PutText(item, u"START_DATE_TYPE", *e.dateType);
  if (e.allDay) PutText(item, u"ISALLDAY", *e.allDay ? "TRUE" : "FALSE");
  if (e.start) Put(item, u"START_DATE", Variant::Date(*e.start));
  if (e.end) Put(item, u"END_DATE", Variant::Date(*e.end));
  if (e.reminder) {
    if (*e.reminder) {
      // The largest whole unit, as the phone shows it.
      const int m = **e.reminder;
      const char* unit = m % 10080 == 0 && m ? "Week" : m % 1440 == 0 && m ? "Day"
                                                      : m % 60 == 0 && m ? "Hour" : "Minute";
      const int per = unit[0] == 'W' ? 10080 : unit[0] == 'D' ? 1440 : unit[0] == 'H' ? 60 : 1;
      PutText(item, u"ALARM_TYPE", unit);
      Put(item, u"ALARM_VALUE", Variant::I4(m / per));
    } else {
      PutText(item, u"ALARM_TYPE", "None");
    }
  }
  if (e.recurrence) PutRecurrence(item, *e.recurrence, e.start);
}

}  // namespace qwbhost
