// Text laid out for a terminal: widths in columns (East Asian wide characters and emoji take
// two), cutting to a width, and a table of left-aligned columns two spaces apart.
#pragma once

#include <string>
#include <vector>

namespace qwbhost {

// Columns the UTF-8 text takes in a terminal.
size_t Width(const std::string& s);
// The longest prefix of the UTF-8 text that fits in `width` columns.
std::string Cut(const std::string& s, size_t width);
// The rows (the first is the header) as lines of padded columns; no trailing spaces.
std::string TextTable(const std::vector<std::vector<std::string>>& rows);

}  // namespace qwbhost
