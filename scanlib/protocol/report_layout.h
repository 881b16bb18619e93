// Layout tests of the reports whose payload the engine reads itself.
#pragma once

#include <cstdint>
#include <span>

namespace lx2d {

// BCD and SBCD: a big-endian data length N in bytes 0-1, then N data bytes.
// True when the payload is exactly N + 2 bytes long.
bool BcdLayoutValid(std::span<const uint8_t> payload);

// BCDEX: a 13-byte header whose bytes 3-12 hold five big-endian lengths.
// True when the payload is exactly 13 bytes plus their sum long.
bool BcdexLayoutValid(std::span<const uint8_t> payload);

// EVT: a walk over elements whose length the top two bits of their second
// byte give (2, 3, 4, or 2 + the big-endian value in bytes 2-3). False on a
// syntax error: an element that starts with fewer than 2 bytes left, or a
// variable-length element too short to hold its length field.
bool EvtLayoutValid(std::span<const uint8_t> payload);

}  // namespace lx2d
