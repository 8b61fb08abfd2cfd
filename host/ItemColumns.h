// Reading and writing an item's columns by name, as every command of the CLI does: only
// GetOrdinal, GetValue and SetValue of the public interface.
#pragma once

#include <optional>
#include <string>

#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"

namespace qwbhost {

// The ordinal of a column by name; false when the item has no such column.
bool Ordinal(IItem* item, const char16_t* name, ULONG* ordinal);
// The column's value (VT_EMPTY when the item has no such column).
Variant Value(IItem* item, const char16_t* name);
// A BSTR column as UTF-8 ("" for any other type).
std::string Text(IItem* item, const char16_t* name);
// A VT_DATE column.
std::optional<DATE> Date(IItem* item, const char16_t* name);
// A column converted to VT_I4; nullopt when empty, null or not convertible.
std::optional<LONG> Integer(IItem* item, const char16_t* name);
// Sets a column; a missing column or a failing SetValue throws HostError.
void Put(IItem* item, const char16_t* name, const Variant& v);
void PutText(IItem* item, const char16_t* name, const std::string& s);

}  // namespace qwbhost
