// Delivery of what the reader sends unasked: reports into the message list,
// bytes outside frames into the raw buffer, each announced to the host by a
// registered window message.
#include <chrono>
#include <new>
#include <thread>

#include "protocol.h"
#include "report_layout.h"

namespace lx2d {
namespace {

bool IsReportKind(uint8_t kind) {
  switch (kind) {
    case kKindBcd:
    case kKindEvt:
    case kKindSbcd:
    case kKindBcdex2:
    case kKindBcdex:
    case kKindIdta:
      return true;
    default:
      return false;
  }
}

}  // namespace

void CProtocol::SetHostTarget(HostWindow window, uint8_t dllId) {
  hostWindow_.store(window);
  dllId_.store(dllId);
}

void CProtocol::SetDataCapture(bool enabled, DataCaptureCallback callback) {
  captureCallback_.store(callback);
  captureEnabled_.store(enabled);
}

int64_t CProtocol::IdParam(uint32_t low) const {
  return static_cast<int64_t>((static_cast<uint32_t>(dllId_.load()) << 24) + low);
}

HostWindow CProtocol::ReportTarget() {
  // Until the host names a window, data messages are broadcast, and the
  // broadcast target is kept.
  HostWindow none = 0;
  hostWindow_.compare_exchange_strong(none, kHostBroadcast);
  return hostWindow_.load();
}

bool CProtocol::Post(HostMessage which, HostWindow window, uint64_t wParam, int64_t lParam,
                     bool retry) {
  const uint32_t message = messageIds_[static_cast<size_t>(which)];
  if (message == 0) return false;
  if (host_.PostMessage(window, message, wParam, lParam)) return true;
  if (!retry) return false;
  std::this_thread::sleep_for(std::chrono::milliseconds(kPostRetryMs));
  return host_.PostMessage(window, message, wParam, lParam);
}

void CProtocol::CaptureData(uint8_t* data, size_t length) {
  const DataCaptureCallback callback = captureCallback_.load();
  if (callback != nullptr) callback(data, static_cast<uint32_t>(length));
}

bool CProtocol::ReceiveAndDispatch() {
  VscpFrame& message = dispatched_;
  const int result = ReceiveReply(rFlag_, message, 0);
  const std::span<const uint8_t> payload(message.payload.data(), message.length);
  if (result == kTransactOk) {
    bool isReport = true;
    switch (message.kind) {
      case kKindBcd:
      case kKindSbcd:
        // Data capture silences only this box; a bad BCDEX shows its box
        // either way.
        if (!captureEnabled_.load() && !BcdLayoutValid(payload)) {
          host_.MessageBox(kBoxBadBcd, kCaption, kBoxSetForeground);
        }
        break;
      case kKindBcdex:
        if (!BcdexLayoutValid(payload)) {
          host_.MessageBox(kBoxBadBcdex, kCaption, kBoxSetForeground);
        }
        break;
      case kKindEvt:
        isReport = EvtLayoutValid(payload);
        break;
      default:
        break;
    }
    if (isReport) return DispatchFrame(message);
  }
  // A message cut for size is dropped; anything else the record holds
  // (raw bytes, a message refused part way, a broken EVT) is raw data.
  if (result != kTransactOverflow && !payload.empty()) DeliverRaw(payload);
  return false;
}

bool CProtocol::DispatchFrame(const VscpFrame& frame) {
  if (!IsReportKind(frame.kind)) return false;
  const std::span<const uint8_t> payload(frame.payload.data(), frame.length);
  try {
    messages_.Append(frame.kind, payload);
  } catch (const std::bad_alloc&) {
    host_.MessageBox(kBoxNoCopy, kCaption, kBoxOk);
    return false;
  }
  if (messageIds_[static_cast<size_t>(HostMessage::kVscpFrame)] != 0) {
    const HostWindow target = ReportTarget();
    const int64_t lParam = IdParam(frame.length);
    CaptureData(messages_.Records().back().data.data(), frame.length);
    if (!Post(HostMessage::kVscpFrame, target, frame.kind, lParam, true)) return false;
    Observer().MessageRow({target, true, frame.kind, payload, frame.kind, lParam});
  } else {
    Observer().MessageRow(
        {hostWindow_.load(), true, frame.kind, payload, frame.kind, IdParam(frame.length)});
  }
  return true;
}

void CProtocol::DeliverRaw(std::span<const uint8_t> bytes) {
  const size_t first = raw_.size();
  raw_.insert(raw_.end(), bytes.begin(), bytes.end());
  const HostWindow target = ReportTarget();
  CaptureData(raw_.data() + first, bytes.size());
  const int64_t count = static_cast<int64_t>(bytes.size());
  Post(HostMessage::kRawData, target, 0, count, true);
  Observer().MessageRow({target, false, 0, bytes, 0, count});
}

}  // namespace lx2d
