// The content-line text that iCalendar (RFC 5545) and vCard (RFC 6350) share: NAME;PARAM=...:value
// lines ended by CRLF and folded at 75 octets. Every export writes through this one writer so
// that escaping and multi-valued properties come out the same everywhere:
//   - a multi-valued property is ONE line with its values separated by commas (CATEGORIES,
//     NICKNAME, TYPE=work,voice), each value escaped on its own, because several readers
//     drop an item with the property repeated;
//   - a structured value (N, ADR) separates its components with semicolons, and a component
//     holding several values separates them with commas.
//
//   ContentLines out;
//   out.Begin("VTODO").Text("SUMMARY", "Pay rent, now").List("CATEGORIES", {"Home", "Money"});
//   out.Raw("DUE", "20081110", {{"VALUE", {"DATE"}}}).End("VTODO");
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace qwbhost {

struct ContentParam {
  std::string name;
  std::vector<std::string> values;  // written comma-separated, each quoted when it must be
};
using ContentParams = std::vector<ContentParam>;

// A TEXT value escaped: backslash, semicolon and comma take a backslash, a line break is \n
// (CR LF and a lone CR count as one break).
std::string EscapeText(std::string_view text);
// The values of a multi-valued TEXT property: each escaped, joined by commas. Empty values
// are left out.
std::string TextList(const std::vector<std::string>& values);
// A structured value: components joined by semicolons, the values of each joined by commas.
std::string Structured(const std::vector<std::vector<std::string>>& components);
// A parameter value: double-quoted when it holds ':', ';' or ','; DQUOTE and line breaks are
// written as ^' and ^n, a caret as ^^ (RFC 6868).
std::string ParamValue(std::string_view value);

// "YYYYMMDDTHHMMSSZ" of an instant (DTSTAMP, TRIGGER, vCard REV).
std::string UtcDateTimeValue(std::time_t when);

// Splits the phone's category text ("Personal, Family"; commas or semicolons) into
// categories, trimmed, empty ones dropped.
std::vector<std::string> SplitCategories(std::string_view text);

class ContentLines {
 public:
  ContentLines& Begin(std::string_view component) { return Raw("BEGIN", component); }
  ContentLines& End(std::string_view component) { return Raw("END", component); }
  // A value already in its syntax (dates, numbers, RRULE, a URI, a prepared list); a line
  // break in it is dropped.
  ContentLines& Raw(std::string_view name, std::string_view value,
                    const ContentParams& params = {});
  // A TEXT value, escaped.
  ContentLines& Text(std::string_view name, std::string_view text,
                     const ContentParams& params = {});
  // One multi-valued TEXT property; nothing is written when no value is left.
  ContentLines& List(std::string_view name, const std::vector<std::string>& values,
                     const ContentParams& params = {});

  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

// Folds one unfolded line (without its CRLF) at 75 octets, never inside a UTF-8 sequence,
// and appends it with CRLF to `out`.
void AppendFolded(std::string& out, std::string_view line);

}  // namespace qwbhost
