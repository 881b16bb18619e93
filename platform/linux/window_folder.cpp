#include "window_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>

#include "permission_error.h"
#include "platform/paths.h"

namespace lx2d::platform {

namespace {

constexpr HWND kFirstHandle = 0x10000;
constexpr HWND kLastHandle = 0x7FFFFFFF;
constexpr int kHandleAttempts = 64;

std::string HandleText(HWND window) {
  char text[24];
  std::snprintf(text, sizeof(text), "%08lx", static_cast<unsigned long>(window));
  return text;
}

std::string InfoPathOf(const std::string& folder, HWND window) {
  return folder + "/" + HandleText(window) + ".info";
}

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof(address->sun_path)) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when a socket is bound at `path`; removes a socket file nobody holds.
bool SocketAlive(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, &address)) return false;
  int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return true;  // cannot tell: do not remove anything
  bool alive = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  int error = errno;
  close(probe);
  if (!alive && error == ECONNREFUSED) unlink(path.c_str());
  return alive || (error != ECONNREFUSED && error != ENOENT);
}

bool ParseHandle(const std::string& text, HWND* window) {
  if (text.size() != 8) return false;
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str(), &end, 16);
  if (end != text.c_str() + 8) return false;
  *window = value;
  return true;
}

bool ReadDescription(const std::string& path, WindowDescription* description) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::string text;
  char buffer[512];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof(buffer))) > 0 && text.size() < 65536) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    if (key == "pid") description->info.processId = std::strtoll(value.c_str(), nullptr, 10);
    if (key == "class") description->info.className = value;
    if (key == "title") description->info.title = value;
    if (key == "parent") description->parent = std::strtoul(value.c_str(), nullptr, 16);
  }
  return true;
}

std::string OneLine(const std::string& text) {
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  return line;
}

}  // namespace

DWORD OpenWindowsFolder(std::string* folder) {
  return EnsureDirectory(Directory::kRuntime, "windows", folder);
}

std::string SocketPathOf(const std::string& folder, HWND window) {
  return folder + "/" + HandleText(window) + ".sock";
}

DWORD BindWindowSocket(const std::string& folder, int* fd, HWND* window) {
  // One generator for the process: a per-thread one would put its 5 kB
  // state into the static TLS block, which a library loaded at run time
  // (libRDLK_HID.so) may not get.
  static std::mutex randomMutex;
  static std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<HWND> pick(kFirstHandle, kLastHandle);
  for (int attempt = 0; attempt < kHandleAttempts; ++attempt) {
    HWND candidate = 0;
    {
      std::lock_guard<std::mutex> lock(randomMutex);
      candidate = pick(random);
    }
    sockaddr_un address;
    if (!FillAddress(SocketPathOf(folder, candidate), &address)) return ERROR_PATH_NOT_FOUND;
    int handle = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (handle < 0) return ERROR_NOT_ENOUGH_MEMORY;
    if (bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
      *fd = handle;
      *window = candidate;
      return ERROR_SUCCESS;
    }
    int error = errno;
    close(handle);
    if (IsPermissionError(error)) return ERROR_ACCESS_DENIED;
    if (error == EADDRINUSE) {
      // A stale socket of a dead process gives its handle back.
      SocketAlive(address.sun_path);
      continue;
    }
    return ERROR_PATH_NOT_FOUND;
  }
  return ERROR_NOT_ENOUGH_MEMORY;
}

DWORD PublishWindow(const std::string& folder, const WindowDescription& description) {
  std::string path = InfoPathOf(folder, description.info.handle);
  std::string temporary = path + ".tmp";
  std::string text = "pid=" + std::to_string(description.info.processId) + "\n" +
                     "class=" + OneLine(description.info.className) + "\n" +
                     "title=" + OneLine(description.info.title) + "\n" +
                     "parent=" + HandleText(description.parent) + "\n";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return ERROR_ACCESS_DENIED;
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

void UnpublishWindow(const std::string& folder, HWND window) {
  unlink(InfoPathOf(folder, window).c_str());
  unlink(SocketPathOf(folder, window).c_str());
}

std::vector<WindowDescription> ListWindowDescriptions() {
  std::vector<WindowDescription> windows;
  std::string folder = GetDirectory(Directory::kRuntime) + "/windows";
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return windows;
  std::vector<std::string> names;
  while (dirent* entry = readdir(listing)) names.emplace_back(entry->d_name);
  closedir(listing);
  for (const std::string& name : names) {
    HWND window = 0;
    bool isInfo = name.size() == 13 && name.compare(8, 5, ".info") == 0;
    bool isSocket = name.size() == 13 && name.compare(8, 5, ".sock") == 0;
    if ((!isInfo && !isSocket) || !ParseHandle(name.substr(0, 8), &window)) continue;
    bool alive = SocketAlive(SocketPathOf(folder, window));
    if (isSocket) continue;  // a dead socket without description went in SocketAlive
    WindowDescription description;
    if (!alive) {
      unlink(InfoPathOf(folder, window).c_str());
      continue;
    }
    if (!ReadDescription(folder + "/" + name, &description)) continue;
    description.info.handle = window;
    windows.push_back(description);
  }
  std::sort(windows.begin(), windows.end(),
            [](const WindowDescription& a, const WindowDescription& b) {
              return a.info.handle < b.info.handle;
            });
  return windows;
}

DWORD SendToWindow(HWND window, const WireBytes& bytes, int passFd, int roomWaitMs) {
  if (window < kFirstHandle || window > kLastHandle) return ERROR_INVALID_WINDOW_HANDLE;
  std::string folder = GetDirectory(Directory::kRuntime) + "/windows";
  sockaddr_un address;
  if (!FillAddress(SocketPathOf(folder, window), &address)) return ERROR_INVALID_WINDOW_HANDLE;
  int sender = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sender < 0) return ERROR_NOT_ENOUGH_MEMORY;
  int flags = MSG_NOSIGNAL;
  if (roomWaitMs > 0) {
    // A blocking send waits for the receiver to make room, up to the time-out.
    timeval limit{roomWaitMs / 1000, (roomWaitMs % 1000) * 1000};
    setsockopt(sender, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
  } else {
    flags |= MSG_DONTWAIT;
  }
  iovec part{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
  msghdr header{};
  header.msg_name = &address;
  header.msg_namelen = sizeof(address);
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  if (passFd >= 0) {
    std::memset(control, 0, sizeof(control));
    header.msg_control = control;
    header.msg_controllen = sizeof(control);
    cmsghdr* attached = CMSG_FIRSTHDR(&header);
    attached->cmsg_level = SOL_SOCKET;
    attached->cmsg_type = SCM_RIGHTS;
    attached->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(attached), &passFd, sizeof(int));
  }
  ssize_t sent;
  do {
    sent = sendmsg(sender, &header, flags);
  } while (sent < 0 && errno == EINTR);
  int error = errno;
  close(sender);
  if (sent == static_cast<ssize_t>(bytes.size())) return ERROR_SUCCESS;
  if (error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS) return ERROR_NOT_ENOUGH_QUOTA;
  if (error == ECONNREFUSED) {
    unlink(InfoPathOf(folder, window).c_str());
    unlink(address.sun_path);
  }
  return ERROR_INVALID_WINDOW_HANDLE;
}

}  // namespace lx2d::platform
