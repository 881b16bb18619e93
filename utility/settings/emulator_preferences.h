// WriteEmulatorPreferences: copies the companion emulator's preferences from
// the settings file into the emulator's registry key.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

#include "key_rule.h"
#include "preference_registry.h"
#include "setting_reader.h"

namespace lx2d {

enum class PreferenceKind : uint8_t {
  kText,     // REG_SZ, written when SETTING_OK or SETTING_EMPTY
  kDword,    // REG_DWORD, the value when within the rule's limits
  kHideBit,  // one bit of HydeConnectMenuItem: 0 clears it, 1 sets it
  kMapped,   // REG_DWORD, the value looked up in `mapped`
};

struct EmulatorPreference {
  std::u16string_view section;
  KeyRule rule;
  std::u16string_view valueName;
  PreferenceKind kind;
  uint32_t bit;                    // kHideBit
  std::array<uint32_t, 3> mapped;  // kMapped: what values 0 .. rule.high write
};

// In processing order; the three kHideBit rows are adjacent.
extern const std::array<EmulatorPreference, 13> kEmulatorPreferences;

// Returns 0 when BCR_TYPE does not let the file be used (nothing written),
// 1 otherwise. Write failures are ignored: the other values are still
// written. Texts are stored in the round trip through the ANSI code page,
// without terminator and with tokens as written; the hide flags only when
// they change.
int WriteEmulatorPreferences(const CSettingReader& reader, const std::filesystem::path& file,
                             std::u16string_view emulatorKey, IPreferenceRegistry& registry);

}  // namespace lx2d
