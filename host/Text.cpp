#include "host/Text.h"

#include "platform/util/CivilDate.h"
#include "platform/util/Utf.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "wincompat/com.h"
#include "wincompat/winbase.h"

namespace qwbhost {

// Invalid input becomes U+FFFD.
std::string Utf8(std::u16string_view s) { return utf::Narrow(s); }

std::u16string Utf16(std::string_view s) { return utf::Widen(s); }

std::optional<DateTimeParts> SplitDate(DATE d) {
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(d, &st)) return std::nullopt;
  return DateTimeParts{st.wYear,   st.wMonth,  st.wDay,      st.wHour,
                       st.wMinute, st.wSecond, st.wDayOfWeek};
}

std::optional<DATE> MakeDate(int year, int month, int day, int hour, int minute, int second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59)
    return std::nullopt;
  if (day > static_cast<int>(civil::DaysInMonth(year, static_cast<unsigned>(month))))
    return std::nullopt;
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  DOUBLE out = 0;
  if (!SystemTimeToVariantTime(&st, &out)) return std::nullopt;
  return out;
}

namespace {

bool Number(std::string_view s, size_t pos, size_t len, int* out) {
  if (pos + len > s.size()) return false;
  for (size_t i = pos; i < pos + len; ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return std::from_chars(s.data() + pos, s.data() + pos + len, *out).ec == std::errc();
}

}  // namespace

std::optional<DATE> ParseDay(std::string_view t) {
  int y, m, d;
  if (t.size() != 10 || t[4] != '-' || t[7] != '-' || !Number(t, 0, 4, &y) ||
      !Number(t, 5, 2, &m) || !Number(t, 8, 2, &d))
    return std::nullopt;
  return MakeDate(y, m, d);
}

std::optional<DATE> ParseMinute(std::string_view t) {
  int y, mo, d, h, mi;
  if (t.size() != 16 || t[4] != '-' || t[7] != '-' || (t[10] != ' ' && t[10] != 'T') ||
      t[13] != ':' || !Number(t, 0, 4, &y) || !Number(t, 5, 2, &mo) || !Number(t, 8, 2, &d) ||
      !Number(t, 11, 2, &h) || !Number(t, 14, 2, &mi))
    return std::nullopt;
  return MakeDate(y, mo, d, h, mi);
}

std::string FormatDay(DATE d) {
  auto p = SplitDate(d);
  if (!p) return "?";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p->year, p->month, p->day);
  return buf;
}

std::string FormatMinute(DATE d) {
  auto p = SplitDate(d);
  if (!p) return "?";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", p->year, p->month, p->day, p->hour,
                p->minute);
  return buf;
}

std::string FormatIso(DATE d) {
  auto p = SplitDate(d);
  if (!p) return "?";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p->year, p->month, p->day,
                p->hour, p->minute, p->second);
  return buf;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Base64(const std::vector<uint8_t>& data) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t v = uint32_t(data[i]) << 16;
    if (i + 1 < data.size()) v |= uint32_t(data[i + 1]) << 8;
    if (i + 2 < data.size()) v |= data[i + 2];
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += i + 1 < data.size() ? kAlphabet[v >> 6 & 63] : '=';
    out += i + 2 < data.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::optional<std::vector<uint8_t>> FromBase64(std::string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  uint32_t bits = 0;
  int count = 0, padding = 0;
  for (char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z') {
      v = c - 'A';
    } else if (c >= 'a' && c <= 'z') {
      v = c - 'a' + 26;
    } else if (c >= '0' && c <= '9') {
      v = c - '0' + 52;
    } else if (c == '+') {
      v = 62;
    } else if (c == '/') {
      v = 63;
    } else if (c == '=') {
      ++padding;
      continue;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      continue;
    } else {
      return std::nullopt;
    }
    if (padding) return std::nullopt;  // data after the padding
    bits = bits << 6 | static_cast<uint32_t>(v);
    if (++count == 4) {
      out.push_back(static_cast<uint8_t>(bits >> 16));
      out.push_back(static_cast<uint8_t>(bits >> 8));
      out.push_back(static_cast<uint8_t>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 1 || padding > 2) return std::nullopt;
  if (count == 2) out.push_back(static_cast<uint8_t>(bits >> 4));
  if (count == 3) {
    out.push_back(static_cast<uint8_t>(bits >> 10));
    out.push_back(static_cast<uint8_t>(bits >> 2));
  }
  return out;
}

}  // namespace qwbhost
