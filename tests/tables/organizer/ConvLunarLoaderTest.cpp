// The calendar table's loader of the lunar library, with the real library beside the test,
// with no library by that name, and with a library that lacks a required entry point.
#include "tables/organizer/ConvLunar.h"

#include <gtest/gtest.h>

#include "wincompat/winbase.h"

namespace qwb {
namespace {

TEST(ConvLunarLoader, WithTheLibrary) {
  CConvLunar lunar;  // the table's own name, "ConvLunar.dll"
  ASSERT_TRUE(lunar.IsLoaded());
  EXPECT_NE(GetModuleHandleW(u"ConvLunar.dll"), nullptr);
  EXPECT_TRUE(lunar.IsLeapMonth(2020, 5, 23));   // leap 4th month, day 1
  EXPECT_TRUE(lunar.IsLeapMonth(2023, 4, 19));   // leap 2nd month, day 29
  EXPECT_FALSE(lunar.IsLeapMonth(2020, 5, 22));  // 4th month, day 30
  EXPECT_FALSE(lunar.IsLeapMonth(2023, 4, 20));
  EXPECT_FALSE(lunar.IsLeapMonth(2025, 2, 30));  // no such solar date
  EXPECT_FALSE(lunar.IsLeapMonth(1850, 1, 1));   // outside the library's years
}

TEST(ConvLunarLoader, AbsentOrIncompleteLibraryAnswersNotLeap) {
  for (const char16_t* name : {u"ConvLunarMissing.dll", u"ConvLunarPartial.dll"}) {
    CConvLunar lunar(name);
    EXPECT_FALSE(lunar.IsLoaded());
    EXPECT_FALSE(lunar.IsLeapMonth(2020, 5, 23));
  }
  // The incomplete library was unloaded again, not left mapped.
  EXPECT_EQ(GetModuleHandleW(u"ConvLunarPartial.dll"), nullptr);
}

}  // namespace
}  // namespace qwb
