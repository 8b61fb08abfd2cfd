// A JSON array written element by element, in the very layout of the whole array dumped with
// an indent of 2: a listing of any length takes flat memory.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

namespace qwbhost {

class JsonArrayStream {
 public:
  explicit JsonArrayStream(std::ostream& out) : out_(out) {}

  void Add(const nlohmann::json& element) {
    text_ = element.dump(2);
    out_ << (count_++ ? ",\n  " : "[\n  ");
    size_t from = 0;
    for (size_t nl; (nl = text_.find('\n', from)) != std::string::npos; from = nl + 1)
      out_.write(text_.data() + from, static_cast<std::streamsize>(nl + 1 - from)) << "  ";
    out_.write(text_.data() + from, static_cast<std::streamsize>(text_.size() - from));
  }
  // Closes the array: "]" on a line of its own, or "[]" when nothing was added.
  void Finish() { out_ << (count_ ? "\n]\n" : "[]\n"); }

 private:
  std::ostream& out_;
  std::string text_;
  size_t count_ = 0;
};

}  // namespace qwbhost
