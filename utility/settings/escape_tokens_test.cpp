#include "escape_tokens.h"

#include <gtest/gtest.h>

#include "parameter_record.h"

namespace lx2d {
namespace {

CSettingItem TextItem(std::string_view text) {
  CSettingItem item;
  item.status = SETTING_OK;
  item.record = MakeTextRecord(0x60, 0xC0, text);
  return item;
}

TEST(EscapeTokens, Cases_ReplacedOrKept) {
  const struct {
    std::string_view text;
    const char* record;
  } cases[] = {
      {"A<#CR><#lf>", "60 C0 00 03 41 0D 0A"},
      {"<#FF>", "60 C0 00 05 3C 23 46 46 3E"},
      {"x<#CR", "60 C0 00 05 78 3C 23 43 52"},
      {"<#NUL><#US>", "60 C0 00 02 00 1F"},
      {"<<#TAB>", "60 C0 00 02 3C 09"},
      {"<#tab><#Esc>", "60 C0 00 02 09 1B"},
      {"", "60 C0 00 00"},
  };
  for (const auto& c : cases) {
    CSettingItem item = TextItem(c.text);
    ReplaceEscapeTokens(item);
    EXPECT_EQ(FormatHexPairs(*item.record), c.record) << c.text;
    EXPECT_EQ(item.value, 1) << c.text;
  }
}

TEST(EscapeTokens, SecondReplacement_DoesNothing) {
  CSettingItem item = TextItem("<#CR>");
  ReplaceEscapeTokens(item);
  const std::vector<uint8_t> once = *item.record;
  // A replaced item is marked: a later pass (say, by another key's step)
  // leaves its bytes and length alone.
  item.record->push_back('<');
  ReplaceEscapeTokens(item);
  EXPECT_EQ(item.record->size(), once.size() + 1);
}

TEST(EscapeTokens, ItemWithoutRecord_Untouched) {
  CSettingItem item;
  ReplaceEscapeTokens(item);
  EXPECT_FALSE(item.record);
  EXPECT_EQ(item.value, 0);
}

}  // namespace
}  // namespace lx2d
