#include "reader_link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "frame_tracer.h"

namespace lx2d::sim {
namespace {

constexpr uint8_t kResultOk = 0;
constexpr uint8_t kResultRefused = 2;  // the reader's answer to a malformed write
constexpr uint8_t kRestoreDefaults[] = {0x40, 0x02};

std::string Hex(std::span<const uint8_t> bytes) {
  std::string text;
  char pair[3];
  for (uint8_t byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
  char full[48];
  std::snprintf(full, sizeof full, "%s.%03dZ", text, static_cast<int>(ms.count()));
  return full;
}

}  // namespace

std::string KindName(uint8_t kind) {
  if (kind == kKindGirq) return "GIRQ";
  if (kind == kKindGirp) return "GIRP";
  std::string name = TraceKindName(kind);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (!name.empty() && name.back() == '?') name.pop_back();
  return name;
}

CReaderLink::CReaderLink(ILinkOutput& output, LinkFaults faults, std::ostream* record)
    : output_(output),
      faults_(faults),
      deafUntil_(std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(faults.answerAfterMs)),
      record_(record) {}

void CReaderLink::Receive(std::span<const uint8_t> bytes) {
  if (faults_.answerAfterMs != 0 && std::chrono::steady_clock::now() < deafUntil_) return;
  for (uint8_t byte : bytes) {
    const DecodeStatus status = decoder_.Feed(byte);
    if (status == DecodeStatus::kFrameAccepted) OnRequest(decoder_.Frame());
    if (status == DecodeStatus::kControlAccepted) OnControl(decoder_.Frame());
  }
}

void CReaderLink::OnControl(const VscpFrame& frame) {
  switch (frame.kind) {
    case kCtlSync:
      if (!faults_.ignoreSync) SendControl(frame.number, kCtlSydn, 0);
      break;
    case kCtlAck:
      ++acks_;
      break;
    case kCtlNak:
      ++naks_;
      break;
    case kCtlAbt:
      // The host takes priority: the waiting report is dropped and the
      // host starts counting our frames again.
      pendingReport_.clear();
      txSequence_ = 0;
      SendControl(frame.number, kCtlAbdn, 0);
      break;
    case kCtlRsnd:
      if (!pendingReport_.empty()) {
        const std::vector<uint8_t> report = std::move(pendingReport_);
        pendingReport_.clear();
        SendReport(kKindBcd, report);
      }
      break;
    default:
      break;
  }
}

void CReaderLink::OnRequest(const VscpFrame& frame) {
  ++requests_;
  Record(frame);
  const std::optional<KindInfo> kind = FindKind(frame.kind);
  if (!kind || kind->kindClass != KindClass::kRequest) return;  // not ours to answer
  if (faults_.busy > 0) {
    --faults_.busy;
    static constexpr char kWaiting[] = "BUSY-DATA";
    pendingReport_ = {0, sizeof kWaiting - 1};
    pendingReport_.insert(pendingReport_.end(), kWaiting, kWaiting + sizeof kWaiting - 1);
    SendControl(frame.number, kCtlBusy, 0);
    return;
  }
  if (faults_.sydn > 0) {
    --faults_.sydn;
    SendControl(frame.number, kCtlSydn, 0);
    return;
  }
  if (faults_.nak > 0) {
    --faults_.nak;
    SendControl(frame.number, kCtlNak, 0);
    return;
  }
  if (faults_.dropAcks > 0) {
    --faults_.dropAcks;
    return;
  }
  if (faults_.ackDelayMs > 0) output_.Pause(faults_.ackDelayMs);
  SendControl(frame.number, kCtlAck, 0);
  if (faults_.replyDelayMs > 0) output_.Pause(faults_.replyDelayMs);

  const std::span<const uint8_t> payload(frame.payload.data(), frame.length);
  switch (frame.kind) {
    case kKindSr:
      Reply(frame, kind->replyKind, parameters_.Read(payload));
      break;
    case kKindSw: {
      const uint8_t result = parameters_.Write(payload) ? kResultOk : kResultRefused;
      Reply(frame, kind->replyKind, {&result, 1});
      break;
    }
    case kKindCcmd: {
      if (payload.size() == 2 && payload[0] == kRestoreDefaults[0] &&
          payload[1] == kRestoreDefaults[1]) {
        parameters_.RestoreDefaults();
      }
      const uint8_t result = kResultOk;
      Reply(frame, kind->replyKind, {&result, 1});
      break;
    }
    default:
      if (kind->replyKind == kKindRslt) {
        const uint8_t result = kResultOk;
        Reply(frame, kind->replyKind, {&result, 1});
      } else {
        // Other reads: the requested bytes back, so a host sees its request
        // answered with the right kind.
        Reply(frame, kind->replyKind, payload);
      }
      break;
  }
}

void CReaderLink::Reply(const VscpFrame& request, uint8_t kind, std::span<const uint8_t> payload) {
  if (kind == kKindGirp) {
    // The request's two extension bytes arrive as the first payload bytes
    // and go back in the reply's extension field.
    const uint16_t first = payload.size() > 0 ? payload[0] : 0;
    const uint16_t second = payload.size() > 1 ? payload[1] : 0;
    SendFrames(request.number, kind, first, second,
               payload.subspan(std::min<size_t>(2, payload.size())), true);
    return;
  }
  SendFrames(request.number, kind, kNoExtension, kNoExtension, payload, true);
}

void CReaderLink::SendFrames(uint8_t number, uint8_t kind, uint16_t extension1, uint16_t extension2,
                             std::span<const uint8_t> payload, bool isReply) {
  const size_t chunk = faults_.replyFrameBytes == 0 ? payload.size() : faults_.replyFrameBytes;
  size_t at = 0;
  do {
    const size_t n = std::min(chunk, payload.size() - at);
    uint8_t flags = txSequence_;
    if (at == 0) flags |= kFlagFirst;
    if (at + n >= payload.size()) flags |= kFlagLast;
    EncodeFrame(number, kind, extension1, extension2, payload.subspan(at, n), flags, wire_);
    output_.Send(wire_);
    if (isReply && faults_.duplicateReplies) output_.Send(wire_);
    txSequence_ = (txSequence_ + 1) & kFlagSequence;
    at += n;
  } while (at < payload.size());
}

void CReaderLink::SendReport(uint8_t kind, std::span<const uint8_t> payload) {
  SendFrames(0, kind, kNoExtension, kNoExtension, payload, false);
}

void CReaderLink::SendBarcode(uint8_t kind, std::string_view text) {
  std::vector<uint8_t> payload = {static_cast<uint8_t>(text.size() >> 8),
                                  static_cast<uint8_t>(text.size())};
  payload.insert(payload.end(), text.begin(), text.end());
  SendReport(kind, payload);
}

void CReaderLink::Disconnected() { decoder_.Reset(); }

void CReaderLink::SendRaw(std::span<const uint8_t> bytes) { output_.Send(bytes); }

void CReaderLink::SendControl(uint8_t number, uint8_t code, uint8_t data) {
  EncodeControl(number, code, data, wire_);
  output_.Send(wire_);
}

void CReaderLink::Record(const VscpFrame& frame) {
  if (record_ == nullptr) return;
  char head[96];
  std::snprintf(head, sizeof head, "\",\"kind\":\"%s\",\"number\":%u,\"flags\":%u,\"payload\":\"",
                KindName(frame.kind).c_str(), frame.number, frame.flags);
  *record_ << "{\"time\":\"" << UtcNow() << head << Hex({frame.payload.data(), frame.length})
           << "\"}\n";
  record_->flush();
}

}  // namespace lx2d::sim
