// The session's random generator: a 20-byte pool seeded from the clocks and
// stirred with SHA-1 after every draw, as the driver's peers expect it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "power_crypto.h"

namespace lx2d::power {

class CHdRand {
 public:
  CHdRand() = default;
  ~CHdRand();  // wipes the pool
  CHdRand(const CHdRand&) = delete;
  CHdRand& operator=(const CHdRand&) = delete;

  // hdrand_init: pool = SHA-1 over the 8-byte monotonic counter and the
  // 16-byte system time; position 0. False when SHA-1 fails.
  bool Init();

  // hdrand_test: two draws in a row must differ. Each run moves the
  // generator on, so a failed run may be repeated.
  bool Test();

  // One 32-bit word from the pool; then the pool is stirred. False when
  // SHA-1 fails (the word is then not to be used).
  bool Draw(uint32_t& word);

  // Fills `bytes` (a multiple of 4) with draws, each word little-endian.
  bool DrawBytes(std::span<uint8_t> bytes);

 private:
  Digest pool{};
  uint32_t position = 0;
};

}  // namespace lx2d::power
