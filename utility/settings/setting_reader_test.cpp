#include "setting_reader.h"

#include <gtest/gtest.h>

#include "bcr_type.h"
#include "parameter_record.h"
#include "settings_test_support.h"

namespace lx2d {
namespace {

const std::filesystem::path kFile = "/cfg/settings.ini";

class SettingReaderTest : public ::testing::Test {
 protected:
  void SetFile(const std::string& text) { files.files[kFile] = text; }
  std::string Hex(const CSettingItem& item) {
    return item.record ? FormatHexPairs(*item.record) : "none";
  }

  testing::CMemoryFileSource files;
  testing::CLatin1CodePage codePage;
  CSettingReader reader{files, codePage};
};

struct NumberCase {
  const char* value;  // nullptr: key absent
  int width;
  int32_t status;
  int32_t value_;
  const char* record;
};

TEST_F(SettingReaderTest, Number_FollowsDecimalAndHexRules) {
  const NumberCase cases[] = {
      {"12", 1, SETTING_OK, 12, "70 41 0C"},
      {"12abc", 1, SETTING_OK, 12, "70 41 0C"},
      {"abc", 1, SETTING_INVALID, 0, "none"},
      {"0x1G", 1, SETTING_OK, 1, "70 41 01"},
      {"0x", 1, SETTING_EMPTY, 0, "70 41 00"},
      {"0X", 2, SETTING_EMPTY, 0, "70 41 00 00"},
      {"", 1, SETTING_EMPTY, 0, "70 41 00"},
      {"255", 1, SETTING_OK, 255, "70 41 FF"},
      {"256", 1, SETTING_INVALID, 0, "none"},
      {"-1", 1, SETTING_INVALID, 0, "none"},
      {"0x100", 1, SETTING_INVALID, 0, "none"},
      {"0xFF", 1, SETTING_OK, 255, "70 41 FF"},
      {"0x-1", 1, SETTING_INVALID, 0, "none"},
      {"0xZ", 1, SETTING_INVALID, 0, "none"},
      {"300", 2, SETTING_OK, 300, "70 41 01 2C"},
      {"-5", 2, SETTING_OK, -5, "70 41 80 05"},
      {"-32768", 2, SETTING_OK, -32768, "70 41 80 00"},
      {"32767", 2, SETTING_OK, 32767, "70 41 7F FF"},
      {"40000", 2, SETTING_INVALID, 0, "none"},
      {"-32769", 2, SETTING_INVALID, 0, "none"},
      {"0xFFFF", 2, SETTING_OK, 65535, "70 41 FF FF"},
      {"0x10000", 2, SETTING_INVALID, 0, "none"},
      {"99999999999999999999999", 2, SETTING_INVALID, 0, "none"},
      {"\" +7\"", 1, SETTING_OK, 7, "70 41 07"},
      {nullptr, 1, SETTING_MISSING, 0, "none"},
  };
  for (const NumberCase& c : cases) {
    SetFile(c.value ? std::string("[S]\nK=") + c.value + "\n" : "[S]\n");
    const CSettingItem item = reader.ReadNumber(kFile, u"S", {u"K", 0x70, 0x41}, c.width);
    EXPECT_EQ(item.status, c.status) << c.value;
    EXPECT_EQ(item.value, c.value_) << c.value;
    EXPECT_EQ(item.width, c.width) << c.value;
    EXPECT_EQ(Hex(item), c.record) << c.value;
  }
}

TEST_F(SettingReaderTest, NamedNumber_TakesNamesAndHexOnly) {
  const struct {
    const char* value;
    int32_t status;
    int32_t value_;
  } cases[] = {
      {"veltrix_qm20_2d", SETTING_OK, 2}, {"VELTRIX_QM70_2D_USB_HID_TYPE_B", SETTING_OK, 8},
      {"2", SETTING_INVALID, 0},          {"0x2", SETTING_OK, 2},
      {"VELTRIX", SETTING_INVALID, 0},    {"", SETTING_EMPTY, 0},
  };
  for (const auto& c : cases) {
    SetFile(std::string("[INI_FILE_ID]\nBCR_TYPE=") + c.value + "\n");
    const CSettingItem item = ReadRuleKey(reader, kFile, kIdentificationSection, kBcrTypeKey);
    EXPECT_EQ(item.status, c.status) << c.value;
    EXPECT_EQ(item.value, c.value_) << c.value;
  }
}

TEST_F(SettingReaderTest, Key_AbsentFileOrLongPathIsUnreadable) {
  SetFile("[S]\nK=1\n");
  EXPECT_EQ(reader.ReadKey("/cfg/other.ini", u"S", u"K").status, SETTING_UNREADABLE);
  const std::filesystem::path longPath = "/" + std::string(259, 'a');
  files.files[longPath] = "[S]\nK=1\n";
  EXPECT_EQ(reader.ReadKey(longPath, u"S", u"K").status, SETTING_UNREADABLE);
  const std::filesystem::path shorter = "/" + std::string(258, 'a');
  files.files[shorter] = "[S]\nK=1\n";
  EXPECT_EQ(reader.ReadKey(shorter, u"S", u"K").status, SETTING_OK);
}

TEST_F(SettingReaderTest, Key_SentinelValueCountsAsAbsent) {
  SetFile(
      "[S]\nK=KorvaneBarcodeSettingUtilityDummyStrings\nL="
      "korvanebarcodesettingutilitydummystrings\n");
  const CSettingItem item = reader.ReadKey(kFile, u"S", u"K");
  EXPECT_EQ(item.status, SETTING_MISSING);
  EXPECT_TRUE(item.rawText.empty());
  EXPECT_EQ(reader.ReadKey(kFile, u"S", u"L").status, SETTING_OK);
}

TEST_F(SettingReaderTest, ByteList_StopsAtFirstAbsentOrBadValue) {
  const struct {
    const char* section;
    int32_t status;
    const char* bytes;
  } cases[] = {
      {"DATA=\nDATA1=1\nDATA2=-1\nDATA3=3\n", SETTING_OK, "01"},
      {"DATA1=0x40\nDATA2=2\n", SETTING_OK, "40 02"},
      {"DATA=x\n", SETTING_OK, ""},
      {"DATA=x\nDATA1=0x\nDATA2=5\n", SETTING_OK, ""},
      {"DATA1=256\n", SETTING_MISSING, ""},
      {"DATA=\nDATA1=1\nDATA3=3\n", SETTING_OK, "01"},
      {"DATA1=12abc\nDATA2=0xfF\n", SETTING_OK, "0C FF"},
      {"OTHER=1\n", SETTING_MISSING, ""},
  };
  for (const auto& c : cases) {
    SetFile(std::string("[SET_DIRECT_DATA]\n") + c.section);
    const CSettingItem item = reader.ReadByteList(kFile, u"SET_DIRECT_DATA", u"DATA");
    EXPECT_EQ(item.status, c.status) << c.section;
    EXPECT_EQ(Hex(item), c.bytes) << c.section;
  }
}

TEST_F(SettingReaderTest, ByteList_StopsAfter128Bytes) {
  std::string text = "[L]\n";
  for (int n = 1; n <= 130; ++n)
    text += "DATA" + std::to_string(n) + "=" + std::to_string(n) + "\n";
  SetFile(text);
  const CSettingItem item = reader.ReadByteList(kFile, u"L", u"DATA");
  ASSERT_TRUE(item.record);
  ASSERT_EQ(item.record->size(), 128u);
  EXPECT_EQ(item.record->back(), 128);
}

TEST_F(SettingReaderTest, Text_BecomesCodePageRecord) {
  SetFile("[Prefix]\nDATA=A\xE9\n[Suffix]\nDATA=\n");
  const CSettingItem text = reader.ReadText(kFile, u"Prefix", {u"DATA", 0x60, 0xC0});
  EXPECT_EQ(text.status, SETTING_OK);
  EXPECT_EQ(Hex(text), "60 C0 00 02 41 E9");
  EXPECT_EQ(text.value, 0);
  const CSettingItem empty = reader.ReadText(kFile, u"Suffix", {u"DATA", 0x60, 0xC1});
  EXPECT_EQ(empty.status, SETTING_EMPTY);
  EXPECT_EQ(Hex(empty), "60 C1 00 00");
  const CSettingItem missing = reader.ReadText(kFile, u"Other", {u"DATA", 0x60, 0xC1});
  EXPECT_EQ(missing.status, SETTING_MISSING);
  EXPECT_FALSE(missing.record);
}

TEST_F(SettingReaderTest, Text_LacksInCodePageBecomeQuestionMarks) {
  SetFile("\xEF\xBB\xBF[P]\nDATA=\xE3\x81\x82x\n");
  EXPECT_EQ(Hex(reader.ReadText(kFile, u"P", {u"DATA", 0x60, 0xC0})), "60 C0 00 02 3F 78");
}

}  // namespace
}  // namespace lx2d

namespace lx2d {
namespace {

TEST(SettingReaderFreshness, FileChangedBetweenKeys_NewContentRead) {
  testing::CMemoryFileSource files;
  testing::CLatin1CodePage codePage;
  const CSettingReader reader(files, codePage);
  files.files["/f.ini"] = "[S]\nK=1\n";
  EXPECT_EQ(reader.ReadKey("/f.ini", u"S", u"K").rawText, u"1");
  files.files["/f.ini"] = "[S]\nK=2\n";
  EXPECT_EQ(reader.ReadKey("/f.ini", u"S", u"K").rawText, u"2");
  files.files.clear();
  EXPECT_EQ(reader.ReadKey("/f.ini", u"S", u"K").status, SETTING_UNREADABLE);
}

}  // namespace
}  // namespace lx2d
