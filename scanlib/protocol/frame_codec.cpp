#include "frame_codec.h"

namespace lx2d {
namespace {

bool NeedsEscape(uint8_t byte) { return byte == kStx || byte == kEtx || byte == kDle; }

// Appends one byte between STX and ETX, escaped when it has a framing role.
void PutEscaped(std::vector<uint8_t>& out, uint8_t byte) {
  if (NeedsEscape(byte)) {
    out.push_back(kDle);
    out.push_back(byte | kEscapeBit);
  } else {
    out.push_back(byte);
  }
}

// The two running sums of the checksum; the second is what is sent.
struct Fletcher {
  uint16_t sum1 = 0;
  uint16_t sum2 = 0;
  void Add(uint8_t byte) {
    sum1 = static_cast<uint16_t>(sum1 + byte);
    sum2 = static_cast<uint16_t>(sum2 + sum1);
  }
};

// Appends a checksummed byte to a frame being encoded.
void PutSummed(std::vector<uint8_t>& out, Fletcher& sum, uint8_t byte) {
  sum.Add(byte);
  PutEscaped(out, byte);
}

}  // namespace

uint16_t VscpChecksum(std::span<const uint8_t> bytes) {
  Fletcher sum;
  for (uint8_t byte : bytes) sum.Add(byte);
  return sum.sum2;
}

void EncodeFrame(uint8_t number, uint8_t kind, uint16_t extension1, uint16_t extension2,
                 std::span<const uint8_t> payload, uint8_t flags, std::vector<uint8_t>& out) {
  payload = payload.first(payload.size() % (kMaxRequestPayload + 1));
  out.clear();
  // Worst case every byte escaped: header 4, payload, flags, checksum 2, framing 2.
  out.reserve(2 * (payload.size() + 7) + 2);
  Fletcher sum;
  out.push_back(kStx);
  PutSummed(out, sum, number);
  PutSummed(out, sum, kind);
  if (extension1 != kNoExtension && extension2 != kNoExtension) {
    PutSummed(out, sum, static_cast<uint8_t>(extension1));
    PutSummed(out, sum, static_cast<uint8_t>(extension2));
  }
  for (uint8_t byte : payload) PutSummed(out, sum, byte);
  PutSummed(out, sum, flags);
  PutEscaped(out, static_cast<uint8_t>(sum.sum2 >> 8));
  PutEscaped(out, static_cast<uint8_t>(sum.sum2));
  out.push_back(kEtx);
}

void EncodeControl(uint8_t number, uint8_t code, uint8_t data, std::vector<uint8_t>& out) {
  out.clear();
  out.push_back(kStx);
  PutEscaped(out, number);
  PutEscaped(out, code);
  PutEscaped(out, data);
  out.push_back(kEtx);
}

CFrameDecoder::CFrameDecoder(FrameAccept accept) : accept_(accept) {
  bytes_.reserve(kMaxFrameBytes);
}

void CFrameDecoder::Reset() {
  inFrame_ = false;
  escaped_ = false;
  wireCount_ = 0;
  bytes_.clear();
}

DecodeStatus CFrameDecoder::Feed(uint8_t byte) {
  if (byte == kStx) {
    // STX always begins a frame, even inside one.
    const bool restarted = inFrame_;
    Reset();
    inFrame_ = true;
    wireCount_ = 1;
    bytes_.push_back(kStx);
    return restarted ? DecodeStatus::kRestarted : DecodeStatus::kInProgress;
  }
  if (!inFrame_) return DecodeStatus::kOutsideFrame;

  ++wireCount_;
  if (escaped_) {
    escaped_ = false;
    if (byte != (kStx | kEscapeBit) && byte != (kEtx | kEscapeBit) &&
        byte != (kDle | kEscapeBit)) {
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

DecodeStatus CFrameDecoder::Store(uint8_t byte) {
  if (bytes_.size() >= kMaxFrameBytes) {
    Reset();
    return DecodeStatus::kDropped;
  }
  bytes_.push_back(byte);
  return DecodeStatus::kInProgress;
}

DecodeStatus CFrameDecoder::Finish() {
  const size_t size = bytes_.size();
  const int32_t wireCount = wireCount_;
  DecodeStatus status = DecodeStatus::kDropped;

  if (size == kControlFrameBytes && (accept_ & kAcceptControl)) {
    frame_.number = bytes_[1];
    frame_.kind = bytes_[2];
    frame_.flags = 0;
    frame_.length = 1;
    frame_.checksum = 0;
    frame_.payload.assign(1, bytes_[3]);
    status = DecodeStatus::kControlAccepted;
  } else if (size >= kFullFrameOverhead && (accept_ & kAcceptFull)) {
    // GIRP carries two extension bytes after the kind; a frame too short to
    // hold them is malformed, not an empty GIRP.
    const size_t payloadStart = bytes_[2] == kKindGirp ? 5 : 3;
    const size_t flagsAt = size - 4;
    const std::span<const uint8_t> all(bytes_);
    const uint16_t received = static_cast<uint16_t>(bytes_[size - 3] << 8 | bytes_[size - 2]);
    if (flagsAt >= payloadStart && VscpChecksum(all.subspan(1, flagsAt)) == received) {
      frame_.number = bytes_[1];
      frame_.kind = bytes_[2];
      frame_.flags = bytes_[flagsAt];
      frame_.length = static_cast<uint32_t>(flagsAt - payloadStart);
      frame_.checksum = received;
      frame_.payload.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(payloadStart),
                            bytes_.begin() + static_cast<std::ptrdiff_t>(flagsAt));
      status = DecodeStatus::kFrameAccepted;
    }
  }
  if (status != DecodeStatus::kDropped) frame_.wireCount = wireCount;
  Reset();
  return status;
}

}  // namespace lx2d
