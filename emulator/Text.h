// Text helpers of the emulator: UTF-8 <-> UTF-16 and the case folding the device uses to
// match file, registry and value names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wmemu {

std::string Utf8(std::u16string_view s);
std::u16string Utf16(std::string_view s);
// Simple (one unit to one unit) case folding, as device names are compared.
std::u16string Fold(std::u16string_view s);
inline std::string FoldUtf8(std::u16string_view s) { return Utf8(Fold(s)); }
bool EqualNoCase(std::u16string_view a, std::u16string_view b);
// The non-empty parts of a path between any of the `separators`.
std::vector<std::u16string> SplitPath(std::u16string_view path, std::u16string_view separators);

}  // namespace wmemu
