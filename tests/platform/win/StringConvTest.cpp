#include <gtest/gtest.h>

#include <string>

#include "platform/util/Utf.h"
#include "wincompat/winbase.h"

namespace {

// The result of a call that must fail, followed by the last error it left.
#define EXPECT_FAILS_WITH(call, error)                    \
  do {                                                    \
    SetLastError(0);                                      \
    EXPECT_EQ(call, 0);                                   \
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(error)); \
  } while (0)

TEST(MultiByteToWideChar, SizesTerminatorAndParameterErrors) {
  const char* text = "h\xC3\xA9\xF0\x9F\x98\x80";  // h, e-acute, an emoji (surrogate pair)
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0), 5);  // -1 counts the NUL
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 7, nullptr, 0), 4);
  WCHAR buf[8] = {}, acp[8] = {};
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, buf, 8), 5);
  EXPECT_EQ(std::u16string(buf), u"h\u00E9\U0001F600");
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, acp, 8), 5);  // CP_ACP is UTF-8 too
  EXPECT_EQ(std::u16string(acp), std::u16string(buf));
  // Exactly enough room, then one short.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, buf, 5), 5);
  EXPECT_FAILS_WITH(MultiByteToWideChar(CP_UTF8, 0, text, -1, buf, 4), ERROR_INSUFFICIENT_BUFFER);

  EXPECT_FAILS_WITH(MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, buf, 4), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(MultiByteToWideChar(CP_UTF8, 0, "x", 0, buf, 4), ERROR_INVALID_PARAMETER);
}

TEST(MultiByteToWideChar, RejectsInvalidUtf8OnlyWhenAsked) {
  const std::string bad[] = {"a\x80z", "\xC0\xAF", "\xE2\x82"};  // stray, overlong, truncated
  for (const std::string& b : bad) {
    SCOPED_TRACE(b);
    EXPECT_FAILS_WITH(
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, b.data(), int(b.size()), nullptr, 0),
        ERROR_NO_UNICODE_TRANSLATION);
  }
  // Without the flag each bad sequence becomes U+FFFD.
  WCHAR buf[8] = {};
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\x80z", 3, buf, 8), 3);
  EXPECT_EQ(std::u16string(buf, 3), u"a\uFFFDz");
}

TEST(WideCharToMultiByte, SizesTerminatorAndLoneSurrogates) {
  const WCHAR text[] = u"\uD55C\uAE00 \U0001F600";  // Korean, space, emoji
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), 12);
  char buf[16] = {};
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, 16, nullptr, nullptr), 12);
  EXPECT_EQ(std::string(buf), "\xED\x95\x9C\xEA\xB8\x80 \xF0\x9F\x98\x80");
  EXPECT_FAILS_WITH(WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, 11, nullptr, nullptr),
                    ERROR_INSUFFICIENT_BUFFER);

  const WCHAR lone[] = {u'a', 0xD800, u'b'};
  EXPECT_FAILS_WITH(
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, buf, 16, nullptr, nullptr),
      ERROR_NO_UNICODE_TRANSLATION);
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 3, buf, 16, nullptr, nullptr), 5);
  EXPECT_EQ(std::string(buf, 5),
            "a\xEF\xBF\xBD"
            "b");
}

}  // namespace

namespace {

// Text is converted eight ASCII bytes at a time: runs that end inside or just after a block,
// with multi-byte and invalid sequences on either side of the block boundaries.
TEST(Utf, LongAsciiRunsAroundMultiByteAndInvalidSequences) {
  struct Case {
    const char* utf8;
    const char16_t* lenient;
    bool valid;
  };
  const Case cases[] = {
      {"abcdefgh", u"abcdefgh", true},
      {"abcdefghi", u"abcdefghi", true},
      {"abcdefg\xED\x95\x9C", u"abcdefg\uD55C", true},
      {"abcdefgh\xED\x95\x9C" "abcdefgh", u"abcdefgh\uD55Cabcdefgh", true},
      {"\xF0\x9F\x98\x80" "0123456789abcdef", u"\U0001F6000123456789abcdef", true},
      {"0123456789abcde\xC3", u"0123456789abcde\uFFFD", false},
      {"01234567\x80" "89abcdefgh", u"01234567\uFFFD89abcdefgh", false},
      {"01234567\xED\xA0\x80xyz", u"01234567\uFFFD\uFFFD\uFFFDxyz", false},  // a surrogate
  };
  for (const Case& c : cases) {
    std::u16string wide(u"stale");
    EXPECT_TRUE(utf::Utf8ToUtf16(c.utf8, &wide, false)) << c.utf8;
    EXPECT_EQ(wide, c.lenient) << c.utf8;
    EXPECT_EQ(utf::Utf8ToUtf16(c.utf8, &wide, true), c.valid) << c.utf8;
    if (!c.valid) continue;
    std::string back("stale");
    EXPECT_TRUE(utf::Utf16ToUtf8(c.lenient, &back, true));
    EXPECT_EQ(back, c.utf8);
  }
  // A lone surrogate among ASCII: U+FFFD when lenient, a failure when strict.
  std::string narrow;
  EXPECT_TRUE(utf::Utf16ToUtf8(u"0123456789\xD800z", &narrow, false));
  EXPECT_EQ(narrow, "0123456789\xEF\xBF\xBDz");
  EXPECT_FALSE(utf::Utf16ToUtf8(u"0123456789\xD800z", &narrow, true));
}

}  // namespace
