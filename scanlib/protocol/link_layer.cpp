// The link layer: sending frames, receiving one frame or raw chunk, and the
// control exchange.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "frame_tracer.h"
#include "protocol.h"

namespace lx2d {
namespace {

// A silent observer for an engine without diagnostics.
ILinkObserver& NoObserver() {
  static ILinkObserver silent;
  return silent;
}

constexpr uint8_t kLineFeed = 0x0A;

}  // namespace

CProtocol::CProtocol(ITransport& transport, IHostMessaging& host, ILinkObserver* observer,
                     ILinkClock* clock)
    : transport_(transport),
      host_(host),
      clock_(clock != nullptr ? *clock : MonotonicClock()),
      observer_(observer != nullptr ? observer : &NoObserver()) {
  for (size_t i = 0; i < std::size(kHostMessageNames); ++i) {
    messageIds_[i] = host_.RegisterMessage(kHostMessageNames[i]);
  }
}

CProtocol::~CProtocol() { StopReceiveThread(); }

void CProtocol::SetObserver(ILinkObserver* observer) {
  observer_.store(observer != nullptr ? observer : &NoObserver());
}

void CProtocol::SetContentionWait(bool on, uint32_t durationMs) {
  contentionWait_ = on;
  contentionWaitMs_ = durationMs;
}

void CProtocol::TraceLine(const VscpFrame& frame, bool sent) {
  ILinkObserver& observer = Observer();
  if (!observer.Tracing()) return;
  const FrameTrace trace =
      lx2d::TraceFrame(frame, sent ? TraceDirection::kSent : TraceDirection::kReceived);
  observer.Trace(trace.line, trace.colour);
}

int CProtocol::SendFrame(uint8_t number, uint8_t kind, uint16_t extension1, uint16_t extension2,
                         std::span<const uint8_t> payload) {
  const uint8_t flags =
      static_cast<uint8_t>(kFlagLast | kFlagFirst | txSequence_ | (eFlag_ ? kFlagError : 0) |
                           (rFlag_ ? kFlagRestart : 0));
  EncodeFrame(number, kind, extension1, extension2, payload, flags, txBytes_);
  const int written = transport_.WriteReports(txBytes_, kWriteTimeoutMs);
  if (Observer().Tracing()) {
    // The trace shows what was sent: the payload as cut to the length
    // field and the checksum the encoder computed.
    payload = payload.first(payload.size() % (kMaxRequestPayload + 1));
    VscpFrame sent;
    sent.number = number;
    sent.kind = kind;
    sent.flags = flags;
    sent.length = static_cast<uint32_t>(payload.size());
    sent.payload.assign(payload.begin(), payload.end());
    std::vector<uint8_t> summed{number, kind};
    if (extension1 != kNoExtension && extension2 != kNoExtension) {
      summed.push_back(static_cast<uint8_t>(extension1));
      summed.push_back(static_cast<uint8_t>(extension2));
    }
    summed.insert(summed.end(), payload.begin(), payload.end());
    summed.push_back(flags);
    sent.checksum = VscpChecksum(summed);
    sent.wireCount = static_cast<int32_t>(txBytes_.size());
    TraceLine(sent, true);
  }
  return written;
}

int CProtocol::SendControl(uint8_t number, uint8_t code, uint8_t data) {
  EncodeControl(number, code, data, txBytes_);
  const int written = transport_.WriteReports(txBytes_, kWriteTimeoutMs);
  if (Observer().Tracing()) {
    VscpFrame sent;
    sent.number = number;
    sent.kind = code;
    sent.length = 1;
    sent.payload.assign(1, data);
    sent.wireCount = static_cast<int32_t>(txBytes_.size());
    TraceLine(sent, true);
  }
  return written;
}

int CProtocol::ReceiveFrame(FrameAccept accept, VscpFrame& record, uint32_t timeoutMs) try {
  record.length = 0;
  record.payload.clear();
  decoder_.SetAccept(accept);
  const uint64_t start = clock_.NowMs();
  // Time spent as of the last look at the clock. The clock is read once per
  // input report (and after a read that timed out), never per byte; no
  // wait outlasts the limit, so the receive ends within one report interval
  // of its limit however the reader paces its bytes.
  uint64_t elapsed = 0;
  for (;;) {
    uint8_t byte = 0;
    bool newReport = false;
    const uint32_t read = transport_.ReadReportByte(
        byte, ByteWait(ReceiveLimit(record, timeoutMs), elapsed), newReport);
    if (read == kTransportOk) {
      if (!decoder_.InFrame() && byte != kStx) {
        // Raw data: kept in the record up to the size of a message.
        if (record.length >= kMaxMessageBytes) return kReceiveRawOverflow;
        record.payload.push_back(byte);
        ++record.length;
        if (byte == kLineFeed) break;
      } else {
        // An ETX that is not the second byte of an escape pair ends the
        // frame: it goes to the event log whether it is accepted or not.
        const bool endsFrame =
            byte == kEtx && decoder_.InFrame() && !wire_.empty() && wire_.back() != kDle;
        if (byte == kStx) wire_.clear();
        wire_.push_back(byte);
        const DecodeStatus status = decoder_.Feed(byte);
        if (endsFrame) Observer().LogDump(kLogIdFrameDump, "RX frame: ", wire_);
        if (status == DecodeStatus::kFrameAccepted || status == DecodeStatus::kControlAccepted) {
          wire_.clear();
          // Raw bytes that came just before the frame are raw data all the
          // same; the record is about to hold the frame.
          if (record.length > 0) DeliverRaw(record.payload);
          VscpFrame& decoded = decoder_.Frame();
          record.number = decoded.number;
          record.kind = decoded.kind;
          record.flags = decoded.flags;
          record.length = decoded.length;
          record.wireCount = decoded.wireCount;
          record.checksum = decoded.checksum;
          std::swap(record.payload, decoded.payload);
          if (status == DecodeStatus::kControlAccepted) {
            AcceptControl(record);
            return kReceivedControl;
          }
          TraceLine(record, false);
          return kReceivedFull;
        }
        if (status == DecodeStatus::kDropped) wire_.clear();
        if (status == DecodeStatus::kRestarted) wire_.assign(1, kStx);
      }
    } else if (read != kTransportTimeout) {
      break;  // the device is gone or closed: waiting longer cannot help
    }
    if (read != kTransportOk || newReport) elapsed = clock_.NowMs() - start;
    if (elapsed > ReceiveLimit(record, timeoutMs)) break;
  }
  EndReceive();
  return kReceiveTimeout;
} catch (const std::bad_alloc&) {
  AllocationFailed();
}

uint64_t CProtocol::ReceiveLimit(const VscpFrame& record, uint32_t timeoutMs) const {
  if (decoder_.InFrame()) return uint64_t{4} * timeoutMs;
  return record.length > 0 ? kRawChunkMs : timeoutMs;
}

uint32_t CProtocol::ByteWait(uint64_t limit, uint64_t elapsed) {
  // One millisecond past the limit, so that the look at the clock after a
  // silent wait finds it passed.
  if (elapsed >= limit) return 1;
  return static_cast<uint32_t>(std::min<uint64_t>(kByteWaitMs, limit - elapsed + 1));
}

void CProtocol::AllocationFailed() {
  // The link cannot stay in step with the reader without room for what it
  // sends; no result code could carry this.
  host_.MessageBox(kBoxNoMemory, kCaption, kBoxOk);
  std::_Exit(EXIT_FAILURE);
}

void CProtocol::EndReceive() {
  Observer().LogDump(
      kLogIdFrameDump, "RX frame in progress, discarded: ",
      decoder_.InFrame() ? std::span<const uint8_t>(wire_) : std::span<const uint8_t>());
  decoder_.Reset();
  wire_.clear();
  if (Observer().Tracing()) Observer().Trace("timeout", kTraceText);
}

void CProtocol::AcceptControl(const VscpFrame& frame) {
  if (rFlag_ && (frame.kind == kCtlAck || frame.kind == kCtlNak)) rFlag_ = false;
  TraceLine(frame, false);
  switch (frame.kind) {
    case kCtlAbdn:
    case kCtlSydn:
    case kCtlNak:
    case kCtlBusy: {
      // Posting to no window would only fail and stall the link for the
      // retry pause; the message is for a named window.
      const HostWindow window = hostWindow_.load();
      if (window != 0) {
        Post(HostMessage::kLowLevel, window, frame.kind, IdParam(frame.payload[0]), true);
      }
      break;
    }
    default:
      break;
  }
}

int CProtocol::ReceiveControlAnswer() {
  const int received = ReceiveFrame(kAcceptControl, control_, replyTimeoutMs_);
  if (received == kReceivedControl) return control_.kind;
  // Bytes the reader sent outside frames instead of an answer are still
  // the host's raw data.
  if (control_.length > 0) DeliverRaw({control_.payload.data(), control_.length});
  return kNoControlAnswer;
}

int CProtocol::ControlExchange(uint8_t code, uint8_t data, uint8_t expected) {
  ++frameCounter_;
  SendControl(static_cast<uint8_t>(frameCounter_ & 0x7F), code, data);
  return ReceiveControlAnswer() == expected ? 0 : 1;
}

}  // namespace lx2d
