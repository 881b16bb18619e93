// An open tty: raw mode 8N1 at a line speed, held exclusively, reads and
// writes that wait in poll with a deadline.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "serial_internal.h"

namespace lx2d::platform {
namespace {

using Clock = std::chrono::steady_clock;

// The standard rates and their termios constants.
struct SpeedRow {
  uint32_t baudRate;
  speed_t constant;
};
constexpr SpeedRow kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// errno of an open, read or write meaning that the port's device is gone.
bool GoneErrno(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

uint32_t OpenError(int error) {
  if (error == ENOENT || error == ENOTDIR) return kSerialErrorFileNotFound;
  if (error == EACCES || error == EPERM) return kSerialErrorAccessDenied;
  if (error == EBUSY) return kSerialErrorSharingViolation;  // TIOCEXCL of another holder
  if (GoneErrno(error)) return kSerialErrorDeviceNotConnected;
  return kSerialErrorGenFailure;
}

uint32_t IoError(int error) {
  return GoneErrno(error) ? kSerialErrorDeviceNotConnected : kSerialErrorGenFailure;
}

class CTtyPort final : public ISerialPort {
 public:
  CTtyPort(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}

  ~CTtyPort() override {
    // A pseudo-terminal outlives its host's close; the next host must be
    // able to open it. Only our own claim is dropped: root's open of a port
    // another process holds gets this far too.
    if (exclusive_) ioctl(fd_, TIOCNXCL);
    close(fd_);  // drops the advisory lock too
    close(wakeFd_);
  }
  CTtyPort(const CTtyPort&) = delete;
  CTtyPort& operator=(const CTtyPort&) = delete;

  SerialIoResult Read(std::span<uint8_t> buffer, uint32_t timeoutMs) override {
    if (gone_) return {kSerialErrorDeviceNotConnected, 0, false};
    if (buffer.empty()) return {kSerialOk, 0, false};
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool waited = false;
    for (;;) {
      const ssize_t got = read(fd_, buffer.data(), buffer.size());
      if (got > 0) return {kSerialOk, static_cast<size_t>(got), waited};
      if (got == 0) return Gone(waited);  // reads wait for a byte: 0 is a hang-up
      if (errno == EINTR) continue;
      if (errno != EAGAIN) return Failed(errno, 0, waited);
      const int waitMs = RemainingMs(deadline);
      if (waitMs == 0) return {kSerialErrorTimeout, 0, waited};
      waited = true;
      pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      const int ready = poll(fds, 2, waitMs);
      if (ready < 0 && errno != EINTR) return {kSerialErrorGenFailure, 0, waited};
      if (ready > 0 && (fds[1].revents & POLLIN)) {
        uint64_t count;
        [[maybe_unused]] ssize_t drained = read(wakeFd_, &count, sizeof count);
        return {kSerialErrorOperationAborted, 0, waited};
      }
      // With bytes still queued the next read takes them first.
      if (ready > 0 && !(fds[0].revents & POLLIN) &&
          (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
        return Gone(waited);
      }
    }
  }

  SerialIoResult Write(std::span<const uint8_t> data, uint32_t timeoutMs) override {
    if (gone_) return {kSerialErrorDeviceNotConnected, 0, false};
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    bool waited = false;
    while (done < data.size()) {
      const ssize_t put = write(fd_, data.data() + done, data.size() - done);
      if (put > 0) {
        done += static_cast<size_t>(put);
        continue;
      }
      if (put < 0 && errno == EINTR) continue;
      if (put < 0 && errno != EAGAIN) return Failed(errno, done, waited);
      const int waitMs = RemainingMs(deadline);
      if (waitMs == 0) return {kSerialErrorTimeout, done, waited};
      waited = true;
      pollfd fds[1] = {{fd_, POLLOUT, 0}};
      if (poll(fds, 1, waitMs) < 0 && errno != EINTR) {
        return {kSerialErrorGenFailure, done, waited};
      }
      if (!(fds[0].revents & POLLOUT) && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
        SerialIoResult result = Gone(waited);
        result.bytes = done;
        return result;
      }
    }
    return {kSerialOk, done, waited};
  }

  // Claims the tty with TIOCEXCL; false with errno set when it cannot.
  bool ClaimExclusive() {
    exclusive_ = ioctl(fd_, TIOCEXCL) == 0;
    return exclusive_;
  }

  void CancelRead() override {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t put = write(wakeFd_, &one, sizeof one);
  }

 private:
  SerialIoResult Gone(bool waited) {
    gone_ = true;
    return {kSerialErrorDeviceNotConnected, 0, waited};
  }

  SerialIoResult Failed(int error, size_t bytes, bool waited) {
    const uint32_t code = IoError(error);
    gone_ = code == kSerialErrorDeviceNotConnected;
    return {code, bytes, waited};
  }

  int fd_;
  int wakeFd_;
  bool exclusive_ = false;
  bool gone_ = false;
};

}  // namespace

std::optional<speed_t> SpeedConstant(uint32_t baudRate) {
  for (const SpeedRow& row : kSpeeds) {
    if (row.baudRate == baudRate) return row.constant;
  }
  return std::nullopt;
}

void MakeRaw(termios& settings) {
  cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
  settings.c_cflag |= CREAD | CLOCAL;
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
}

uint32_t OpenTty(std::string_view path, uint32_t baudRate, std::unique_ptr<ISerialPort>& port) {
  const std::optional<speed_t> speed = SpeedConstant(baudRate);
  if (!speed) return kSerialErrorInvalidParameter;
  // Non-blocking: an open must not wait for a modem's carrier, and the
  // reads and writes wait in poll.
  const int fd = open(std::string(path).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenError(errno);
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    close(fd);
    return kSerialErrorGenFailure;
  }
  auto opened = std::make_unique<CTtyPort>(fd, wakeFd);  // closes both from here on
  if (!isatty(fd)) return kSerialErrorNotSerial;
  // TIOCEXCL does not stop root; the lock stops every other process that
  // asks for it, and TIOCEXCL every other open at all.
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? kSerialErrorSharingViolation : kSerialErrorGenFailure;
  }
  if (!opened->ClaimExclusive()) return IoError(errno);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return IoError(errno);
  MakeRaw(settings);
  if (cfsetispeed(&settings, *speed) != 0 || cfsetospeed(&settings, *speed) != 0) {
    return kSerialErrorInvalidParameter;
  }
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    return errno == EINVAL ? kSerialErrorInvalidParameter : IoError(errno);
  }
  // tcsetattr succeeds when any of the settings took; a driver that cannot
  // run at the speed keeps another one.
  termios applied{};
  if (tcgetattr(fd, &applied) != 0) return IoError(errno);
  if (cfgetospeed(&applied) != *speed || cfgetispeed(&applied) != *speed) {
    return kSerialErrorInvalidParameter;
  }
  tcflush(fd, TCIFLUSH);  // bytes from before the open belong to nobody's frame
  port = std::move(opened);
  return kSerialOk;
}

}  // namespace lx2d::platform
