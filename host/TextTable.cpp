#include "host/TextTable.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace qwbhost {
namespace {

int ColumnsOf(UChar32 c) {
  if (c < 0) return 1;  // an invalid byte: shown as one replacement character
  if (c == 0 || c < 0x20 || (c >= 0x7F && c < 0xA0)) return 0;
  if (c == 0xAD) return 1;  // the soft hyphen is shown where a terminal breaks the line
  int8_t category = u_charType(c);
  if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR)
    return 0;
  // Hangul vowel and final-consonant jamo join the leading consonant before them.
  int hangul = u_getIntPropertyValue(c, UCHAR_HANGUL_SYLLABLE_TYPE);
  if (hangul == U_HST_VOWEL_JAMO || hangul == U_HST_TRAILING_JAMO) return 0;
  int eaw = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
  return eaw == U_EA_WIDE || eaw == U_EA_FULLWIDTH ? 2 : 1;
}

// Calls f(start offset, end offset, columns) for each code point; stops when f returns false.
template <class F>
void ForEachPoint(std::string_view s, F&& f) {
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  const int32_t n = static_cast<int32_t>(s.size());
  int32_t i = 0;
  while (i < n) {
    int32_t start = i;
    UChar32 c;
    U8_NEXT(p, i, n, c);
    if (!f(static_cast<size_t>(start), static_cast<size_t>(i), ColumnsOf(c))) return;
  }
}

std::string Clean(std::string cell) {
  for (char& ch : cell)
    if (ch == '\n' || ch == '\r' || ch == '\t') ch = ' ';
  return cell;
}

}  // namespace

size_t DisplayWidth(std::string_view utf8) {
  size_t n = 0;
  ForEachPoint(utf8, [&](size_t, size_t, int cols) {
    n += static_cast<size_t>(cols);
    return true;
  });
  return n;
}

std::string CutToWidth(std::string_view utf8, size_t columns) {
  size_t used = 0, end = 0;
  ForEachPoint(utf8, [&](size_t, size_t stop, int cols) {
    if (used + static_cast<size_t>(cols) > columns) return false;
    used += static_cast<size_t>(cols);
    end = stop;
    return true;
  });
  return std::string(utf8.substr(0, end));
}

TextTable::TextTable(std::vector<std::string> headers)
    : headers_(std::move(headers)),
      maxWidth_(headers_.size(), 0),
      align_(headers_.size(), Align::kLeft) {}

void TextTable::SetMaxWidth(size_t column, size_t columns) {
  if (column < maxWidth_.size()) maxWidth_[column] = columns;
}

void TextTable::SetAlign(size_t column, Align align) {
  if (column < align_.size()) align_[column] = align;
}

void TextTable::AddRow(std::vector<std::string> cells) {
  cells.resize(headers_.size());
  for (size_t c = 0; c < cells.size(); ++c) {
    cells[c] = Clean(std::move(cells[c]));
    if (maxWidth_[c] && DisplayWidth(cells[c]) > maxWidth_[c])
      cells[c] = CutToWidth(cells[c], maxWidth_[c]);
  }
  rows_.push_back(std::move(cells));
  if (stream_ && (!streamWidths_.empty() || rows_.size() >= page_)) WriteHeld();
}

std::vector<size_t> TextTable::Measure() const {
  std::vector<size_t> widths(headers_.size(), 0);
  auto measure = [&](const std::vector<std::string>& row) {
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  };
  measure(headers_);
  for (const auto& row : rows_) measure(row);
  return widths;
}

void TextTable::Print(std::string& out, const std::vector<std::string>& row,
                      const std::vector<size_t>& widths) const {
  const size_t start = out.size();
  for (size_t c = 0; c < row.size(); ++c) {
    const size_t width = DisplayWidth(row[c]);
    const size_t pad = widths[c] > width ? widths[c] - width : 0;
    if (align_[c] == Align::kRight) out.append(pad, ' ');
    out += row[c];
    if (align_[c] == Align::kLeft) out.append(pad, ' ');
    if (c + 1 < row.size()) out += "  ";
  }
  while (out.size() > start && out.back() == ' ') out.pop_back();
  out += '\n';
}

std::string TextTable::str() const {
  const std::vector<size_t> widths = Measure();
  std::string out;
  Print(out, headers_, widths);
  for (const auto& row : rows_) Print(out, row, widths);
  return out;
}

void TextTable::StreamTo(std::ostream& out, size_t page) {
  stream_ = &out;
  page_ = page == 0 ? 1 : page;
  streamWidths_.clear();
}

void TextTable::WriteHeld() {
  std::string text;
  if (streamWidths_.empty()) {
    streamWidths_ = Measure();
    Print(text, headers_, streamWidths_);
  }
  for (const auto& row : rows_) Print(text, row, streamWidths_);
  rows_.clear();
  *stream_ << text;
}

void TextTable::Finish() {
  if (stream_) WriteHeld();
}

}  // namespace qwbhost
