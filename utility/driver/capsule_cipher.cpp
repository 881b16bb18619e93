#include "capsule_cipher.h"

#include <algorithm>

#include "driver_protocol.h"

namespace lx2d::power {
namespace {

using BlockCipher = bool (*)(const BlowfishContext*, std::span<uint8_t, kBlowfishBlockBytes>);

int RunBlocks(BlockCipher cipher, const BlowfishContext* context, std::span<uint8_t> capsule,
              uint32_t blocks) {
  const size_t room = capsule.size() < kCapsuleHeaderBytes
                          ? 0
                          : (capsule.size() - kCapsuleHeaderBytes) / kBlowfishBlockBytes;
  const size_t count = std::min<size_t>(blocks, room);
  for (size_t i = 0; i < count; ++i) {
    const auto block =
        capsule.subspan(kCapsuleHeaderBytes + i * kBlowfishBlockBytes).first<kBlowfishBlockBytes>();
    if (!cipher(context, block)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

int EncipherCapsuleBlocks(const BlowfishContext* context, std::span<uint8_t> capsule,
                          uint32_t blocks) {
  return RunBlocks(BlowfishEncipher, context, capsule, blocks);
}

int DecipherCapsuleBlocks(const BlowfishContext* context, std::span<uint8_t> capsule,
                          uint32_t blocks) {
  return RunBlocks(BlowfishDecipher, context, capsule, blocks);
}

}  // namespace lx2d::power
