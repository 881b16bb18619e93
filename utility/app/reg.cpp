#include "reg.h"

#include <array>

#include "platform/text.h"

namespace lx2d {
namespace {

using namespace platform;

// Reads a value into a buffer of `capacity` bytes; false on any failure.
bool Query(IRegistry& registry, HKEY root, std::u16string_view key, std::u16string_view name,
           DWORD capacity, DWORD& type, std::vector<uint8_t>& data) {
  HKEY handle = 0;
  if (registry.OpenKey(root, Utf16ToUtf8(key), KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
    return false;
  data.assign(capacity, 0);
  DWORD size = capacity;
  const LSTATUS status = registry.QueryValue(handle, Utf16ToUtf8(name), &type, data.data(), &size);
  registry.CloseKey(handle);
  if (status != ERROR_SUCCESS) return false;
  return true;
}

}  // namespace

std::optional<std::u16string> CReg::ReadEmulatorKeyPath() {
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  if (!Query(registry, HKEY_LOCAL_MACHINE, kUtilityKey, kEmulatorKeyPathValue,
             kEmulatorKeyPathBytes, type, data) ||
      (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)) {
    return std::nullopt;
  }
  std::u16string path;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    path.push_back(c);
  }
  return path;
}

std::optional<uint32_t> CReg::ReadDwordValue(HKEY root, std::u16string_view key,
                                             std::u16string_view name) {
  constexpr DWORD kCapacity = 256;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  if (!Query(registry, root, key, name, kCapacity, type, data) || type != REG_DWORD)
    return std::nullopt;
  return static_cast<uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                               (uint32_t{data[3]} << 24));
}

std::optional<uint32_t> CReg::ReadDwordValue(std::u16string_view key, std::u16string_view name) {
  return ReadDwordValue(HKEY_LOCAL_MACHINE, key, name);
}

bool CReg::WriteStringValue(std::u16string_view key, std::u16string_view name,
                            std::span<const uint8_t> data) {
  return SetValue(key, name, REG_SZ, data, false);
}

bool CReg::WriteDwordValue(std::u16string_view key, std::u16string_view name, uint32_t value) {
  const std::array<uint8_t, 4> data = {
      static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
      static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return SetValue(key, name, REG_DWORD, data, true);
}

bool CReg::SetValue(std::u16string_view key, std::u16string_view name, DWORD type,
                    std::span<const uint8_t> data, bool retryWithWriteAccess) {
  const std::string keyPath = Utf16ToUtf8(key);
  HKEY handle = 0;
  LSTATUS status = registry.CreateKey(HKEY_LOCAL_MACHINE, keyPath, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, &handle, nullptr);
  if (status != ERROR_SUCCESS && retryWithWriteAccess) {
    status = registry.CreateKey(HKEY_LOCAL_MACHINE, keyPath, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                &handle, nullptr);
  }
  if (status != ERROR_SUCCESS) return false;
  status = registry.SetValue(handle, Utf16ToUtf8(name), type, data.data(),
                             static_cast<DWORD>(data.size()));
  registry.CloseKey(handle);
  return status == ERROR_SUCCESS;
}

}  // namespace lx2d
