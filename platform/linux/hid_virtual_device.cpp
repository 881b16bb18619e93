// The device end of a virtual HID device: a SOCK_SEQPACKET listener that
// serves one host at a time (docs/virtual-hid.md).
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hid_internal.h"
#include "session_owner.h"

namespace lx2d::platform {
namespace {

constexpr int kSendWaitMs = 5000;  // a host that reads nothing for this long is given up

// Claims NAME for one device: NAME.lock, created if missing and flocked for
// the device's life. Of several devices started at once under one name
// exactly one gets it; a lock file that a stopping device removed between
// our open and our lock is left for the new one. The descriptor, or -1 with
// *error set (kHidErrorSharingViolation while another device holds it).
int ClaimName(const std::string& base, uint32_t* error) {
  const std::string path = base + ".lock";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      *error = errno == EACCES ? kHidErrorAccessDenied : kHidErrorGenFailure;
      return -1;
    }
    *error = LockExclusive(fd);
    if (*error != kHidOk) {
      close(fd);
      return -1;
    }
    struct stat held {};
    struct stat named {};
    if (fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      return fd;
    }
    close(fd);
  }
  *error = kHidErrorGenFailure;
  return -1;
}

// Gives the name up: the lock file goes while still locked, so a device that
// opened it meanwhile sees it removed and takes the next one.
void ReleaseName(const std::string& base, int claimFd) {
  unlink((base + ".lock").c_str());
  close(claimFd);
}

class CVirtualHidDevice final : public IVirtualHidDevice {
 public:
  CVirtualHidDevice(std::string base, std::string path, const VirtualHidInfo& info, int claimFd,
                    int listenFd, int wakeFd)
      : base_(std::move(base)),
        path_(std::move(path)),
        info_(info),
        claimFd_(claimFd),
        listenFd_(listenFd),
        wakeFd_(wakeFd) {}

  ~CVirtualHidDevice() override {
    // The description goes first, so no host lists a device without a socket.
    unlink((base_ + ".info").c_str());
    unlink((base_ + ".sock").c_str());
    Unplug();
    close(listenFd_);
    close(wakeFd_);
    ReleaseName(base_, claimFd_);
  }
  CVirtualHidDevice(const CVirtualHidDevice&) = delete;
  CVirtualHidDevice& operator=(const CVirtualHidDevice&) = delete;

  const std::string& InterfacePath() const override { return path_; }

