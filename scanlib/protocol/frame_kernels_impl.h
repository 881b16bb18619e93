// The bodies of the codec's bulk loops, written once over a vector width.
// Included by one translation unit per instruction set (baseline, AVX2),
// each compiled with its own flags; everything here has internal linkage.
#pragma once

#include <bit>
#include <cstring>

#if defined(__AVX2__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "frame_kernels.h"
#include "vscp_frame.h"

namespace lx2d {
namespace {

// One vector of bytes and what the loops need of it: load, store, the mask
// of framing bytes, and the block sums of the checksum. Over a block of W
// bytes the checksum needs the byte sum, and the sum of each byte times its
// distance W - j to the end of the block.
#if defined(__AVX2__)
struct Lanes {
  static constexpr size_t kWidth = 32;
  using V = __m256i;
  static V Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
  static void Store(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
  static V Framing(V x) {
    return _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(kStx)),
                                           _mm256_cmpeq_epi8(x, _mm256_set1_epi8(kEtx))),
                           _mm256_cmpeq_epi8(x, _mm256_set1_epi8(kDle)));
  }
  static uint32_t Mask(V framing) { return static_cast<uint32_t>(_mm256_movemask_epi8(framing)); }

  struct Sums {
    V sum = _mm256_setzero_si256(), before = sum, weighted = sum;
    void Add(V x) {
      const V zero = _mm256_setzero_si256();
      // Unpacking works within 128-bit halves: low unpack holds bytes 0-7
      // and 16-23, high unpack bytes 8-15 and 24-31.
      const V weightsLow =
          _mm256_setr_epi16(32, 31, 30, 29, 28, 27, 26, 25, 16, 15, 14, 13, 12, 11, 10, 9);
      const V weightsHigh =
          _mm256_setr_epi16(24, 23, 22, 21, 20, 19, 18, 17, 8, 7, 6, 5, 4, 3, 2, 1);
      before = _mm256_add_epi64(before, sum);
      sum = _mm256_add_epi64(sum, _mm256_sad_epu8(x, zero));
      weighted =
          _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_unpacklo_epi8(x, zero), weightsLow));
      weighted =
          _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_unpackhi_epi8(x, zero), weightsHigh));
    }
    static uint64_t Total64(V v) {
      alignas(32) uint64_t lanes[4];
      _mm256_store_si256(reinterpret_cast<V*>(lanes), v);
      return lanes[0] + lanes[1] + lanes[2] + lanes[3];
    }
    static uint32_t Total32(V v) {
      alignas(32) uint32_t lanes[8];
      _mm256_store_si256(reinterpret_cast<V*>(lanes), v);
      uint32_t total = 0;
      for (uint32_t lane : lanes) total += lane;
      return total;
    }
    uint32_t Sum() const { return static_cast<uint32_t>(Total64(sum)); }
    uint32_t Before() const { return static_cast<uint32_t>(Total64(before)); }
    uint32_t Weighted() const { return Total32(weighted); }
  };
};
#elif defined(__SSE2__)
struct Lanes {
  static constexpr size_t kWidth = 16;
  using V = __m128i;
  static V Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
  static void Store(uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
  static V Framing(V x) {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(kStx)),
                                     _mm_cmpeq_epi8(x, _mm_set1_epi8(kEtx))),
                        _mm_cmpeq_epi8(x, _mm_set1_epi8(kDle)));
  }
  static uint32_t Mask(V framing) { return static_cast<uint32_t>(_mm_movemask_epi8(framing)); }

  struct Sums {
    V sum = _mm_setzero_si128(), before = sum, weighted = sum;
    void Add(V x) {
      const V zero = _mm_setzero_si128();
      const V weightsLow = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
      const V weightsHigh = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
      before = _mm_add_epi64(before, sum);
      sum = _mm_add_epi64(sum, _mm_sad_epu8(x, zero));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(x, zero), weightsLow));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(x, zero), weightsHigh));
    }
    static uint64_t Total64(V v) {
      alignas(16) uint64_t lanes[2];
      _mm_store_si128(reinterpret_cast<V*>(lanes), v);
      return lanes[0] + lanes[1];
    }
    uint32_t Sum() const { return static_cast<uint32_t>(Total64(sum)); }
    uint32_t Before() const { return static_cast<uint32_t>(Total64(before)); }
    uint32_t Weighted() const {
      alignas(16) uint32_t lanes[4];
      _mm_store_si128(reinterpret_cast<V*>(lanes), weighted);
      return lanes[0] + lanes[1] + lanes[2] + lanes[3];
    }
  };
};
#else
struct Lanes {
  static constexpr size_t kWidth = 16;
  struct V {
    uint8_t bytes[kWidth];
  };
  static V Load(const uint8_t* p) {
    V v;
    std::memcpy(v.bytes, p, kWidth);
    return v;
  }
  static void Store(uint8_t* p, V v) { std::memcpy(p, v.bytes, kWidth); }
  static V Framing(V x) {
    for (uint8_t& byte : x.bytes) byte = IsFramingByte(byte) ? 0xFF : 0;
    return x;
  }
  static uint32_t Mask(V framing) {
    uint32_t mask = 0;
    for (size_t i = 0; i < kWidth; ++i) mask |= static_cast<uint32_t>(framing.bytes[i] & 1) << i;
    return mask;
  }
  struct Sums {
    uint32_t sum = 0, before = 0, weighted = 0;
    void Add(V x) {
      before += sum;
      for (size_t j = 0; j < kWidth; ++j) {
        sum += x.bytes[j];
        weighted += static_cast<uint32_t>(kWidth - j) * x.bytes[j];
      }
    }
    uint32_t Sum() const { return sum; }
    uint32_t Before() const { return before; }
    uint32_t Weighted() const { return weighted; }
  };
};
#endif

