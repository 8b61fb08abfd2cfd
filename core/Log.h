// The component's diagnostic output. Formats are narrow printf formats in which %s takes
// UTF-8 text; lines go to the debugger output (OutputDebugStringW).
#pragma once

#include <string>
#include <string_view>

namespace qwb {

// The log function: formats the message (at most 1023 characters; a longer one is cut) and,
// unless it is empty, writes "[QWBDCAWM]<message>" with a line feed appended when the
// message does not already end with one. Never fails; on an internal failure it writes
// "[QWBDCAWM]LOGERROR::<format>" instead.
void WMLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A debug line: formatted and written as is, with no tag and no line feed added. The
// formats start with "[%s]" filled with the method's name.
void WMDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Whether a debug line goes anywhere, for a caller whose arguments cost something to make.
bool WMDebugWanted();

// UTF-8 <-> UTF-16 helpers for log arguments and the like (invalid input is replaced).
std::string ToUtf8(std::u16string_view s);
std::u16string FromUtf8(std::string_view s);

// ASCII case-insensitive equality, as the phone's and the profile's names are compared.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace qwb
