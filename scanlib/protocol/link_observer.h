// Where the protocol engine and the transport report what they see, for the
// spy window and the event log. Every operation does nothing by default, so
// an engine without diagnostics attached pays only a virtual call.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace lx2d {

// Event-log record id of the engine's frame dumps ("RX frame: ", ...).
inline constexpr uint32_t kLogIdFrameDump = 0x81A60000;

// One window message posted to the host for received data, as the spy
// window's message list shows it.
struct PostedMessageRow {
  uint64_t window;                // target window as stored (0 before any was named)
  bool report;                    // true: "WM_VSCP_FRAME"; false: "WM_RAW_DATA"
  uint8_t kind;                   // frame kind of a report; 0 for raw data
  std::span<const uint8_t> data;  // the report's payload or the raw chunk
  uint64_t wParam;
  int64_t lParam;
};

class ILinkObserver {
 public:
  virtual ~ILinkObserver() = default;

  // True while somebody shows trace lines. The engine builds a trace line
  // only then, which keeps formatting off the fast path.
  virtual bool Tracing() const { return false; }

  // One frame trace line and its colour (COLORREF, 0x00BBGGRR).
  virtual void Trace(std::string_view /*line*/, uint32_t /*colour*/) {}

  // A window message posted for received data (one row of the spy window's
  // message list and one line of its data list).
  virtual void MessageRow(const PostedMessageRow& /*row*/) {}

  // A narrow text record for the event log under `recordId`.
  virtual void LogText(uint32_t /*recordId*/, std::string_view /*text*/) {}

  // A hex dump record for the event log under `recordId`, titled `title`.
  virtual void LogDump(uint32_t /*recordId*/, std::string_view /*title*/,
                       std::span<const uint8_t> /*data*/) {}
};

}  // namespace lx2d
