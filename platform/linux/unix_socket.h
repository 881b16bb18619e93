// Small helpers for the SOCK_SEQPACKET sockets that serve devices and
// drivers in folders (virtual HID devices, device interfaces).
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace lx2d::platform {

// The address of the socket file `path`; false when the path is too long.
inline bool MakeAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Whether the peer on the connected `fd` has closed; what it left unread is
// of no use now.
inline bool HungUp(int fd) {
  pollfd probe = {fd, POLLIN, 0};
  return poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR));
}

// Whether something listens at `address`: a stale socket file refuses.
inline bool Listening(const sockaddr_un& address) {
  const int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const bool live =
      connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(probe);
  return live;
}

}  // namespace lx2d::platform
