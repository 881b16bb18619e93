#include "frame_codec.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lx2d {
namespace {

constexpr bool NeedsEscape(uint8_t byte) { return byte == kStx || byte == kEtx || byte == kDle; }

// Long runs are handled sixteen bytes at a time: with SSE2 (every x86-64
// processor) through vector instructions, elsewhere through plain loops.
constexpr size_t kBlock = 16;

// Bit i set when block[i] has a framing role, for one block of kBlock bytes.
uint32_t SpecialMask(const uint8_t* block) {
#if defined(__SSE2__)
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
  const __m128i special = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(kStx)), _mm_cmpeq_epi8(x, _mm_set1_epi8(kEtx))),
      _mm_cmpeq_epi8(x, _mm_set1_epi8(kDle)));
  return static_cast<uint32_t>(_mm_movemask_epi8(special));
#else
  uint32_t mask = 0;
  for (size_t i = 0; i < kBlock; ++i) mask |= static_cast<uint32_t>(NeedsEscape(block[i])) << i;
  return mask;
#endif
}

// Copies one block of kBlock bytes.
void CopyBlock(uint8_t* out, const uint8_t* in) { std::memcpy(out, in, kBlock); }

// The checksum's two running sums. Add() is the definition (sum1 += byte;
// sum2 += sum1); Extend() computes the same over a run without the serial
// dependency: over n bytes sum2 gains n * sum1 plus every byte times its
// distance to the end of the run, counted inclusively. All arithmetic
// wraps, which is harmless because only the low 16 bits count.
struct Fletcher {
  uint32_t sum1 = 0;
  uint32_t sum2 = 0;

  void Add(uint8_t byte) {
    sum1 += byte;
    sum2 += sum1;
  }

  // Returns how many of the bytes have a framing role, which the encoder
  // needs for its output size and gets here without a second pass.
  size_t Extend(const uint8_t* data, size_t size) {
    const size_t blocks = size / kBlock;
    size_t specials = 0;
    uint32_t runSum1 = 0;   // sum of the bytes
    uint32_t before = 0;    // sum over blocks of all bytes in earlier blocks
    uint32_t weighted = 0;  // sum of (16 - offset in block) * byte
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i weightsLow = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i weightsHigh = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    const __m128i one = _mm_set1_epi8(1);
    __m128i vSum = zero, vBefore = zero, vWeighted = zero, vSpecials = zero;
    for (size_t b = 0; b < blocks; ++b) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + b * kBlock));
      const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(kStx)),
                                                        _mm_cmpeq_epi8(x, _mm_set1_epi8(kEtx))),
                                           _mm_cmpeq_epi8(x, _mm_set1_epi8(kDle)));
      vSpecials = _mm_add_epi64(vSpecials, _mm_sad_epu8(_mm_and_si128(special, one), zero));
      vBefore = _mm_add_epi64(vBefore, vSum);
      vSum = _mm_add_epi64(vSum, _mm_sad_epu8(x, zero));
      vWeighted = _mm_add_epi32(vWeighted, _mm_madd_epi16(_mm_unpacklo_epi8(x, zero), weightsLow));
      vWeighted = _mm_add_epi32(vWeighted, _mm_madd_epi16(_mm_unpackhi_epi8(x, zero), weightsHigh));
    }
    alignas(16) uint64_t sums[2], befores[2], counts[2];
    alignas(16) uint32_t weights[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(counts), vSpecials);
    specials = static_cast<size_t>(counts[0] + counts[1]);
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), vSum);
    _mm_store_si128(reinterpret_cast<__m128i*>(befores), vBefore);
    _mm_store_si128(reinterpret_cast<__m128i*>(weights), vWeighted);
    runSum1 = static_cast<uint32_t>(sums[0] + sums[1]);
    before = static_cast<uint32_t>(befores[0] + befores[1]);
    weighted = weights[0] + weights[1] + weights[2] + weights[3];
#else
    for (size_t b = 0; b < blocks; ++b) {
      before += runSum1;
      for (size_t l = 0; l < kBlock; ++l) {
        specials += NeedsEscape(data[b * kBlock + l]);
        runSum1 += data[b * kBlock + l];
        weighted += static_cast<uint32_t>(kBlock - l) * data[b * kBlock + l];
      }
    }
