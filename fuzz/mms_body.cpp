// Fuzzes the reader of multimedia message bodies (what the phone holds as the body, and the
// ".mms" files a user hands the CLI): any bytes are split into parts or refused without
// touching memory outside them; the parts' bytes together never exceed the body; and parts
// whose headers the writer can carry, written again with a boundary none of them holds,
// split back into the same parts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/Check.h"
#include "link/MmsBody.h"

namespace {

using fuzzsupport::Check;

bool Contains(const std::vector<uint8_t>& data, const std::string& s) {
  return std::search(data.begin(), data.end(), s.begin(), s.end()) != data.end();
}

// A header value the writer puts between quotes or on a line of its own as it is.
bool Writable(const std::string& s) { return s.find_first_of("\r\n\";") == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> body(data, data + size);
  std::optional<std::vector<devrec::MmsPart>> parts = devrec::SplitMmsBody(body);
  if (!parts) return 0;
  size_t total = 0;
  for (const devrec::MmsPart& p : *parts) total += p.data.size() + p.name.size() + p.contentType.size();
  Check(total <= size);

  for (const devrec::MmsPart& p : *parts) {
    // A type that starts with a blank is read without it; a type with a parameter of its own
    // or a name with the quote or the parameter separator cannot be written back as it is.
    if (!Writable(p.contentType) || !Writable(p.name) ||
        p.contentType.find('=') != std::string::npos ||
        (!p.contentType.empty() && p.contentType.front() == ' ') ||
        (!p.name.empty() && p.name.front() == ' '))
      return 0;
  }
  std::string boundary = "qwb-fuzz";
  for (int i = 0;; ++i) {
    bool used = false;
    for (const devrec::MmsPart& p : *parts)
      used = used || Contains(p.data, boundary) || p.name.find(boundary) != std::string::npos ||
             p.contentType.find(boundary) != std::string::npos;
    if (!used) break;
    boundary = "qwb-fuzz-" + std::to_string(i);
  }
  std::optional<std::vector<devrec::MmsPart>> again =
      devrec::SplitMmsBody(devrec::EncodeMmsBody(*parts, boundary));
  Check(again.has_value() && *again == *parts);
  return 0;
}
