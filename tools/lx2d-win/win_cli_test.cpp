#include "win_cli.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
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

TEST_F(WinCliTest, Send_NumbersOutOfRangeOrMalformed_RefusedInOneLine) {
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"send", "NoSuchClass", "0x10000C9BF"}, kExitUsage},  // past 32 bits: no truncation
      {{"send", "NoSuchClass", "4294967296"}, kExitUsage},
      {{"send", "NoSuchClass", " 7"}, kExitUsage},  // not registered as a name either
      {{"send", "NoSuchClass", "0x-5"}, kExitUsage},
      {{"send", "NoSuchClass", "WM_CLOSE", "99999999999999999999"}, kExitUsage},  // no saturation
      {{"send", "NoSuchClass", "WM_CLOSE", "0x-5"}, kExitUsage},
      {{"send", "NoSuchClass", "WM_CLOSE", " 7"}, kExitUsage},
      {{"send", "NoSuchClass", "WM_CLOSE", "+7"}, kExitUsage},
      {{"send", "NoSuchClass", "WM_CLOSE", "0x"}, kExitUsage},
      {{"send", "NoSuchClass", "WM_CLOSE", "1", "0x10000000000000000"}, kExitUsage},
      {{"send", "NoSuchClass", "WM_CLOSE", "1", "-9223372036854775809"}, kExitUsage},
      {{"spy", "--count", "-1"}, kExitUsage},
      {{"send"}, kExitUsage},
      {{"bogus"}, kExitUsage},
      // In range: the numbers pass and only the missing window fails.
      {{"send", "NoSuchClass", "0xFFFFFFFF", "18446744073709551615", "-9223372036854775808"},
       kExitFailed},
      {{"send", "NoSuchClass", "WM_CLOSE", "-1", "0xFFFFFFFFFFFFFFFF"}, kExitFailed},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunWinCommand(c.args, out, err), c.status) << c.args.back();
    const std::string message = err.str();
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
  }
  EXPECT_EQ(MessageNumber("0x10000C9BF"), 0u);
  EXPECT_EQ(MessageNumber("4294967295"), 0xFFFFFFFFu);
}

platform::LRESULT QuietProc(platform::HWND window, platform::UINT message, platform::WPARAM wParam,
                            platform::LPARAM lParam) {
  return platform::DefWindowProc(window, message, wParam, lParam);
}

TEST_F(WinCliTest, ListAndSend_SkipWhatIsNoRegularFile) {
  // Two live windows whose descriptions someone replaced: one by a FIFO, one
  // by a link to a file elsewhere.
  platform::WNDCLASS windowClass;
  windowClass.lpfnWndProc = QuietProc;
  windowClass.lpszClassName = "Lx2dWinCliQuiet";
  platform::RegisterClass(windowClass);  // once per process
  platform::HWND first =
      platform::CreateWindowEx(0, "Lx2dWinCliQuiet", "", 0, 0, 0, 0, 0, 0, 0, nullptr);
  platform::HWND second =
      platform::CreateWindowEx(0, "Lx2dWinCliQuiet", "", 0, 0, 0, 0, 0, 0, 0, nullptr);
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  auto infoOf = [&](platform::HWND window) {
    char name[24];
    std::snprintf(name, sizeof name, "/%08lx.info", static_cast<unsigned long>(window));
    return folder.Path() + "/run/windows" + name;
  };
  const std::string fifo = infoOf(first);
  ASSERT_EQ(unlink(fifo.c_str()), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string elsewhere = folder.Path() + "/elsewhere.info";
  std::ofstream(elsewhere) << "pid=1\nclass=Linked\ntitle=x\n";
  ASSERT_EQ(unlink(infoOf(second).c_str()), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), infoOf(second).c_str()), 0);

  std::ostringstream out;
  std::ostringstream err;
  auto run = std::async(std::launch::async, [&] {
    int listed = RunWinCommand({"list"}, out, err);
    int sent = RunWinCommand({"send", "NoSuchClass", "WM_CLOSE"}, out, err);
    return listed * 10 + sent;
  });
  if (run.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    // Hung on the FIFO: give it a writer that hangs up, so the test can end.
    while (run.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
      int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) close(writer);
    }
    ADD_FAILURE() << "list or send blocked on a FIFO";
  }
  EXPECT_EQ(run.get(), kExitSuccess * 10 + kExitFailed);
  EXPECT_EQ(out.str(), "");  // neither the FIFO nor the link describes a window
  platform::DestroyWindow(first);
  platform::DestroyWindow(second);
}

}  // namespace
}  // namespace lx2d::win
