#include "apply_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings_test_support.h"

namespace lx2d {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::filesystem::path kFile = "/cfg/settings.ini";
const char kQm20[] = "[INI_FILE_ID]\nBCR_TYPE=VELTRIX_QM20_2D\n";
const char kQm20NoDefaults[] = "[INI_FILE_ID]\nBCR_TYPE=VELTRIX_QM20_2D_WITHOUT_FACTORY_DEF\n";
const char kBlock0[] = "SetupWrite 71 40 00 71 80 01 2C 71 81 00 00";

class ApplySettingsTest : public ::testing::Test {
 protected:
  int Apply(const std::string& text) {
    files.files[kFile] = text;
    return ApplySettingsFile(reader, kFile, channel);
  }

  testing::CMemoryFileSource files;
  testing::CLatin1CodePage codePage;
  CSettingReader reader{files, codePage};
  testing::CRecordingChannel channel;
};

TEST_F(ApplySettingsTest, Qm20_RestoresDefaultsThenBeepsOffFirst) {
  EXPECT_EQ(Apply(std::string(kQm20) +
                  "[Codabar]\nACTIVATE=1\nLENGTH_MODE=0\nLENGTH1=4\nLENGTH2=300\nUDSI_DATA=\n"),
            1);
  EXPECT_THAT(channel.calls,
              ElementsAre("ControlCommand 40 02", "Sleep 2000", "SetupWrite 72 41 00",
                          "SetupWrite 72 43 00", "SetupWrite 72 44 00", "SetupWrite 72 40 00",
                          "SetupWrite 40 40 01", "SetupWrite 40 53 00", "SetupWrite 40 50 04",
                          "SetupWrite 40 C0 00 00", kBlock0));
}

TEST_F(ApplySettingsTest, FactoryDefaults_ByBcrType) {
  const struct {
    std::string file;
    std::vector<std::string> expected;
  } cases[] = {
      {std::string(kQm20) + "[NOT_FORCE_DEFAULT]\nACTIVATE=1\n", {kBlock0}},
      {std::string(kQm20) + "[NOT_FORCE_DEFAULT]\nACTIVATE=0x1\n", {kBlock0}},
      {kQm20NoDefaults, {kBlock0}},
      {std::string(kQm20NoDefaults) + "[PROC_FORCE_DEFAULT]\nACTIVATE=1\n",
       {"ControlCommand 40 02", "Sleep 2000", kBlock0}},
      {"[INI_FILE_ID]\nBCR_TYPE=VELTRIX_QM20_2D_TYPE_A\n[NOT_FORCE_DEFAULT]\nACTIVATE=0\n",
       {kBlock0}},
      {"[INI_FILE_ID]\nBCR_TYPE=0x8\n[PROC_FORCE_DEFAULT]\nACTIVATE=1\n",
       {"ControlCommand 40 02", "Sleep 2000", kBlock0}},
  };
  for (const auto& c : cases) {
    channel.calls.clear();
    EXPECT_EQ(Apply(c.file), 1) << c.file;
    EXPECT_THAT(channel.calls, ElementsAreArray(c.expected)) << c.file;
  }
}

TEST_F(ApplySettingsTest, UnusableBcrType_SendsNothing) {
  for (const char* file :
       {"[INI_FILE_ID]\nBCR_TYPE=MARLOW_LK310_1D\n[Codabar]\nACTIVATE=1\n",
        "[INI_FILE_ID]\nBCR_TYPE=2\n", "[INI_FILE_ID]\nBCR_TYPE=\n", "[Codabar]\nACTIVATE=1\n"}) {
    EXPECT_EQ(Apply(file), 0) << file;
  }
  EXPECT_EQ(ApplySettingsFile(reader, "/cfg/absent.ini", channel), 0);
  EXPECT_THAT(channel.calls, IsEmpty());
}

TEST_F(ApplySettingsTest, DirectData_EndsTheRun) {
  const std::string rest = "[Codabar]\nACTIVATE=1\n[Security_Level]\nDATA=1\n";
  EXPECT_EQ(Apply(std::string(kQm20NoDefaults) +
                  "[Set_Direct_Data_By_CtrlCmd]\nDATA1=0x50\nDATA2=0x40\n" +
                  "[SET_DIRECT_DATA]\nDATA1=1\n" + rest),
            1);
  EXPECT_THAT(channel.calls, ElementsAre("ControlCommand 50 40"));

  channel.calls.clear();
  EXPECT_EQ(Apply(std::string(kQm20NoDefaults) +
                  "[SET_DIRECT_DATA]\nDATA1=0x42\nDATA2=0x40\nDATA3=1\n" + rest),
            1);
  EXPECT_THAT(channel.calls, ElementsAre("SetupWrite 42 40 01"));

  channel.calls.clear();
  EXPECT_EQ(Apply(std::string(kQm20NoDefaults) + "[SET_DIRECT_DATA]\nDATA=\n" + rest), 1);
  EXPECT_THAT(channel.calls, IsEmpty());
}

TEST_F(ApplySettingsTest, LaterSteps_InFixedOrder) {
  EXPECT_EQ(Apply(std::string(kQm20NoDefaults) +
                  "[Beep]\nGood=2\nPowerUp=1\nError=2\nSetup=0\n"
                  "[Decoding_Mode]\nACTIVATE=3\n[Security_Level]\nDATA=2\n"
                  "[Decoding_Security]\nDATA=5\n[EnableAIMSymbology]\nACTIVATE=1\n"
                  "[Suffix]\nDATA=<#CR><#LF>\n[Prefix]\nDATA=\n"),
            1);
  EXPECT_THAT(channel.calls,
              ElementsAre("SetupWrite 60 C0 00 00", "SetupWrite 60 C1 00 02 0D 0A",
                          "SetupWrite 60 40 03", "SetupWrite 71 40 05",
                          "SetupWrite 71 40 04 71 80 01 5E 71 81 00 1E", "SetupWrite 7B 40 03",
                          "SetupWrite 72 40 01", "SetupWrite 72 44 00", "SetupWrite 72 41 02"));
}

TEST_F(ApplySettingsTest, AimSymbology_MappedOrDropped) {
  const struct {
    const char* value;
    const char* sent;  // nullptr: nothing
  } cases[] = {
      {"0", "SetupWrite 60 40 00"},
      {"1", "SetupWrite 60 40 03"},
      {"2", "SetupWrite 60 40 02"},
      {"3", "SetupWrite 60 40 01"},
      {"4", "SetupWrite 60 40 02"},
      {"5", "SetupWrite 60 40 01"},
      {"6", "SetupWrite 60 40 00"},
      {"0x7", "SetupWrite 60 40 03"},
      {"8", nullptr},
      {"255", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    channel.calls.clear();
    Apply(std::string(kQm20NoDefaults) + "[EnableAIMSymbology]\nACTIVATE=" + c.value + "\n");
    if (c.sent) {
      EXPECT_THAT(channel.calls, ElementsAre(c.sent, kBlock0)) << c.value;
    } else {
      EXPECT_THAT(channel.calls, ElementsAre(kBlock0)) << c.value;
    }
  }
}

TEST_F(ApplySettingsTest, SecurityLevel_StatusNotConsulted) {
  for (const char* level : {"", "x", "0"}) {
    channel.calls.clear();
    Apply(std::string(kQm20NoDefaults) + "[Security_Level]\nDATA=" + level + "\n");
    EXPECT_THAT(channel.calls, ElementsAre(kBlock0)) << level;
  }
  channel.calls.clear();
  Apply(std::string(kQm20NoDefaults) + "[Security_Level]\nDATA=1\n");
  EXPECT_THAT(channel.calls, ElementsAre("SetupWrite 71 40 02 71 80 01 2C 71 81 00 0A"));
  channel.calls.clear();
  Apply(std::string(kQm20NoDefaults) + "[Security_Level]\nDATA=3\n");
  EXPECT_THAT(channel.calls, IsEmpty());
}

TEST_F(ApplySettingsTest, ScenariosBeforeSymbologies) {
  Apply(std::string(kQm20NoDefaults) +
        "[Aztec]\nACTIVATE=1\n[Scenario_7]\nActive=0\n[Scenario_1]\nActive=1\n");
  EXPECT_THAT(channel.calls, ElementsAre("SetupWrite 65 40 01", "SetupWrite 65 46 00",
                                         "SetupWrite 53 40 01", kBlock0));
}

}  // namespace
}  // namespace lx2d
