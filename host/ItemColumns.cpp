#include "host/ItemColumns.h"

#include "host/HostError.h"
#include "host/Text.h"

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

}  // namespace qwbhost
