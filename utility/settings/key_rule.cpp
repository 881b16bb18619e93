#include "key_rule.h"

namespace lx2d {

CSettingItem ReadRuleKey(const CSettingReader& reader, const std::filesystem::path& file,
                         std::u16string_view section, const KeyRule& rule, uint8_t group,
                         uint8_t parameter) {
  const SETTING_KEY key{rule.name, group, parameter};
  switch (rule.form) {
    case KeyForm::kNumber1:
      return reader.ReadNumber(file, section, key, 1, rule.names);
    case KeyForm::kNumber2:
      return reader.ReadNumber(file, section, key, 2, rule.names);
    case KeyForm::kText:
      return reader.ReadText(file, section, key);
    case KeyForm::kByteList:
      break;
  }
  return reader.ReadByteList(file, section, rule.name);
}

bool InLimits(const KeyRule& rule, const CSettingItem& item) {
  return item.Is(SETTING_OK) && item.value >= rule.low && item.value <= rule.high;
}

}  // namespace lx2d
