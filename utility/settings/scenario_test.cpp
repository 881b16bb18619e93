#include "scenario.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings_test_support.h"

namespace lx2d {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::filesystem::path kFile = "/cfg/settings.ini";

class ScenarioTest : public ::testing::Test {
 protected:
  std::vector<std::string> Apply(const std::string& text, int number) {
    files.files[kFile] = text;
    testing::CRecordingChannel channel;
    ApplyScenario(reader, kFile, number, channel);
    return channel.calls;
  }

  testing::CMemoryFileSource files;
  testing::CLatin1CodePage codePage;
  CSettingReader reader{files, codePage};
};

TEST_F(ScenarioTest, InsertRule_WorkedExample) {
  EXPECT_THAT(Apply("[Scenario_1]\nActive=1\nSymbology=Code39\n"
                    "[Scenario_1_Rule_1]\nAction=3\nDst_Location=0\nInsert_String=ABC\n",
                    1),
              ElementsAre("SetupWrite 65 40 01", "SetupWrite 65 50 0D",
                          "SetupWrite 65 D0 00 07 03 00 00 03 41 42 43"));
}

TEST_F(ScenarioTest, RuleRecords_PerAction) {
  const struct {
    const char* rule;
    const char* record;  // nullptr: no rule record
  } cases[] = {
      {"Action=0", "SetupWrite 65 D1 00 00"},
      {"Action=1\nSrc_Location=1\nActionLength=-2\nDst_Location=300",
       "SetupWrite 65 D1 00 07 01 00 01 80 02 01 2C"},
      {"Action=1\nSrc_Location=1\nDst_Location=3", nullptr},
      {"Action=2\nSrc_Location=0xFFFF\nActionLength=2", "SetupWrite 65 D1 00 05 02 FF FF 00 02"},
      {"Action=3\nDst_Location=1\nInsert_String=<#CR>x",
       "SetupWrite 65 D1 00 06 03 00 01 02 0D 78"},
      {"Action=3\nDst_Location=1\nInsert_String=", nullptr},
      {"Action=4\nOriginal_Character=<#TAB>\nReplacing_Character=\",\"",
       "SetupWrite 65 D1 00 03 04 09 2C"},
      {"Action=4\nOriginal_Character=a\nReplacing_Character=", nullptr},
      {"Action=5\nOriginal_Character=ab", "SetupWrite 65 D1 00 02 05 61"},
      {"Action=6\nSrc_Location=1\nActionLength=2\nDst_Location=3",
       "SetupWrite 65 D1 00 07 06 00 01 00 02 00 03"},
      {"Action=7", "SetupWrite 65 D1 00 01 07"},
      {"Action=8", nullptr},
      {"Action=x", nullptr},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> calls =
        Apply(std::string("[Scenario_2]\n[Scenario_2_Rule_1]\n") + c.rule + "\n", 2);
    if (c.record) {
      EXPECT_THAT(calls, ElementsAre(c.record)) << c.rule;
    } else {
      EXPECT_THAT(calls, IsEmpty()) << c.rule;
    }
  }
}

TEST_F(ScenarioTest, SelectionRecords_IndependentOfRule) {
  EXPECT_THAT(
      Apply("[Scenario_7]\nActive=2\nSymbology=ALLITEM\nMask=<#STX>*\n"
            "TargetBarcodeLength=-1\n[Scenario_7_Rule_1]\nAction=8\n",
            7),
      ElementsAre("SetupWrite 65 56 00", "SetupWrite 65 C6 00 02 02 2A", "SetupWrite 65 86 80 01"));
  EXPECT_THAT(Apply("[Scenario_1]\nMask=\n", 1), ElementsAre("SetupWrite 65 C0 00 00"));
}

TEST_F(ScenarioTest, SymbologyNames_NamesAndHexButNoDigits) {
  EXPECT_THAT(Apply("[Scenario_1]\nSymbology=codablock_a\n", 1),
              ElementsAre("SetupWrite 65 50 1E"));
  EXPECT_THAT(Apply("[Scenario_1]\nSymbology=0x0D\n", 1), ElementsAre("SetupWrite 65 50 0D"));
  EXPECT_THAT(Apply("[Scenario_1]\nSymbology=13\n", 1), IsEmpty());
  EXPECT_THAT(Apply("[Scenario_1]\nSymbology=CODABLOCK_A_X\n", 1), IsEmpty());
}

TEST_F(ScenarioTest, InsertString_255BytesFit) {
  const std::string fits(255, 'x');
  const std::vector<std::string> sent =
      Apply("[Scenario_1_Rule_1]\nAction=3\nDst_Location=0\nInsert_String=" + fits + "\n", 1);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].starts_with("SetupWrite 65 D0 01 03 03 00 00 FF 78")) << sent[0];
}

// Two bytes for every character above 0x7F, as a double-byte code page.
class Utf8CodePage final : public IAnsiCodePage {
 public:
  std::string FromWide(std::u16string_view text) const override {
    std::string bytes;
    for (const char16_t c : text) {
      if (c < 0x80) {
        bytes.push_back(static_cast<char>(c));
      } else {
        bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    return bytes;
  }
  std::u16string ToWide(std::string_view bytes) const override {
    std::u16string text;
    for (const char c : bytes) text.push_back(static_cast<uint8_t>(c));
    return text;
  }
};

TEST_F(ScenarioTest, InsertString_MultiByteOverflowSendsNoRule) {
  Utf8CodePage utf8;
  CSettingReader wide(files, utf8);
  // 128 characters of two bytes each: 256 bytes.
  files.files[kFile] =
      "[Scenario_1]\nActive=1\n[Scenario_1_Rule_1]\nAction=3\nDst_Location=0\nInsert_String=" +
      std::string(128, '\xE9') + "\n";
  testing::CRecordingChannel channel;
  ApplyScenario(wide, kFile, 1, channel);
  EXPECT_THAT(channel.calls, ElementsAre("SetupWrite 65 40 01"));
}

}  // namespace
}  // namespace lx2d
