#include <gtest/gtest.h>

#include <string>

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
