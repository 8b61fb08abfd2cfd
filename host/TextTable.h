// Tables of text for the terminal, aligned by display width: East Asian wide and full-width
// characters take two columns, combining marks and other zero-width characters none. Every
// listing command prints through TextTable, so all of them line up the same way.
//
//   TextTable t({"ID", "SUBJECT", "DUE"});
//   t.SetMaxWidth(1, 40);            // longer cells are cut at a character boundary
//   t.AddRow({"3", "회의 자료 준비", "2008-11-07"});
//   std::cout << t.str();
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace qwbhost {

// Columns the UTF-8 text takes in a terminal (invalid bytes count one column each).
size_t DisplayWidth(std::string_view utf8);

// The longest prefix of `utf8` that fits in `columns`, never splitting a character from the
// combining marks that follow it.
std::string CutToWidth(std::string_view utf8, size_t columns);

class TextTable {
 public:
  enum class Align { kLeft, kRight };

  explicit TextTable(std::vector<std::string> headers);

  // Cells of column `column` longer than `columns` are cut to fit.
  void SetMaxWidth(size_t column, size_t columns);
  void SetAlign(size_t column, Align align);
  // A row with fewer cells than headers is padded with empty cells; extra cells are dropped.
  // Line breaks and tabs inside a cell become spaces.
  void AddRow(std::vector<std::string> cells);
  size_t rows() const { return rows_.size(); }  // rows held (not yet streamed out)

  // Header and rows, columns two spaces apart, no trailing spaces, each line ended by '\n'.
  std::string str() const;

  // Writes the table as its rows come, so that a listing of any length takes flat memory:
  // the first `page` rows are held to measure the columns, then the header, they and every
  // later row go to `out` at once in those widths. A later cell wider than its column makes
  // its line longer (nothing is cut but by SetMaxWidth). Finish writes what is still held;
  // a table of at most `page` rows comes out exactly as str() draws it.
  static constexpr size_t kStreamPage = 200;
  void StreamTo(std::ostream& out, size_t page = kStreamPage);
  void Finish();

 private:
  std::vector<size_t> Measure() const;  // the widest cell of each column among those held
  void Print(std::string& out, const std::vector<std::string>& row,
             const std::vector<size_t>& widths) const;
  void WriteHeld();

  std::ostream* stream_ = nullptr;
  size_t page_ = 0;
  std::vector<size_t> streamWidths_;  // fixed once the first page is written
  std::vector<std::string> headers_;
  std::vector<size_t> maxWidth_;
  std::vector<Align> align_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace qwbhost
