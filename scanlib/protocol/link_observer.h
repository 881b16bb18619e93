// Where the protocol engine and the transport report what they see, for the
// spy window and the event log. Every operation does nothing by default, so
// an engine without diagnostics attached pays only a virtual call.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace lx2d {

class ILinkObserver {
 public:
  virtual ~ILinkObserver() = default;

  // One frame trace line and its colour (COLORREF, 0x00BBGGRR).
  virtual void Trace(std::string_view /*line*/, uint32_t /*colour*/) {}

  // A narrow text record for the event log under `recordId`.
  virtual void LogText(uint32_t /*recordId*/, std::string_view /*text*/) {}

  // A hex dump record for the event log under `recordId`, titled `title`.
  virtual void LogDump(uint32_t /*recordId*/, std::string_view /*title*/,
                       std::span<const uint8_t> /*data*/) {}
};

}  // namespace lx2d
