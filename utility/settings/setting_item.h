// One key of the settings file as the engine reads it, and the constant
// descriptors that name the keys.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lx2d {

// Item statuses. Expected problems in a settings file end here, never in a
// message: the caller decides per key whether a status sends a record.
inline constexpr int32_t SETTING_OK = 0;        // value read and accepted
inline constexpr int32_t SETTING_INVALID = -1;  // value present but unusable
inline constexpr int32_t SETTING_EMPTY = -2;    // value present but empty ("" or a bare "0x")
inline constexpr int32_t SETTING_MISSING = -3;  // key (or its section) absent
inline constexpr int32_t SETTING_UNREADABLE =
    -4;  // settings file unusable: too long a path, absent

// A key of a section, with the group and parameter bytes of the parameter
// record it becomes. Keys never sent as a record carry 0 and 0.
struct SETTING_KEY {
  std::u16string_view name;
  uint8_t group;
  uint8_t parameter;
};

// One entry of a value-name table: the name a file may write for a value.
// Tables are spans, so no terminating entry is needed.
struct SETTING_VALUE_NAME {
  int32_t value;
  std::u16string_view name;
};

// The result of reading one key.
class CSettingItem {
 public:
  std::filesystem::path filePath;
  // The encoded parameter record (or, for a byte list, the bytes as they
  // are); absent when the key gives nothing to send.
  std::optional<std::vector<uint8_t>> record;
  int32_t status = SETTING_UNREADABLE;
  // The value as read, at most kMaxProfileValue characters.
  std::u16string rawText;
  // The numeric value, 0 until one is accepted; for text items the flag
  // that escape tokens were replaced (0 or 1).
  int32_t value = 0;
  // 1 or 2 for numeric items.
  int32_t width = 0;

  int32_t RecordLength() const { return record ? static_cast<int32_t>(record->size()) : 0; }
  bool Is(int32_t wanted) const { return status == wanted; }
  bool IsOkOrEmpty() const { return status == SETTING_OK || status == SETTING_EMPTY; }
};

}  // namespace lx2d
