// CReg: the utility's registry helpers over the platform registry: the
// emulator key path, DWORD reads, and the string and DWORD writes of the
// emulator preferences (always under HKEY_LOCAL_MACHINE). Every failure is
// an answer of false or nothing; nothing is reported.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "preference_registry.h"

namespace lx2d {

inline constexpr std::u16string_view kUtilityKey = u"SOFTWARE\\Korvane\\LX2D_B_SET";
inline constexpr std::u16string_view kEmulatorKeyPathValue = u"LX2D_EMU_AccessRegKeyInfo";
inline constexpr std::u16string_view kDefaultEmulatorKey = u"SOFTWARE\\Korvane\\LX2D_EMU";

// Capacity the utility gives the emulator key path, in bytes.
inline constexpr uint32_t kEmulatorKeyPathBytes = 1040;

class CReg final : public IPreferenceRegistry {
 public:
  // `store` must outlive the object.
  explicit CReg(platform::IRegistry& store) : registry(store) {}

  // The configured emulator key path: "LX2D_EMU_AccessRegKeyInfo" under
  // HKLM\SOFTWARE\Korvane\LX2D_B_SET when it is a REG_SZ, REG_EXPAND_SZ or
  // REG_MULTI_SZ of at most kEmulatorKeyPathBytes bytes (up to its first
  // NUL); nothing otherwise.
  std::optional<std::u16string> ReadEmulatorKeyPath();

  // The value when it exists and is a REG_DWORD.
  std::optional<uint32_t> ReadDwordValue(platform::HKEY root, std::u16string_view key,
                                         std::u16string_view name);

  // IPreferenceRegistry, under HKEY_LOCAL_MACHINE.
  bool WriteStringValue(std::u16string_view key, std::u16string_view name,
                        std::span<const uint8_t> data) override;
  bool WriteDwordValue(std::u16string_view key, std::u16string_view name, uint32_t value) override;
  std::optional<uint32_t> ReadDwordValue(std::u16string_view key,
                                         std::u16string_view name) override;

 private:
  bool SetValue(std::u16string_view key, std::u16string_view name, platform::DWORD type,
                std::span<const uint8_t> data, bool retryWithWriteAccess);

  platform::IRegistry& registry;
};

}  // namespace lx2d
