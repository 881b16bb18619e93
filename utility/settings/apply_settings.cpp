#include "apply_settings.h"

#include "bcr_type.h"
#include "escape_tokens.h"
#include "scenario.h"
#include "symbology_table.h"
#include "symbology_translator.h"

namespace lx2d {
namespace {

// Positions in kSequenceKeys.
enum Slot : std::size_t {
  kNotForceDefault,
  kProcForceDefault,
  kDirectControlData,
  kDirectSetupData,
  kPrefix,
  kSuffix,
  kAimSymbology,
  kDecodingSecurity,
  kSecurityLevel,
  kDecodingMode,
  kBeepPowerUp,
  kBeepError,
  kBeepSetup,
  kBeepGood,
};

// The byte each EnableAIMSymbology value writes; values from 8 up send
// nothing.
constexpr std::array<uint8_t, 8> kAimBytes = {0x00, 0x03, 0x02, 0x01, 0x02, 0x01, 0x00, 0x03};

// Security_Level 0, 1, 2: decoding security, then parameters 0x80 and 0x81
// of group 0x71, in one request.
constexpr std::array<std::array<uint8_t, 11>, 3> kSecurityBlocks = {{
    {0x71, 0x40, 0x00, 0x71, 0x80, 0x01, 0x2C, 0x71, 0x81, 0x00, 0x00},
    {0x71, 0x40, 0x02, 0x71, 0x80, 0x01, 0x2C, 0x71, 0x81, 0x00, 0x0A},
    {0x71, 0x40, 0x04, 0x71, 0x80, 0x01, 0x5E, 0x71, 0x81, 0x00, 0x1E},
}};

// The beep parameters a default restore of the plain QM20 type turns off.
constexpr std::array<uint8_t, 4> kBeepsOffAfterRestore = {0x41, 0x43, 0x44, 0x40};

constexpr int32_t kByteHigh = 255;

CSettingItem Read(const CSettingReader& reader, const std::filesystem::path& file, Slot slot) {
  const SequenceKey& key = kSequenceKeys[slot];
  return ReadRuleKey(reader, file, key.section, key.rule, key.group, key.parameter);
}

bool Allowed(const CSettingItem& item, Slot slot) {
  return InLimits(kSequenceKeys[slot].rule, item);
}

void RestoreFactoryDefaults(const CSettingReader& reader, const std::filesystem::path& file,
                            int32_t bcrType, ISetupChannel& channel) {
  if (bcrType == 2) {
    const CSettingItem keep = Read(reader, file, kNotForceDefault);
    if (keep.Is(SETTING_OK) && keep.value == 1) return;
    channel.RestoreDefaults();
    for (const uint8_t beep : kBeepsOffAfterRestore) channel.WriteSetupZero(beep);
    return;
  }
  const CSettingItem force = Read(reader, file, kProcForceDefault);
  if (force.Is(SETTING_OK) && force.value == 1) channel.RestoreDefaults();
}

void WriteText(const CSettingReader& reader, const std::filesystem::path& file, Slot slot,
               ISetupChannel& channel) {
  CSettingItem item = Read(reader, file, slot);
  if (!item.IsOkOrEmpty()) return;
  ReplaceEscapeTokens(item);
  channel.WriteSetup(*item.record);
}

void WriteIfInLimits(const CSettingReader& reader, const std::filesystem::path& file, Slot slot,
                     ISetupChannel& channel) {
  const CSettingItem item = Read(reader, file, slot);
  if (Allowed(item, slot)) channel.WriteSetup(*item.record);
}

}  // namespace

// clang-format off
const std::array<SequenceKey, 14> kSequenceKeys = {{
    {u"NOT_FORCE_DEFAULT", {u"ACTIVATE", KeyForm::kNumber1, 0, 1, {}}, 0, 0},
    {u"PROC_FORCE_DEFAULT", {u"ACTIVATE", KeyForm::kNumber1, 0, 1, {}}, 0, 0},
    {u"Set_Direct_Data_By_CtrlCmd", {u"DATA", KeyForm::kByteList, 0, 0, {}}, 0, 0},
    {u"SET_DIRECT_DATA", {u"DATA", KeyForm::kByteList, 0, 0, {}}, 0, 0},
    {u"Prefix", {u"DATA", KeyForm::kText, 0, 0, {}}, 0x60, 0xC0},
    {u"Suffix", {u"DATA", KeyForm::kText, 0, 0, {}}, 0x60, 0xC1},
    {u"EnableAIMSymbology", {u"ACTIVATE", KeyForm::kNumber1, 0, 7, {}}, 0x60, 0x40},
    {u"Decoding_Security", {u"DATA", KeyForm::kNumber1, 0, kByteHigh, {}}, 0x71, 0x40},
    {u"Security_Level", {u"DATA", KeyForm::kNumber1, 0, 2, {}}, 0, 0},
    {u"Decoding_Mode", {u"ACTIVATE", KeyForm::kNumber1, 0, kByteHigh, {}}, 0x7B, 0x40},
    {u"Beep", {u"PowerUp", KeyForm::kNumber1, 0, 1, {}}, 0x72, 0x40},
    {u"Beep", {u"Error", KeyForm::kNumber1, 0, 1, {}}, 0x72, 0x43},
    {u"Beep", {u"Setup", KeyForm::kNumber1, 0, 1, {}}, 0x72, 0x44},
    {u"Beep", {u"Good", KeyForm::kNumber1, 0, 2, {}}, 0x72, 0x41},
}};
// clang-format on

int ApplySettingsFile(const CSettingReader& reader, const std::filesystem::path& file,
                      ISetupChannel& channel) {
  const int32_t bcrType = ReadBcrType(reader, file);
  if (!IsUsableBcrType(bcrType)) return 0;
  RestoreFactoryDefaults(reader, file, bcrType, channel);

  for (const Slot direct : {kDirectControlData, kDirectSetupData}) {
    const CSettingItem list = Read(reader, file, direct);
    if (!list.Is(SETTING_OK)) continue;
    if (direct == kDirectControlData) {
      channel.SendControlCommand(*list.record);
    } else {
      channel.WriteSetup(*list.record);
    }
    return 1;
  }

  for (int number = 1; number <= kScenarioCount; ++number)
    ApplyScenario(reader, file, number, channel);
  for (const SymbologySection& section : kSymbologySections) {
    TranslateSymbology(reader, file, section, channel);
  }
  WriteText(reader, file, kPrefix, channel);
  WriteText(reader, file, kSuffix, channel);

  CSettingItem aim = Read(reader, file, kAimSymbology);
  if (Allowed(aim, kAimSymbology)) {
    (*aim.record)[2] = kAimBytes[static_cast<std::size_t>(aim.value)];
    channel.WriteSetup(*aim.record);
  }
  WriteIfInLimits(reader, file, kDecodingSecurity, channel);

  // The status is not consulted: a missing, empty or invalid level is 0.
  const CSettingItem level = Read(reader, file, kSecurityLevel);
  if (level.value >= 0 && level.value < static_cast<int32_t>(kSecurityBlocks.size())) {
    channel.WriteSetup(kSecurityBlocks[static_cast<std::size_t>(level.value)]);
  }
  WriteIfInLimits(reader, file, kDecodingMode, channel);
  for (const Slot beep : {kBeepPowerUp, kBeepError, kBeepSetup, kBeepGood}) {
    WriteIfInLimits(reader, file, beep, channel);
  }
  return 1;
}

}  // namespace lx2d
