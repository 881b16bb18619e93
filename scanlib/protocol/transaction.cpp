// The transaction: one request, its acknowledgement and its reply, with the
// contention rules, the retries and the reply collection.
#include <algorithm>
#include <new>
#include <utility>

#include "protocol.h"

namespace lx2d {
namespace {

// Internal result of the request exchange: the reader answered BUSY.
constexpr int kExchangeBusy = 27;

uint8_t NextSequence(uint8_t flags) { return static_cast<uint8_t>((flags + 1) & kFlagSequence); }

bool IsRsltWith(const VscpFrame& frame, uint8_t value) {
  return frame.kind == kKindRslt && frame.length == 1 && frame.payload[0] == value;
}

}  // namespace

int CProtocol::Transact(uint8_t kind, std::span<const uint8_t> payload, uint16_t extension1,
                        uint16_t extension2) {
  if (contentionWait_ && !transport_.WaitForInput(contentionWaitMs_)) return kTransactNoInput;
  const uint8_t number = ++frameCounter_;
  for (int busyRounds = 0;; ++busyRounds) {
    const int result = RequestExchange(number, kind, payload, extension1, extension2);
    if (result != kExchangeBusy) return result;
    if (busyRounds == kMaxBusyRounds) {
      // A reader that never stops being busy fails the request like silence.
      eFlag_ = true;
      return kTransactNoAnswer;
    }
    if (hostPriority_) {
      ControlExchange(kCtlAbt, 0, kCtlAbdn);  // a missing ABDN changes nothing
      expectedRxSequence_ = 0;
    } else {
      SendControl(0, kCtlRsnd, 0);
      ReceiveAndDispatch();
    }
  }
}

int CProtocol::RequestExchange(uint8_t number, uint8_t kind, std::span<const uint8_t> payload,
                               uint16_t extension1, uint16_t extension2) {
  const bool requestHadR = rFlag_;
  const std::optional<KindInfo> info = FindKind(kind);
  if (!info || info->kindClass != KindClass::kRequest || info->replyKind == 0) {
    return kTransactRefused;
  }
  int result = kTransactOk;
  int attempts = 0;
  int sydnResends = 0;
  for (;;) {
    SendFrame(number, kind, extension1, extension2, payload);
    const int code = ReceiveControlAnswer();
    if (code == kCtlAck) break;
    if (code == kCtlBusy) return kExchangeBusy;
    if (code == kCtlSydn) {
      // The reader asks for the request again; it fails the exchange even
      // when the re-sent request is acknowledged.
      result = kTransactRefused;
      if (++sydnResends > kMaxSydnResends) break;
      continue;
    }
    if (++attempts == kRequestSends) {
      result = kTransactNoAnswer;
      break;
    }
  }
  txSequence_ = NextSequence(txSequence_);
  if (result != kTransactOk) {
    eFlag_ = true;
    return result;
  }
  eFlag_ = false;
  return ReceiveReply(requestHadR, reply_, info->replyKind);
}

int CProtocol::ReceiveReply(bool requestHadR, VscpFrame& out, uint8_t expectedKind) try {
  uint32_t timeoutMs = replyTimeoutMs_;
  if (expectedKind == kKindGirp) timeoutMs = std::max(timeoutMs, kGirpMinTimeoutMs);
  out.length = 0;
  out.payload.clear();
  int frameCount = 0;
  uint32_t total = 0;
  bool last = false;
  bool overflow = false;
  while (!last) {
    VscpFrame& frame = incoming_;
    // A fresh record: nothing of an earlier frame may reach the caller
    // with the raw bytes of a time-out.
    frame.number = frame.kind = frame.flags = 0;
    frame.wireCount = 0;
    frame.checksum = 0;
    const int received = ReceiveFrame(kAcceptFull, frame, timeoutMs);
    if (received == kReceiveTimeout) {
      // Whatever raw bytes came instead of the reply go to the caller.
      out = frame;
      return kTransactNoAnswer;
    }
    if (received != kReceivedFull) continue;

    if (expectedKind != 0 && frame.kind != expectedKind) {
      if (IsRsltWith(frame, 1) || IsRsltWith(frame, 3)) {
        SendControl(frame.number, kCtlAck, 0);
        expectedRxSequence_ = NextSequence(frame.flags);
        return frame.payload[0] == 1 ? kTransactResult1 : kTransactResult3;
      }
      const std::optional<KindInfo> info = FindKind(frame.kind);
      if (info && info->kindClass == KindClass::kUnsolicited) {
        SendControl(frame.number, kCtlAck, 0);
        expectedRxSequence_ = NextSequence(frame.flags);
        DispatchFrame(frame);
      }
      continue;  // anything else is not for this transaction: no answer
    }

    if (frame.checksum == lastChecksum_ && frame.flags == lastFlags_) {
      // The reader missed our ACK and sent the frame again.
      SendControl(frame.number, kCtlAck, 0);
      continue;
    }
    const bool flaggedEorR = (frame.flags & (kFlagError | kFlagRestart)) != 0;
    if (!flaggedEorR && !requestHadR && (frame.flags & kFlagSequence) != expectedRxSequence_) {
      SendControl(frame.number, kCtlNak, kNakSequence);
      return kTransactNakSequence;
    }
    if (frameCount == 0) {
      if ((frame.flags & kFlagFirst) == 0) {
        SendControl(frame.number, kCtlNak, kNakStart);
        return kTransactNakStart;
      }
      std::swap(out, frame);  // the first frame becomes the message
    } else {
      if (frame.kind != out.kind) {
        SendControl(frame.number, kCtlNak, kNakStart);
        return kTransactNakStart;
      }
      total += frame.length;
      Post(HostMessage::kMultiframe, ReportTarget(),
           ((frame.flags & kFlagLast) != 0 ? 0x100u : 0u) + frame.kind, IdParam(total), false);
      // Past the size of a message nothing more is stored, but every frame
      // is still acknowledged so the reader stays in step.
      const size_t room = kMaxMessageBytes - out.payload.size();
      if (frame.length > room && !overflow) {
        overflow = true;
        host_.MessageBox(kBoxOverflow, kBoxOverflowCaption, kBoxOk);
      }
      const size_t stored = std::min<size_t>(frame.length, room);
      out.payload.insert(out.payload.end(), frame.payload.begin(),
                         frame.payload.begin() + static_cast<std::ptrdiff_t>(stored));
      out.length = static_cast<uint32_t>(out.payload.size());
    }
    const VscpFrame& accepted = frameCount == 0 ? out : frame;
    if ((accepted.flags & kFlagLast) != 0) last = true;
    ++frameCount;
    expectedRxSequence_ = NextSequence(accepted.flags);
    lastChecksum_ = accepted.checksum;
    lastFlags_ = accepted.flags;
    SendControl(accepted.number, kCtlAck, 0);
  }
  if (overflow) {
    // A cut message is never handed on as if it were whole.
    out.length = 0;
    out.payload.clear();
    return kTransactOverflow;
  }
  return kTransactOk;
} catch (const std::bad_alloc&) {
  AllocationFailed();
}

}  // namespace lx2d
