// CUsbHid: report I/O.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "usb_hid.h"

namespace lx2d {
namespace {

using Clock = std::chrono::steady_clock;

uint32_t ElapsedMs(Clock::time_point start) {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

}  // namespace

uint32_t CUsbHid::SendReports(std::span<const uint8_t> data, bool& completedAtOnce) {
  completedAtOnce = false;
  // A size below the header plus one byte would never advance.
  if (device_ == nullptr || reportSize_ < kMinReportSize) return kTransportNotOpen;
  Observer().LogDump(kLogTxFrame, "Tx frame: ", data);
  completedAtOnce = true;
  const size_t capacity = reportSize_ - 2u;
  uint8_t report[kMaxReportSize];
  for (size_t offset = 0; offset < data.size();) {
    const size_t n = std::min(data.size() - offset, capacity);
    report[0] = reportId_;
    report[1] = static_cast<uint8_t>(n);
    std::copy_n(data.begin() + static_cast<ptrdiff_t>(offset), n, report + 2);
    std::fill(report + 2 + n, report + reportSize_, 0);
    const platform::HidIoResult written = device_->WriteReport({report, reportSize_});
    Observer().LogDump(kLogReport, "WriteReport: ", {report, reportSize_});
    // A report the device did not take ends the frame: sending the rest
    // would only garble it, and the missing ACK tells the engine.
    if (written.error != platform::kHidOk) {
      completedAtOnce = false;
      return written.error;
    }
    completedAtOnce = !written.pending;
    offset += n;
  }
  return kTransportOk;
}

int CUsbHid::WriteReports(std::span<const uint8_t> data, uint32_t /*timeoutMs*/) {
  bool completedAtOnce = false;
  SendReports(data, completedAtOnce);
  return completedAtOnce ? 1 : 0;
}

uint32_t CUsbHid::WriteAll(std::span<const uint8_t> data) {
  bool completedAtOnce = false;
  return SendReports(data, completedAtOnce);
}

uint32_t CUsbHid::ReadReports(std::span<uint8_t> buffer, size_t& length, uint32_t timeoutMs) {
  if (device_ == nullptr) return kTransportNotOpen;
  length = std::min(length, buffer.size());
  const platform::HidIoResult read = device_->ReadReport(buffer.first(length), timeoutMs);
  if (read.error == platform::kHidOk) {
    length = read.bytes;
    Observer().LogDump(kLogReport, "ReadReport: ", buffer.first(length));
    return kTransportOk;
  }
  if (!read.pending) {
    char text[64];
    std::snprintf(text, sizeof text, "UsbHid: CUsbHid::ReadReports ReadFile FAILED(0x%X)",
                  read.error);
    Observer().LogText(kLogError, text);
    Observer().LogText(kLogError, "UsbHid: ClosingHandle");
    Close();
    return kTransportTimeout;
  }
  return read.error;
}

uint32_t CUsbHid::FillInput(uint32_t timeoutMs) {
  const Clock::time_point start = Clock::now();
  for (;;) {
    const uint32_t elapsed = ElapsedMs(start);
    size_t length = reportSize_;
    const uint32_t error =
        ReadReports(inputReport_, length, timeoutMs > elapsed ? timeoutMs - elapsed : 0);
    if (error != kTransportOk) return error;
    // A count outside 1 .. reportSize - 2, or beyond the bytes read, would
    // hand out bytes that are not payload: such a report gives none.
    const int count = inputReport_[1];
    if (length >= 2 && count >= 1 && count <= reportSize_ - 2 &&
        count + 2 <= static_cast<int>(length)) {
      inputCursor_ = 2;
      {
        std::lock_guard lock(inputMutex_);
        inputAvailable_.store(count);
      }
      inputArrived_.notify_all();
      return kTransportOk;
    }
    if (ElapsedMs(start) > timeoutMs) return kTransportTimeout;
  }
}

uint32_t CUsbHid::ReadByte(uint8_t& out, uint32_t timeoutMs) {
  if (inputAvailable_.load() == 0) {
    const uint32_t error = FillInput(timeoutMs);
    if (error != kTransportOk) return error;
  }
  out = inputReport_[inputCursor_++];
  inputAvailable_.fetch_sub(1);
  return kTransportOk;
}

uint32_t CUsbHid::ReadReportByte(uint8_t& out, uint32_t timeoutMs, bool& newReport) {
  newReport = inputAvailable_.load() == 0;
  return ReadByte(out, timeoutMs);
}

bool CUsbHid::PollInput(uint32_t timeoutMs) {
  return inputAvailable_.load() != 0 || FillInput(timeoutMs) == kTransportOk;
}

bool CUsbHid::WaitForInput(uint32_t timeoutMs) {
  std::unique_lock lock(inputMutex_);
  return inputArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return inputAvailable_.load() != 0; });
}

}  // namespace lx2d
