#include "report_layout.h"

#include <cstddef>

namespace lx2d {
namespace {

size_t BigEndian16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<size_t>(bytes[at]) << 8 | bytes[at + 1];
}

constexpr size_t kBcdexHeader = 13;

}  // namespace

bool BcdLayoutValid(std::span<const uint8_t> payload) {
  return payload.size() >= 2 && BigEndian16(payload, 0) + 2 == payload.size();
}

bool BcdexLayoutValid(std::span<const uint8_t> payload) {
  if (payload.size() < kBcdexHeader) return false;
  size_t total = kBcdexHeader;
  for (size_t at = 3; at < kBcdexHeader; at += 2) total += BigEndian16(payload, at);
  return total == payload.size();
}

bool EvtLayoutValid(std::span<const uint8_t> payload) {
  size_t offset = 0;
  while (offset < payload.size()) {
    const size_t left = payload.size() - offset;
    if (left < 2) return false;
    switch (payload[offset + 1] >> 6) {
      case 0:
        offset += 2;
        break;
      case 1:
        offset += 3;
        break;
      case 2:
        offset += 4;
        break;
      default:
        // The length field sits in bytes 2-3; an element too short to hold
        // it cannot be walked past.
        if (left < 4) return false;
        offset += 2 + BigEndian16(payload, offset + 2);
        break;
    }
  }
  return true;
}

}  // namespace lx2d
