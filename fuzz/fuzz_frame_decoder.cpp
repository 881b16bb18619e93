// Feeds arbitrary bytes to the frame decoder, switching which frames it
#include <vector>
// accepts as the first byte says, and checks what it hands out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "frame_codec.h"

namespace {

bool Accepted(lx2d::DecodeStatus status) {
  return status == lx2d::DecodeStatus::kFrameAccepted ||
         status == lx2d::DecodeStatus::kControlAccepted;
}

struct Outcome {
  size_t at;
  lx2d::DecodeStatus status;
  std::vector<uint8_t> payload;
  bool operator==(const Outcome&) const = default;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto accept = static_cast<lx2d::FrameAccept>(1 + data[0] % 3);
  lx2d::CFrameDecoder decoder(accept);
  std::vector<Outcome> byteByByte;
  for (size_t i = 1; i < size; ++i) {
    const lx2d::DecodeStatus status = decoder.Feed(data[i]);
    if (status != lx2d::DecodeStatus::kInProgress) {
      byteByByte.push_back(
          {i, status, Accepted(status) ? decoder.Frame().payload : std::vector<uint8_t>{}});
    }
    if (!Accepted(status)) continue;
    const lx2d::VscpFrame& frame = decoder.Frame();
    // A frame never claims more payload than it holds or than a frame can carry.
    if (frame.length != frame.payload.size() || frame.length > lx2d::kMaxFrameBytes ||
        frame.wireCount < 5 || static_cast<size_t>(frame.wireCount) > i) {
      std::abort();
    }
    // What was accepted re-encodes to a frame that decodes the same.
    if (status == lx2d::DecodeStatus::kFrameAccepted && frame.kind != lx2d::kKindGirp &&
        frame.length <= lx2d::kMaxRequestPayload) {
      std::vector<uint8_t> wire;
      lx2d::EncodeFrame(frame.number, frame.kind, lx2d::kNoExtension, lx2d::kNoExtension,
                        frame.payload, frame.flags, wire);
      lx2d::CFrameDecoder again(lx2d::kAcceptFull);
      lx2d::DecodeStatus last = lx2d::DecodeStatus::kOutsideFrame;
      for (uint8_t byte : wire) last = again.Feed(byte);
      if (last != lx2d::DecodeStatus::kFrameAccepted || again.Frame().payload != frame.payload ||
          again.Frame().checksum != frame.checksum) {
        std::abort();
      }
    }
  }
  // Feeding runs gives exactly the outcomes of feeding single bytes.
  lx2d::CFrameDecoder runs(accept);
  std::vector<Outcome> inRuns;
  size_t at = 1;
  while (at < size) {
    const auto result = runs.FeedRun({data + at, size - at});
    at += result.consumed;
    if (result.status != lx2d::DecodeStatus::kInProgress) {
      inRuns.push_back({at - 1, result.status,
                        Accepted(result.status) ? runs.Frame().payload : std::vector<uint8_t>{}});
    }
  }
  if (inRuns != byteByByte || runs.InFrame() != decoder.InFrame()) std::abort();
  return 0;
}
