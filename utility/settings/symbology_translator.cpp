#include "symbology_translator.h"

#include <algorithm>
#include <vector>

namespace lx2d {
namespace {

bool Allows(SendRule rule, const CSettingItem& item) {
  switch (rule) {
    case SendRule::kEnable:
    case SendRule::kExclusive:
      return item.Is(SETTING_OK) && (item.value == 0 || item.value == 1);
    case SendRule::kOk:
      return item.Is(SETTING_OK);
    case SendRule::kOkOrEmpty:
    case SendRule::kText:
      return item.IsOkOrEmpty();
    case SendRule::kNone:
      break;
  }
  return false;
}

void TurnRivalsOff(uint8_t parameter, ISetupChannel& channel) {
  const auto rivals =
      std::find_if(kExclusiveEnables.begin(), kExclusiveEnables.end(),
                   [&](const ExclusiveEnable& entry) { return entry.parameter == parameter; });
  if (rivals == kExclusiveEnables.end()) return;
  for (const uint8_t off : rivals->turnsOff) {
    if (off == 0) continue;
    const uint8_t record[] = {kExclusiveGroup, off, 0x00};
    channel.WriteSetup(record);
  }
}

}  // namespace

void TranslateSymbology(const CSettingReader& reader, const std::filesystem::path& file,
                        const SymbologySection& section, ISetupChannel& channel) {
  const std::span<const SymbologyKey> keys = KeysOf(section);
  std::vector<CSettingItem> items;
  for (const SymbologyKey& key : keys) {
    const SETTING_KEY settingKey{key.name, section.group, key.parameter};
    items.push_back(key.rule == SendRule::kText
                        ? reader.ReadText(file, section.name, settingKey)
                        : reader.ReadNumber(file, section.name, settingKey, 1));
    if (items.front().Is(SETTING_UNREADABLE)) return;
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const CSettingItem& item = items[i];
    if (!Allows(keys[i].rule, item) || !item.record) continue;
    if (keys[i].rule == SendRule::kExclusive && item.value == 1) {
      TurnRivalsOff(keys[i].parameter, channel);
    }
    channel.WriteSetup(*item.record);
  }
}

}  // namespace lx2d