constexpr size_t kWidth = Lanes::kWidth;
static_assert(kWidth <= kKernelSlack);

// Over n = blocks * W bytes, sum2 gains n * sum1, plus W times the sum of
// each block's predecessors, plus the in-block weighted sums; all of it
// wraps, which is harmless because only the low 16 bits count.
void AddBlockSums(uint32_t& sum1, uint32_t& sum2, const Lanes::Sums& sums, size_t blocks) {
  sum2 += static_cast<uint32_t>(blocks * kWidth) * sum1 +
          static_cast<uint32_t>(kWidth) * sums.Before() + sums.Weighted();
  sum1 += sums.Sum();
}

void Checksum(uint32_t& sum1, uint32_t& sum2, const uint8_t* data, size_t size) {
  const size_t blocks = size / kWidth;
  Lanes::Sums sums;
  for (size_t b = 0; b < blocks; ++b) sums.Add(Lanes::Load(data + b * kWidth));
  AddBlockSums(sum1, sum2, sums, blocks);
  for (size_t i = blocks * kWidth; i < size; ++i) {
    sum1 += data[i];
    sum2 += sum1;
  }
}

uint8_t* Escape(uint8_t* out, const uint8_t* data, size_t size, uint32_t& sum1, uint32_t& sum2) {
  const size_t blocks = size / kWidth;
  Lanes::Sums sums;
  for (size_t b = 0; b < blocks; ++b) {
    const Lanes::V x = Lanes::Load(data + b * kWidth);
    sums.Add(x);
    uint32_t mask = Lanes::Mask(Lanes::Framing(x));
    if (mask == 0) {
      Lanes::Store(out, x);
      out += kWidth;
      continue;
    }
    // The block padded, so that a whole-vector load from any offset stays
    // inside it. Each store keeps the plain bytes before the next framing
    // byte and runs on into the slack, which later writes cover.
    alignas(32) uint8_t padded[2 * kWidth] = {};
    Lanes::Store(padded, x);
    size_t from = 0;
    while (mask != 0) {
      const size_t framing = static_cast<size_t>(std::countr_zero(mask));
      Lanes::Store(out, Lanes::Load(padded + from));
      out += framing - from;
      *out++ = kDle;
      *out++ = padded[framing] | kEscapeBit;
      from = framing + 1;
      mask &= mask - 1;
    }
    Lanes::Store(out, Lanes::Load(padded + from));
    out += kWidth - from;
  }
  AddBlockSums(sum1, sum2, sums, blocks);
  for (size_t at = blocks * kWidth; at < size; ++at) {
    sum1 += data[at];
    sum2 += sum1;
    if (IsFramingByte(data[at])) {
      *out++ = kDle;
      *out++ = data[at] | kEscapeBit;
    } else {
      *out++ = data[at];
    }
  }
  return out;
}

bool IsEscapePair(const uint8_t* p) { return p[0] == kDle && IsEscapedFramingByte(p[1]); }

size_t Unescape(const uint8_t* in, size_t size, uint8_t* out, size_t room, size_t& produced) {
  size_t at = 0, made = 0;
  while (at < size) {
    if (size - at >= kWidth && room - made >= kWidth) {
      const Lanes::V x = Lanes::Load(in + at);
      const uint32_t mask = Lanes::Mask(Lanes::Framing(x));
      Lanes::Store(out + made, x);
      const size_t plain = mask == 0 ? kWidth : static_cast<size_t>(std::countr_zero(mask));
      made += plain;
      at += plain;
      if (plain == kWidth) continue;
    } else if (made < room && !IsFramingByte(in[at])) {
      out[made++] = in[at++];
      continue;
    }
    // A framing byte, or no room: only a valid escape pair goes on here.
    if (at + 1 >= size || made == room || !IsEscapePair(in + at)) break;
    out[made++] = in[at + 1] & static_cast<uint8_t>(~kEscapeBit);
    at += 2;
  }
  produced = made;
  return at;
}

}  // namespace
}  // namespace lx2d
