// UTF-8 <-> UTF-16: the one implementation of the text conversions, used by the platform's
// MultiByteToWideChar/WideCharToMultiByte, the component, the emulator and the CLI.
#pragma once

#include <string>
#include <string_view>

namespace utf {

// UTF-8 -> UTF-16. With `strict`, the first invalid sequence fails the whole conversion
// (returns false); otherwise each maximal invalid subpart becomes U+FFFD.
bool Utf8ToUtf16(std::string_view in, std::u16string* out, bool strict);
// UTF-16 -> UTF-8; lone surrogates fail with `strict`, else become U+FFFD.
bool Utf16ToUtf8(std::u16string_view in, std::string* out, bool strict);

// The lenient forms (invalid input becomes U+FFFD).
inline std::string Narrow(std::u16string_view s) {
  std::string r;
  Utf16ToUtf8(s, &r, false);
  return r;
}
inline std::u16string Widen(std::string_view s) {
  std::u16string r;
  Utf8ToUtf16(s, &r, false);
  return r;
}

}  // namespace utf
