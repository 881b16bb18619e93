// The simulator's device loop: output reports from the host go to the reader
// link, whose answers go back as input reports. Used by lx2d-reader-sim and,
// on a thread of their own, by tests and benchmarks.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/hid.h"
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
void ServeDevice(platform::IVirtualHidDevice& device, CReaderLink& link, uint16_t reportLength,
                 const std::atomic<bool>& stop, CCommandQueue* commands,
                 const std::function<bool(const std::string&)>& onCommand);

}  // namespace lx2d::sim
