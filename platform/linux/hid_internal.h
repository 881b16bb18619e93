// Pieces shared by the Linux HID service's sources.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/hid.h"
#include "unix_socket.h"

namespace lx2d::platform {

// Interface paths compare as Windows compares them: ASCII case-insensitively.
bool SamePath(std::string_view a, std::string_view b);

// What an open interface tells about itself; gathered when it is opened.
struct HidInterfaceInfo {
  HidAttributes attributes;
  HidCaps caps;
  uint32_t capsError = kHidOk;
  std::u16string product;
  std::u16string serial;
  bool hasProduct = false;
  bool hasSerial = false;
};

// An open interface over one file descriptor (hidraw node or socket). It
// owns the descriptor, an eventfd that wakes its reads, and the read and
// write logic that both kinds share: reads wait in poll with a deadline, a
// queued report is handed out before a hang-up is acted on, and once the
// device is seen gone every further read fails at once.
class CFdHidDevice : public IHidDevice {
 public:
  CFdHidDevice(int fd, HidInterfaceInfo info);
  ~CFdHidDevice() override;
  CFdHidDevice(const CFdHidDevice&) = delete;
  CFdHidDevice& operator=(const CFdHidDevice&) = delete;

  uint32_t GetAttributes(HidAttributes& out) override;
  uint32_t GetCaps(HidCaps& out) override;
  uint32_t GetProductString(std::u16string& out) override;
  uint32_t GetSerialNumberString(std::u16string& out) override;
  HidIoResult ReadReport(std::span<uint8_t> buffer, uint32_t timeoutMs) override;
  HidIoResult WriteReport(std::span<const uint8_t> report) override;
  void CancelRead() override;

  // The descriptor was created without error: the eventfd exists.
  bool Valid() const { return wakeFd_ >= 0; }

 protected:
  // One non-blocking read of one report into `buffer` (report id first).
  // Bytes read; 0 at end of stream; -1 with errno set.
  virtual ssize_t ReadOnce(std::span<uint8_t> buffer) = 0;
  // One non-blocking write; bytes written or -1 with errno set.
  virtual ssize_t WriteOnce(std::span<const uint8_t> report) = 0;
  // Whether a read report belongs to this interface (several collections
  // may share one node).
  virtual bool Wanted(std::span<const uint8_t> /*report*/) const { return true; }

  int Fd() const { return fd_; }
  const HidInterfaceInfo& Info() const { return info_; }

 private:
  int fd_;
  int wakeFd_;
  bool gone_ = false;
  HidInterfaceInfo info_;
};

// True when the other end of the connected socket `fd` has hung up. On a
// SOCK_SEQPACKET socket an empty message and the end of the connection both
// read as 0 bytes; only the hang-up flags of poll tell them apart.
bool PeerHungUp(int fd);

// errno of a read or write meaning that the device has gone.
bool DeviceGoneErrno(int error);

// Takes an exclusive non-blocking flock on `fd`: kHidOk, or
// kHidErrorSharingViolation when another open file holds it.
uint32_t LockExclusive(int fd);

// Reads a whole small file; false when it cannot be read.
bool ReadSmallFile(const std::string& path, std::string& text);

// The hidraw interfaces (libudev) and the virtual devices of a folder.
struct HidInterfaceEntry {
  std::string path;
  std::string node;     // hidraw node or virtual device name
  int collectionIndex;  // 0-based index into the node's collections
};
std::vector<HidInterfaceEntry> EnumerateHidraw();
uint32_t OpenHidraw(const HidInterfaceEntry& entry, std::unique_ptr<IHidDevice>& device);
std::vector<HidInterfaceEntry> EnumerateVirtual(const std::string& directory);
uint32_t OpenVirtual(const std::string& directory, const HidInterfaceEntry& entry,
                     std::unique_ptr<IHidDevice>& device);

// NAME.info text: `key=value` lines.
std::string FormatVirtualHidInfo(const VirtualHidInfo& info);
// False when a required key is missing or a value is malformed.
bool ParseVirtualHidInfo(std::string_view text, VirtualHidInfo& info);
// Letters, digits, '-', '_' and '.', not empty, not starting with '.'.
bool ValidVirtualHidName(std::string_view name);
std::string VirtualHidPath(const VirtualHidInfo& info, std::string_view name);

}  // namespace lx2d::platform