#endif
    sum2 += static_cast<uint32_t>(blocks * kBlock) * sum1 + static_cast<uint32_t>(kBlock) * before +
            weighted;
    sum1 += runSum1;
    data += blocks * kBlock;
    for (size_t i = 0; i < size % kBlock; ++i) {
      specials += NeedsEscape(data[i]);
      Add(data[i]);
    }
    return specials;
  }

  uint16_t Value() const { return static_cast<uint16_t>(sum2); }
};

// Writes one byte between STX and ETX, escaped when it has a framing role.
uint8_t* PutEscaped(uint8_t* out, uint8_t byte) {
  if (NeedsEscape(byte)) {
    *out++ = kDle;
    *out++ = byte | kEscapeBit;
  } else {
    *out++ = byte;
  }
  return out;
}

// Writes bytes escaped; needs kBlock bytes of slack behind the output.
uint8_t* PutEscaped(uint8_t* out, std::span<const uint8_t> bytes) {
  const uint8_t* in = bytes.data();
  const uint8_t* end = in + bytes.size();
  for (; end - in >= static_cast<std::ptrdiff_t>(kBlock); in += kBlock) {
    uint32_t mask = SpecialMask(in);
    if (mask == 0) {
      CopyBlock(out, in);
      out += kBlock;
      continue;
    }
    // The block padded so that a whole-block copy from any offset stays
    // inside it; each copy writes past what it keeps, into the slack.
    uint8_t padded[2 * kBlock] = {};
    CopyBlock(padded, in);
    size_t from = 0;
    while (mask != 0) {
      const size_t special = static_cast<size_t>(std::countr_zero(mask));
      CopyBlock(out, padded + from);
      out += special - from;
      *out++ = kDle;
      *out++ = in[special] | kEscapeBit;
      from = special + 1;
      mask &= mask - 1;
    }
    CopyBlock(out, padded + from);
    out += kBlock - from;
  }
  while (in < end) out = PutEscaped(out, *in++);
  return out;
}

}  // namespace

uint16_t VscpChecksum(std::span<const uint8_t> bytes) {
  Fletcher sum;
  sum.Extend(bytes.data(), bytes.size());
  return sum.Value();
}

void EncodeFrame(uint8_t number, uint8_t kind, uint16_t extension1, uint16_t extension2,
                 std::span<const uint8_t> payload, uint8_t flags, std::vector<uint8_t>& out) {
  payload = payload.first(payload.size() % (kMaxRequestPayload + 1));
  uint8_t header[4] = {number, kind, static_cast<uint8_t>(extension1),
                       static_cast<uint8_t>(extension2)};
  const size_t headerSize = extension1 != kNoExtension && extension2 != kNoExtension ? 4 : 2;

  Fletcher sum;
  size_t specials = sum.Extend(header, headerSize);
  specials += sum.Extend(payload.data(), payload.size());
  sum.Add(flags);
  const uint8_t trailer[3] = {flags, static_cast<uint8_t>(sum.Value() >> 8),
                              static_cast<uint8_t>(sum.Value())};
  for (uint8_t byte : trailer) specials += NeedsEscape(byte);

  // Sized exactly (plus slack for block copies) so that a reused buffer
  // is not cleared again and again.
  const size_t size = 2 + headerSize + payload.size() + sizeof trailer + specials;
  out.resize(size + kBlock);
  uint8_t* end = out.data();
  *end++ = kStx;
  end = PutEscaped(end, std::span<const uint8_t>(header, headerSize));
  end = PutEscaped(end, payload);
  end = PutEscaped(end, trailer);
  *end = kEtx;
  out.resize(size);
}

void EncodeControl(uint8_t number, uint8_t code, uint8_t data, std::vector<uint8_t>& out) {
  const uint8_t body[3] = {number, code, data};
  out.clear();
  out.push_back(kStx);
  for (uint8_t byte : body) {
    if (NeedsEscape(byte)) {
      out.push_back(kDle);
      out.push_back(byte | kEscapeBit);
    } else {
      out.push_back(byte);
    }
  }
  out.push_back(kEtx);
}

CFrameDecoder::CFrameDecoder(FrameAccept accept)
    : accept_(accept), bytes_(new uint8_t[kMaxFrameBytes]) {}

void CFrameDecoder::Reset() {
  inFrame_ = false;
  escaped_ = false;
  wireCount_ = 0;
  size_ = 0;
}

