#include "emulator_preferences.h"

#include <string>
#include <vector>

#include "bcr_type.h"

namespace lx2d {
namespace {

constexpr std::u16string_view kHideFlagsValue = u"HydeConnectMenuItem";

KeyRule Number(std::u16string_view name, int32_t high) {
  return {name, KeyForm::kNumber1, 0, high, {}};
}

KeyRule Text(std::u16string_view name) { return {name, KeyForm::kText, 0, 0, {}}; }

std::vector<uint8_t> Utf16LeBytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

}  // namespace

// clang-format off
const std::array<EmulatorPreference, 13> kEmulatorPreferences = {{
    {u"PrefixByEmulator", Text(u"DATA"), u"PrefixCode", PreferenceKind::kText, 0, {}},
    {u"SuffixByEmulator", Text(u"DATA"), u"SuffixCode", PreferenceKind::kText, 0, {}},
    {u"Allow_AIM_in_Scanned_Data", Number(u"ACTIVATE", 1), u"AllowAIMCode", PreferenceKind::kDword, 0, {}},
    {u"Successful_Scan_Audio", Text(u"DATA"), u"DecodeSuccessSound", PreferenceKind::kText, 0, {}},
    {u"Successful_Scan_Audio", Number(u"ACTIVATE", 1), u"DecodeSuccessSoundEnable", PreferenceKind::kDword, 0, {}},
    {u"Initial_Connection", Number(u"STATUS", 3), u"InitialConnectMode", PreferenceKind::kDword, 0, {}},
    {u"HideFunc", Number(u"DISCONNECT", 1), kHideFlagsValue, PreferenceKind::kHideBit, 1, {}},
    {u"HideFunc", Number(u"PW-SAVE", 1), kHideFlagsValue, PreferenceKind::kHideBit, 2, {}},
    {u"HideFunc", Number(u"ALWAYS", 1), kHideFlagsValue, PreferenceKind::kHideBit, 4, {}},
    {u"HideFunc", Number(u"BCR_MODULE", 2), u"UseBCRPowerMenuInfo", PreferenceKind::kMapped, 0, {3, 2, 1}},
    {u"HideFunc", Number(u"EXIT", 1), u"UseExitMenu", PreferenceKind::kMapped, 0, {1, 0, 0}},
    {u"AllAscii", Number(u"ACTIVATE", 1), u"Allow_Unreadable_Char", PreferenceKind::kDword, 0, {}},
    {u"Continuous_Read_Mode", Number(u"ACTIVATE", 1), u"BCR_Module_Read_Continuous", PreferenceKind::kDword, 0, {}},
}};
// clang-format on

int WriteEmulatorPreferences(const CSettingReader& reader, const std::filesystem::path& file,
                             std::u16string_view emulatorKey, IPreferenceRegistry& registry) {
  if (!IsUsableBcrType(ReadBcrType(reader, file))) return 0;
  std::optional<uint32_t> oldFlags;  // read when the first hide bit comes up
  uint32_t newFlags = 0;
  for (std::size_t i = 0; i < kEmulatorPreferences.size(); ++i) {
    const EmulatorPreference& preference = kEmulatorPreferences[i];
    const CSettingItem item = ReadRuleKey(reader, file, preference.section, preference.rule);
    switch (preference.kind) {
      case PreferenceKind::kText:
        if (item.IsOkOrEmpty()) {
          const std::string bytes(item.record->begin() + 4, item.record->end());
          registry.WriteStringValue(emulatorKey, preference.valueName,
                                    Utf16LeBytes(reader.CodePage().ToWide(bytes)));
        }
        break;
      case PreferenceKind::kDword:
        if (InLimits(preference.rule, item)) {
          registry.WriteDwordValue(emulatorKey, preference.valueName,
                                   static_cast<uint32_t>(item.value));
        }
        break;
      case PreferenceKind::kMapped:
        if (InLimits(preference.rule, item)) {
          registry.WriteDwordValue(emulatorKey, preference.valueName,
                                   preference.mapped[static_cast<std::size_t>(item.value)]);
        }
        break;
      case PreferenceKind::kHideBit:
        if (!oldFlags) {
          oldFlags = registry.ReadDwordValue(emulatorKey, kHideFlagsValue).value_or(0);
          newFlags = *oldFlags;
        }
        if (InLimits(preference.rule, item)) {
          newFlags = item.value == 1 ? (newFlags | preference.bit) : (newFlags & ~preference.bit);
        }
        const bool lastBit = i + 1 == kEmulatorPreferences.size() ||
                             kEmulatorPreferences[i + 1].kind != PreferenceKind::kHideBit;
        if (lastBit && newFlags != *oldFlags) {
          registry.WriteDwordValue(emulatorKey, kHideFlagsValue, newFlags);
        }
        break;
    }
  }
  return 1;
}

}  // namespace lx2d
