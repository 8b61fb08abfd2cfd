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
  size_t rows() const { return rows_.size(); }

  // Header and rows, columns two spaces apart, no trailing spaces, each line ended by '\n'.
  std::string str() const;

 private:
  std::vector<std::string> headers_;
  std::vector<size_t> maxWidth_;
  std::vector<Align> align_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace qwbhost
