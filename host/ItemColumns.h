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
// Empty text as VT_NULL, which the table stores as no value.
void PutTextOrNull(IItem* item, const char16_t* name, const std::string& s);

// Numbered columns ("TEL_NUM_0", "TEL_NUM_1", ...): the name, and text read and written.
std::u16string IndexedColumn(const char* prefix, size_t n);
std::string TextAt(IItem* item, const char* prefix, size_t n);
void PutTextOrNullAt(IItem* item, const char* prefix, size_t n, const std::string& s);
// How many numbered entries a count column announces, at most `most` (none when absent).
size_t CountOf(IItem* item, const char16_t* countColumn, size_t most);

// Text columns bound to a record's fields, read and written as one list.
template <class R>
struct TextField {
  const char16_t* column;
  std::string R::*field;
};
template <class R, size_t N>
void ReadTextFields(IItem* item, R& record, const TextField<R> (&fields)[N]) {
  for (const TextField<R>& f : fields) record.*f.field = Text(item, f.column);
}
template <class R, size_t N>
void PutTextFields(IItem* item, const R& record, const TextField<R> (&fields)[N]) {
  for (const TextField<R>& f : fields) PutTextOrNull(item, f.column, record.*f.field);
}

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
