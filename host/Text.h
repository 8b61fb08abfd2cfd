// Text and date helpers of the CLI: UTF-8/UTF-16 conversions and the date forms the options
// and the outputs use. Dates are OLE dates (DATE), as the component's columns hold them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wincompat/wintypes.h"

namespace qwbhost {

std::string Utf8(std::u16string_view s);
std::u16string Utf16(std::string_view s);

struct DateTimeParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int dayOfWeek = 0;  // 0 Sunday
};

// Calendar parts of an OLE date (through VariantTimeToSystemTime); nullopt when invalid.
std::optional<DateTimeParts> SplitDate(DATE d);
// An OLE date from calendar parts; nullopt for an invalid date.
std::optional<DATE> MakeDate(int year, int month, int day, int hour = 0, int minute = 0,
                             int second = 0);

// "YYYY-MM-DD" -> midnight of that day. nullopt when malformed or invalid.
std::optional<DATE> ParseDay(std::string_view text);
// "YYYY-MM-DD HH:MM" (a 'T' may stand for the space) -> that minute.
std::optional<DATE> ParseMinute(std::string_view text);

// "YYYY-MM-DD"; "YYYY-MM-DD HH:MM"; "YYYY-MM-DDTHH:MM:SS".
std::string FormatDay(DATE d);
std::string FormatMinute(DATE d);
std::string FormatIso(DATE d);

// Standard base64 (RFC 4648) with padding.
std::string Base64(const std::vector<uint8_t>& data);
// Decodes base64; blanks and line breaks are skipped and padding may be left off. nullopt
// for any other character or a length that cannot be base64.
std::optional<std::vector<uint8_t>> FromBase64(std::string_view text);

// Lower-case ASCII copy, for option values that ignore case.
std::string Lower(std::string_view s);

}  // namespace qwbhost
