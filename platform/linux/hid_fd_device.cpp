#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>

#include "hid_internal.h"

namespace lx2d::platform {
namespace {

using Clock = std::chrono::steady_clock;

// How long a write waits for a device that takes nothing, as USB's own
// interrupt-out time-out.
constexpr int kWriteWaitMs = 5000;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool DeviceGoneErrno(int error) {
  return error == ENODEV || error == EIO || error == EPIPE || error == ECONNRESET ||
         error == ENOTCONN || error == ESHUTDOWN;
}

bool PeerHungUp(int fd) {
  pollfd state = {fd, POLLRDHUP, 0};
  int ready;
  while ((ready = poll(&state, 1, 0)) < 0 && errno == EINTR) {
  }
  return ready != 0 && (ready < 0 || (state.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0);
}

uint32_t LockExclusive(int fd) {
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? kHidErrorSharingViolation : kHidErrorGenFailure;
  }
  return kHidOk;
}

bool ReadSmallFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return !in.bad();
}

CFdHidDevice::CFdHidDevice(int fd, HidInterfaceInfo info)
    : fd_(fd), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), info_(std::move(info)) {}

CFdHidDevice::~CFdHidDevice() {
  if (fd_ >= 0) close(fd_);
  if (wakeFd_ >= 0) close(wakeFd_);
}

uint32_t CFdHidDevice::GetAttributes(HidAttributes& out) {
  out = info_.attributes;
  return kHidOk;
}

uint32_t CFdHidDevice::GetCaps(HidCaps& out) {
  if (info_.capsError != kHidOk) return info_.capsError;
  out = info_.caps;
  return kHidOk;
}

uint32_t CFdHidDevice::GetProductString(std::u16string& out) {
  out = info_.hasProduct ? info_.product : std::u16string();
  return info_.hasProduct ? kHidOk : kHidErrorInvalidParameter;
}

uint32_t CFdHidDevice::GetSerialNumberString(std::u16string& out) {
  out = info_.hasSerial ? info_.serial : std::u16string();
  return info_.hasSerial ? kHidOk : kHidErrorInvalidParameter;
}

HidIoResult CFdHidDevice::ReadReport(std::span<uint8_t> buffer, uint32_t timeoutMs) {
  if (buffer.size() < info_.caps.inputReportByteLength || buffer.empty()) {
    return {kHidErrorInvalidUserBuffer, false, 0};
  }
  if (gone_) return {kHidErrorDeviceNotConnected, false, 0};
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  bool pending = false;
  for (;;) {
    const ssize_t got = ReadOnce(buffer);
    if (got > 0) {
      if (Wanted(buffer.first(static_cast<size_t>(got)))) {
        return {kHidOk, pending, static_cast<size_t>(got)};
      }
      continue;  // a report of another collection on the same node
    }
    if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      const bool goneNow = got == 0 || DeviceGoneErrno(errno);
      gone_ = gone_ || goneNow;
      return {goneNow ? kHidErrorDeviceNotConnected : kHidErrorGenFailure, pending, 0};
    }
    if (got < 0 && errno == EINTR) continue;
    pending = true;
    const int waitMs = RemainingMs(deadline);
    if (waitMs == 0) return {kHidErrorTimeout, true, 0};
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = poll(fds, 2, waitMs);
    if (ready < 0 && errno != EINTR) return {kHidErrorGenFailure, true, 0};
    if (ready > 0 && (fds[1].revents & POLLIN)) {
      uint64_t count;
      [[maybe_unused]] ssize_t drained = read(wakeFd_, &count, sizeof count);
      return {kHidErrorOperationAborted, true, 0};
    }
    if (ready > 0 && !(fds[0].revents & POLLIN) && (fds[0].revents & (POLLHUP | POLLERR))) {
      gone_ = true;
      return {kHidErrorDeviceNotConnected, true, 0};
    }
  }
}

HidIoResult CFdHidDevice::WriteReport(std::span<const uint8_t> report) {
  if (report.size() != info_.caps.outputReportByteLength || report.empty()) {
    return {kHidErrorInvalidParameter, false, 0};
  }
  if (gone_) return {kHidErrorDeviceNotConnected, false, 0};
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
  bool pending = false;
  for (;;) {
    const ssize_t put = WriteOnce(report);
    if (put == static_cast<ssize_t>(report.size())) return {kHidOk, pending, report.size()};
    if (put >= 0) return {kHidErrorGenFailure, pending, 0};  // a report is never sent in part
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      const bool goneNow = DeviceGoneErrno(errno);
      gone_ = gone_ || goneNow;
      return {goneNow ? kHidErrorDeviceNotConnected : kHidErrorGenFailure, pending, 0};
    }
    pending = true;
    const int waitMs = RemainingMs(deadline);
    if (waitMs == 0) return {kHidErrorTimeout, true, 0};
    pollfd fds[1] = {{fd_, POLLOUT, 0}};
    if (poll(fds, 1, waitMs) < 0 && errno != EINTR) return {kHidErrorGenFailure, true, 0};
    if (!(fds[0].revents & POLLOUT) && (fds[0].revents & (POLLHUP | POLLERR))) {
      gone_ = true;
      return {kHidErrorDeviceNotConnected, true, 0};
    }
  }
}

void CFdHidDevice::CancelRead() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t put = write(wakeFd_, &one, sizeof one);
}

}  // namespace lx2d::platform
