#include "platform/util/Utf.h"

#include <cstdint>
#include <cstring>

namespace utf {

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Length of the maximal valid prefix of a sequence starting at in[i] (1..4), and the code
// point when the whole sequence is valid; `ok` false when it is not.
inline size_t DecodeOne(const unsigned char* in, size_t size, size_t i, char32_t* cp, bool* ok) {
  const unsigned char b0 = in[i];
  *ok = false;
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
    if (i + n >= size) return n;
    const unsigned char b = in[i + n];
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

// Both directions write into a buffer sized for the worst case and cut it to what was
// written: runs of ASCII, the common case for record names and much of their text, go eight
// bytes at a time without a branch per character.
bool Utf8ToUtf16(std::string_view in, std::u16string* out, bool strict) {
  // At most one UTF-16 unit per UTF-8 byte (a 4-byte sequence gives two units).
  out->resize(in.size());
  char16_t* dst = out->data();
  const auto* src = reinterpret_cast<const unsigned char*>(in.data());
  const size_t size = in.size();
  size_t i = 0;
  while (i < size) {
    while (i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, src + i, 8);
      if (word & kHighBits) break;
      for (int k = 0; k < 8; ++k) dst[k] = static_cast<char16_t>(src[i + k]);
      dst += 8;
      i += 8;
    }
    if (i >= size) break;
    if (src[i] < 0x80) {
      *dst++ = static_cast<char16_t>(src[i++]);
      continue;
    }
    char32_t cp = 0;
    bool ok;
    i += DecodeOne(src, size, i, &cp, &ok);
    if (!ok) {
      if (strict) {
        out->clear();
        return false;
      }
      *dst++ = u'\uFFFD';
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      *dst++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *dst++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *dst++ = static_cast<char16_t>(cp);
    }
  }
  out->resize(static_cast<size_t>(dst - out->data()));
  return true;
}

bool Utf16ToUtf8(std::u16string_view in, std::string* out, bool strict) {
  // At most three UTF-8 bytes per UTF-16 unit (a surrogate pair's two units give four).
  out->resize(in.size() * 3);
  char* dst = out->data();
  const size_t size = in.size();
  for (size_t i = 0; i < size; ++i) {
    char32_t c = in[i];
    if (c < 0x80) {
      *dst++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < size && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
        ++i;
      } else {
        if (strict) {
          out->clear();
          return false;
        }
        c = 0xFFFD;
      }
    }
    if (c < 0x800) {
      *dst++ = static_cast<char>(0xC0 | (c >> 6));
      *dst++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *dst++ = static_cast<char>(0xE0 | (c >> 12));
      *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *dst++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *dst++ = static_cast<char>(0xF0 | (c >> 18));
      *dst++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *dst++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out->resize(static_cast<size_t>(dst - out->data()));
  return true;
}

}  // namespace utf
