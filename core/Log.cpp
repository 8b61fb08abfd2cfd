#include "core/Log.h"

#include "platform/util/Utf.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "wincompat/testhooks.h"
#include "wincompat/winbase.h"

namespace qwb {
namespace {

constexpr size_t kLogBuffer = 1024;  // wide characters, terminator included

void WriteDebug(const std::string& utf8) {
  std::u16string w = FromUtf8(utf8);
  OutputDebugStringW(w.c_str());
}

// Cuts a UTF-8 message to at most `units` UTF-16 code units without splitting a character.
std::u16string CutToUnits(const std::string& msg, size_t units) {
  std::u16string w = FromUtf8(msg);
  if (w.size() > units) {
    w.resize(units);
    if (!w.empty() && w.back() >= 0xD800 && w.back() <= 0xDBFF) w.pop_back();
  }
  return w;
}

// printf-style formatting; a format the C library refuses throws.
std::string FormatV(const char* format, va_list ap) {
  va_list ap2;
  va_copy(ap2, ap);
  const int n = std::vsnprintf(nullptr, 0, format, ap);
  std::string msg;
  if (n > 0) {
    msg.assign(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(msg.data(), msg.size(), format, ap2);
    msg.resize(static_cast<size_t>(n));
  }
  va_end(ap2);
  if (n < 0) throw std::runtime_error("unformattable log message");
  return msg;
}

}  // namespace

std::string ToUtf8(std::u16string_view s) { return utf::Narrow(s); }

std::u16string FromUtf8(std::string_view s) { return utf::Widen(s); }

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
    if (x != y) return false;
  }
  return true;
}

void WMLog(const char* format, ...) {
  if (!wincompat::DebugOutputWanted()) return;  // no formatting for a line no one reads
  va_list ap;
  va_start(ap, format);
  try {
    std::u16string w = CutToUnits(FormatV(format, ap), kLogBuffer - 1);
    if (!w.empty()) {
      std::u16string line = u"[QWBDCAWM]" + w;
      if (line.back() != u'\n') line.push_back(u'\n');
      OutputDebugStringW(line.c_str());
    }
  } catch (...) {
    try {
      WriteDebug(std::string("[QWBDCAWM]LOGERROR::") + (format ? format : ""));
    } catch (...) {
    }
  }
  va_end(ap);
}

bool WMDebugWanted() { return wincompat::DebugOutputWanted(); }

void WMDebug(const char* format, ...) {
  if (!wincompat::DebugOutputWanted()) return;
  va_list ap;
  va_start(ap, format);
  try {
    const std::string msg = FormatV(format, ap);
    if (!msg.empty()) WriteDebug(msg);
  } catch (...) {
  }
  va_end(ap);
}

}  // namespace qwb
