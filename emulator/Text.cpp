#include "emulator/Text.h"

#include "platform/util/Utf.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace wmemu {

std::string Utf8(std::u16string_view s) { return utf::Narrow(s); }

std::u16string Utf16(std::string_view s) { return utf::Widen(s); }

namespace {

char16_t FoldUnit(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
  return f <= 0xFFFF ? static_cast<char16_t>(f) : c;
}

}  // namespace

std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = FoldUnit(c);
  return out;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && FoldUnit(a[i]) != FoldUnit(b[i])) return false;
  return true;
}

std::vector<std::u16string> SplitPath(std::u16string_view path, std::u16string_view separators) {
  std::vector<std::u16string> parts;
  std::u16string cur;
  for (char16_t c : path) {
    if (separators.find(c) != std::u16string_view::npos) {
      if (!cur.empty()) parts.push_back(std::move(cur));
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(std::move(cur));
  return parts;
}

}  // namespace wmemu
