// The HID service: what the HID transport and the reader search need of the
// system's HID class. Interfaces are named by Windows-style interface paths
//   \\?\hid#vid_VVVV&pid_PPPP[&colNN]#<instance>#{4d1e55b2-f16f-11cf-88cb-001111000030}
// so that the utility and the library see the names they were written for.
// Two kinds of device are served: hidraw nodes (one interface per top-level
// collection of the node's report descriptor) and virtual HID devices, Unix
// SOCK_SEQPACKET sockets that simulators serve (docs/virtual-hid.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lx2d::platform {

// Results of the HID service: Windows system error codes, because the
// transport hands them on to callers that test those values.
inline constexpr uint32_t kHidOk = 0;
inline constexpr uint32_t kHidErrorFileNotFound = 2;        // no such interface or device
inline constexpr uint32_t kHidErrorAccessDenied = 5;        // no permission, or held by the system
inline constexpr uint32_t kHidErrorInvalidData = 13;        // report descriptor unusable
inline constexpr uint32_t kHidErrorGenFailure = 31;         // any other system failure
inline constexpr uint32_t kHidErrorSharingViolation = 32;   // another handle holds the device
inline constexpr uint32_t kHidErrorInvalidParameter = 87;   // report of the wrong length
inline constexpr uint32_t kHidErrorOperationAborted = 995;  // a read was cancelled
inline constexpr uint32_t kHidErrorDeviceNotConnected = 1167;
inline constexpr uint32_t kHidErrorTimeout = 1460;
inline constexpr uint32_t kHidErrorInvalidUserBuffer = 1784;  // read buffer shorter than a report

// The device interface class GUID that ends every interface path.
inline constexpr std::string_view kHidInterfaceClass = "{4d1e55b2-f16f-11cf-88cb-001111000030}";

// HidD_GetAttributes.
struct HidAttributes {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
};

// The part of HidP_GetCaps the system uses. Report byte lengths include the
// report id byte (also when the device numbers no reports) and are 0 when
// the collection has no report of that type.
struct HidCaps {
  uint16_t usagePage = 0;
  uint16_t usage = 0;
  uint16_t inputReportByteLength = 0;
  uint16_t outputReportByteLength = 0;
  uint16_t featureReportByteLength = 0;
};

// Outcome of one report read or write.
struct HidIoResult {
  uint32_t error = kHidOk;  // kHidOk or one of the codes above
  // True when the operation had to wait (the overlapped request went
  // pending); false when it completed or failed at once. A read that fails
  // at once means the handle is of no further use.
  bool pending = false;
  size_t bytes = 0;  // bytes read or written on kHidOk
};

// One open HID interface, held exclusively. Not thread-safe, except
// CancelRead.
class IHidDevice {
 public:
  virtual ~IHidDevice() = default;

  // kHidOk, or kHidErrorGenFailure when the attributes cannot be read.
  virtual uint32_t GetAttributes(HidAttributes& out) = 0;

  // The caps of this interface's top-level collection, computed from the
  // report descriptor as HidP_GetCaps does. kHidOk; kHidErrorInvalidData
  // when the descriptor cannot be parsed; kHidErrorGenFailure when it
  // cannot be read.
  virtual uint32_t GetCaps(HidCaps& out) = 0;

  // The product and serial number strings, UTF-16 as HidD_* return them.
  // kHidOk; kHidErrorInvalidParameter when the device has no such string
  // (out is then empty).
  virtual uint32_t GetProductString(std::u16string& out) = 0;
  virtual uint32_t GetSerialNumberString(std::u16string& out) = 0;

  // Reads one input report (report id byte first) into `buffer`, waiting
  // at most `timeoutMs` (0: take only what is queued). A report already
  // queued is handed out before a hang-up is acted on. Errors:
  //   kHidErrorTimeout            nothing arrived in time (pending)
  //   kHidErrorDeviceNotConnected the device went away while the read
  //                               waited (pending); the handle stays open
  //                               and the next read fails at once
  //   kHidErrorOperationAborted   CancelRead woke the read (pending)
  //   kHidErrorInvalidUserBuffer  `buffer` is shorter than an input report
  //   kHidErrorDeviceNotConnected, kHidErrorGenFailure, failed at once: the
  //                               device was already gone or the read failed
  virtual HidIoResult ReadReport(std::span<uint8_t> buffer, uint32_t timeoutMs) = 0;

  // Writes one output report, which must be exactly the output report
  // length (report id byte first); a partial write is a failure. Errors:
  // kHidErrorInvalidParameter (wrong length), kHidErrorDeviceNotConnected,
  // kHidErrorTimeout (the device took nothing for 5 s), kHidErrorGenFailure.
  // `pending` tells whether the write had to wait for the device.
  virtual HidIoResult WriteReport(std::span<const uint8_t> report) = 0;

