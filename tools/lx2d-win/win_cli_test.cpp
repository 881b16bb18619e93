#include "win_cli.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/fakes/temp_directory.h"

namespace lx2d::win {
namespace {

class WinCliTest : public ::testing::Test {
 protected:
  void SetUp() override { folder.UseForAllDirectories(); }
  platform::CTempDirectory folder;
};

TEST_F(WinCliTest, MessageNames_StandardRegisteredOrNumber) {
  platform::UINT registered = platform::RegisterWindowMessage("WM_RAW_DATA");
  EXPECT_EQ(MessageName(platform::WM_COMMAND), "WM_COMMAND");
  EXPECT_EQ(MessageName(registered), "WM_RAW_DATA");
  EXPECT_EQ(MessageName(0x0401), "0x0401");
  EXPECT_EQ(MessageNumber("WM_CLOSE"), platform::WM_CLOSE);
  EXPECT_EQ(MessageNumber("0x8003"), 0x8003u);
  EXPECT_EQ(MessageNumber("273"), platform::WM_COMMAND);
  EXPECT_EQ(MessageNumber("wm_raw_data"), registered);
  EXPECT_EQ(MessageNumber(""), 0u);
}

TEST_F(WinCliTest, SpyLine_HexParameters) {
  EXPECT_EQ(SpyLine(platform::WM_COMMAND, 0x8003, 0), "WM_COMMAND 0x8003 0x0");
  EXPECT_EQ(SpyLine(platform::WM_USER, 0, -1), "WM_USER 0x0 0xffffffffffffffff");
}

TEST_F(WinCliTest, Commands_UsageAndMissingWindow) {
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunWinCommand({}, out, err), kExitUsage);
  EXPECT_EQ(RunWinCommand({"send", "NoSuchClass", "WM_CLOSE"}, out, err), kExitFailed);
  EXPECT_EQ(RunWinCommand({"send", "X", "WM_CLOSE", "zz"}, out, err), kExitUsage);
  EXPECT_EQ(RunWinCommand({"spy", "--count", "0"}, out, err), kExitUsage);
  EXPECT_EQ(RunWinCommand({"list"}, out, err), kExitSuccess);
  EXPECT_EQ(out.str(), "");  // no windows in this fresh runtime directory
}

}  // namespace
}  // namespace lx2d::win
