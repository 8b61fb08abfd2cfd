// Reading and writing an item's columns by name, as every command does: GetOrdinal, then
// GetValue or SetValue. Failures of the calls throw HostError.
#pragma once

#include <optional>
#include <string>

#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"

namespace qwbhost {

// The ordinal of a column by name; false when the item has no such column.
bool ItemOrdinal(IItem* item, const char16_t* name, ULONG* ordinal);
// The value of a column (VT_EMPTY when the item has no such column).
Variant ItemValue(IItem* item, const char16_t* name);
// A text column as UTF-8 ("" when empty or of another type).
std::string ItemText(IItem* item, const char16_t* name);
std::optional<DATE> ItemDate(IItem* item, const char16_t* name);
// An integer column, converted to VT_I4; nullopt when empty or not a number.
std::optional<LONG> ItemInteger(IItem* item, const char16_t* name);
// Writes a column; an unknown column throws.
void ItemPut(IItem* item, const char16_t* name, const Variant& v);
void ItemPutText(IItem* item, const char16_t* name, const std::string& s);

}  // namespace qwbhost
