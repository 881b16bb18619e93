// The serial port service: what the serial transport needs of the system's
// ttys, and the device end that simulators publish. A reader port is a tty
// of a USB device with the reader's vendor id (found through udev), or a
// link in the folder of simulated ports (LX2D_RUNTIME_DIR/serial/NAME, with
// its description in NAME.info) pointing at a pseudo-terminal.
//
// A port is opened in raw mode, 8 data bits, no parity, one stop bit, at a
// given line speed, and exclusively: TIOCEXCL keeps other opens out and an
// advisory lock keeps out those that TIOCEXCL lets through (root's), so two
// processes never share a port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lx2d::platform {

// Results of the serial service: Windows system error codes, as the HID
// service gives, so that the transports hand on the same values.
inline constexpr uint32_t kSerialOk = 0;
inline constexpr uint32_t kSerialErrorNotSerial = 1;              // the path is not a tty
inline constexpr uint32_t kSerialErrorFileNotFound = 2;           // no such port
inline constexpr uint32_t kSerialErrorAccessDenied = 5;           // no permission on the node
inline constexpr uint32_t kSerialErrorGenFailure = 31;            // any other system failure
inline constexpr uint32_t kSerialErrorSharingViolation = 32;      // another process holds the port
inline constexpr uint32_t kSerialErrorInvalidParameter = 87;      // line speed the port refuses
inline constexpr uint32_t kSerialErrorOperationAborted = 995;     // a read was woken
inline constexpr uint32_t kSerialErrorDeviceNotConnected = 1167;  // the port went away
inline constexpr uint32_t kSerialErrorTimeout = 1460;

// The readers' USB vendor id, by which udev's ttys are picked.
inline constexpr uint16_t kSerialReaderVendorId = 0x0D2A;

// One reader port as enumeration finds it.
struct SerialPortInfo {
  std::string path;  // what Open takes: /dev/ttyACM0, or the link of a simulated port
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::string product;  // UTF-8; empty when the device has none
  std::string serial;   // UTF-8; empty when the device has none
};

// Outcome of one read or write.
struct SerialIoResult {
  uint32_t error = kSerialOk;  // kSerialOk or one of the codes above
  size_t bytes = 0;            // bytes read or written (also on a write's failure)
  bool waited = false;         // the operation had to wait for the port
};

// One open port, held exclusively. Not thread-safe, except CancelRead.
class ISerialPort {
 public:
  virtual ~ISerialPort() = default;  // closes the port and drops its lock

  // Reads the bytes at hand, up to buffer.size(), waiting at most
  // `timeoutMs` for the first one (0: take only what is queued). Bytes
  // already received are handed out before a hang-up is acted on. Errors:
  //   kSerialErrorTimeout            nothing arrived in time
  //   kSerialErrorOperationAborted   CancelRead woke the read
  //   kSerialErrorDeviceNotConnected the port hung up or went away (POLLHUP,
  //                                  EIO, ENXIO, ENODEV); every later read
  //                                  and write fails so at once
  //   kSerialErrorGenFailure         any other failure
  virtual SerialIoResult Read(std::span<uint8_t> buffer, uint32_t timeoutMs) = 0;

  // Writes all of `data`, waiting at most `timeoutMs` in all for the port
  // to take it. kSerialOk; kSerialErrorTimeout when the port took only
  // `bytes` of it in time; kSerialErrorDeviceNotConnected;
  // kSerialErrorGenFailure.
  virtual SerialIoResult Write(std::span<const uint8_t> data, uint32_t timeoutMs) = 0;

  // Wakes the read that waits in another thread, or else the next read that
  // has to wait: it ends with kSerialErrorOperationAborted.
  virtual void CancelRead() = 0;
};

// Enumeration and open of the reader ports.
class ISerialService {
 public:
  virtual ~ISerialService() = default;

