// CMiscCommon and the lx2d-power-driver-sim program across processes: the
// interface found through the system's service, the session over the
// socket, the simulator's lines and its power command.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "misc_common.h"
#include "platform/device_interface.h"
#include "platform/fakes/child_process.h"
#include "platform/fakes/temp_directory.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace lx2d::test {
namespace {

using MiscCommon::CMiscCommon;
using namespace std::chrono_literals;

constexpr auto kPatience = 30s;  // generous: a loaded two-core machine

std::string ReadAll(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

void WriteKey(const std::string& path, uint8_t first) {
  std::ofstream file(path, std::ios::binary);
  for (int i = 0; i < 16; ++i) file.put(static_cast<char>(first + 3 * i));
  file.close();
  chmod(path.c_str(), 0600);
}

class PowerDriverProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.UseForAllDirectories();
    ASSERT_EQ(mkdir(System().c_str(), 0755), 0);
    ASSERT_EQ(mkdir((System() + "/power").c_str(), 0755), 0);
    WriteKey(System() + "/power/auth.key", 0x21);
  }

  std::string System() const { return temp.Path() + "/system"; }
  std::string Output() const { return temp.Path() + "/sim.out"; }

  // Starts the simulator with `args`, its output in Output(), and waits
  // until its interface is listed.
  void StartSimulator(const std::vector<std::string>& args) {
    std::string line = "exec \"$0\"";
    for (size_t i = 0; i < args.size(); ++i) line += " \"$" + std::to_string(i + 1) + "\"";
    line += " >'" + Output() + "' 2>&1";
    std::vector<std::string> shellArgs{"-c", line, LX2D_POWER_DRIVER_SIM};
    shellArgs.insert(shellArgs.end(), args.begin(), args.end());
    ASSERT_TRUE(simulator.Start("/bin/sh", shellArgs, {{"LX2D_SYSTEM_DIR", System()}}));
    ASSERT_TRUE(WaitFor([] {
      std::vector<std::string> paths;
      return platform::SystemDeviceInterfaceService()->EnumerateInterfaces(
                 "{80DCC0C5-BD3E-4BC0-8A06-11EAE4AE7224}", paths) == 0 &&
             !paths.empty();
    })) << ReadAll(Output());
  }

  // Stops the simulator; its exit status.
  int StopSimulator() {
    simulator.Terminate();
    return simulator.Wait(kPatience).value_or(-1);
  }

  std::string ErrorText() const { return platform::Utf16ToUtf8(errorText); }

  platform::CTempDirectory temp;
  platform::CChildProcess simulator;
  char16_t errorText[MiscCommon::kErrorTextChars] = {};
};

TEST_F(PowerDriverProcess, SessionOverTheSocket_PowerCommandFollowsItem0) {
  const std::string marks = temp.Path() + "/marks";
  StartSimulator({"--power-command", "trap 'echo stopped >>" + marks +
                                         "; exit 0' TERM; echo started >>" + marks +
                                         "; while :; do sleep 0.1; done"});
  CMiscCommon channel(errorText);
  ASSERT_EQ(channel.OpenDriver(), 0) << ErrorText();
  EXPECT_EQ(platform::Utf16ToUtf8(channel.VersionText()), "1.0.8.0");
  ASSERT_EQ(channel._Initialize(), 0) << ErrorText();
  EXPECT_TRUE(channel.HasSession());

  char16_t otherText[MiscCommon::kErrorTextChars] = {};
  CMiscCommon second(otherText);
  EXPECT_EQ(second.OpenDriver(), 11);
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_SHARING_VIOLATION);

  uint8_t status = 0xFF;
  ASSERT_EQ(channel.SetPowerState(0, 1, status), 0) << ErrorText();
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(WaitFor([&] { return ReadAll(marks) == "started\n"; })) << ReadAll(marks);
  ASSERT_EQ(channel.SetPowerState(3, 0, status), 0) << ErrorText();
  uint8_t value = 0xFF;
  ASSERT_EQ(channel.QueryPowerState(0, status, value), 0) << ErrorText();
  EXPECT_EQ(value, 1);
  ASSERT_EQ(channel.SetPowerState(0, 0, status), 0) << ErrorText();
  EXPECT_TRUE(WaitFor([&] { return ReadAll(marks) == "started\nstopped\n"; })) << ReadAll(marks);
  channel.CloseDriver();

  EXPECT_EQ(StopSimulator(), 0);
  const std::string output = ReadAll(Output());
  EXPECT_NE(output.find("item 0 set 1 status 0\n"
                        "item 3 set 0 status 0\n"
                        "item 0 query 1 status 0\n"
                        "item 0 set 0 status 0\n"),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("development key"), std::string::npos) << "the key file is used";
  struct stat info {};
  EXPECT_NE(stat((System() + "/devices/{80DCC0C5-BD3E-4BC0-8A06-11EAE4AE7224}/lx2d-power").c_str(),
                 &info),
            0)
      << "the interface goes with the simulator";
}

TEST_F(PowerDriverProcess, OptionsReachTheHost) {
  struct Case {
    std::vector<std::string> args;
    int initialize;
    int setPower;
    const char* text;
  };
  const std::string otherKey = temp.Path() + "/other.key";
  WriteKey(otherKey, 0x22);
  const Case cases[] = {
      {{"--key-file", otherKey},
       6,
       2,
       "MiscCommon::CMiscCommon::_Initialize: Driver Authentication Failed."},
      {{"--wrong-key"},
       6,
       2,
       "MiscCommon::CMiscCommon::_Initialize: Driver Authentication Failed."},
      {{"--no-session"}, 0, 0, ""},
      {{"--version", "1.0.7.2"}, 10, 10, ""},
      {{"--repeat-status", "1"}, 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    StartSimulator(c.args);
    {
      CMiscCommon channel(errorText);
      ASSERT_EQ(channel.OpenDriver(), 0) << ErrorText() << " " << platform::GetLastError();
      EXPECT_EQ(channel._Initialize(), c.initialize);
      EXPECT_EQ(ErrorText(), c.text);
      uint8_t status = 0xFF;
      EXPECT_EQ(channel.SetPowerState(0, 1, status), c.setPower);
    }
    EXPECT_EQ(StopSimulator(), 0);
    const std::string output = ReadAll(Output());
    const bool carriedOut = output.find("item 0 set 1 status 0\n") != std::string::npos;
    EXPECT_EQ(carriedOut, c.setPower == 0) << output;
    if (c.args.front() == "--repeat-status") {
      EXPECT_NE(output.find("item 0 set 1 status 4\nitem 0 set 1 status 0\n"), std::string::npos)
          << output;
    }
  }
}

TEST_F(PowerDriverProcess, RefusedKeyFile_SimulatorSaysWhy) {
  const std::string loose = temp.Path() + "/loose.key";
  WriteKey(loose, 0x30);
  chmod(loose.c_str(), 0666);
  ASSERT_TRUE(simulator.Start(
      "/bin/sh",
      {"-c", "exec \"$0\" --key-file \"$1\" 2>'" + Output() + "'", LX2D_POWER_DRIVER_SIM, loose},
      {{"LX2D_SYSTEM_DIR", System()}}));
  EXPECT_EQ(simulator.Wait(kPatience).value_or(-1), 1);
  EXPECT_NE(ReadAll(Output()).find("others than its owner may write it"), std::string::npos)
      << ReadAll(Output());
}

}  // namespace
}  // namespace lx2d::test
