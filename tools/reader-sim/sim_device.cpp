#include "sim_device.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace lx2d::sim {

CReportOutput::CReportOutput(platform::IVirtualHidDevice& device, uint16_t reportLength,
                             uint8_t reportId, uint32_t intervalMs)
    : device_(device), reportId_(reportId), intervalMs_(intervalMs), report_(reportLength) {}

void CReportOutput::Send(std::span<const uint8_t> bytes) {
  const size_t capacity = report_.size() - 2;
  for (size_t at = 0; at < bytes.size(); at += capacity) {
    if (at > 0 && intervalMs_ > 0) Pause(intervalMs_);
    const size_t n = std::min(capacity, bytes.size() - at);
    std::fill(report_.begin(), report_.end(), 0);
    report_[0] = reportId_;
    report_[1] = static_cast<uint8_t>(n);
    std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(at), n, report_.begin() + 2);
    if (device_.SendReport(report_) != platform::kHidOk) return;  // host gone: the rest is lost
  }
}

void CReportOutput::Pause(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void CCommandQueue::Push(std::string line) {
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
}

bool CCommandQueue::Pop(std::string& line) {
  std::lock_guard lock(mutex_);
  if (lines_.empty()) return false;
  line = std::move(lines_.front());
  lines_.pop_front();
  return true;
}

void CSerialOutput::Send(std::span<const uint8_t> bytes) {
  port_.Write(bytes);  // a host that reads nothing loses the rest, as on a wire
}

void CSerialOutput::Pause(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

SimEvent CHidSimDevice::Wait(std::vector<uint8_t>& bytes, uint32_t timeoutMs) {
  switch (device_.Wait(report_, timeoutMs)) {
    case platform::VirtualHidEvent::kReport: {
      // A count outside 1 .. length - 2 carries nothing.
      const size_t count = report_[1];
      if (count < 1 || count > report_.size() - 2) return SimEvent::kNothing;
      bytes.assign(report_.begin() + 2, report_.begin() + 2 + static_cast<ptrdiff_t>(count));
      return SimEvent::kBytes;
    }
    case platform::VirtualHidEvent::kDisconnected:
      return SimEvent::kDisconnected;
    default:
      return SimEvent::kNothing;
  }
}

SimEvent CSerialSimDevice::Wait(std::vector<uint8_t>& bytes, uint32_t timeoutMs) {
  bytes.resize(4096);
  const platform::SerialIoResult read = port_.Read(bytes, timeoutMs);
  if (read.error == platform::kSerialErrorDeviceNotConnected) return SimEvent::kDisconnected;
  if (read.error != platform::kSerialOk) return SimEvent::kNothing;
  bytes.resize(read.bytes);
  return SimEvent::kBytes;
}

void ServeDevice(ISimDevice& device, CReaderLink& link, const std::atomic<bool>& stop,
                 CCommandQueue* commands,
                 const std::function<bool(const std::string&)>& onCommand) {
  std::vector<uint8_t> bytes;
  while (!stop.load()) {
    switch (device.Wait(bytes, 1000)) {
      case SimEvent::kBytes:
        link.Receive(bytes);
        break;
      case SimEvent::kDisconnected:
        link.Disconnected();
        break;
      case SimEvent::kNothing:
        break;
    }
    std::string line;
    while (commands != nullptr && commands->Pop(line)) {
      if (onCommand && !onCommand(line)) return;
    }
  }
}

}  // namespace lx2d::sim
