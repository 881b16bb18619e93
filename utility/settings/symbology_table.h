// The 47 symbology sections: one row per section, keys in the order they are
// read and sent, each with its send rule.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace lx2d {

enum class SendRule : uint8_t {
  kNone,       // unused key slot
  kEnable,     // E: number, SETTING_OK and 0 or 1
  kOk,         // N: number, SETTING_OK
  kOkOrEmpty,  // Z: number, SETTING_OK or SETTING_EMPTY (empty sends 0)
  kText,       // T: text, SETTING_OK or SETTING_EMPTY, tokens not replaced
  kExclusive,  // enable of group 0x43: 1 first turns the rival symbologies off
};

struct SymbologyKey {
  std::u16string_view name;
  uint8_t parameter;
  SendRule rule;
};

inline constexpr std::size_t kMaxSymbologyKeys = 7;

struct SymbologySection {
  std::u16string_view name;
  uint8_t group;
  std::array<SymbologyKey, kMaxSymbologyKeys> keys;  // ends at the first kNone
};

// Enabling one of Code128, EAN_128 and ISBT (group 0x43) first writes 0 to
// the enables listed here for it.
struct ExclusiveEnable {
  uint8_t parameter;
  std::array<uint8_t, 2> turnsOff;  // 0 where unused
};

inline constexpr uint8_t kExclusiveGroup = 0x43;

extern const std::array<SymbologySection, 47> kSymbologySections;
extern const std::array<ExclusiveEnable, 3> kExclusiveEnables;

// The used key slots of a section.
std::span<const SymbologyKey> KeysOf(const SymbologySection& section);

}  // namespace lx2d
