// Bytes typed by hand for the golden tests of the RAPI2 layouts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rapitest {

using Bytes = std::vector<uint8_t>;

// "0c 00 4b ..." as bytes: spaces, line breaks and '|' only separate; "00*8" is eight zero
// bytes.
inline Bytes Hex(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == ' ' || text[i] == '\n' || text[i] == '|') {
      ++i;
      continue;
    }
    const uint8_t b = static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16));
    i += 2;
    size_t times = 1;
    if (i < text.size() && text[i] == '*') {
      size_t used = 0;
      times = std::stoul(text.substr(i + 1), &used);
      i += 1 + used;
    }
    out.insert(out.end(), times, b);
  }
  return out;
}

}  // namespace rapitest
