#include "host/TextTable.h"

#include <algorithm>

#include "host/Text.h"

namespace qwbhost {
namespace {

// Columns a code point takes in a terminal: East Asian wide and full-width forms take two.
size_t ColumnsOf(char32_t c) {
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
      (c >= 0x20000 && c <= 0x3FFFD))
    return 2;
  return 1;
}

// Walks the code points of UTF-8 text: calls f(byte offset, columns) for each.
template <class F>
void ForEachPoint(const std::string& s, F&& f) {
  std::u16string w = Utf16(s);
  size_t offset = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    char32_t c = w[i];
    size_t bytes = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
      bytes = 4;
    }
    if (!f(offset, ColumnsOf(c))) return;
    offset += bytes;
  }
}

}  // namespace

std::string CutToWidth(std::string_view utf8, size_t width) {
  const std::string s(utf8);
  size_t used = 0, end = s.size();
  ForEachPoint(s, [&](size_t offset, size_t cols) {
    if (used + cols > width) {
      end = offset;
      return false;
    }
    used += cols;
    return true;
  });
  return s.substr(0, end);
}

size_t DisplayWidth(std::string_view utf8) {
  size_t n = 0;
  ForEachPoint(std::string(utf8), [&](size_t, size_t cols) {
    n += cols;
    return true;
  });
  return n;
}

TextTable::TextTable(std::vector<std::string> headers)
    : headers_(std::move(headers)), maxWidth_(headers_.size(), 0) {}

void TextTable::SetMaxWidth(size_t column, size_t columns) {
  if (column < maxWidth_.size()) maxWidth_[column] = columns;
}

void TextTable::AddRow(std::vector<std::string> cells) {
  cells.resize(headers_.size());
  for (size_t c = 0; c < cells.size(); ++c) {
    for (char& ch : cells[c])
      if (ch == '\n' || ch == '\r' || ch == '\t') ch = ' ';
    if (maxWidth_[c]) cells[c] = CutToWidth(cells[c], maxWidth_[c]);
  }
  rows_.push_back(std::move(cells));
}

std::string TextTable::str() const {
  std::vector<size_t> widths(headers_.size(), 0);
  for (size_t c = 0; c < headers_.size(); ++c) widths[c] = DisplayWidth(headers_[c]);
  for (const auto& row : rows_)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  std::string out;
  auto line = [&](const std::vector<std::string>& row) {
    std::string l;
    for (size_t c = 0; c < row.size(); ++c) {
      l += row[c];
      if (c + 1 < row.size()) l += std::string(widths[c] - DisplayWidth(row[c]) + 2, ' ');
    }
    while (!l.empty() && l.back() == ' ') l.pop_back();
    out += l + '\n';
  };
  line(headers_);
  for (const auto& row : rows_) line(row);
  return out;
}

}  // namespace qwbhost
