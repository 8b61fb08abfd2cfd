#include "platform/util/Utf.h"

namespace utf {

namespace {

// Length of the maximal valid prefix of a sequence starting at in[i] (1..4), and the code
// point when the whole sequence is valid; `ok` false when it is not.
size_t DecodeOne(std::string_view in, size_t i, char32_t* cp, bool* ok) {
  const auto b0 = static_cast<unsigned char>(in[i]);
  *ok = false;
  if (b0 < 0x80) {
    *cp = b0;
    *ok = true;
    return 1;
  }
  int need;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t c;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    c = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // overlong
    if (b0 == 0xED) hi = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    c = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;  // overlong
    if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 1;
  }
  size_t n = 1;
  for (int k = 0; k < need; ++k) {
    if (i + n >= in.size()) return n;
    const auto b = static_cast<unsigned char>(in[i + n]);
    if (b < lo || b > hi) return n;
    lo = 0x80;
    hi = 0xBF;
    c = (c << 6) | (b & 0x3F);
    ++n;
  }
  *cp = c;
  *ok = true;
  return n;
}

}  // namespace

bool Utf8ToUtf16(std::string_view in, std::u16string* out, bool strict) {
  out->clear();
  out->reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    char32_t cp = 0;
    bool ok;
    const size_t n = DecodeOne(in, i, &cp, &ok);
    i += n;
    if (!ok) {
      if (strict) return false;
      out->push_back(u'\uFFFD');
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
  }
  return true;
}

bool Utf16ToUtf8(std::u16string_view in, std::string* out, bool strict) {
  out->clear();
  out->reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
        ++i;
      } else {
        if (strict) return false;
        c = 0xFFFD;
      }
    }
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (c >> 6)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (c >> 12)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (c >> 18)));
      out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

}  // namespace utf
