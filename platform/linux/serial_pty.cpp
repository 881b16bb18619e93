// The device end of a simulated port: a pseudo-terminal whose other end is
// published as a link in the folder of simulated ports.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "serial_internal.h"

namespace lx2d::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWriteWaitMs = 5000;  // a host that reads nothing for this long is given up
// While no host holds the port its master reports a hang-up at once, so poll
// cannot wait for the next host: look again after this long.
constexpr int kHostLookMs = 20;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool MakeDirectories(const std::string& path) {
  for (size_t slash = 1; slash <= path.size(); ++slash) {
    if (slash < path.size() && path[slash] != '/') continue;
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat folder {};
  return stat(path.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode);
}

// A new pseudo-terminal in raw mode (termios set on the master apply to its
// other end): the master's descriptor and the other end's path, or -1.
int OpenMaster(std::string& slavePath) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0) return -1;
  char name[128];
  termios settings{};
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0 ||
      tcgetattr(master, &settings) != 0) {
    close(master);
    return -1;
  }
  MakeRaw(settings);
  cfsetspeed(&settings, B115200);
  if (tcsetattr(master, TCSANOW, &settings) != 0) {
    close(master);
    return -1;
  }
  slavePath = name;
  return master;
}

// Points `link` at `target`, replacing whatever is there in one step.
bool Publish(const std::string& link, const std::string& target) {
  const std::string temporary = link + ".new";
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) return false;
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

class CPseudoTerminalPort final : public IPseudoTerminalPort {
 public:
  CPseudoTerminalPort(std::string linkPath, std::string infoPath, int lockFd, int wakeFd)
      : linkPath_(std::move(linkPath)),
        infoPath_(std::move(infoPath)),
        lockFd_(lockFd),
        wakeFd_(wakeFd) {}

  ~CPseudoTerminalPort() override {
    // The link goes first, so no host opens a port that is going away.
    unlink(linkPath_.c_str());
    unlink(infoPath_.c_str());
    if (masterFd_ >= 0) close(masterFd_);
    close(lockFd_);
    close(wakeFd_);
  }
  CPseudoTerminalPort(const CPseudoTerminalPort&) = delete;
  CPseudoTerminalPort& operator=(const CPseudoTerminalPort&) = delete;

  // Opens a fresh pseudo-terminal and points the link at it. The old one
  // is hung up only then, so a host that sees it go finds the new one.
  uint32_t Plug() {
    std::string slavePath;
    const int master = OpenMaster(slavePath);
    if (master < 0) return kSerialErrorGenFailure;
    const bool published = Publish(linkPath_, slavePath);
    if (masterFd_ >= 0) close(masterFd_);
    masterFd_ = master;
    hostGone_ = false;
    return published ? kSerialOk : kSerialErrorGenFailure;
  }

  const std::string& PortPath() const override { return linkPath_; }

  SerialIoResult Read(std::span<uint8_t> buffer, uint32_t timeoutMs) override {
    if (buffer.empty()) return {kSerialOk, 0, false};
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool waited = false;
    for (;;) {
      const ssize_t got = read(masterFd_, buffer.data(), buffer.size());
      if (got > 0) {
        hostGone_ = false;
        return {kSerialOk, static_cast<size_t>(got), waited};
      }
      if (got < 0 && errno == EINTR) continue;
      // EIO: no host holds the other end (any more).
      const bool noHost = got == 0 || errno == EIO;
      if (!noHost && errno != EAGAIN) return {kSerialErrorGenFailure, 0, waited};
      if (noHost && !hostGone_) {
        hostGone_ = true;
        return {kSerialErrorDeviceNotConnected, 0, waited};
      }
      if (!noHost) hostGone_ = false;
      const int waitMs = RemainingMs(deadline);
      if (waitMs == 0) return {kSerialErrorTimeout, 0, waited};
      waited = true;
      pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {masterFd_, POLLIN, 0}};
      const int ready = poll(fds, noHost ? 1 : 2, noHost ? std::min(waitMs, kHostLookMs) : waitMs);
      if (ready < 0 && errno != EINTR) return {kSerialErrorGenFailure, 0, waited};
      if (ready > 0 && (fds[0].revents & POLLIN)) {
        uint64_t count;
        [[maybe_unused]] ssize_t drained = read(wakeFd_, &count, sizeof count);
        return {kSerialErrorOperationAborted, 0, waited};
      }
    }
  }

  uint32_t Write(std::span<const uint8_t> data) override {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t put = write(masterFd_, data.data() + done, data.size() - done);
      if (put > 0) {
        done += static_cast<size_t>(put);
        continue;
      }
      if (put < 0 && errno == EINTR) continue;
      if (put < 0 && errno != EAGAIN) return kSerialErrorGenFailure;
      const int waitMs = RemainingMs(deadline);
      if (waitMs == 0) return kSerialErrorTimeout;
      pollfd fds[1] = {{masterFd_, POLLOUT, 0}};
      if (poll(fds, 1, waitMs) < 0 && errno != EINTR) return kSerialErrorGenFailure;
    }
    return kSerialOk;
  }

  uint32_t Unplug() override { return Plug(); }

  void Wake() override {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t put = write(wakeFd_, &one, sizeof one);
  }

 private:
  std::string linkPath_;
  std::string infoPath_;
  int lockFd_;  // NAME.info, locked while the simulator lives
  int wakeFd_;
  int masterFd_ = -1;
  bool hostGone_ = false;  // the host's close has been reported
};

}  // namespace

uint32_t CreatePseudoTerminalPort(const std::string& directory, const std::string& name,
                                  const SerialPortIdentity& identity,
                                  std::unique_ptr<IPseudoTerminalPort>& port) {
  if (!ValidSerialPortName(name) || name.ends_with(".info") || name.ends_with(".new")) {
    return kSerialErrorInvalidParameter;
  }
  if (!MakeDirectories(directory)) return kSerialErrorGenFailure;
  const std::string linkPath = directory + "/" + name;
  const std::string infoPath = linkPath + ".info";
  const int lockFd = open(infoPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd < 0) return kSerialErrorGenFailure;
  while (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    close(lockFd);
    return error == EWOULDBLOCK ? kSerialErrorSharingViolation : kSerialErrorGenFailure;
  }
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    close(lockFd);
    return kSerialErrorGenFailure;
  }
  auto created = std::make_unique<CPseudoTerminalPort>(linkPath, infoPath, lockFd, wakeFd);
  // The description goes before the link, so no host lists the port without it.
  const std::string text = FormatSerialIdentity(identity);
  if (ftruncate(lockFd, 0) != 0 ||
      pwrite(lockFd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    return kSerialErrorGenFailure;
  }
  const uint32_t plugged = created->Plug();
  if (plugged != kSerialOk) return plugged;
  port = std::move(created);
  return kSerialOk;
}

}  // namespace lx2d::platform
