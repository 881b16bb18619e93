#include "reg_cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/fakes/memory_registry.h"
#include "platform/fakes/recording_message_box.h"
#include "platform/fakes/temp_directory.h"
#include "platform/sqlite_registry.h"
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

std::string ReadFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

TEST(RegCliDamagedHiveTest, EveryCommandFailsInOneLineNamingTheFile) {
  platform::CTempDirectory folder;
  const std::string registryDir = folder.Path() + "/system/registry";
  const std::string hive = registryDir + "/hklm.db";
  ASSERT_EQ(mkdir((folder.Path() + "/system").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(registryDir.c_str(), 0700), 0);
  std::string garbage(4096, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 + 7);
  std::ofstream(hive, std::ios::binary) << garbage;
  auto registry =
      platform::CreateSqliteRegistry(folder.Path() + "/system", folder.Path() + "/user");
  HiveFileNamer namer = [&](platform::HKEY) { return hive; };
  const std::string backup = folder.Path() + "/backup.reg";
  const std::string import = folder.Path() + "/import.reg";
  std::ofstream(import) << "Windows Registry Editor Version 5.00\r\n[HKLM\\SOFTWARE]\r\n";

  const std::vector<std::vector<std::string>> commands = {
      {"query", "HKLM"},
      {"query", "HKLM\\SOFTWARE"},
      {"query", "HKLM", "/v", "x"},
      {"export", "HKLM", backup},
      {"delete", "HKLM", "/va", "/f"},
      {"delete", "HKLM\\SOFTWARE", "/f"},
      {"add", "HKLM\\SOFTWARE", "/v", "x", "/d", "1", "/f"},
      {"add", "HKLM", "/v", "x", "/d", "1", "/f"},
      {"import", import},
  };
  for (const auto& command : commands) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunRegCommand(command, *registry, out, err, namer), kExitFailed) << command[0];
    std::string message = err.str();
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find("hive damaged"), std::string::npos) << message;
    EXPECT_NE(message.find(hive), std::string::npos) << message;
  }
  EXPECT_FALSE(Exists(backup));        // no "backup" of an empty root
  EXPECT_EQ(ReadFile(hive), garbage);  // nothing written over it
}

TEST(RegCliStatusTest, DescribeStatus_SaysWhatHappened) {
  struct Case {
    platform::LSTATUS status;
    const char* words;
  };
  const Case cases[] = {
      {platform::ERROR_BADDB, "hive damaged or not a registry hive (registry error 1009)"},
      {platform::ERROR_CANTWRITE, "busy"},
      {platform::ERROR_ACCESS_DENIED, "access denied (registry error 5)"},
      {platform::ERROR_KEY_DELETED, "key deleted"},
      {4321, "registry error 4321"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(DescribeStatus(c.status).find(c.words), std::string::npos) << c.status;
  }
}

TEST_F(RegCliTest, NamesWithLineBreaks_RefusedByAddAndExport) {
  for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
           {"add", kKey, "/v", "two\nlines", "/d", "x", "/f"},
           {"add", kKey, "/v", "cr\r", "/d", "x", "/f"},
           {"add", std::string(kKey) + "\\bad\nkey", "/f"},
       }) {
    EXPECT_EQ(Run(command), kExitUsage) << command[1];
    EXPECT_NE(err.str().find("line break"), std::string::npos) << err.str();
  }
  EXPECT_FALSE(registry.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET"));

  // A hive that already holds such a name is not exported half.
  platform::CTempDirectory folder;
  const std::string file = folder.Path() + "/out.reg";
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", "fine", platform::REG_DWORD, {1, 0, 0, 0});
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\B", "two\nlines", platform::REG_DWORD,
                  {1, 0, 0, 0});
  registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\C\nD", "v", platform::REG_DWORD, {1, 0, 0, 0});
  EXPECT_EQ(Run({"export", "HKLM\\SOFTWARE\\B", file}), kExitFailed);
  EXPECT_NE(err.str().find("line break"), std::string::npos) << err.str();
  EXPECT_EQ(Run({"export", "HKLM\\SOFTWARE", file}), kExitFailed);
  EXPECT_FALSE(Exists(file));
  EXPECT_EQ(Run({"export", "HKLM\\SOFTWARE\\A", file}), kExitSuccess) << err.str();
}

TEST_F(RegCliTest, AddData_RefusesWhatCannotBeStoredFaithfully) {
  struct Case {
    const char* type;
    const char* data;
    const char* reason;
  };
  const Case cases[] = {
      {"REG_SZ", "caf\xE9", "not valid UTF-8"},        {"REG_EXPAND_SZ", "\xC3", "not valid UTF-8"},
      {"REG_MULTI_SZ", "a\\0\xFF", "not valid UTF-8"}, {"REG_MULTI_SZ", "a\\0\\0b", "empty item"},
      {"REG_MULTI_SZ", "\\0b", "empty item"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run({"add", kKey, "/v", "v", "/t", c.type, "/d", c.data, "/f"}), kExitUsage)
        << c.data;
    EXPECT_NE(err.str().find(c.reason), std::string::npos) << err.str();
    EXPECT_FALSE(
        registry.GetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET", "v", nullptr, nullptr))
        << c.data;
  }
  ASSERT_EQ(Run({"add", kKey, "/v", "v", "/t", "REG_SZ", "/d", "caf\xC3\xA9", "/f"}), kExitSuccess);
}

}  // namespace
}  // namespace lx2d::reg
