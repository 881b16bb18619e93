#include "window_wire.h"

namespace lx2d::platform {

namespace {

constexpr std::uint8_t kMagic[4] = {'L', 'X', '2', 'W'};

void Put(WireBytes& bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i)
    bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t Get(const std::uint8_t* bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= std::uint64_t{bytes[offset + i]} << (8 * i);
  return value;
}

}  // namespace

WireBytes EncodeWire(const WireMessage& message) {
  WireBytes bytes{};
  for (std::size_t i = 0; i < 4; ++i) bytes[i] = kMagic[i];
  Put(bytes, 4, kWireVersion, 2);
  Put(bytes, 6, static_cast<std::uint16_t>(message.kind), 2);
  Put(bytes, 8, message.window, 4);
  Put(bytes, 12, message.message, 4);
  Put(bytes, 16, message.wParam, 8);
  Put(bytes, 24, static_cast<std::uint64_t>(message.lParam), 8);
  Put(bytes, 32, static_cast<std::uint64_t>(message.senderPid), 8);
  Put(bytes, 40, static_cast<std::uint64_t>(message.result), 8);
  return bytes;
}

bool DecodeWire(const std::uint8_t* bytes, std::size_t size, WireMessage* message) {
  if (bytes == nullptr || size != kWireSize) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    if (bytes[i] != kMagic[i]) return false;
  }
  if (Get(bytes, 4, 2) != kWireVersion) return false;
  auto kind = static_cast<std::uint16_t>(Get(bytes, 6, 2));
  if (kind < 1 || kind > 3) return false;
  message->kind = static_cast<WireKind>(kind);
  message->window = static_cast<std::uint32_t>(Get(bytes, 8, 4));
  message->message = static_cast<UINT>(Get(bytes, 12, 4));
  message->wParam = Get(bytes, 16, 8);
  message->lParam = static_cast<LPARAM>(Get(bytes, 24, 8));
  message->senderPid = static_cast<std::int64_t>(Get(bytes, 32, 8));
  message->result = static_cast<LRESULT>(Get(bytes, 40, 8));
  return true;
}

}  // namespace lx2d::platform
