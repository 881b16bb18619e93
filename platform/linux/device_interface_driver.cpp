// The driver end of a device interface: a SOCK_SEQPACKET listener in the
// interface folder that serves one host at a time (docs/power-driver.md).
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device_interface_wire.h"
#include "permission_error.h"
#include "platform/device_interface.h"
#include "unix_socket.h"

namespace lx2d::platform {
namespace {

constexpr int kSendWaitMs = 5000;  // a host that reads nothing this long is given up

DWORD CreateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return ERROR_SUCCESS;
  return IsPermissionError(errno) ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE;
}

class CDeviceInterfaceDriver final : public IDeviceInterfaceDriver {
 public:
  CDeviceInterfaceDriver(std::string folder, int listenFd, int wakeFd)
      : folder_(std::move(folder)), listenFd_(listenFd), wakeFd_(wakeFd) {}

  ~CDeviceInterfaceDriver() override {
    // The socket goes first, so no host lists an interface nobody serves.
    unlink((folder_ + "/" + std::string(kDriverSocketName)).c_str());
    unlink((folder_ + "/" + std::string(kDriverVersionName)).c_str());
    rmdir(folder_.c_str());
    Hangup();
    close(listenFd_);
    close(wakeFd_);
  }
  CDeviceInterfaceDriver(const CDeviceInterfaceDriver&) = delete;
  CDeviceInterfaceDriver& operator=(const CDeviceInterfaceDriver&) = delete;

  const std::string& InterfacePath() const override { return folder_; }

