// The recurrence encoding shared by the tables that recur (tasks, appointments) and by the
// hosts that read and write their columns: the RECURRENCE_TYPE values and the phone's
// "RecurrPattern.RecurrenceType" values, and the RECURRENCE_FLAG word, which packs the
// phone's weekday mask (bit 0 Sunday ... bit 6 Saturday) with one bit for the week of the
// month (128 first ... 1024 fourth, 2048 last).
#pragma once

#include <optional>

namespace recur {

// RECURRENCE_TYPE.
enum ColumnType : int {
  kNone = 0,
  kDaily = 1,
  kWeekly = 2,
  kMonthly = 3,         // by day of the month
  kMonthlyWeekday = 4,  // by weekday and week of the month
  kYearly = 5,          // by date
  kYearlyWeekday = 6,   // by weekday, week of the month and month
};

inline constexpr int kNotRecurring = -1;   // "RecurrPattern.RecurrenceType" of a single task
inline constexpr int kMaskBits = 127;      // the weekday mask within RECURRENCE_FLAG
inline constexpr int kWeekdaysMask = 62;   // Monday to Friday
inline constexpr int kDailyWeekdaysFlag = 1;  // RECURRENCE_FLAG of a daily Monday-Friday rule

// The phone's recurrence type of a column type (kNone gives kNotRecurring); none above 6.
std::optional<int> DeviceTypeOf(int columnType);
// The column type of the phone's recurrence type; none for 4 and unknown values.
std::optional<int> ColumnTypeOf(int deviceType);

// Instance 1..5 (5 = last) -> 128, 256, 512, 1024, 2048; anything else 0.
int InstanceBit(int instance);
// The instance of the lowest instance bit set in `flag`, 0 when none is.
int InstanceOfFlag(int flag);
// The RECURRENCE_FLAG of a by-weekday rule.
inline int WeekdayFlag(int mask, int instance) { return (mask & kMaskBits) + InstanceBit(instance); }

}  // namespace recur
