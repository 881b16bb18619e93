// Enciphering and deciphering the blocks of a capsule (electronic code book,
// from the first byte after the header).
#pragma once

#include <cstdint>
#include <span>

#include "power_crypto.h"

namespace lx2d::power {

// Runs `blocks` blocks of `capsule` through the cipher, never past its end.
// -1 when all went through, else the index of the block that failed.
int EncipherCapsuleBlocks(const BlowfishContext* context, std::span<uint8_t> capsule,
                          uint32_t blocks);
int DecipherCapsuleBlocks(const BlowfishContext* context, std::span<uint8_t> capsule,
                          uint32_t blocks);

}  // namespace lx2d::power
