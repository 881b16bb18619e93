// Data-editing scenarios: Scenario_n selects barcodes, Scenario_n_Rule_1
// carries the editing rule; both become records of group 0x65.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "key_rule.h"
#include "setting_reader.h"
#include "setup_channel.h"

namespace lx2d {

inline constexpr int kScenarioCount = 7;
inline constexpr uint8_t kScenarioGroup = 0x65;

// A scenario key: its rule, the section it lives in, and the parameter byte
// for scenario 1 (later scenarios add their index; 0 for the rule's
// arguments, which travel inside the Action record).
struct ScenarioKey {
  KeyRule rule;
  bool inRuleSection;
  uint8_t parameterBase;
};

// The eleven keys in reading order.
extern const std::array<ScenarioKey, 11> kScenarioKeys;

// The 42 names the Symbology key accepts.
extern const std::array<SETTING_VALUE_NAME, 42> kScenarioSymbologyNames;

// "Scenario_<n>", and "Scenario_<n>_Rule_1" for the rule section.
std::u16string ScenarioSectionName(int number, bool ruleSection);

// Reads and writes scenario `number` (1 to 7): Active, Symbology, Mask and
// TargetBarcodeLength each on their own, then the rule record when Action is
// 0 to 7 and the keys it needs are SETTING_OK. Nothing when Active is
// unreadable. An Insert_String above 255 bytes sends no rule record.
void ApplyScenario(const CSettingReader& reader, const std::filesystem::path& file, int number,
                   ISetupChannel& channel);

}  // namespace lx2d
