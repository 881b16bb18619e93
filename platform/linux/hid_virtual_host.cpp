// The host end of virtual HID devices: listing NAME.info/NAME.sock pairs and
// opening one as a HID interface (docs/virtual-hid.md).
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "hid_internal.h"
#include "platform/text.h"

namespace lx2d::platform {
namespace {

class CVirtualHidHost final : public CFdHidDevice {
 public:
  CVirtualHidHost(int socketFd, int lockFd, HidInterfaceInfo info)
      : CFdHidDevice(socketFd, std::move(info)), lockFd_(lockFd) {}
  ~CVirtualHidHost() override {
    // Hang up before the lock is let go, so the device has seen this host
    // leave by the time the next one can open it and connect.
    shutdown(Fd(), SHUT_RDWR);
    close(lockFd_);
  }
  CVirtualHidHost(const CVirtualHidHost&) = delete;
  CVirtualHidHost& operator=(const CVirtualHidHost&) = delete;

 protected:
  ssize_t ReadOnce(std::span<uint8_t> buffer) override {
    const ssize_t got = recv(Fd(), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
    // A message of another length than the input report is the device's
    // fault; it is not handed out as a report. An empty one is such a
    // message too, not the device leaving, unless the device hung up.
    const bool emptyMessage = got == 0 && !PeerHungUp(Fd());
    if (emptyMessage ||
        (got > 0 && static_cast<size_t>(got) != Info().caps.inputReportByteLength)) {
      errno = EAGAIN;
      return -1;
    }
    return got;
  }

  ssize_t WriteOnce(std::span<const uint8_t> report) override {
    return send(Fd(), report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  }

 private:
  int lockFd_;  // NAME.info, flocked for the exclusive open
};

bool ReadInfo(const std::string& directory, const std::string& name, VirtualHidInfo& info) {
  std::string text;
  return ReadSmallFile(directory + "/" + name + ".info", text) && ParseVirtualHidInfo(text, info);
}

}  // namespace

std::vector<HidInterfaceEntry> EnumerateVirtual(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    const std::filesystem::path& file = entry.path();
    if (file.extension() != ".info") continue;
    const std::string name = file.stem().string();
    if (!ValidVirtualHidName(name)) continue;
    struct stat socketStat;
    const std::string socketPath = directory + "/" + name + ".sock";
    if (stat(socketPath.c_str(), &socketStat) != 0 || !S_ISSOCK(socketStat.st_mode)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<HidInterfaceEntry> found;
  for (const std::string& name : names) {
    VirtualHidInfo info;
    if (ReadInfo(directory, name, info)) found.push_back({VirtualHidPath(info, name), name, 0});
  }
  return found;
}

uint32_t OpenVirtual(const std::string& directory, const HidInterfaceEntry& entry,
                     std::unique_ptr<IHidDevice>& device) {
  const std::string base = directory + "/" + entry.node;
  const int lockFd = open((base + ".info").c_str(), O_RDONLY | O_CLOEXEC);
  if (lockFd < 0) return errno == ENOENT ? kHidErrorFileNotFound : kHidErrorGenFailure;
  const uint32_t locked = LockExclusive(lockFd);
  VirtualHidInfo info;
  if (locked != kHidOk || !ReadInfo(directory, entry.node, info)) {
    close(lockFd);
    return locked != kHidOk ? locked : kHidErrorFileNotFound;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = base + ".sock";
  if (socketPath.size() >= sizeof address.sun_path) {
    close(lockFd);
    return kHidErrorFileNotFound;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    close(lockFd);
    return kHidErrorGenFailure;
  }
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int why = errno;
    close(fd);
    close(lockFd);
    return why == ECONNREFUSED || why == ENOENT ? kHidErrorFileNotFound
           : why == EACCES                      ? kHidErrorAccessDenied
                                                : kHidErrorGenFailure;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

  HidInterfaceInfo interfaceInfo;
  interfaceInfo.attributes = {info.vendorId, info.productId, info.versionNumber};
  interfaceInfo.caps.inputReportByteLength = info.inputReportLength;
  interfaceInfo.caps.outputReportByteLength = info.outputReportLength;
  interfaceInfo.product = Utf8ToUtf16(info.productString);
  interfaceInfo.hasProduct = true;
  interfaceInfo.serial = Utf8ToUtf16(info.serial);
  interfaceInfo.hasSerial = !info.serial.empty();
  auto host = std::make_unique<CVirtualHidHost>(fd, lockFd, std::move(interfaceInfo));
  if (!host->Valid()) return kHidErrorGenFailure;
  device = std::move(host);
  return kHidOk;
}

}  // namespace lx2d::platform
