#include "host/ContentLines.h"

#include <algorithm>
#include <cstdio>

namespace qwbhost {

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '\\':
      case ';':
      case ',':
        out += '\\';
        out += c;
        break;
      case '\r':
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += "\\n";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string TextList(const std::vector<std::string>& values) {
  std::string out;
  for (const std::string& v : values) {
    if (v.empty()) continue;
    if (!out.empty()) out += ',';
    out += EscapeText(v);
  }
  return out;
}

std::string Structured(const std::vector<std::vector<std::string>>& components) {
  std::string out;
  for (size_t i = 0; i < components.size(); ++i) {
    if (i) out += ';';
    out += TextList(components[i]);
  }
  return out;
}

std::string ParamValue(std::string_view value) {
  std::string out;
  bool quote = false;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == ':' || c == ';' || c == ',') quote = true;
    if (c == '^') {
      out += "^^";
    } else if (c == '"') {
      out += "^'";
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
      out += "^n";
    } else {
      out += c;
    }
  }
  return quote ? "\"" + out + "\"" : out;
}

std::string UtcDateTimeValue(std::time_t when) {
  std::tm tm{};
  gmtime_r(&when, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::vector<std::string> SplitCategories(std::string_view text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(",;", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(start, end - start);
    size_t b = part.find_first_not_of(" \t");
    size_t e = part.find_last_not_of(" \t");
    if (b != std::string_view::npos) out.emplace_back(part.substr(b, e - b + 1));
    start = end + 1;
  }
  return out;
}

void AppendFolded(std::string& out, std::string_view line) {
  size_t octets = 0;  // on the current physical line, its leading space included
  for (size_t i = 0; i < line.size();) {
    size_t len = 1;
    auto lead = static_cast<unsigned char>(line[i]);
    if (lead >= 0xF0) {
      len = 4;
    } else if (lead >= 0xE0) {
      len = 3;
    } else if (lead >= 0xC0) {
      len = 2;
    }
    len = std::min(len, line.size() - i);
    if (octets + len > 75) {
      out += "\r\n ";
      octets = 1;
    }
    out.append(line.substr(i, len));
    octets += len;
    i += len;
  }
  out += "\r\n";
}

ContentLines& ContentLines::Raw(std::string_view name, std::string_view value,
                                const ContentParams& params) {
  std::string line(name);
  for (const ContentParam& p : params) {
    line += ';';
    line += p.name;
    line += '=';
    for (size_t i = 0; i < p.values.size(); ++i) {
      if (i) line += ',';
      line += ParamValue(p.values[i]);
    }
  }
  line += ':';
  // A value in its own syntax has no escape for a line break (a URI, a date): one that
  // carries a break anyway loses it rather than ending the line early.
  for (char c : value)
    if (c != '\r' && c != '\n') line += c;
  AppendFolded(text_, line);
  return *this;
}

ContentLines& ContentLines::Text(std::string_view name, std::string_view text,
                                 const ContentParams& params) {
  return Raw(name, EscapeText(text), params);
}

ContentLines& ContentLines::List(std::string_view name, const std::vector<std::string>& values,
                                 const ContentParams& params) {
  std::string value = TextList(values);
  if (value.empty()) return *this;
  return Raw(name, value, params);
}

}  // namespace qwbhost
