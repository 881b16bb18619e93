// CSerialTransport: the library's link to a serial reader. It lists the
// reader ports, opens one exclusively at the configured line speed, sends
// frames as they are and hands received bytes out one at a time. Its
// operations beyond ITransport are CUsbHid's, so that the library drives
// either transport the same way.
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
#include "platform/serial_port.h"
#include "reader_port.h"

namespace lx2d {

// The line speed used until the host's settings name another.
inline constexpr uint32_t kDefaultBaudRate = 115200;

// The transport's values in the library's registry key: the port the
// configuration dialog chose last (REG_SZ) and the line speed (REG_DWORD).
inline constexpr std::string_view kPortValue = "Port";
inline constexpr std::string_view kBaudRateValue = "BaudRate";

// How long WriteAll waits for the port to take a frame, as the engine's own
// frame writes do.
inline constexpr uint32_t kSerialWriteTimeoutMs = 2000;

// Event-log record ids of the serial transport's entries (those of CUsbHid).
inline constexpr uint32_t kSerialLogError = 0xC1A60000;    // failed opens, a port gone
inline constexpr uint32_t kSerialLogTxFrame = 0x81A60000;  // "Tx frame: " whole frame
inline constexpr uint32_t kSerialLogRead = 0x01A60000;     // "ReadBytes: " each chunk

class CSerialTransport final : public IReaderPort {
 public:
  // Binds to `service`; `observer` receives the event-log entries and may
  // be null.
  explicit CSerialTransport(platform::ISerialService* service, ILinkObserver* observer = nullptr);
  ~CSerialTransport() override;
  CSerialTransport(const CSerialTransport&) = delete;
  CSerialTransport& operator=(const CSerialTransport&) = delete;

  // False when there is no service: then enumeration finds no reader and
  // Open fails.
  bool BindSerialService(platform::ISerialService* service);

  void SetObserver(ILinkObserver* observer) override { observer_.store(observer); }

  // The line speed of the next Open, in bits per second.
  void SetBaudRate(uint32_t baudRate) { baudRate_ = baudRate; }
  uint32_t BaudRate() const { return baudRate_; }

  // IReaderPort settings: "BaudRate" (default kDefaultBaudRate) and "Port"
  // (default empty). A stored speed is taken as it is; a port that refuses
  // it fails to open.
  void DefaultSettings() override;
  void LoadSettings(IPortSettingStore& store) override;
  void SaveSettings(IPortSettingStore& store) override;
  void SetChosenReader(std::string_view path) override { chosenPort_ = path; }
  std::string ChosenReader() const override { return chosenPort_; }

  // Opens the port at `path` (any tty; the vendor is not checked). 0 on
  // success; -1 when it cannot be opened, with the service's reason in
  // LastOpenError and an error entry in the event log (a port held by
  // another process: kSerialErrorSharingViolation; a line speed the port
  // refuses: kSerialErrorInvalidParameter). An open port is closed first.
  // Bytes left from an earlier connection are discarded.
  int Open(std::string_view path) override;
  uint32_t LastOpenError() const { return lastOpenError_; }

  // Closes the port if one is open. Returns 0.
  int Close() override;

  bool IsOpen() const { return port_ != nullptr; }

  // True if the index-th reader port (from 0, in enumeration order) exists;
  // its description goes to `description` when that is not null. A reader
  // port is one of vendor kSerialReaderVendorId, held elsewhere or not.
  bool EnumDevices(int index, std::string* description) override;

  // 0 with the path of the first reader port whose description equals
  // `wanted` (case-sensitive, whole text); 1 when there is none.
  int FindDevice(std::string& path, std::string_view wanted) override;

  // ITransport. WriteReports sends `data` as it is, waiting at most
  // `timeoutMs` for the port to take it; it answers 1 when the port took
  // it all at once, 0 when it had to wait, failed or no port is open.
  // A port found gone (by a read or a write) is closed at once: the read
  // answers kTransportDisconnected, later calls kTransportNotOpen.
  int WriteReports(std::span<const uint8_t> data, uint32_t timeoutMs) override;
  uint32_t ReadByte(uint8_t& out, uint32_t timeoutMs) override;
  bool PollInput(uint32_t timeoutMs) override;
  bool WaitForInput(uint32_t timeoutMs) override;

  // IReaderPort: the same write as WriteReports, within kSerialWriteTimeoutMs;
  // kTransportOk only when every byte went out.
  uint32_t WriteAll(std::span<const uint8_t> data) override;

  // Wakes a read that waits in another thread (or the next one that would
  // wait); it ends with ERROR_OPERATION_ABORTED (995).
  void CancelRead();

 private:
  template <typename Visit>
  void ForEachReader(Visit visit);
  uint32_t FillInput(uint32_t timeoutMs);
  // Sends `data` whole: kTransportOk, kTransportNotOpen or the write's
  // error; `completedAtOnce` tells whether it had to wait.
  uint32_t Send(std::span<const uint8_t> data, uint32_t timeoutMs, bool& completedAtOnce);
  void PortGone(uint32_t error, std::string_view during);
  ILinkObserver& Observer() const;

  platform::ISerialService* service_ = nullptr;
  std::atomic<ILinkObserver*> observer_;
  uint32_t baudRate_ = kDefaultBaudRate;
  std::string chosenPort_;
  uint32_t lastOpenError_ = platform::kSerialOk;
  std::unique_ptr<platform::ISerialPort> port_;
  std::mutex portMutex_;  // held where port_ changes and by CancelRead

  // Receive state: the last bytes read and how many of them are not yet
  // handed out.
  uint8_t input_[256] = {};
  int inputCursor_ = 0;
  std::atomic<int32_t> inputAvailable_{0};
  std::mutex inputMutex_;  // guards the wake-up of WaitForInput only
  std::condition_variable inputArrived_;
};

}  // namespace lx2d
