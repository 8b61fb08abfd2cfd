#include "host/ItemColumns.h"

#include <algorithm>

#include "host/HostError.h"
#include "host/Text.h"
#include "link/Recurrence.h"

namespace qwbhost {

// The ordinal of a column by name; false when the item has no such column.
bool Ordinal(IItem* item, const char16_t* name, ULONG* ordinal) {
  BStr n(name);
  LONG found = 0;
  *ordinal = 0;
  CheckHr("GetOrdinal", item->GetOrdinal(n.Get(), ordinal, &found));
  return found != 0;
}

Variant Value(IItem* item, const char16_t* name) {
  Variant v;
  ULONG ord;
  if (Ordinal(item, name, &ord)) CheckHr("GetValue", item->GetValue(ord, v.Ptr()));
  return v;
}

std::string Text(IItem* item, const char16_t* name) {
  Variant v = Value(item, name);
  if (v.vt() != VT_BSTR || !v.Get().bstrVal) return {};
  return Utf8(std::u16string_view(v.Get().bstrVal, SysStringLen(v.Get().bstrVal)));
}

std::optional<DATE> Date(IItem* item, const char16_t* name) {
  Variant v = Value(item, name);
  if (v.vt() != VT_DATE) return std::nullopt;
  return v.Get().date;
}

std::optional<LONG> Integer(IItem* item, const char16_t* name) {
  Variant v = Value(item, name);
  if (v.vt() == VT_EMPTY || v.vt() == VT_NULL) return std::nullopt;
  Variant i4;
  if (FAILED(VariantChangeType(i4.Ptr(), v.Ptr(), 0, VT_I4))) return std::nullopt;
  return i4.Get().lVal;
}

void Put(IItem* item, const char16_t* name, const Variant& v) {
  ULONG ord;
  if (!Ordinal(item, name, &ord)) ThrowHr(Utf8(name) + " column", E_FAIL);
  VARIANT copy = v.Get();  // SetValue copies; the Variant keeps ownership
  CheckHr("SetValue", item->SetValue(ord, copy));
}

void PutText(IItem* item, const char16_t* name, const std::string& s) {
  Put(item, name, Variant::Str(Utf16(s)));
}

void PutTextOrNull(IItem* item, const char16_t* name, const std::string& s) {
  if (s.empty()) {
    Put(item, name, Variant::Null());
  } else {
    PutText(item, name, s);
  }
}

std::u16string IndexedColumn(const char* prefix, size_t n) {
  return Utf16(prefix + std::to_string(n));
}

std::string TextAt(IItem* item, const char* prefix, size_t n) {
  return Text(item, IndexedColumn(prefix, n).c_str());
}

void PutTextOrNullAt(IItem* item, const char* prefix, size_t n, const std::string& s) {
  PutTextOrNull(item, IndexedColumn(prefix, n).c_str(), s);
}

size_t CountOf(IItem* item, const char16_t* countColumn, size_t most) {
  const LONG n = Integer(item, countColumn).value_or(0);
  return n <= 0 ? 0 : std::min(static_cast<size_t>(n), most);
}

using recur::InstanceOfFlag;

Recurrence RecurrenceOfColumns(std::optional<LONG> recurType, std::optional<LONG> recurEvery,
                               std::optional<LONG> recurFlag, std::optional<LONG> expireType,
                               std::optional<LONG> expireValue, std::optional<DATE> expireDate,
                               std::optional<DATE> everyDate, std::optional<DATE> start) {
  Recurrence r;
  int type = recurType.value_or(0);
  if (type < 1 || type > 6) return r;
  r.kind = static_cast<RecurKind>(type);
  r.every = recurEvery && *recurEvery >= 1 ? static_cast<int>(*recurEvery) : 1;
  int flag = static_cast<int>(recurFlag.value_or(0));
  std::optional<DateTimeParts> startParts, everyParts;
  if (start) startParts = SplitDate(*start);
  if (everyDate) everyParts = SplitDate(*everyDate);
  switch (r.kind) {
    case RecurKind::kDaily:
      r.weekdaysOnly = flag == recur::kDailyWeekdaysFlag;
      if (r.weekdaysOnly) r.dayMask = recur::kWeekdaysMask;
      break;
    case RecurKind::kWeekly:
      r.dayMask = flag & recur::kMaskBits;
      break;
    case RecurKind::kMonthly:
      if (startParts) r.monthDay = startParts->day;
      break;
    case RecurKind::kMonthlyWeekday:
      r.dayMask = flag & recur::kMaskBits;
      r.instance = InstanceOfFlag(flag);
      break;
    case RecurKind::kYearly:
      if (everyParts) {
        r.month = everyParts->month, r.monthDay = everyParts->day;
      } else if (startParts) {
        r.month = startParts->month, r.monthDay = startParts->day;
      }
      break;
    case RecurKind::kYearlyWeekday:
      r.dayMask = flag & recur::kMaskBits;
      r.instance = InstanceOfFlag(flag);
      if (everyParts) r.month = everyParts->month;
      break;
    case RecurKind::kNone:
      break;
  }
  switch (expireType.value_or(-1)) {
    case 0:
      if (expireDate) r.end = Recurrence::End::kUntil, r.until = expireDate;
      break;
    case 1:
      if (expireValue.value_or(0) > 0)
        r.end = Recurrence::End::kCount, r.count = static_cast<int>(*expireValue);
      break;
    default:
      break;
  }
  return r;
}

void PutRecurrence(IItem* item, const Recurrence& r, std::optional<DATE> start) {
  Put(item, u"RECURRENCE_TYPE", Variant::I4(static_cast<LONG>(r.kind)));
  if (r.kind == RecurKind::kNone) {
    for (const char16_t* c :
         {u"RECURRENCE_EVERY", u"RECURRENCE_FLAG", u"RECURRENCE_EXPIRE_TYPE",
          u"RECURRENCE_EXPIRE_VALUE", u"RECURRENCE_EXPIRE_DATE", u"RECURRENCE_EVERY_DATE"})
      Put(item, c, Variant());
    return;
  }
  Put(item, u"RECURRENCE_EVERY", Variant::I4(r.every));
  LONG flag = 0;
  switch (r.kind) {
    case RecurKind::kDaily:
      flag = r.weekdaysOnly ? recur::kDailyWeekdaysFlag : 0;
      break;
    case RecurKind::kWeekly:
      flag = r.dayMask;
      break;
    case RecurKind::kMonthlyWeekday:
    case RecurKind::kYearlyWeekday:
      flag = recur::WeekdayFlag(r.dayMask, r.instance);
      break;
    default:
      break;
  }
  Put(item, u"RECURRENCE_FLAG", Variant::I4(flag));
  if (r.kind == RecurKind::kYearly || r.kind == RecurKind::kYearlyWeekday) {
    std::optional<DATE> every;
    if (r.month > 0) {
      auto sp = start ? SplitDate(*start) : std::nullopt;
      every = MakeDate(sp ? sp->year : 2000, r.month, r.monthDay > 0 ? r.monthDay : 1);
    }
    if (!every) every = start;
    Put(item, u"RECURRENCE_EVERY_DATE", every ? Variant::Date(*every) : Variant());
  }
  switch (r.end) {
    case Recurrence::End::kUntil:
      Put(item, u"RECURRENCE_EXPIRE_TYPE", Variant::I4(0));
      Put(item, u"RECURRENCE_EXPIRE_DATE", Variant::Date(r.until.value_or(0)));
      break;
    case Recurrence::End::kCount:
      Put(item, u"RECURRENCE_EXPIRE_TYPE", Variant::I4(1));
      Put(item, u"RECURRENCE_EXPIRE_VALUE", Variant::I4(r.count));
      break;
    case Recurrence::End::kNone:
      Put(item, u"RECURRENCE_EXPIRE_TYPE", Variant::I4(2));
      break;
  }
}

}  // namespace qwbhost