  // Wakes the read that waits in another thread, or else the next read that
  // has to wait: it ends with kHidErrorOperationAborted. A read that finds a
  // report queued is not affected.
  virtual void CancelRead() = 0;
};

// Enumeration and open of the present HID interfaces.
class IHidService {
 public:
  virtual ~IHidService() = default;

  // The interface paths of the present devices: hidraw interfaces first
  // (by node number, then collection), then virtual devices (by name).
  virtual std::vector<std::string> EnumerateInterfaces() = 0;

  // Opens an interface by path (compared case-insensitively) for
  // exclusive use. kHidOk; kHidErrorFileNotFound when no present interface
  // has that path; kHidErrorSharingViolation when another handle holds the
  // device; kHidErrorAccessDenied when there is no permission on the node or
  // the collection is one the system keeps for itself (mouse, keyboard, pen,
  // touch screen), as on Windows; kHidErrorGenFailure.
  virtual uint32_t Open(std::string_view path, std::unique_ptr<IHidDevice>& device) = 0;
};

// Where a service looks for devices.
struct HidServiceConfig {
  bool hidraw = true;            // list hidraw nodes through libudev
  std::string virtualDeviceDir;  // folder of virtual devices; empty: none
};

// A service over the given sources.
std::unique_ptr<IHidService> MakeHidService(const HidServiceConfig& config);

// The process's service: hidraw plus the virtual devices in
// LX2D_RUNTIME_DIR/vhid. Never null; lives as long as the process.
IHidService* SystemHidService();

// The folder of virtual HID devices: LX2D_RUNTIME_DIR/vhid.
std::string VirtualHidDir();

// Builds an interface path. `collection` 0 leaves out the &colNN part
// (single-collection device); vendor and product are four lower-case hex
// digits, the collection two decimal digits.
std::string BuildInterfacePath(uint16_t vendorId, uint16_t productId, int collection,
                               std::string_view instance);

// ---- The device end of a virtual HID device, for simulators ----

// What NAME.info tells about a virtual device.
struct VirtualHidInfo {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
  std::string productString;        // UTF-8
  std::string serial;               // UTF-8; empty when the device has none
  uint16_t inputReportLength = 0;   // bytes, report id byte included
  uint16_t outputReportLength = 0;  // bytes, report id byte included
  int collection = 0;               // 0: single collection, else 1-based
};

// What a wait on the device end saw.
enum class VirtualHidEvent : uint8_t {
  kReport,        // an output report from the host is in the buffer
  kConnected,     // a host connected
  kDisconnected,  // the host closed its connection
  kTimeout,       // nothing happened in time
  kWoken,         // Wake was called
};

class IVirtualHidDevice {
 public:
  virtual ~IVirtualHidDevice() = default;  // unplugs and removes the files

  // The interface path hosts list this device under.
  virtual const std::string& InterfacePath() const = 0;

  // Waits at most `timeoutMs` for the next event. Accepts a host when none
  // is connected; closes any second connection at once. On kReport,
  // `report` holds the output report (it must hold outputReportLength).
  virtual VirtualHidEvent Wait(std::span<uint8_t> report, uint32_t timeoutMs) = 0;

  // Sends one input report of exactly inputReportLength bytes to the
  // connected host. kHidOk; kHidErrorDeviceNotConnected when no host is
  // connected or it went away; kHidErrorInvalidParameter for a wrong length.
  virtual uint32_t SendReport(std::span<const uint8_t> report) = 0;

  virtual bool Connected() const = 0;

  // Closes the host's connection: to the host this is an unplug.
  virtual void Unplug() = 0;

  // Makes the current or next Wait return kWoken. Async-signal-safe.
  virtual void Wake() = 0;
};

// Creates the device NAME in `directory` (created if missing): claims the
// name (NAME.lock, held for the device's life, so of several devices created
// at once under one name exactly one succeeds), binds and listens on
// NAME.sock, then writes NAME.info. NAME is letters, digits, '-', '_' and
// '.'. A stale pair left by a dead device is replaced.
// kHidOk; kHidErrorInvalidParameter (bad name or lengths outside 1..65535);
// kHidErrorSharingViolation (a live device has the name); kHidErrorGenFailure.
uint32_t CreateVirtualHidDevice(const std::string& directory, const std::string& name,
                                const VirtualHidInfo& info,
                                std::unique_ptr<IVirtualHidDevice>& device);

}  // namespace lx2d::platform
