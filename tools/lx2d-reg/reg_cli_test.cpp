#include "reg_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/fakes/memory_registry.h"
#include "platform/fakes/recording_message_box.h"
#include "platform/fakes/temp_directory.h"
#include "reg_value_text.h"

namespace lx2d::reg {
namespace {

using platform::HKEY_LOCAL_MACHINE;

class RegCliTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return RunRegCommand(args, registry, out, err);
  }
  platform::CMemoryRegistry registry;
  platform::CRecordingMessageBox boxes;
  std::ostringstream out;
  std::ostringstream err;
};

constexpr const char* kKey = "HKLM\\SOFTWARE\\Korvane\\LX2D_B_SET";

TEST_F(RegCliTest, AddThenQuery_PrintsTheValueLine) {
  ASSERT_EQ(Run({"add", kKey, "/v", "AfterWakeupWait", "/t", "REG_DWORD", "/d", "1500", "/f"}),
            kExitSuccess);
  ASSERT_EQ(Run({"query", kKey, "/v", "AfterWakeupWait"}), kExitSuccess) << err.str();
  EXPECT_EQ(out.str(),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\LX2D_B_SET\n"
            "    AfterWakeupWait    REG_DWORD    0x5dc\n");
  ASSERT_EQ(Run({"query", kKey, "/v", "AfterWakeupWait", "/bytes"}), kExitSuccess);
  EXPECT_EQ(out.str(),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\LX2D_B_SET\n"
            "    AfterWakeupWait    REG_DWORD    DC 05 00 00\n");
}

TEST_F(RegCliTest, QueryKey_ListsValuesThenSubkeys) {
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "", platform::REG_SZ,
                  {'d', 0, 0, 0});
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "Empty", platform::REG_SZ,
                  {});
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET\\Sub", "x",
                  platform::REG_DWORD, {0, 0, 0, 0});
  ASSERT_EQ(Run({"query", "hkey_local_machine\\SOFTWARE\\Korvane\\LX2D_B_SET", "/bytes"}),
            kExitSuccess);
  EXPECT_EQ(out.str(),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\LX2D_B_SET\n"
            "    (Default)    REG_SZ    64 00 00 00\n"
            "    Empty    REG_SZ    \n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\LX2D_B_SET\\Sub\n");
}

TEST_F(RegCliTest, ExitCodes_MissingIsOneUsageIsTwo) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
  };
  const Case cases[] = {
      {{"query", kKey}, kExitFailed},
      {{"query", "HKCU\\Nope", "/v", "x"}, kExitFailed},
      {{}, kExitUsage},
      {{"frobnicate", kKey}, kExitUsage},
      {{"query"}, kExitUsage},
      {{"query", "HKCR\\X"}, kExitUsage},
      {{"query", kKey, "/v"}, kExitUsage},
      {{"query", kKey, "/zz"}, kExitUsage},
      {{"add", kKey, "/v", "x", "/t", "REG_DWORD", "/d", "lots", "/f"}, kExitUsage},
      {{"add", kKey, "/v", "x", "/t", "REG_WHAT", "/f"}, kExitUsage},
      {{"delete", "HKLM", "/f"}, kExitUsage},
      {{"export", kKey}, kExitUsage},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), c.exitCode) << (c.args.empty() ? "" : c.args[0]);
    EXPECT_EQ(err.str().rfind("lx2d-reg: ", 0), 0u);
    const std::string text = err.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }
  EXPECT_EQ(Run({"/?"}), kExitSuccess);
  EXPECT_EQ(out.str().rfind("usage: lx2d-reg query", 0), 0u);
}

TEST_F(RegCliTest, WithoutForce_AsksBeforeOverwritingOrDeleting) {
  ASSERT_EQ(Run({"add", kKey, "/v", "v", "/t", "REG_DWORD", "/d", "1"}), kExitSuccess);
  EXPECT_TRUE(boxes.Boxes().empty());  // a new value needs no question
  boxes.QueueAnswer(platform::IDNO);
  EXPECT_EQ(Run({"add", kKey, "/v", "v", "/t", "REG_DWORD", "/d", "2"}), kExitFailed);
  boxes.QueueAnswer(platform::IDYES);
  EXPECT_EQ(Run({"add", kKey, "/v", "v", "/t", "REG_DWORD", "/d", "3"}), kExitSuccess);
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].style, platform::MB_YESNO | platform::MB_DEFBUTTON2);
  platform::DWORD type = 0;
  Bytes data;
  ASSERT_TRUE(
      registry.GetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "v", &type, &data));
  EXPECT_EQ(data, (Bytes{3, 0, 0, 0}));

  // No answer: the default button, No.
  EXPECT_EQ(Run({"delete", kKey}), kExitFailed);
  EXPECT_TRUE(registry.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET"));
  EXPECT_EQ(Run({"delete", kKey, "/v", "v", "/f"}), kExitSuccess);
  EXPECT_EQ(Run({"delete", kKey, "/v", "v", "/f"}), kExitFailed);
  EXPECT_EQ(Run({"delete", "HKLM\\SOFTWARE\\Korvane", "/f"}), kExitSuccess);
  EXPECT_FALSE(registry.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane"));
}

TEST_F(RegCliTest, ReadOnlyHive_AddFailsQueryWorks) {
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "v", platform::REG_DWORD,
                  {1, 0, 0, 0});
  registry.SetReadOnly(HKEY_LOCAL_MACHINE, true);
  EXPECT_EQ(Run({"add", kKey, "/v", "v", "/t", "REG_DWORD", "/d", "2", "/f"}), kExitFailed);
  EXPECT_NE(err.str().find("access denied"), std::string::npos);
  EXPECT_EQ(Run({"query", kKey, "/v", "v"}), kExitSuccess);
}

TEST_F(RegCliTest, ExportImport_ThroughFiles) {
  platform::CTempDirectory folder;
  std::string file = folder.Path() + "/out.reg";
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "v", platform::REG_DWORD,
                  {1, 0, 0, 0});
  ASSERT_EQ(Run({"export", kKey, file}), kExitSuccess) << err.str();
  ASSERT_EQ(Run({"delete", kKey, "/f"}), kExitSuccess);
  ASSERT_EQ(Run({"import", file}), kExitSuccess) << err.str();
  EXPECT_TRUE(
      registry.GetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "v", nullptr, nullptr));
  EXPECT_EQ(Run({"import", folder.Path() + "/missing.reg"}), kExitFailed);
}

}  // namespace
}  // namespace lx2d::reg
