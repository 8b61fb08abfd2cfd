#include "core/Log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <stdexcept>

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

}  // namespace

std::string ToUtf8(std::u16string_view s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

std::u16string FromUtf8(std::string_view s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::u16string out(n > 0 ? static_cast<size_t>(n) : 0, u'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

void WMLog(const char* format, ...) {
  try {
    va_list ap;
    va_start(ap, format);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    std::string msg;
    if (n >= 0) {
      msg.assign(static_cast<size_t>(n) + 1, '\0');
      std::vsnprintf(msg.data(), msg.size(), format, ap2);
      msg.resize(static_cast<size_t>(n));
    }
    va_end(ap2);
    if (n < 0) throw std::runtime_error("unformattable log message");
    std::u16string w = CutToUnits(msg, kLogBuffer - 1);
    if (w.empty()) return;
    std::u16string line = u"[QWBDCAWM]" + w;
    if (line.back() != u'\n') line.push_back(u'\n');
    OutputDebugStringW(line.c_str());
  } catch (...) {
    try {
      WriteDebug(std::string("[QWBDCAWM]LOGERROR::") + (format ? format : ""));
    } catch (...) {
    }
  }
}

void WMDebug(const char* format, ...) {
  try {
    va_list ap;
    va_start(ap, format);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    if (n <= 0) {
      va_end(ap2);
      return;
    }
    std::string msg(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(msg.data(), msg.size(), format, ap2);
    va_end(ap2);
    msg.resize(static_cast<size_t>(n));
    WriteDebug(msg);
  } catch (...) {
  }
}

}  // namespace qwb
