#include "settings_utility.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <new>
#include <sstream>

#include "listed_interface_set.h"
#include "platform/fakes/memory_registry.h"
#include "platform/fakes/recording_message_box.h"
#include "platform/fakes/temp_directory.h"
#include "platform/single_instance.h"
#include "platform/text.h"
#include "recording_library.h"
#include "result_messages.h"

namespace lx2d {
namespace {

using std::chrono::milliseconds;

TEST(ResolveSettingsPath, BareNamesComeFromTheCurrentDirectory) {
  struct Case {
    std::u16string_view argument;
    std::u16string_view path;
  };
  const Case cases[] = {
      {u"settings.ini", u"./settings.ini"},         {u"C:settings.ini", u"C:settings.ini"},
      {u"sub\\settings.ini", u"sub\\settings.ini"}, {u"sub/settings.ini", u"sub/settings.ini"},
      {u"/etc/lx2d.ini", u"/etc/lx2d.ini"},         {u"", u"./"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveSettingsPath(c.argument), c.path);
}

class SettingsUtilityTest : public testing::Test {
 protected:
  void SetUp() override {
    temp.UseForAllDirectories();
    std::ofstream(settingsFile) << "[INI_FILE_ID]\nBCR_TYPE=VELTRIX_QM20_2D\n[Code39]\nACTIVATE=1\n"
                                   "[Initial_Connection]\nSTATUS=1\n";
    osVersion.versionKnown = osVersion.extendedKnown = true;
    osVersion.platformId = platform::VER_PLATFORM_WIN32_NT;
    osVersion.major = 6;
    osVersion.minor = 2;
    osVersion.productType = platform::VER_NT_WORKSTATION;
  }

  int Run(std::vector<std::u16string> arguments) {
    TUtilityServices services{.registry = registry,
                              .loader = library,
                              .openInterfaces =
                                  [this](std::u16string_view, uint32_t) {
                                    ++interfaceSearches;
                                    return std::make_unique<CListedInterfaceSet>(interfaces);
                                  },
                              .osVersion = osVersion,
                              .makePowerChannel = [this] { return makePowerChannel(); },
                              .sleep = [](milliseconds) {},
                              .language = UiLanguage::kEnglish,
                              .standardOutput = out};
    return RunSettingsUtility(arguments, services);
  }

  int RunWithFile() { return Run({u"LX2D_B_SET", platform::Utf8ToUtf16(settingsFile)}); }

  platform::CTempDirectory temp;
  std::string settingsFile = temp.Path() + "/settings.ini";
  platform::CMemoryRegistry registry;
  CRecordingLibrary library;
  platform::CRecordingMessageBox boxes;
  platform::TOsVersionData osVersion;
  std::vector<std::u16string> interfaces;
  int interfaceSearches = 0;
  std::function<std::unique_ptr<IPowerChannel>()> makePowerChannel = MakePowerChannel;
  std::ostringstream out;
};

TEST_F(SettingsUtilityTest, FullRun_ConnectsAppliesAndEndsWithZero) {
  interfaces = {u"\\\\?\\HID#VID_0D2A&PID_0809#1#{4D1E55B2-F16F-11CF-88CB-001111000030}"};
  EXPECT_EQ(RunWithFile(), 0);
  EXPECT_EQ(library.loadedPaths, (std::vector<std::string>{"/opt/lx2d/libRDLK_HID.so"}));
  const auto has = [&](std::string_view call) {
    return std::ranges::find(library.calls, call) != library.calls.end();
  };
  EXPECT_TRUE(
      has("DeviceIOControl 260 \\\\?\\hid#vid_0d2a&pid_0809#1#{4d1e55b2-f16f-11cf-88cb-"
          "001111000030}"));
  EXPECT_TRUE(has("Connect"));
  EXPECT_EQ(library.calls.back(), "Disconnect");
  EXPECT_TRUE(registry.GetRaw(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_EMU",
                              "InitialConnectMode", nullptr, nullptr));
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(out.str().empty());
}

TEST_F(SettingsUtilityTest, ConfiguredEmulatorKey_ReceivesThePreferencesUnlessEmpty) {
  struct Case {
    std::vector<uint8_t> configured;  // UTF-16LE
    const char* key;
  };
  const Case cases[] = {
      {{'E', 0, 'm', 0, 'u', 0, 0, 0}, "Emu"},
      {{0, 0}, "SOFTWARE\\Korvane\\LX2D_EMU"},
  };
  for (const Case& c : cases) {
    registry.SetRaw(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\LX2D_B_SET",
                    "LX2D_EMU_AccessRegKeyInfo", platform::REG_SZ, c.configured);
    EXPECT_EQ(RunWithFile(), 0);
    EXPECT_TRUE(registry.GetRaw(platform::HKEY_LOCAL_MACHINE, c.key, "InitialConnectMode", nullptr,
                                nullptr))
        << c.key;
  }
}

TEST_F(SettingsUtilityTest, EarlyExits_SilentAndBeforeAnySearchOrLoad) {
  struct Case {
    const char* what;
    std::vector<std::u16string> arguments;
    int exitCode;
  };
  const std::u16string file = platform::Utf8ToUtf16(settingsFile);
  const Case cases[] = {
      {"no argument", {u"LX2D_B_SET"}, kExitBadArguments},
      {"two arguments", {u"LX2D_B_SET", file, file}, kExitBadArguments},
      {"missing file", {u"LX2D_B_SET", file + u".absent"}, kExitBadSettingsFile},
      {"bare name not in the current directory",
       {u"LX2D_B_SET", u"absent-lx2d.ini"},
       kExitBadSettingsFile},
      {"path of 260", {u"LX2D_B_SET", u"/" + std::u16string(259, u'a')}, kExitBadSettingsFile},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.arguments), c.exitCode) << c.what;
  EXPECT_EQ(interfaceSearches, 0);
  EXPECT_TRUE(library.loadedPaths.empty());
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(SettingsUtilityTest, SecondInstance_ExitsMinus20WhateverTheArguments) {
  platform::CNamedMutex first;
  ASSERT_EQ(first.Create(kSingleInstanceName), platform::ERROR_SUCCESS);
  EXPECT_EQ(RunWithFile(), kExitAlreadyRunning);
  EXPECT_EQ(Run({u"LX2D_B_SET"}), kExitAlreadyRunning);
  EXPECT_TRUE(library.loadedPaths.empty());
  first.Close();
  EXPECT_EQ(Run({u"LX2D_B_SET"}), kExitBadArguments);
}

TEST_F(SettingsUtilityTest, NewerSystem_AskedAndNoStopsWithMinus29) {
  osVersion.major = 10;
  boxes.QueueAnswer(platform::IDNO);
  EXPECT_EQ(RunWithFile(), kExitStopped);
  EXPECT_TRUE(library.loadedPaths.empty());
  boxes.QueueAnswer(platform::IDYES);
  EXPECT_EQ(RunWithFile(), 0);
  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, "LX2D_SET");
  EXPECT_EQ(shown[0].style, 0x40104u);
  EXPECT_NE(shown[0].text.find("does not support current version of Windows"), std::string::npos)
      << shown[0].text;
}

TEST_F(SettingsUtilityTest, NoHidReader_SerialLibraryAndItsMissingExportIsShown) {
  library.missing = {"SetupWrite"};
  EXPECT_EQ(RunWithFile(), kExitLibraryFailed);
  EXPECT_EQ(library.loadedPaths, (std::vector<std::string>{"/opt/lx2d/libRDLK_Rs.so"}));
  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].text.find("SetupWrite"), std::string::npos) << shown[0].text;
  EXPECT_EQ(shown[0].owner, 0u);
  EXPECT_EQ(shown[0].caption, "LX2D_SET");
  EXPECT_EQ(shown[0].style, 0x40000u);
  EXPECT_EQ(std::ranges::count(library.calls, "Connect"), 0);
}

TEST_F(SettingsUtilityTest, FirstPatternFound_SecondNotSearched) {
  interfaces = {u"\\\\?\\hid#vid_0d2a&pid_0809#b#{x}", u"\\\\?\\hid#vid_0d2a&pid_0801&col02#a#{x}"};
  library.missing = {"Connect"};  // stop after the search
  EXPECT_EQ(RunWithFile(), kExitLibraryFailed);
  EXPECT_EQ(interfaceSearches, 1);
}

TEST_F(SettingsUtilityTest, OutOfMemory_TextOnStandardOutputAndMinus29) {
  makePowerChannel = []() -> std::unique_ptr<IPowerChannel> { throw std::bad_alloc(); };
  EXPECT_EQ(RunWithFile(), kExitStopped);
  EXPECT_EQ(out.str(), std::string(std::bad_alloc().what()) + "\n");
  EXPECT_TRUE(library.loadedPaths.empty());
  EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
}  // namespace lx2d
