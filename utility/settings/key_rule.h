// How the engine judges one key: its form and the values it sends. The
// engine's tables carry these so that people's tools (the settings linter)
// judge a file exactly as the engine does.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "setting_item.h"
#include "setting_reader.h"

namespace lx2d {

enum class KeyForm : uint8_t {
  kNumber1,   // one-byte number
  kNumber2,   // two-byte number
  kText,      // text
  kByteList,  // base key with DATA1, DATA2, ...
};

// A key and the values for which the engine sends something. Numbers outside
// low..high are read but dropped; for texts and byte lists the limits say
// nothing.
struct KeyRule {
  std::u16string_view name;
  KeyForm form;
  int32_t low;
  int32_t high;
  std::span<const SETTING_VALUE_NAME> names;
};

// Reads the key in its form; `group` and `parameter` head the record.
CSettingItem ReadRuleKey(const CSettingReader& reader, const std::filesystem::path& file,
                         std::u16string_view section, const KeyRule& rule, uint8_t group = 0,
                         uint8_t parameter = 0);

// SETTING_OK with a value from low to high.
bool InLimits(const KeyRule& rule, const CSettingItem& item);

}  // namespace lx2d
