#include "link/MmsBody.h"

#include <algorithm>
#include <string_view>

namespace devrec {
namespace {

void Append(std::vector<uint8_t>* out, std::string_view s) { out->insert(out->end(), s.begin(), s.end()); }

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The value of `param` (name="value" or name=value) in a header value; "" when absent.
std::string Param(const std::string& header, const std::string& param) {
  std::string lower = Lower(header);
  size_t at = 0;
  while ((at = lower.find(param + "=", at)) != std::string::npos) {
    if (at == 0 || lower[at - 1] == ';' || lower[at - 1] == ' ') break;
    at += param.size();
  }
  if (at == std::string::npos) return "";
  size_t start = at + param.size() + 1;
  if (start < header.size() && header[start] == '"') {
    size_t end = header.find('"', start + 1);
    return end == std::string::npos ? "" : header.substr(start + 1, end - start - 1);
  }
  size_t end = header.find(';', start);
  std::string v = header.substr(start, end == std::string::npos ? std::string::npos : end - start);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\r')) v.pop_back();
  return v;
}

}  // namespace

std::vector<uint8_t> EncodeMmsBody(const std::vector<MmsPart>& parts, const std::string& boundary) {
  std::vector<uint8_t> out;
  Append(&out, "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"" + boundary +
                   "\"; type=\"application/smil\"\r\n\r\n");
  for (const MmsPart& p : parts) {
    Append(&out, "--" + boundary + "\r\nContent-Type: " + p.contentType + "; name=\"" + p.name +
                     "\"\r\nContent-Location: " + p.name +
                     "\r\nContent-Transfer-Encoding: binary\r\n\r\n");
    out.insert(out.end(), p.data.begin(), p.data.end());
    Append(&out, "\r\n");
  }
  Append(&out, "--" + boundary + "--\r\n");
  return out;
}

std::optional<std::vector<MmsPart>> SplitMmsBody(const std::vector<uint8_t>& body) {
  const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
  size_t headersEnd = text.find("\r\n\r\n");
  if (headersEnd == std::string_view::npos) return std::nullopt;
  std::string headers(text.substr(0, headersEnd));
  if (Lower(headers).find("multipart/") == std::string::npos) return std::nullopt;
  const std::string boundary = Param(headers, "boundary");
  if (boundary.empty()) return std::nullopt;
  const std::string delimiter = "--" + boundary;
  std::vector<MmsPart> parts;
  size_t at = text.find(delimiter, headersEnd);
  while (at != std::string_view::npos) {
    size_t after = at + delimiter.size();
    if (text.substr(after, 2) == "--") return parts;  // the closing delimiter
    size_t partStart = text.find("\r\n", after);
    if (partStart == std::string_view::npos) return std::nullopt;
    partStart += 2;
    size_t partHeadersEnd = text.find("\r\n\r\n", partStart);
    if (partHeadersEnd == std::string_view::npos) return std::nullopt;
    size_t next = text.find("\r\n" + delimiter, partHeadersEnd + 4);
    if (next == std::string_view::npos) return std::nullopt;
    MmsPart p;
    std::string partHeaders(text.substr(partStart, partHeadersEnd - partStart));
    size_t line = 0;
    while (line < partHeaders.size()) {
      size_t end = partHeaders.find("\r\n", line);
      if (end == std::string::npos) end = partHeaders.size();
      std::string h = partHeaders.substr(line, end - line);
      std::string lower = Lower(h);
      if (lower.rfind("content-type:", 0) == 0) {
        std::string v = h.substr(13);
        v.erase(0, v.find_first_not_of(' '));
        p.contentType = v.substr(0, v.find(';'));
        std::string name = Param(v, "name");
        if (!name.empty()) p.name = name;
      } else if (lower.rfind("content-location:", 0) == 0 && p.name.empty()) {
        std::string v = h.substr(17);
        v.erase(0, v.find_first_not_of(' '));
        p.name = v;
      }
      line = end + 2;
    }
    const size_t dataStart = partHeadersEnd + 4;
    p.data.assign(body.begin() + static_cast<long>(dataStart), body.begin() + static_cast<long>(next));
    parts.push_back(std::move(p));
    at = next + 2;
  }
  return std::nullopt;
}

}  // namespace devrec