  // The reader ports present: udev's ttys of vendor kSerialReaderVendorId
  // (by node name), then the simulated ports (by name) whose link leads to
  // an existing tty. Ports held open elsewhere are listed too.
  virtual std::vector<SerialPortInfo> EnumeratePorts() = 0;

  // Opens the tty at `path` (any tty, listed or not) exclusively, in raw
  // mode 8N1 at `baudRate` bits per second, with the input queued before
  // the open discarded. kSerialOk; kSerialErrorFileNotFound;
  // kSerialErrorAccessDenied; kSerialErrorNotSerial (not a tty);
  // kSerialErrorSharingViolation (held by another open, TIOCEXCL or lock);
  // kSerialErrorInvalidParameter (a speed the port refuses: not one of the
  // standard rates, or not kept by the tty); kSerialErrorDeviceNotConnected
  // (the node exists but its device is gone); kSerialErrorGenFailure.
  virtual uint32_t Open(std::string_view path, uint32_t baudRate,
                        std::unique_ptr<ISerialPort>& port) = 0;
};

// Where a service looks for ports.
struct SerialServiceConfig {
  bool udev = true;     // list udev's ttys of the readers' vendor
  std::string linkDir;  // folder of simulated ports; empty: none
};

std::unique_ptr<ISerialService> MakeSerialService(const SerialServiceConfig& config);

// The process's service: udev plus the simulated ports in
// LX2D_RUNTIME_DIR/serial, looked up afresh at each call. Never null.
ISerialService* SystemSerialService();

// The folder of simulated ports: LX2D_RUNTIME_DIR/serial.
std::string SerialLinkDir();

// ---- The device end of a simulated port, for simulators ----

// What NAME.info tells about a simulated port.
struct SerialPortIdentity {
  uint16_t vendorId = kSerialReaderVendorId;
  uint16_t productId = 0;
  std::string product;  // UTF-8
  std::string serial;   // UTF-8; empty when the device has none
};

// A pseudo-terminal whose other end is published as a reader port.
class IPseudoTerminalPort {
 public:
  virtual ~IPseudoTerminalPort() = default;  // hangs up and removes its files

  // The path hosts open: the link in the folder of simulated ports.
  virtual const std::string& PortPath() const = 0;

  // Waits at most `timeoutMs` for bytes the host wrote and hands out those
  // at hand. kSerialOk with bytes > 0; kSerialErrorDeviceNotConnected once
  // when the host has closed the port (later reads wait for the next host);
  // kSerialErrorTimeout; kSerialErrorOperationAborted (Wake);
  // kSerialErrorGenFailure.
  virtual SerialIoResult Read(std::span<uint8_t> buffer, uint32_t timeoutMs) = 0;

  // Sends `data` to the host, waiting at most 5 s for a host that reads
  // nothing. Bytes sent while no host holds the port wait in the port and
  // are discarded by the next host's open. kSerialOk; kSerialErrorTimeout;
  // kSerialErrorGenFailure.
  virtual uint32_t Write(std::span<const uint8_t> data) = 0;

  // Hangs up: the host's open port sees the device gone. The simulated
  // reader stays: a fresh pseudo-terminal is published under the same name.
  // kSerialOk or kSerialErrorGenFailure.
  virtual uint32_t Unplug() = 0;

  // Makes the current or next Read return kSerialErrorOperationAborted.
  // Async-signal-safe.
  virtual void Wake() = 0;
};

// Creates a pseudo-terminal in raw mode and publishes it as `directory`/NAME
// (created if missing) with its description in NAME.info. NAME is letters,
// digits, '-', '_' and '.', not starting with '.'. A stale port left by a
// dead simulator is replaced. kSerialOk; kSerialErrorInvalidParameter (bad
// name); kSerialErrorSharingViolation (a live simulator has the name);
// kSerialErrorGenFailure.
uint32_t CreatePseudoTerminalPort(const std::string& directory, const std::string& name,
                                  const SerialPortIdentity& identity,
                                  std::unique_ptr<IPseudoTerminalPort>& port);

}  // namespace lx2d::platform
