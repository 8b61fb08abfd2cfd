// The body of a multimedia message as the phone keeps it ("PR_MMS_BODY") and as the ".mms"
// files hold it: a MIME multipart/related message (RFC 2387) whose first part is the SMIL
// presentation and whose other parts are the pictures, texts and sounds, each with its
// content type, its name and its bytes carried as they are (binary transfer encoding).
// One writer (the phone's store) and one reader (the hosts that split a body into files).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devrec {

struct MmsPart {
  std::string contentType;  // "image/jpeg", "text/plain; charset=utf-8", "application/smil"
  std::string name;         // "photo.jpg"
  std::vector<uint8_t> data;
  bool operator==(const MmsPart&) const = default;
};

// The body of `parts`; `boundary` must not occur in any part's data.
std::vector<uint8_t> EncodeMmsBody(const std::vector<MmsPart>& parts, const std::string& boundary);
// The parts of a body; nullopt when it is not a multipart body this reader understands (no
// boundary, or a part without its header block or closing delimiter).
std::optional<std::vector<MmsPart>> SplitMmsBody(const std::vector<uint8_t>& body);

}  // namespace devrec
