#include "symbology_translator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "settings_test_support.h"

namespace lx2d {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::filesystem::path kFile = "/cfg/settings.ini";

class SymbologyTest : public ::testing::Test {
 protected:
  std::vector<std::string> Translate(const std::string& text, std::u16string_view name) {
    files.files[kFile] = text;
    const auto section = std::find_if(kSymbologySections.begin(), kSymbologySections.end(),
                                      [&](const SymbologySection& s) { return s.name == name; });
    EXPECT_NE(section, kSymbologySections.end());
    testing::CRecordingChannel channel;
    TranslateSymbology(reader, kFile, *section, channel);
    return channel.calls;
  }

  testing::CMemoryFileSource files;
  testing::CLatin1CodePage codePage;
  CSettingReader reader{files, codePage};
};

TEST_F(SymbologyTest, Codabar_WorkedExample) {
  EXPECT_THAT(
      Translate("[Codabar]\nACTIVATE=1\nLENGTH_MODE=0\nLENGTH1=4\nLENGTH2=300\nUDSI_DATA=\n",
                u"Codabar"),
      ElementsAre("SetupWrite 40 40 01", "SetupWrite 40 53 00", "SetupWrite 40 50 04",
                  "SetupWrite 40 C0 00 00"));
}

TEST_F(SymbologyTest, ActivateTwo_DropsOnlyTheEnable) {
  EXPECT_THAT(Translate("[Codabar]\nACTIVATE=2\nLENGTH1=4\nSTART_STOP_CHARA=\n", u"Codabar"),
              ElementsAre("SetupWrite 40 50 04", "SetupWrite 40 58 00"));
}

TEST_F(SymbologyTest, Group43_EnablingTurnsRivalsOff) {
  EXPECT_THAT(Translate("[ISBT]\nACTIVATE=1\n", u"ISBT"),
              ElementsAre("SetupWrite 43 40 00", "SetupWrite 43 42 00", "SetupWrite 43 41 01"));
  EXPECT_THAT(Translate("[ISBT]\nACTIVATE=0\n", u"ISBT"), ElementsAre("SetupWrite 43 41 00"));
  EXPECT_THAT(Translate("[Code128]\nACTIVATE=0\n", u"Code128"), ElementsAre("SetupWrite 43 40 00"));
  EXPECT_THAT(Translate("[Code128]\nACTIVATE=1\n", u"Code128"),
              ElementsAre("SetupWrite 43 41 00", "SetupWrite 43 40 01"));
  EXPECT_THAT(Translate("[EAN_128]\nACTIVATE=1\n", u"EAN_128"),
              ElementsAre("SetupWrite 43 41 00", "SetupWrite 43 42 01"));
  EXPECT_THAT(Translate("[EAN_128]\nACTIVATE=3\n", u"EAN_128"), IsEmpty());
}

TEST_F(SymbologyTest, Gtin_EmptySendsZeroMissingSendsNothing) {
  EXPECT_THAT(Translate("[UPC_A]\nGTIN=\n", u"UPC_A"), ElementsAre("SetupWrite 4B 60 00"));
  EXPECT_THAT(Translate("[UPC_A]\nACTIVATE=1\n", u"UPC_A"), ElementsAre("SetupWrite 4B 40 01"));
}

TEST_F(SymbologyTest, UdsiData_TokensNotReplaced) {
  EXPECT_THAT(Translate("[Code39]\nUDSI_DATA=]A<#CR>\n", u"Code39"),
              ElementsAre("SetupWrite 42 C0 00 07 5D 41 3C 23 43 52 3E"));
}

TEST_F(SymbologyTest, EnableRuleLimits_DropOutOfRangeRecords) {
  EXPECT_THAT(Translate("[Standard2of5]\nFORMAT=2\nLENGTH_MODE=5\nLENGTH1=9\n", u"Standard2of5"),
              ElementsAre("SetupWrite 48 50 09"));
  EXPECT_THAT(Translate("[Standard2of5]\nFORMAT=1\n", u"Standard2of5"),
              ElementsAre("SetupWrite 48 58 01"));
}

TEST_F(SymbologyTest, SectionNamesWithBlanks_Found) {
  EXPECT_THAT(Translate("[MicroPDF 417]\nACTIVATE=1\n", u"MicroPDF 417"),
              ElementsAre("SetupWrite 4C 42 01"));
  EXPECT_THAT(Translate("[EAN.UCC Composite_Lin]\nACTIVATE=0\n", u"EAN.UCC Composite_Lin"),
              ElementsAre("SetupWrite 56 44 00"));
}

TEST_F(SymbologyTest, UnreadableFile_SendsNothing) {
  testing::CRecordingChannel channel;
  TranslateSymbology(reader, "/cfg/absent.ini", kSymbologySections[1], channel);
  EXPECT_THAT(channel.calls, IsEmpty());
}

TEST(SymbologyTable, Rows_HaveActivateFirstAndUniqueNames) {
  for (const SymbologySection& section : kSymbologySections) {
    ASSERT_FALSE(KeysOf(section).empty());
    EXPECT_TRUE(KeysOf(section).front().name == u"ACTIVATE");
    EXPECT_EQ(std::count_if(kSymbologySections.begin(), kSymbologySections.end(),
                            [&](const SymbologySection& s) { return s.name == section.name; }),
              1);
  }
}

}  // namespace
}  // namespace lx2d
