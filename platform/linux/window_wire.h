// The datagram that carries one window message between processes
// (docs/window-messages.md): 48 bytes, little-endian.
//
// | Offset | Size | Field                                                   |
// |--------|------|---------------------------------------------------------|
// | 0      | 4    | magic "LX2W"                                            |
// | 4      | 2    | version, 1                                              |
// | 6      | 2    | kind: 1 posted, 2 sent (reply socket attached), 3 reply |
// | 8      | 4    | target window handle                                    |
// | 12     | 4    | message number                                          |
// | 16     | 8    | wParam                                                  |
// | 24     | 8    | lParam (signed)                                         |
// | 32     | 8    | sender's process id                                     |
// | 40     | 8    | result of the window procedure (reply only, signed)     |
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/window.h"

namespace lx2d::platform {

inline constexpr std::size_t kWireSize = 48;
inline constexpr std::uint16_t kWireVersion = 1;

enum class WireKind : std::uint16_t { kPosted = 1, kSent = 2, kReply = 3 };

struct WireMessage {
  WireKind kind = WireKind::kPosted;
  std::uint32_t window = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::int64_t senderPid = 0;
  LRESULT result = 0;
};

using WireBytes = std::array<std::uint8_t, kWireSize>;

WireBytes EncodeWire(const WireMessage& message);

// Decodes `size` bytes. False (and *message untouched) when the size, magic,
// version or kind is wrong: such datagrams are dropped by the receiver.
bool DecodeWire(const std::uint8_t* bytes, std::size_t size, WireMessage* message);

}  // namespace lx2d::platform
