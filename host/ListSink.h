// Where every listing command writes its records: with --json a JSON array, else a table (or
// the command's own lines), each record written as it arrives so that a listing of any length
// takes flat memory.
//
//   ListSink sink(out, json, TasksLayout());
//   ForEachItem(table, "tasks", [&](IItem* item, ULONG, ULONG) {
//     const TaskRecord t = ReadTask(item);
//     sink.Add([&] { return TaskJson(t); }, [&] { return TaskCells(t); });
//   });
//   sink.Finish();
//
// Only the form asked for is built: Add calls the element maker with --json, the row maker
// otherwise. A row is the record's cells (a std::vector<std::string>) for a table, or one
// whole line (a std::string, its '\n' included) for a listing with a layout of its own.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/JsonStream.h"
#include "host/TextTable.h"

namespace qwbhost {

class ListSink {
 public:
  // Rows go into `table` (its headers, widths and alignment), streamed (TextTable::StreamTo).
  ListSink(std::ostream& out, bool json, TextTable table) : out_(out), json_(json), array_(out) {
    if (!json_) {
      table_.emplace(std::move(table));
      table_->StreamTo(out_);
    }
  }
  // Rows are whole lines, written after `header` (which may be empty).
  ListSink(std::ostream& out, bool json, std::string_view header)
      : out_(out), json_(json), array_(out) {
    if (!json_) out_ << header;
  }
  ListSink(const ListSink&) = delete;
  ListSink& operator=(const ListSink&) = delete;

  bool json() const { return json_; }

  template <class MakeElement, class MakeRow>
  void Add(MakeElement&& element, MakeRow&& row) {
    if (json_) {
      array_.Add(element());
      return;
    }
    using Row = std::decay_t<decltype(row())>;
    if constexpr (std::is_same_v<Row, std::string>) {
      out_ << row();
    } else {
      static_assert(std::is_same_v<Row, std::vector<std::string>>,
                    "a row is a line or a table's cells");
      if (table_) table_->AddRow(row());
    }
  }

  // Closes the array, or writes the rows the table still holds.
  void Finish() {
    if (json_)
      array_.Finish();
    else if (table_)
      table_->Finish();
  }

 private:
  std::ostream& out_;
  bool json_;
  JsonArrayStream array_;
  std::optional<TextTable> table_;
};

}  // namespace qwbhost
