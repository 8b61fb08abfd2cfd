#include "link/Recurrence.h"

namespace recur {

std::optional<int> DeviceTypeOf(int columnType) {
  switch (columnType) {
    case kNone:
      return kNotRecurring;
    case kDaily:
    case kWeekly:
    case kMonthly:
    case kMonthlyWeekday:
      return columnType - 1;
    case kYearly:
    case kYearlyWeekday:
      return columnType;
    default:
      return std::nullopt;
  }
}

std::optional<int> ColumnTypeOf(int deviceType) {
  switch (deviceType) {
    case kNotRecurring:
      return kNone;
    case 0:
    case 1:
    case 2:
    case 3:
      return deviceType + 1;
    case 5:
    case 6:
      return deviceType;
    default:
      return std::nullopt;
  }
}

int InstanceBit(int instance) { return instance >= 1 && instance <= 5 ? 64 << instance : 0; }

int InstanceOfFlag(int flag) {
  for (int instance = 1; instance <= 5; ++instance) {
    if (flag & InstanceBit(instance)) return instance;
  }
  return 0;
}

}  // namespace recur
