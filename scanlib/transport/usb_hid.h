// CUsbHid: the library's link to the reader's HID interface. It finds the
// reader among the present HID interfaces, opens it and derives the report id
// and report size, cuts outgoing frames into output reports and hands the
// payload of input reports out one byte at a time.
//
// Report layout, both directions, `reportSize` bytes:
//   byte 0      report id (reportId on output; not examined on input)
//   byte 1      n, payload bytes in this report, 1 .. reportSize - 2
//   bytes 2..   n payload bytes, then zero padding (output) or anything (input)
//
// No lock of its own: callers serialise I/O (the engine's CommandMutex).
// WaitForInput and CancelRead may be called from another thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "link_observer.h"
#include "platform/hid.h"
#include "reader_port.h"

namespace lx2d {

// The reader's USB identity and the other product the library lists.
inline constexpr uint32_t kReaderVendorId = 0x0D2A;
inline constexpr uint32_t kReaderProductId = 0x0801;
inline constexpr uint32_t kReaderAltProductId = 0x0802;

// Report sizes the transport can serve: the two-byte header plus at least
// one payload byte, and no more than the receive buffer holds.
inline constexpr int kMinReportSize = 3;
inline constexpr int kMaxReportSize = 64;

// Event-log record ids of the transport's entries.
inline constexpr uint32_t kLogInfo = 0x41A60000;     // "ReportSize: %d"
inline constexpr uint32_t kLogError = 0xC1A60000;    // open and read failures
inline constexpr uint32_t kLogTxFrame = 0x81A60000;  // "Tx frame: " whole frame
inline constexpr uint32_t kLogReport = 0x01A60000;   // "WriteReport: ", "ReadReport: "

// Report id by product id, taken from the opened device's own attributes.
struct ReportIdRule {
  uint16_t productId;
  uint8_t reportId;
};
inline constexpr ReportIdRule kReportIdRules[] = {
    {0x0801, 2},
    {0x0880, 2},
    {0x0809, 0xF0},
};  // any other product: 0

uint8_t ReportIdForProduct(uint16_t productId);

class CUsbHid final : public IReaderPort {
 public:
  // Binds to `service` (BindHidLibraries); `observer` receives the
  // event-log entries and may be null.
  CUsbHid(uint32_t vendorId, uint32_t productId, platform::IHidService* service,
          ILinkObserver* observer = nullptr);
  ~CUsbHid() override;
  CUsbHid(const CUsbHid&) = delete;
  CUsbHid& operator=(const CUsbHid&) = delete;

  // Binds the HID service. False when there is none: then enumeration finds
  // no reader and Open fails.
  bool BindHidLibraries(platform::IHidService* service);

  void SetObserver(ILinkObserver* observer) override { observer_.store(observer); }

  // Opens the interface at `path` (any HID device; the vendor is not
  // checked) and sets reportId from its product id and reportSize from its
  // report lengths. 0 on success; -1 when the device cannot be opened, its
  // attributes or caps cannot be read, its input and output report lengths
  // differ (error entry "InputReportByteLength != OutputReportByteLength")
  // or lie outside kMinReportSize..kMaxReportSize. A device that was opened
  // stays open after a failure until the next Open or Close. Payload bytes
  // left from an earlier connection are discarded.
  int Open(std::string_view path) override;

  // Closes the device if one is open; keeps reportId, reportSize and the
  // receive state. Returns 0.
  int Close() override;

  bool IsOpen() const { return device_ != nullptr; }
  uint8_t ReportId() const { return reportId_; }
  uint8_t ReportSize() const { return reportSize_; }

  // True if the index-th reader (from 0, in enumeration order) exists; its
  // description goes to `description` when that is not null. A reader is an
  // interface with vendorId and productId or kReaderAltProductId that can
  // be opened now (one held open elsewhere is not listed).
  bool EnumDevices(int index, std::string* description) override;

  // 0 with the path of the first reader whose description equals `wanted`
  // (case-sensitive, whole text); 1 when there is none.
  int FindDevice(std::string& path, std::string_view wanted) override;

  // ITransport.
  int WriteReports(std::span<const uint8_t> data, uint32_t timeoutMs) override;
  uint32_t ReadByte(uint8_t& out, uint32_t timeoutMs) override;
  bool PollInput(uint32_t timeoutMs) override;
  bool WaitForInput(uint32_t timeoutMs) override;
  uint32_t ReadReportByte(uint8_t& out, uint32_t timeoutMs, bool& newReport) override;

  // IReaderPort: the same reports as WriteReports; kTransportOk only when
  // every report was written whole.
  uint32_t WriteAll(std::span<const uint8_t> data) override;

  // Reads one input report into `buffer` (length: in, bytes wanted; out,
  // bytes read), waiting at most `timeoutMs`. 0; kTransportNotOpen;
  // kTransportTimeout, also after a read that failed at once, which closes
  // the device; kTransportDisconnected when the device went away while the
  // read waited (the device stays open); another system error code.
  uint32_t ReadReports(std::span<uint8_t> buffer, size_t& length, uint32_t timeoutMs);

  // Wakes a read that waits in another thread (or the next one that would
  // wait); it ends with ERROR_OPERATION_ABORTED (995).
  void CancelRead();

 private:
  template <typename Visit>
  void ForEachReader(Visit visit);
  uint32_t FillInput(uint32_t timeoutMs);
  // Sends `data` in reports: kTransportOk, kTransportNotOpen or the failed
  // write's error; `completedAtOnce` tells how the last report went.
  uint32_t SendReports(std::span<const uint8_t> data, bool& completedAtOnce);
  ILinkObserver& Observer() const;

  uint32_t vendorId_;
  uint32_t productId_;
  platform::IHidService* service_ = nullptr;
  std::atomic<ILinkObserver*> observer_;
  std::unique_ptr<platform::IHidDevice> device_;
  std::mutex deviceMutex_;  // held where device_ changes and by CancelRead
  uint8_t reportId_ = 0;
  uint8_t reportSize_ = 0;

  // Receive state: the last input report and the payload bytes of it not
  // yet handed out.
  uint8_t inputReport_[kMaxReportSize] = {};
  int inputCursor_ = 0;
  std::atomic<int32_t> inputAvailable_{0};
  std::mutex inputMutex_;  // guards the wake-up of WaitForInput only
  std::condition_variable inputArrived_;
};

}  // namespace lx2d