  VirtualHidEvent Wait(std::span<uint8_t> report, uint32_t timeoutMs) override {
    for (;;) {
      pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {connFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
      const int ready = poll(fds, 3, static_cast<int>(std::min<uint32_t>(timeoutMs, 1u << 30)));
      if (ready < 0 && errno == EINTR) continue;  // the caller's signal handler calls Wake
      if (ready <= 0) return VirtualHidEvent::kTimeout;
      // A waiting host is taken first, so that what a Wake asks for can
      // already reach it.
      if (fds[2].revents & POLLIN) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        if (HungUp(fd)) {
          close(fd);  // a host that left before it was taken, as an enumeration does
          continue;
        }
        // A host that closed before the next one connected has gone, even
        // if its hang-up was not yet collected.
        if (connFd_ >= 0 && HungUp(connFd_)) {
          Unplug();
          connFd_ = fd;
          return VirtualHidEvent::kConnected;
        }
        if (connFd_ >= 0) {
          close(fd);  // one host at a time
          continue;
        }
        connFd_ = fd;
        return VirtualHidEvent::kConnected;
      }
      if (fds[0].revents & POLLIN) {
        uint64_t count;
        [[maybe_unused]] ssize_t drained = read(wakeFd_, &count, sizeof count);
        return VirtualHidEvent::kWoken;
      }
      if (fds[1].revents & POLLIN) {
        const ssize_t got = recv(connFd_, report.data(), report.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (got == static_cast<ssize_t>(info_.outputReportLength) &&
            report.size() >= info_.outputReportLength) {
          return VirtualHidEvent::kReport;
        }
        // A message of the wrong length, an empty one included, is dropped;
        // only a hang-up of the host disconnects it.
        if (got > 0 || (got < 0 && (errno == EAGAIN || errno == EINTR))) continue;
        if (got == 0 && !PeerHungUp(connFd_)) continue;
        Unplug();
        return VirtualHidEvent::kDisconnected;
      }
      if (fds[1].revents & (POLLHUP | POLLERR)) {
        Unplug();
        return VirtualHidEvent::kDisconnected;
      }
    }
  }

  uint32_t SendReport(std::span<const uint8_t> report) override {
    if (report.size() != info_.inputReportLength) return kHidErrorInvalidParameter;
    if (connFd_ < 0) return kHidErrorDeviceNotConnected;
    for (;;) {
      const ssize_t put = send(connFd_, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (put == static_cast<ssize_t>(report.size())) return kHidOk;
      if (put < 0 && errno == EINTR) continue;
      if (put < 0 && errno == EAGAIN) {
        pollfd out = {connFd_, POLLOUT, 0};
        if (poll(&out, 1, kSendWaitMs) > 0 && (out.revents & POLLOUT)) continue;
      }
      return put < 0 && !DeviceGoneErrno(errno) && errno != EAGAIN ? kHidErrorGenFailure
                                                                   : kHidErrorDeviceNotConnected;
    }
  }

  bool Connected() const override { return connFd_ >= 0; }

  void Unplug() override {
    if (connFd_ >= 0) close(connFd_);
    connFd_ = -1;
  }

  void Wake() override {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t put = write(wakeFd_, &one, sizeof one);
  }

 private:
  std::string base_;  // folder + "/" + NAME
  std::string path_;
  VirtualHidInfo info_;
  int claimFd_;  // NAME.lock, flocked: the name is this device's
  int listenFd_;
  int wakeFd_;
  int connFd_ = -1;
};

}  // namespace

uint32_t CreateVirtualHidDevice(const std::string& directory, const std::string& name,
                                const VirtualHidInfo& info,
                                std::unique_ptr<IVirtualHidDevice>& device) {
  if (!ValidVirtualHidName(name) || info.inputReportLength == 0 || info.outputReportLength == 0 ||
      info.collection < 0 || info.collection > 99 ||
      info.productString.find('\n') != std::string::npos ||
      info.serial.find('\n') != std::string::npos) {
    return kHidErrorInvalidParameter;
  }
  if (mkdir(directory.c_str(), 0700) == 0) GiveToRuntimeOwner(directory);
  const std::string base = directory + "/" + name;
  sockaddr_un address;
  if (!MakeAddress(base + ".sock", address)) return kHidErrorInvalidParameter;
  uint32_t claimed = kHidOk;
  const int claimFd = ClaimName(base, &claimed);
  if (claimFd < 0) return claimed;
  // A device of an older build holds no claim but still listens.
  if (Listening(address)) {
    ReleaseName(base, claimFd);
    return kHidErrorSharingViolation;
  }
  unlink(address.sun_path);  // stale: its device is gone

  const int listenFd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listenFd < 0) {
    ReleaseName(base, claimFd);
    return kHidErrorGenFailure;
  }
  if (bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listenFd, 4) != 0) {
    const int why = errno;
    close(listenFd);
    ReleaseName(base, claimFd);
    return why == EACCES ? kHidErrorAccessDenied : kHidErrorGenFailure;
  }
  GiveToRuntimeOwner(address.sun_path);
  // Written aside and renamed, so a listed device always has its whole
  // description and a listening socket.
  const std::string text = FormatVirtualHidInfo(info);
  const std::string temporary = base + ".info.tmp";
  FILE* file = std::fopen(temporary.c_str(), "w");
  if (file != nullptr) GiveToRuntimeOwner(temporary);
  const bool written =
      file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr && std::fclose(file) != 0) file = nullptr;
  if (!written || file == nullptr ||
      std::rename(temporary.c_str(), (base + ".info").c_str()) != 0) {
    unlink(temporary.c_str());
    unlink(address.sun_path);
    close(listenFd);
    ReleaseName(base, claimFd);
    return kHidErrorGenFailure;
  }
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    unlink((base + ".info").c_str());
    unlink(address.sun_path);
    close(listenFd);
    ReleaseName(base, claimFd);
    return kHidErrorGenFailure;
  }
  device = std::make_unique<CVirtualHidDevice>(base, VirtualHidPath(info, name), info, claimFd,
                                               listenFd, wakeFd);
  return kHidOk;
}

}  // namespace lx2d::platform
