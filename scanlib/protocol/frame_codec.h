// Encoding of VSCP frames and the byte-by-byte decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "vscp_frame.h"

namespace lx2d {

// The checksum of a full frame: two 16-bit running sums over the unescaped
// bytes; the second sum is the checksum. 01 02 03 gives 0x000A.
uint16_t VscpChecksum(std::span<const uint8_t> bytes);

// Replaces `out` with the escaped wire bytes of a full frame. The extension
// field (one low byte of each value) is present only when neither value is
// kNoExtension; only GIRQ is sent with one. A payload longer than
// kMaxRequestPayload contributes its first (size modulo 65536) bytes, as the
// reader's length field cannot carry more.
void EncodeFrame(uint8_t number, uint8_t kind, uint16_t extension1, uint16_t extension2,
                 std::span<const uint8_t> payload, uint8_t flags, std::vector<uint8_t>& out);

// Replaces `out` with the escaped wire bytes of a control frame:
// STX, number, code, data byte, ETX.
void EncodeControl(uint8_t number, uint8_t code, uint8_t data, std::vector<uint8_t>& out);

// What the decoder made of one byte.
enum class DecodeStatus : uint8_t {
  kOutsideFrame,     // not part of a frame: raw data for the link layer
  kInProgress,       // taken into the frame in progress (or began one)
  kFrameAccepted,    // ETX completed a full frame with a good checksum: Frame() holds it
  kControlAccepted,  // ETX completed a 5-byte control frame: Frame() holds it
  kDropped,          // the frame in progress was dropped at this byte; now outside a frame
  kRestarted,        // an STX inside a frame: the old frame is dropped, this one begins
};

// Which frames the caller accepts at ETX; the others are dropped.
enum FrameAccept : uint8_t {
  kAcceptFull = 1,
  kAcceptControl = 2,
  kAcceptBoth = kAcceptFull | kAcceptControl,
};

// Decodes a received byte stream one byte at a time. It owns no I/O and
// never allocates after construction except to grow the accepted frame's
// payload. Drop rules: DLE DLE; DLE followed by anything but 0x42, 0x43,
// 0x50; more than kMaxFrameBytes unescaped bytes; at ETX a frame that is
// neither an accepted 5-byte control frame nor an accepted full frame of at
// least 7 bytes (9 for GIRP) whose checksum matches.
class CFrameDecoder {
 public:
  explicit CFrameDecoder(FrameAccept accept = kAcceptBoth);

  DecodeStatus Feed(uint8_t byte);

  // Feeds bytes from the front of `bytes` while each only extends the frame
  // in progress, and stops after the first byte with any other outcome.
  // Exactly as if the bytes had been fed one at a time; runs of ordinary
  // frame bytes are copied in bulk.
  struct RunResult {
    size_t consumed;      // bytes taken from the front of `bytes`
    DecodeStatus status;  // the outcome of the last byte taken (kInProgress if none)
  };
  RunResult FeedRun(std::span<const uint8_t> bytes);

  // Changes which frames are accepted from the next ETX on.
  void SetAccept(FrameAccept accept) { accept_ = accept; }

  // Forgets any frame in progress; the next byte is outside a frame.
  void Reset();

  bool InFrame() const { return inFrame_; }

  // The last accepted frame; valid after kFrameAccepted or kControlAccepted
  // until the next such outcome.
  const VscpFrame& Frame() const { return frame_; }
  VscpFrame& Frame() { return frame_; }

 private:
  DecodeStatus Store(uint8_t byte);
  DecodeStatus Finish();

  FrameAccept accept_;
  bool inFrame_ = false;
  bool escaped_ = false;
  int32_t wireCount_ = 0;
  // Unescaped bytes of the frame in progress, STX first; a fixed block so
  // the hot path is a bounds check and a store.
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
  VscpFrame frame_;
};

}  // namespace lx2d
