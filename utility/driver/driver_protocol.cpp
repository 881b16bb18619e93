#include "driver_protocol.h"

#include <algorithm>

namespace lx2d::power {

uint32_t WordAt(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void PutWord(std::span<uint8_t> bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t HalfAt(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

uint32_t CapsuleSize(uint32_t contentLength) { return ((contentLength - 1u) & ~7u) + 24u; }

uint32_t CapsuleBlockCount(uint32_t capsuleSize) {
  return capsuleSize < kCapsuleMinimumBytes ? 0 : (capsuleSize - kCapsuleMinimumBytes) / 8;
}

std::vector<uint8_t> BuildCapsule(std::span<const uint8_t> content, uint32_t sessionId) {
  const uint32_t length = static_cast<uint32_t>(content.size());
  std::vector<uint8_t> capsule(CapsuleSize(length), 0);
  PutWord(capsule, kCapsuleContentLengthOffset, length);
  PutWord(capsule, kCapsuleSizeOffset, static_cast<uint32_t>(capsule.size()));
  PutWord(capsule, kCapsuleSessionOffset, sessionId);
  std::copy(content.begin(), content.end(), capsule.begin() + kCapsuleHeaderBytes);
  return capsule;
}

std::vector<uint8_t> EmptyCapsule(uint32_t capacity) {
  return std::vector<uint8_t>(CapsuleSize(capacity), 0);
}

CapsuleCheck CheckCapsule(std::span<const uint8_t> received) {
  if (received.size() < kCapsuleHeaderBytes) return CapsuleCheck::kTooShort;
  const uint32_t size = WordAt(received, kCapsuleSizeOffset);
  if (size < kCapsuleMinimumBytes || size > received.size()) return CapsuleCheck::kBadSize;
  if (WordAt(received, kCapsuleContentLengthOffset) > size - kCapsuleHeaderBytes) {
    return CapsuleCheck::kContentTooLong;
  }
  return CapsuleCheck::kOk;
}

std::vector<uint8_t> BuildInnerMessage(uint32_t counter, std::span<const uint8_t> input,
                                       uint32_t outputCapacity) {
  const uint32_t length = static_cast<uint32_t>(input.size());
  std::vector<uint8_t> message(input.size() + kInnerExtraBytes, 0);
  PutWord(message, 0, counter);
  PutWord(message, 4, length + static_cast<uint32_t>(kInnerExtraBytes));
  PutWord(message, 8, kInnerControlCode);
  PutWord(message, 12, length);
  PutWord(message, 16, outputCapacity);
  std::copy(input.begin(), input.end(), message.begin() + kInnerHeadBytes);
  return message;
}

bool ParseInnerMessage(std::span<const uint8_t> message, InnerMessage& parsed) {
  if (message.size() < kInnerExtraBytes) return false;
  const uint32_t total = WordAt(message, 4);
  const uint32_t length = WordAt(message, 12);
  if (total > message.size() || length > total - kInnerExtraBytes ||
      total - kInnerExtraBytes != length) {
    return false;
  }
  parsed.counter = WordAt(message, 0);
  parsed.code = WordAt(message, 8);
  parsed.outputCapacity = WordAt(message, 16);
  parsed.input = message.subspan(kInnerHeadBytes, length);
  return true;
}

MiscPacket MakeMiscPacket(uint8_t item, uint8_t operation, uint8_t value) {
  MiscPacket packet{};
  packet[0] = kMiscFunction;
  packet[1] = 2;
  packet[kMiscInputLengthOffset] = kMiscPacketBytes;
  packet[kMiscOutputLengthOffset] = kMiscPacketBytes;
  packet[kMiscItemOffset] = item;
  packet[kMiscOperationOffset] = operation;
  packet[kMiscValueOffset] = value;
  return packet;
}

}  // namespace lx2d::power