  DriverEvent Wait(DeviceControlRequest& request, uint32_t timeoutMs) override {
    for (;;) {
      pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {connFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
      const int ready = poll(fds, 3, static_cast<int>(std::min<uint32_t>(timeoutMs, 1u << 30)));
      if (ready < 0 && errno == EINTR) continue;  // the caller's signal handler calls Wake
      if (ready <= 0) return DriverEvent::kTimeout;
      if (fds[0].revents & POLLIN) {
        uint64_t count;
        [[maybe_unused]] ssize_t drained = read(wakeFd_, &count, sizeof count);
        return DriverEvent::kWoken;
      }
      if (fds[2].revents & POLLIN) {
        // A host that left before the next one knocked is reported first;
        // the next one waits in the backlog for the following Wait.
        if (connFd_ >= 0 && HungUp(connFd_)) {
          Hangup();
          return DriverEvent::kDisconnected;
        }
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        if (connFd_ >= 0) {
          close(fd);  // one host at a time
          continue;
        }
        connFd_ = fd;
        return DriverEvent::kConnected;
      }
      if (fds[1].revents & POLLIN) {
        buffer_.resize(kDeviceWireHeadBytes + kMaxDeviceControlBytes + 1);
        const ssize_t got = recv(connFd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (got <= 0) {
          Hangup();
          return DriverEvent::kDisconnected;
        }
        const size_t size = static_cast<size_t>(got);
        const std::span<const uint8_t> message(buffer_.data(), std::min(size, buffer_.size()));
        if (size < kDeviceWireHeadBytes || size >= buffer_.size() ||
            WireWordAt(message, 4) > kMaxDeviceControlBytes) {
          // Still one answer per request, so the host need not wait for it.
          capacity_ = 0;
          Answer(false, ERROR_INVALID_PARAMETER, {});
          continue;
        }
        request.code = WireWordAt(message, 0);
        request.outputCapacity = WireWordAt(message, 4);
        request.input.assign(message.begin() + kDeviceWireHeadBytes, message.end());
        capacity_ = request.outputCapacity;
        return DriverEvent::kRequest;
      }
      if (fds[1].revents & (POLLHUP | POLLERR)) {
        Hangup();
        return DriverEvent::kDisconnected;
      }
    }
  }

  DWORD Answer(bool success, DWORD lastError, std::span<const uint8_t> output) override {
    if (output.size() > capacity_) return ERROR_INVALID_PARAMETER;
    if (connFd_ < 0) return ERROR_DEVICE_NOT_CONNECTED;
    std::vector<uint8_t> message;
    message.reserve(kDeviceWireHeadBytes + output.size());
    PutWireWord(message, success ? 1 : 0);
    PutWireWord(message, lastError);
    message.insert(message.end(), output.begin(), output.end());
    for (;;) {
      const ssize_t put =
          send(connFd_, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (put == static_cast<ssize_t>(message.size())) return ERROR_SUCCESS;
      if (put < 0 && errno == EINTR) continue;
      if (put < 0 && errno == EAGAIN) {
        pollfd out = {connFd_, POLLOUT, 0};
        if (poll(&out, 1, kSendWaitMs) > 0 && (out.revents & POLLOUT)) continue;
      }
      return ERROR_DEVICE_NOT_CONNECTED;
    }
  }

  void Wake() override {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t put = write(wakeFd_, &one, sizeof one);
  }

 private:
  void Hangup() {
    if (connFd_ >= 0) close(connFd_);
    connFd_ = -1;
  }

  std::string folder_;
  int listenFd_;
  int wakeFd_;
  int connFd_ = -1;
  DWORD capacity_ = 0;  // of the request being answered
  std::vector<uint8_t> buffer_;
};

}  // namespace

DWORD RegisterDeviceInterface(const std::string& devicesDir, std::string_view classGuid,
                              const std::string& name, const std::string& version,
                              std::unique_ptr<IDeviceInterfaceDriver>& driver) {
  if (!ValidInterfaceName(name) || !ValidClassGuid(classGuid) || version.empty() ||
      version.size() > kMaxDriverVersionBytes || version.find('\n') != std::string::npos) {
    return ERROR_INVALID_PARAMETER;
  }
  const std::string classDir = devicesDir + "/" + std::string(classGuid);
  const std::string folder = classDir + "/" + name;
  for (const std::string& path : {devicesDir, classDir, folder}) {
    const DWORD made = CreateFolder(path);
    if (made != ERROR_SUCCESS) return made;
  }
  sockaddr_un address;
  if (!MakeAddress(folder + "/" + std::string(kDriverSocketName), address)) {
    return ERROR_INVALID_PARAMETER;
  }
  if (Listening(address)) return ERROR_SHARING_VIOLATION;
  unlink(address.sun_path);

  // The version first, so a listed interface (one with a socket) always
  // has it; written aside and renamed, so no host reads half of it.
  const std::string versionPath = folder + "/" + std::string(kDriverVersionName);
  const std::string temporary = versionPath + ".tmp";
  const std::string text = version + "\n";
  FILE* file = std::fopen(temporary.c_str(), "w");
  const bool written =
      file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr && std::fclose(file) != 0) file = nullptr;
  if (!written || file == nullptr || std::rename(temporary.c_str(), versionPath.c_str()) != 0) {
    unlink(temporary.c_str());
    return ERROR_GEN_FAILURE;
  }
  // Bound aside and renamed once it listens, so a listed socket always
  // takes connections.
  sockaddr_un aside;
  const std::string asidePath = std::string(address.sun_path) + ".tmp";
  if (!MakeAddress(asidePath, aside)) {
    unlink(versionPath.c_str());
    return ERROR_INVALID_PARAMETER;
  }
  unlink(asidePath.c_str());
  const int listenFd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listenFd < 0) {
    unlink(versionPath.c_str());
    return ERROR_GEN_FAILURE;
  }
  if (bind(listenFd, reinterpret_cast<const sockaddr*>(&aside), sizeof aside) != 0 ||
      listen(listenFd, 4) != 0 || std::rename(asidePath.c_str(), address.sun_path) != 0) {
    const int why = errno;
    close(listenFd);
    unlink(asidePath.c_str());
    unlink(versionPath.c_str());
    return IsPermissionError(why) ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE;
  }
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    unlink(versionPath.c_str());
    unlink(address.sun_path);
    close(listenFd);
    return ERROR_GEN_FAILURE;
  }
  driver = std::make_unique<CDeviceInterfaceDriver>(folder, listenFd, wakeFd);
  return ERROR_SUCCESS;
}

}  // namespace lx2d::platform
