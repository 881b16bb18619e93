// The registry operations the emulator preferences need, all under
// HKEY_LOCAL_MACHINE. The utility's registry helpers implement them over the
// platform registry; the settings tool records them instead.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace lx2d {

class IPreferenceRegistry {
 public:
  virtual ~IPreferenceRegistry() = default;

  // Creates or opens `key` and stores `data` as REG_SZ exactly as given (no
  // terminator added). False on any registry failure.
  virtual bool WriteStringValue(std::u16string_view key, std::u16string_view name,
                                std::span<const uint8_t> data) = 0;

  // Creates or opens `key` and stores a REG_DWORD. False on any failure.
  virtual bool WriteDwordValue(std::u16string_view key, std::u16string_view name,
                               uint32_t value) = 0;

  // The value when it exists and is a REG_DWORD; nothing otherwise.
  virtual std::optional<uint32_t> ReadDwordValue(std::u16string_view key,
                                                 std::u16string_view name) = 0;
};

}  // namespace lx2d
