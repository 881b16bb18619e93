#include "scenario.h"

#include <vector>

#include "escape_tokens.h"
#include "parameter_record.h"

namespace lx2d {
namespace {

// Positions in kScenarioKeys.
enum Slot : std::size_t {
  kActive,
  kSymbology,
  kMask,
  kTargetLength,
  kAction,
  kSrcLocation,
  kOriginalCharacter,
  kActionLength,
  kDstLocation,
  kReplacingCharacter,
  kInsertString,
  kSlotCount,
};

constexpr int32_t kTwoByteLow = -32768;
constexpr int32_t kTwoByteHigh = 65535;
constexpr std::size_t kMaxInsertBytes = 255;

// What follows the action byte, in record order (kSlotCount where unused).
struct RuleLayout {
  std::array<Slot, 3> arguments;
};

constexpr Slot kNo = kSlotCount;

// clang-format off
constexpr std::array<RuleLayout, 8> kRuleLayouts = {{
    {{kNo, kNo, kNo}},                                   // 0: no arguments, no action byte
    {{kSrcLocation, kActionLength, kDstLocation}},       // 1
    {{kSrcLocation, kActionLength, kNo}},                // 2
    {{kDstLocation, kInsertString, kNo}},                // 3
    {{kOriginalCharacter, kReplacingCharacter, kNo}},    // 4
    {{kOriginalCharacter, kNo, kNo}},                    // 5
    {{kSrcLocation, kActionLength, kDstLocation}},       // 6
    {{kNo, kNo, kNo}},                                   // 7
}};
// clang-format on

bool IsText(Slot slot) { return kScenarioKeys[slot].rule.form == KeyForm::kText; }

// The rule record of `action`, or nothing when a needed key is not
// SETTING_OK or the insert text does not fit its one-byte length.
std::optional<std::vector<uint8_t>> BuildRule(std::vector<CSettingItem>& items, int action,
                                              int index) {
  const RuleLayout& layout = kRuleLayouts[static_cast<std::size_t>(action)];
  for (const Slot slot : layout.arguments) {
    if (slot != kNo && !items[slot].Is(SETTING_OK)) return std::nullopt;
  }
  std::vector<uint8_t> body;
  if (action != 0) body.push_back(static_cast<uint8_t>(action));
  for (const Slot slot : layout.arguments) {
    if (slot == kNo) continue;
    CSettingItem& item = items[slot];
    if (!IsText(slot)) {
      AppendSignMagnitude(body, item.value);
      continue;
    }
    ReplaceEscapeTokens(item);
    const std::vector<uint8_t>& record = *item.record;
    const std::size_t textBytes = record.size() - 4;
    if (slot != kInsertString) {
      body.push_back(record[4]);
      continue;
    }
    if (textBytes > kMaxInsertBytes) return std::nullopt;
    body.push_back(static_cast<uint8_t>(textBytes));
    body.insert(body.end(), record.begin() + 4, record.end());
  }
  std::vector<uint8_t> rule{kScenarioGroup,
                            static_cast<uint8_t>(kScenarioKeys[kAction].parameterBase + index)};
  AppendSignMagnitude(rule, static_cast<int32_t>(body.size()));
  rule.insert(rule.end(), body.begin(), body.end());
  return rule;
}

}  // namespace

// clang-format off
const std::array<SETTING_VALUE_NAME, 42> kScenarioSymbologyNames = {{
    {0x00, u"ALLITEM"}, {0x13, u"Codabar"}, {0x1A, u"Code11"}, {0x17, u"Code128"},
    {0x0D, u"Code39"}, {0x19, u"Code93"}, {0x01, u"EAN_13"}, {0x02, u"EAN_8"},
    {0x03, u"UPC_A"}, {0x04, u"UPC_E"}, {0x0F, u"Interleaved2of5"}, {0x23, u"ISBT128"},
    {0x11, u"Matrix2of5"}, {0x15, u"MSI"}, {0x21, u"PDF417"}, {0x24, u"MicroPDF417"},
    {0x16, u"Plessey"}, {0x10, u"Standard2of5"}, {0x1B, u"Telepen"}, {0x4A, u"Aztec"},
    {0x3C, u"ISBN"}, {0x2A, u"Maxicode"}, {0x29, u"QR"}, {0x25, u"RSS_14"},
    {0x27, u"RSS_Expanded"}, {0x26, u"RSS_Limited"}, {0x28, u"DataMatrix"},
    {0x1E, u"Codablock_A"}, {0x1F, u"Codablock_F"}, {0x22, u"EAN128"}, {0x48, u"ISMN"},
    {0x49, u"ISSN"}, {0x46, u"TLC39"}, {0x41, u"AustralianPost"}, {0x3F, u"BPO"},
    {0x43, u"DutchPost"}, {0x42, u"JapanPost"}, {0x3E, u"Planet"}, {0x3D, u"Postnet"},
    {0x40, u"CanadaPost"}, {0x4C, u"Infomail"}, {0x4B, u"SwedenPost"},
}};

const std::array<ScenarioKey, 11> kScenarioKeys = {{
    {{u"Active", KeyForm::kNumber1, 0, 1, {}}, false, 0x40},
    {{u"Symbology", KeyForm::kNumber1, 0, 255, kScenarioSymbologyNames}, false, 0x50},
    {{u"Mask", KeyForm::kText, 0, 0, {}}, false, 0xC0},
    {{u"TargetBarcodeLength", KeyForm::kNumber2, kTwoByteLow, kTwoByteHigh, {}}, false, 0x80},
    {{u"Action", KeyForm::kNumber1, 0, 7, {}}, true, 0xD0},
    {{u"Src_Location", KeyForm::kNumber2, kTwoByteLow, kTwoByteHigh, {}}, true, 0},
    {{u"Original_Character", KeyForm::kText, 0, 0, {}}, true, 0},
    {{u"ActionLength", KeyForm::kNumber2, kTwoByteLow, kTwoByteHigh, {}}, true, 0},
    {{u"Dst_Location", KeyForm::kNumber2, kTwoByteLow, kTwoByteHigh, {}}, true, 0},
    {{u"Replacing_Character", KeyForm::kText, 0, 0, {}}, true, 0},
    {{u"Insert_String", KeyForm::kText, 0, 0, {}}, true, 0},
}};
// clang-format on

std::u16string ScenarioSectionName(int number, bool ruleSection) {
  std::u16string name = u"Scenario_";
  name.push_back(static_cast<char16_t>(u'0' + number));
  if (ruleSection) name += u"_Rule_1";
  return name;
}

void ApplyScenario(const CSettingReader& reader, const std::filesystem::path& file, int number,
                   ISetupChannel& channel) {
  const int index = number - 1;
  const std::u16string section = ScenarioSectionName(number, false);
  const std::u16string ruleSection = ScenarioSectionName(number, true);
  std::vector<CSettingItem> items;
  for (const ScenarioKey& key : kScenarioKeys) {
    const uint8_t parameter =
        key.parameterBase == 0 ? 0 : static_cast<uint8_t>(key.parameterBase + index);
    items.push_back(ReadRuleKey(reader, file, key.inRuleSection ? ruleSection : section, key.rule,
                                key.parameterBase == 0 ? 0 : kScenarioGroup, parameter));
    if (items.front().Is(SETTING_UNREADABLE)) return;
  }
  if (InLimits(kScenarioKeys[kActive].rule, items[kActive]))
    channel.WriteSetup(*items[kActive].record);
  if (items[kSymbology].Is(SETTING_OK)) channel.WriteSetup(*items[kSymbology].record);
  if (items[kMask].IsOkOrEmpty()) {
    ReplaceEscapeTokens(items[kMask]);
    channel.WriteSetup(*items[kMask].record);
  }
  if (items[kTargetLength].Is(SETTING_OK)) channel.WriteSetup(*items[kTargetLength].record);
  if (!InLimits(kScenarioKeys[kAction].rule, items[kAction])) return;
  const std::optional<std::vector<uint8_t>> rule = BuildRule(items, items[kAction].value, index);
  if (rule) channel.WriteSetup(*rule);
}

}  // namespace lx2d
