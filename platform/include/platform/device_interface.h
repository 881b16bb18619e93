// The device interface service: what a channel to a user-space driver needs
// of SetupDi enumeration, the device's driver key and buffered
// DeviceIoControl. A driver registers an interface as the folder
//   LX2D_SYSTEM_DIR/devices/{CLASS-GUID}/NAME/
// holding a SOCK_SEQPACKET socket `socket` and a text file `DriverVersion`;
// docs/power-driver.md gives the wire format for drivers in any language.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace lx2d::platform {

// The largest input and the largest output capacity one control call may
// carry; larger calls are refused before anything is sent.
inline constexpr size_t kMaxDeviceControlBytes = 65536;

// The most bytes of "DriverVersion" a host reads, as the 256-byte limit of a
// registry read.
inline constexpr size_t kMaxDriverVersionBytes = 256;

// One interface of a device interface class, opened for exclusive use.
class IDeviceInterface {
 public:
  virtual ~IDeviceInterface() = default;  // hangs up and lets the next host in

  // One buffered device control call: `code`, the capacity output.size()
  // and the `input` bytes go to the driver; its answer is a success flag, a
  // last-error value and at most output.size() output bytes, which are
  // copied to the front of `output` and counted in `*returned`.
  // Result: TRUE when the driver reports success. The thread's last error
  // (GetLastError) is set in every case: to the driver's value, or, when no
  // valid answer came, to
  //   ERROR_INVALID_PARAMETER     input or capacity above kMaxDeviceControlBytes,
  //                               or `returned` null (nothing is sent)
  //   ERROR_DEVICE_NOT_CONNECTED  the driver hung up
  //   ERROR_TIMEOUT               no answer within 30 s; the connection is
  //                               then closed, so later calls fail with
  //                               ERROR_DEVICE_NOT_CONNECTED
  //   ERROR_GEN_FAILURE           the answer was shorter than its 8-byte
  //                               head, or held more bytes than the capacity
  // with FALSE and *returned 0.
  virtual BOOL Control(DWORD code, std::span<const uint8_t> input, std::span<uint8_t> output,
                       DWORD* returned) = 0;
};

// Enumeration, driver key and open of device interfaces.
class IDeviceInterfaceService {
 public:
  virtual ~IDeviceInterfaceService() = default;

  // The paths of the present interfaces of `classGuid` (braces included,
  // compared without regard to case), sorted by name. A present interface
  // is a folder whose `socket` is a socket. No folder for the class is an
  // empty list. ERROR_SUCCESS; ERROR_ACCESS_DENIED or ERROR_GEN_FAILURE when
  // the class folder exists but cannot be listed.
  virtual DWORD EnumerateInterfaces(std::string_view classGuid,
                                    std::vector<std::string>& paths) = 0;

  // The "DriverVersion" text of the interface's driver (the file's bytes,
  // one trailing line feed removed). ERROR_SUCCESS; ERROR_PATH_NOT_FOUND when
  // the interface folder is gone (the driver key cannot be opened);
  // ERROR_FILE_NOT_FOUND when the file is missing; ERROR_ACCESS_DENIED;
  // ERROR_MORE_DATA when it holds more than kMaxDriverVersionBytes.
  virtual DWORD ReadDriverVersion(std::string_view interfacePath, std::string& version) = 0;

  // Opens the interface for exclusive reading and writing. ERROR_SUCCESS;
  // ERROR_FILE_NOT_FOUND when no driver listens there; ERROR_SHARING_VIOLATION
  // when another handle holds it; ERROR_ACCESS_DENIED; ERROR_GEN_FAILURE.
  virtual DWORD Open(std::string_view interfacePath, std::unique_ptr<IDeviceInterface>& device) = 0;
};

// The process's service over LX2D_SYSTEM_DIR/devices. Never null; lives as
// long as the process.
IDeviceInterfaceService* SystemDeviceInterfaceService();

// A service over the class folders in `devicesDir`.
std::unique_ptr<IDeviceInterfaceService> MakeDeviceInterfaceService(std::string devicesDir);

// LX2D_SYSTEM_DIR/devices.
std::string DeviceInterfaceDir();

// ---- The driver end, for user-space drivers and simulators ----

// One request a host sent.
struct DeviceControlRequest {
  DWORD code = 0;
  DWORD outputCapacity = 0;
  std::vector<uint8_t> input;
};

// What a wait on the driver end saw.
enum class DriverEvent : uint8_t {
  kRequest,       // a request is in `request`; answer it with Answer
  kConnected,     // a host opened the interface
  kDisconnected,  // the host closed it
  kTimeout,       // nothing happened in time
  kWoken,         // Wake was called
};

class IDeviceInterfaceDriver {
 public:
  virtual ~IDeviceInterfaceDriver() = default;  // removes the interface folder

  // The path hosts open this interface by.
  virtual const std::string& InterfacePath() const = 0;

  // Waits at most `timeoutMs` for the next event. Takes a host when none is
  // connected; closes any second connection at once. A host that has left
  // is always reported (kDisconnected) before the next one is taken. A
  // malformed request (shorter than its 8-byte head, or above the limits) is
  // answered here with failure and ERROR_INVALID_PARAMETER.
  virtual DriverEvent Wait(DeviceControlRequest& request, uint32_t timeoutMs) = 0;

  // Answers the current request. `output` must fit in its capacity.
  // ERROR_SUCCESS; ERROR_INVALID_PARAMETER (too much output);
  // ERROR_DEVICE_NOT_CONNECTED (no host, or it went away).
  virtual DWORD Answer(bool success, DWORD lastError, std::span<const uint8_t> output) = 0;

  // Makes the current or next Wait return kWoken. Async-signal-safe.
  virtual void Wake() = 0;
};

// Registers the interface NAME of `classGuid` in `devicesDir` (created if
// missing): listens on NAME/socket, then writes NAME/DriverVersion with
// `version` and a line feed. NAME is letters, digits, '-', '_' and '.', not
// starting with '.'. A stale registration of a dead driver is replaced.
// ERROR_SUCCESS; ERROR_INVALID_PARAMETER (bad name, GUID or version text);
// ERROR_SHARING_VIOLATION (a live driver has the name); ERROR_ACCESS_DENIED;
// ERROR_GEN_FAILURE.
DWORD RegisterDeviceInterface(const std::string& devicesDir, std::string_view classGuid,
                              const std::string& name, const std::string& version,
                              std::unique_ptr<IDeviceInterfaceDriver>& driver);

}  // namespace lx2d::platform
