#include "emulator_preferences.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "settings_test_support.h"

namespace lx2d {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::filesystem::path kFile = "/cfg/settings.ini";
constexpr std::u16string_view kKey = u"SOFTWARE\\Korvane\\LX2D_EMU";
const char kQm20[] = "[INI_FILE_ID]\nBCR_TYPE=VELTRIX_QM20_2D\n";

// Keeps DWORDs in a map and logs every write in order.
class CFakePreferenceRegistry final : public IPreferenceRegistry {
 public:
  std::map<std::u16string, uint32_t> dwords;
  std::vector<std::string> writes;

  bool WriteStringValue(std::u16string_view key, std::u16string_view name,
                        std::span<const uint8_t> data) override {
    EXPECT_EQ(key, kKey);
    writes.push_back(Ascii(name) + " REG_SZ " + FormatHexPairs(data));
    return true;
  }
  bool WriteDwordValue(std::u16string_view key, std::u16string_view name, uint32_t value) override {
    EXPECT_EQ(key, kKey);
    dwords[std::u16string(name)] = value;
    writes.push_back(Ascii(name) + " REG_DWORD " + std::to_string(value));
    return true;
  }
  std::optional<uint32_t> ReadDwordValue(std::u16string_view, std::u16string_view name) override {
    const auto found = dwords.find(std::u16string(name));
    if (found == dwords.end()) return std::nullopt;
    return found->second;
  }

 private:
  static std::string Ascii(std::u16string_view text) {
    return std::string(text.begin(), text.end());
  }
};

class EmulatorPreferencesTest : public ::testing::Test {
 protected:
  int Write(const std::string& text) {
    files.files[kFile] = text;
    registry.writes.clear();
    return WriteEmulatorPreferences(reader, kFile, kKey, registry);
  }

  testing::CMemoryFileSource files;
  testing::CLatin1CodePage codePage;
  CSettingReader reader{files, codePage};
  CFakePreferenceRegistry registry;
};

TEST_F(EmulatorPreferencesTest, AllSections_WrittenInTableOrder) {
  EXPECT_EQ(
      Write(std::string(kQm20) + "[Continuous_Read_Mode]\nACTIVATE=1\n[AllAscii]\nACTIVATE=0\n"
                                 "[HideFunc]\nEXIT=1\nBCR_MODULE=0\nALWAYS=1\n"
                                 "[Initial_Connection]\nSTATUS=3\n"
                                 "[Successful_Scan_Audio]\nACTIVATE=1\nDATA=b\xE9\n"
                                 "[Allow_AIM_in_Scanned_Data]\nACTIVATE=0\n"
                                 "[SuffixByEmulator]\nDATA=<#CR>\n[PrefixByEmulator]\nDATA=\n"),
      1);
  EXPECT_THAT(registry.writes,
              ElementsAre("PrefixCode REG_SZ ", "SuffixCode REG_SZ 3C 00 23 00 43 00 52 00 3E 00",
                          "AllowAIMCode REG_DWORD 0", "DecodeSuccessSound REG_SZ 62 00 E9 00",
                          "DecodeSuccessSoundEnable REG_DWORD 1", "InitialConnectMode REG_DWORD 3",
                          "HydeConnectMenuItem REG_DWORD 4", "UseBCRPowerMenuInfo REG_DWORD 3",
                          "UseExitMenu REG_DWORD 0", "Allow_Unreadable_Char REG_DWORD 0",
                          "BCR_Module_Read_Continuous REG_DWORD 1"));
}

TEST_F(EmulatorPreferencesTest, HideFlags_MergedWithStoredValue) {
  registry.dwords[u"HydeConnectMenuItem"] = 6;
  Write(std::string(kQm20) + "[HideFunc]\nDISCONNECT=1\nPW-SAVE=0\n");
  EXPECT_THAT(registry.writes, ElementsAre("HydeConnectMenuItem REG_DWORD 5"));
  Write(std::string(kQm20) + "[HideFunc]\nDISCONNECT=1\nPW-SAVE=0\nALWAYS=2\n");  // 5 stays 5
  EXPECT_THAT(registry.writes, IsEmpty());
  Write(std::string(kQm20));
  EXPECT_THAT(registry.writes, IsEmpty());
}

TEST_F(EmulatorPreferencesTest, OutOfRangeValues_WriteNothing) {
  EXPECT_EQ(Write(std::string(kQm20) +
                  "[Initial_Connection]\nSTATUS=4\n[HideFunc]\nBCR_MODULE=3\nEXIT=2\n"
                  "[AllAscii]\nACTIVATE=\n[Allow_AIM_in_Scanned_Data]\nACTIVATE=x\n"),
            1);
  EXPECT_THAT(registry.writes, IsEmpty());
  Write(std::string(kQm20) + "[HideFunc]\nBCR_MODULE=1\nEXIT=0\n");
  EXPECT_THAT(registry.writes,
              ElementsAre("UseBCRPowerMenuInfo REG_DWORD 2", "UseExitMenu REG_DWORD 1"));
}

TEST_F(EmulatorPreferencesTest, UnusableFile_WritesNothing) {
  EXPECT_EQ(Write("[INI_FILE_ID]\nBCR_TYPE=MARLOW_LK310_1D\n[PrefixByEmulator]\nDATA=x\n"), 0);
  EXPECT_THAT(registry.writes, IsEmpty());
  EXPECT_EQ(WriteEmulatorPreferences(reader, "/cfg/absent.ini", kKey, registry), 0);
  EXPECT_THAT(registry.writes, IsEmpty());
}

TEST_F(EmulatorPreferencesTest, Text_StoredWithoutTerminator) {
  Write(std::string(kQm20) + "[PrefixByEmulator]\nDATA=ABCDEFGHIJKLMNOPQRST\n");
  ASSERT_EQ(registry.writes.size(), 1u);
  // 20 characters, 40 bytes: 40 hex pairs and 39 blanks after the type.
  const std::string data = registry.writes[0].substr(std::string("PrefixCode REG_SZ ").size());
  EXPECT_EQ(data.size(), 40u * 3 - 1);
  EXPECT_TRUE(data.ends_with("54 00"));
}

}  // namespace
}  // namespace lx2d