DecodeStatus CFrameDecoder::Feed(uint8_t byte) {
  if (byte == kStx) {
    // STX always begins a frame, even inside one.
    const bool restarted = inFrame_;
    Reset();
    inFrame_ = true;
    wireCount_ = 1;
    bytes_[size_++] = kStx;
    return restarted ? DecodeStatus::kRestarted : DecodeStatus::kInProgress;
  }
  if (!inFrame_) return DecodeStatus::kOutsideFrame;

  ++wireCount_;
  if (escaped_) {
    escaped_ = false;
    if (byte != (kStx | kEscapeBit) && byte != (kEtx | kEscapeBit) && byte != (kDle | kEscapeBit)) {
      Reset();  // DLE DLE lands here too
      return DecodeStatus::kDropped;
    }
    return Store(byte & static_cast<uint8_t>(~kEscapeBit));
  }
  if (byte == kDle) {
    escaped_ = true;
    return DecodeStatus::kInProgress;
  }
  const DecodeStatus stored = Store(byte);
  if (byte != kEtx || stored == DecodeStatus::kDropped) return stored;
  return Finish();
}

CFrameDecoder::RunResult CFrameDecoder::FeedRun(std::span<const uint8_t> bytes) {
  const uint8_t* data = bytes.data();
  size_t at = 0;
  while (at < bytes.size()) {
    // Ordinary bytes inside a frame go in a block at a time while the frame
    // has room; a framing byte, and everything else, takes the one-byte
    // path. The loop works on locals: the byte copies could alias members.
    if (inFrame_ && !escaped_) {
      uint8_t* const frame = bytes_.get();
      size_t size = size_;
      const size_t start = at;
      while (bytes.size() - at >= kBlock && size + kBlock <= kMaxFrameBytes) {
        const uint32_t mask = SpecialMask(data + at);
        const size_t plain = mask == 0 ? kBlock : static_cast<size_t>(std::countr_zero(mask));
        CopyBlock(frame + size, data + at);
        size += plain;
        at += plain;
        if (plain == kBlock) continue;
        // A well-formed escape pair is taken here too; anything else that
        // has a framing role goes to Feed.
        if (data[at] != kDle || at + 1 == bytes.size()) break;
        const uint8_t next = data[at + 1];
        if (next != (kStx | kEscapeBit) && next != (kEtx | kEscapeBit) &&
            next != (kDle | kEscapeBit)) {
          break;
        }
        frame[size++] = next & static_cast<uint8_t>(~kEscapeBit);
        at += 2;
      }
      size_ = size;
      wireCount_ += static_cast<int32_t>(at - start);
      if (at == bytes.size()) break;
    }
    const DecodeStatus status = Feed(data[at++]);
    if (status != DecodeStatus::kInProgress) return {at, status};
  }
  return {at, DecodeStatus::kInProgress};
}

DecodeStatus CFrameDecoder::Store(uint8_t byte) {
  if (size_ >= kMaxFrameBytes) {
    Reset();
    return DecodeStatus::kDropped;
  }
  bytes_[size_++] = byte;
  return DecodeStatus::kInProgress;
}

DecodeStatus CFrameDecoder::Finish() {
  const uint8_t* bytes = bytes_.get();
  const size_t size = size_;
  DecodeStatus status = DecodeStatus::kDropped;

  if (size == kControlFrameBytes && (accept_ & kAcceptControl)) {
    frame_.number = bytes[1];
    frame_.kind = bytes[2];
    frame_.flags = 0;
    frame_.length = 1;
    frame_.checksum = 0;
    frame_.payload.assign(1, bytes[3]);
    status = DecodeStatus::kControlAccepted;
  } else if (size >= kFullFrameOverhead && (accept_ & kAcceptFull)) {
    // GIRP carries two extension bytes after the kind; a frame too short to
    // hold them is malformed, not an empty GIRP.
    const size_t payloadStart = bytes[2] == kKindGirp ? 5 : 3;
    const size_t flagsAt = size - 4;
    const uint16_t received = static_cast<uint16_t>(bytes[size - 3] << 8 | bytes[size - 2]);
    if (flagsAt >= payloadStart && VscpChecksum({bytes + 1, flagsAt}) == received) {
      frame_.number = bytes[1];
      frame_.kind = bytes[2];
      frame_.flags = bytes[flagsAt];
      frame_.length = static_cast<uint32_t>(flagsAt - payloadStart);
      frame_.checksum = received;
      frame_.payload.assign(bytes + payloadStart, bytes + flagsAt);
      status = DecodeStatus::kFrameAccepted;
    }
  }
  if (status != DecodeStatus::kDropped) frame_.wireCount = wireCount_;
  Reset();
  return status;
}

}  // namespace lx2d
