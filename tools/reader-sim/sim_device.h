// The simulator's device loop: what the host sends (output reports of a
// virtual HID device, or bytes on a pseudo-terminal) goes to the reader link,
// whose answers go back the same way. Used by lx2d-reader-sim and, on a
// thread of their own, by tests and benchmarks.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/hid.h"
#include "platform/serial_port.h"
#include "reader_link.h"

namespace lx2d::sim {

// Cuts the link's output into input reports: id, count, payload, padding,
// with `intervalMs` between two reports.
class CReportOutput final : public ILinkOutput {
 public:
  CReportOutput(platform::IVirtualHidDevice& device, uint16_t reportLength, uint8_t reportId,
                uint32_t intervalMs);
  void Send(std::span<const uint8_t> bytes) override;
  void Pause(uint32_t ms) override;

 private:
  platform::IVirtualHidDevice& device_;
  uint8_t reportId_;
  uint32_t intervalMs_;
  std::vector<uint8_t> report_;
};

// Sends the link's output to the host of a pseudo-terminal as it is.
class CSerialOutput final : public ILinkOutput {
 public:
  explicit CSerialOutput(platform::IPseudoTerminalPort& port) : port_(port) {}
  void Send(std::span<const uint8_t> bytes) override;
  void Pause(uint32_t ms) override;

 private:
  platform::IPseudoTerminalPort& port_;
};

// What one wait on the device end saw.
enum class SimEvent : uint8_t {
  kBytes,         // the host sent bytes
  kDisconnected,  // the host let go of the device
  kNothing,       // a connection, a time-out or a wake
};

// The device end the loop serves, HID or serial.
class ISimDevice {
 public:
  virtual ~ISimDevice() = default;
  // Waits at most `timeoutMs`; on kBytes, `bytes` holds what the host sent.
  virtual SimEvent Wait(std::vector<uint8_t>& bytes, uint32_t timeoutMs) = 0;
  // Whether a host may be listening; commands are refused without one.
  virtual bool Connected() const = 0;
  // Takes the device away from the host, as pulling the cable would.
  virtual void Unplug() = 0;
  // Makes the current or next Wait return. Async-signal-safe.
  virtual void Wake() = 0;
};

// A virtual HID device: the payload of each output report.
class CHidSimDevice final : public ISimDevice {
 public:
  CHidSimDevice(platform::IVirtualHidDevice& device, uint16_t reportLength)
      : device_(device), report_(reportLength) {}
  SimEvent Wait(std::vector<uint8_t>& bytes, uint32_t timeoutMs) override;
  bool Connected() const override { return device_.Connected(); }
  void Unplug() override { device_.Unplug(); }
  void Wake() override { device_.Wake(); }

 private:
  platform::IVirtualHidDevice& device_;
  std::vector<uint8_t> report_;
};

// A pseudo-terminal published as a serial port. Whether a host holds it
// cannot be told before it writes, so commands are always taken; what is
// sent without a host is discarded by the next host's open.
class CSerialSimDevice final : public ISimDevice {
 public:
  explicit CSerialSimDevice(platform::IPseudoTerminalPort& port) : port_(port) {}
  SimEvent Wait(std::vector<uint8_t>& bytes, uint32_t timeoutMs) override;
  bool Connected() const override { return true; }
  void Unplug() override { port_.Unplug(); }
  void Wake() override { port_.Wake(); }

 private:
  platform::IPseudoTerminalPort& port_;
};

// Lines of commands handed in by another thread.
class CCommandQueue {
 public:
  void Push(std::string line);
  bool Pop(std::string& line);

 private:
  std::mutex mutex_;
  std::deque<std::string> lines_;
};

// Serves the device until `stop` is set (the setter calls device.Wake()) or
// `onCommand` answers false. `onCommand` (may be empty) runs each queued
// command line between events.
void ServeDevice(ISimDevice& device, CReaderLink& link, const std::atomic<bool>& stop,
                 CCommandQueue* commands, const std::function<bool(const std::string&)>& onCommand);

}  // namespace lx2d::sim
