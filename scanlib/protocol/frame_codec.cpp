#include "frame_codec.h"

#include "frame_kernels.h"

namespace lx2d {
namespace {

// The checksum's two running sums: sum1 += byte; sum2 += sum1, kept in 32
// bits because only their low 16 bits count and the bulk loops wrap freely.
struct Fletcher {
  uint32_t sum1 = 0;
  uint32_t sum2 = 0;

  void Add(uint8_t byte) {
    sum1 += byte;
    sum2 += sum1;
  }

  void Extend(std::span<const uint8_t> bytes) {
    ActiveFrameKernels().checksum(sum1, sum2, bytes.data(), bytes.size());
  }

  uint16_t Value() const { return static_cast<uint16_t>(sum2); }
};

// Writes one byte between STX and ETX, escaped when it has a framing role.
uint8_t* PutEscaped(uint8_t* out, uint8_t byte) {
  if (IsFramingByte(byte)) {
    *out++ = kDle;
    *out++ = byte | kEscapeBit;
  } else {
    *out++ = byte;
  }
  return out;
}

}  // namespace

uint16_t VscpChecksum(std::span<const uint8_t> bytes) {
  Fletcher sum;
  sum.Extend(bytes);
  return sum.Value();
}

void EncodeFrame(uint8_t number, uint8_t kind, uint16_t extension1, uint16_t extension2,
                 std::span<const uint8_t> payload, uint8_t flags, std::vector<uint8_t>& out) {
  payload = payload.first(payload.size() % (kMaxRequestPayload + 1));
  const uint8_t header[4] = {number, kind, static_cast<uint8_t>(extension1),
                             static_cast<uint8_t>(extension2)};
  const size_t headerSize = extension1 != kNoExtension && extension2 != kNoExtension ? 4 : 2;
  // Room for the worst case, every byte escaped, plus the bulk loop's slack;
  // cut to what was written at the end.
  out.resize(2 * (headerSize + payload.size() + 3) + 2 + kKernelSlack);
  uint8_t* end = out.data();
  *end++ = kStx;
  // The few header and trailer bytes go one by one; the payload goes
  // through the bulk loop, which sums while it escapes.
  Fletcher sum;
  for (size_t i = 0; i < headerSize; ++i) {
    sum.Add(header[i]);
    end = PutEscaped(end, header[i]);
  }
  end = ActiveFrameKernels().escape(end, payload.data(), payload.size(), sum.sum1, sum.sum2);
  sum.Add(flags);
  for (uint8_t byte :
       {flags, static_cast<uint8_t>(sum.Value() >> 8), static_cast<uint8_t>(sum.Value())}) {
    end = PutEscaped(end, byte);
  }
  *end++ = kEtx;
  const size_t size = static_cast<size_t>(end - out.data());
  out.resize(size);
}

void EncodeControl(uint8_t number, uint8_t code, uint8_t data, std::vector<uint8_t>& out) {
  out.resize(2 * 3 + 2);
  uint8_t* end = out.data();
  *end++ = kStx;
  for (uint8_t byte : {number, code, data}) end = PutEscaped(end, byte);
  *end++ = kEtx;
  out.resize(static_cast<size_t>(end - out.data()));
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
    if (!IsEscapedFramingByte(byte)) {
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
  const FrameKernels& kernels = ActiveFrameKernels();
  size_t at = 0;
  while (at < bytes.size()) {
    // Ordinary bytes and escape pairs inside a frame go in through the bulk
    // loop; whatever it stops at takes the one-byte path.
    if (inFrame_ && !escaped_) {
      size_t produced = 0;
      const size_t taken = kernels.unescape(bytes.data() + at, bytes.size() - at,
                                            bytes_.get() + size_, kMaxFrameBytes - size_, produced);
      size_ += produced;
      wireCount_ += static_cast<int32_t>(taken);
      at += taken;
      if (at == bytes.size()) break;
    }
    const DecodeStatus status = Feed(bytes[at++]);
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
