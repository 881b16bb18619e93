#include "platform/shell_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/fakes/temp_directory.h"

namespace lx2d::platform {
namespace {

using namespace std::chrono_literals;

bool EndsWithin(CShellCommand& command, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (command.Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

TEST(ShellCommand, StartAndStop_OneAtATime) {
  CShellCommand command;
  EXPECT_FALSE(command.Start(""));
  ASSERT_TRUE(command.Start("sleep 30"));
  EXPECT_TRUE(command.Running());
  EXPECT_FALSE(command.Start("sleep 30"));
  command.Stop();
  EXPECT_FALSE(command.Running());
  command.Stop();  // nothing left to stop
}

TEST(ShellCommand, EndedByItself_NotRunningAndStartsAgain) {
  CShellCommand command;
  ASSERT_TRUE(command.Start("exit 3"));
  EXPECT_TRUE(EndsWithin(command, 10s));
  EXPECT_TRUE(command.Start("exit 0"));
}

TEST(ShellCommand, Stop_ReachesWhatTheCommandStartedAndOutlastsIgnoredTerm) {
  CTempDirectory temp;
  const std::string marker = temp.Path() + "/still-running";
  CShellCommand command;
  // A background child that would leave a file behind if it outlived Stop,
  // under a shell that ignores SIGTERM.
  ASSERT_TRUE(command.Start("trap '' TERM; (sleep 1; touch " + marker + ") & wait"));
  std::this_thread::sleep_for(100ms);
  command.Stop(200ms);
  EXPECT_FALSE(command.Running());
  std::this_thread::sleep_for(1500ms);
  EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace lx2d::platform
