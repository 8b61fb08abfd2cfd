// The log function's lines as a debug-output monitor sees them: the tag, the line feed rule,
// the 1023-character message limit, and debug lines written as they are.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Log.h"
#include "tests/core/TestEnv.h"

namespace qwb {
namespace {

class LogTest : public ::testing::Test {
 protected:
  qwbtest::DebugLines debug;
  std::vector<std::string> lines;
};

TEST_F(LogTest, LinesCarryTheTagAndOneLineFeed) {
  WMLog("%s(+)", "CDataTableWMFile::ReadItem");
  WMLog("already ends\n");
  WMLog("two feeds\n\n");
  WMLog("%s", "");
  lines = debug.Take();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "[QWBDCAWM]CDataTableWMFile::ReadItem(+)\n");
  EXPECT_EQ(lines[1], "[QWBDCAWM]already ends\n");
  EXPECT_EQ(lines[2], "[QWBDCAWM]two feeds\n\n");
}

TEST_F(LogTest, MessagesAreCutAt1023Characters) {
  const std::string exact(1023, 'x');
  WMLog("%s", exact.c_str());
  WMLog("%s", std::string(5000, 'z').c_str());
  // 1022 characters and a line feed: the feed is part of the message and kept.
  WMLog("%s\n", std::string(1022, 'w').c_str());
  // Characters, not bytes: 1023 two-byte characters fit whole.
  std::string umlauts;
  for (int i = 0; i < 1024; ++i) umlauts += "\xC3\xA4";
  WMLog("%s", umlauts.c_str());
  // A character outside the basic plane is not split at the cut.
  WMLog("%s\xF0\x9F\x98\x80", std::string(1022, 'v').c_str());

  lines = debug.Take();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "[QWBDCAWM]" + exact + "\n");
  EXPECT_EQ(lines[1], "[QWBDCAWM]" + std::string(1023, 'z') + "\n");
  EXPECT_EQ(lines[2], "[QWBDCAWM]" + std::string(1022, 'w') + "\n");
  EXPECT_EQ(lines[3], "[QWBDCAWM]" + umlauts.substr(0, 2 * 1023) + "\n");
  EXPECT_EQ(lines[4], "[QWBDCAWM]" + std::string(1022, 'v') + "\n");
}

TEST_F(LogTest, DebugLinesGetNoTagAndNoLineFeed) {
  WMDebug("[%s]DevCeGet hr=0x%x", "CDataTableWMTask::NextItem", 0x80004005u);
  WMDebug("[%s]WM>> new CRapiBase \n", "CDeviceDataWM::GetDataTable");
  WMDebug("%s", "");
  lines = debug.Take();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "[CDataTableWMTask::NextItem]DevCeGet hr=0x80004005");
  EXPECT_EQ(lines[1], "[CDeviceDataWM::GetDataTable]WM>> new CRapiBase \n");
}

}  // namespace
}  // namespace qwb
