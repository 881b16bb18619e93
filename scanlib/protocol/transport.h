// What the protocol engine needs of the link to the reader: a byte stream
// carried in HID reports. CUsbHid implements it; tests use scripted peers.
#pragma once

#include <cstdint>
#include <span>

namespace lx2d {

// Results of ITransport reads (Windows system error codes, as callers and
// the library's own result tables expect them).
inline constexpr uint32_t kTransportOk = 0;
inline constexpr uint32_t kTransportNotOpen = 255;             // no device is open
inline constexpr uint32_t kTransportTimeout = 1460;            // ERROR_TIMEOUT
inline constexpr uint32_t kTransportDisconnected = 1167;       // ERROR_DEVICE_NOT_CONNECTED

class ITransport {
 public:
  virtual ~ITransport() = default;

  // Sends `data` as output reports; an empty span sends nothing. The
  // time-out is accepted and not used. Returns the immediate-completion
  // indication of the last report's write: non-zero when the system
  // completed it at once, 0 when it completed through a wait or when no
  // device is open.
  virtual int WriteReports(std::span<const uint8_t> data, uint32_t timeoutMs) = 0;

  // Hands out the next payload byte, reading a new input report when the
  // current one is used up. kTransportOk, or the read's error code:
  // kTransportNotOpen, kTransportTimeout, kTransportDisconnected or another
  // system error code.
  virtual uint32_t ReadByte(uint8_t& out, uint32_t timeoutMs) = 0;

  // ReadByte that also tells whether this call had to read a new input
  // report (and so may have waited): the link looks at its clock once per
  // report rather than once per byte. A transport that cannot tell answers
  // true for every byte, which costs a clock read per byte but keeps every
  // time-out exact.
  virtual uint32_t ReadReportByte(uint8_t& out, uint32_t timeoutMs, bool& newReport) {
    newReport = true;
    return ReadByte(out, timeoutMs);
  }

  // True when payload bytes are at hand, reading one report if none are;
  // false when that read fails (a time-out included).
  virtual bool PollInput(uint32_t timeoutMs) = 0;

  // True as soon as payload bytes are at hand, false once the time-out has
  // passed. Reads nothing itself: it relies on another thread's PollInput.
  virtual bool WaitForInput(uint32_t timeoutMs) = 0;
};

}  // namespace lx2d
