// The messages between a host and a user-space driver (docs/power-driver.md):
// 32-bit little-endian integers, one SOCK_SEQPACKET message each way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace lx2d::platform {

// Request: code, output capacity, input bytes. Answer: success flag, last
// error, output bytes.
inline constexpr size_t kDeviceWireHeadBytes = 8;

// The file names inside an interface folder.
inline constexpr std::string_view kDriverSocketName = "socket";
inline constexpr std::string_view kDriverVersionName = "DriverVersion";

inline void PutWireWord(std::vector<uint8_t>& bytes, DWORD value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
}

inline DWORD WireWordAt(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<DWORD>(bytes[offset]) | static_cast<DWORD>(bytes[offset + 1]) << 8 |
         static_cast<DWORD>(bytes[offset + 2]) << 16 | static_cast<DWORD>(bytes[offset + 3]) << 24;
}

// Letters, digits, '-', '_' and '.', not starting with '.', at most 64.
bool ValidInterfaceName(std::string_view name);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" with hex digits of either case.
bool ValidClassGuid(std::string_view guid);

}  // namespace lx2d::platform
