// Reading and writing an item's columns by name, as any host does (GetOrdinal, GetValue,
// SetValue), and the recurrence the recurrence columns describe; shared by the task and
// calendar commands and exports.
#pragma once

#include <optional>
#include <string>

#include "host/TaskRecord.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"

namespace qwbhost {

// The ordinal of a column by name; false when the item has no such column.
bool Ordinal(IItem* item, const char16_t* name, ULONG* ordinal);
Variant Value(IItem* item, const char16_t* name);
// Text of a VT_BSTR column ("" otherwise), a VT_DATE column, an integer column.
std::string Text(IItem* item, const char16_t* name);
std::optional<DATE> Date(IItem* item, const char16_t* name);
std::optional<LONG> Integer(IItem* item, const char16_t* name);
void Put(IItem* item, const char16_t* name, const Variant& v);
void PutText(IItem* item, const char16_t* name, const std::string& s);

// The recurrence of the recurrence columns: monthly takes its day from the start date,
// yearly its day and month from the every-date, else the start date.
Recurrence RecurrenceOfColumns(std::optional<LONG> recurType, std::optional<LONG> recurEvery,
                               std::optional<LONG> recurFlag, std::optional<LONG> expireType,
                               std::optional<LONG> expireValue, std::optional<DATE> expireDate,
                               std::optional<DATE> everyDate, std::optional<DATE> start);

// Writes a recurrence into the recurrence columns. A non-recurring one empties every column
// but the type; a yearly one gets its every-date from its month and day (in the start's year)
// or else the start.
void PutRecurrence(IItem* item, const Recurrence& r, std::optional<DATE> start);

}  // namespace qwbhost
