// The host end of device interfaces: listing a class folder, reading a
// driver's version and making control calls over its socket.
#include "platform/device_interface.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "device_interface_wire.h"
#include "permission_error.h"
#include "platform/last_error.h"
#include "platform/paths.h"
#include "unix_socket.h"

namespace lx2d::platform {
namespace {

constexpr int kAnswerWaitMs = 30000;  // a driver that says nothing this long is given up

bool SameGuid(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsSocket(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// Names of the entries of `directory`; false with errno when it cannot be read.
bool ListDirectory(const std::string& directory, std::vector<std::string>& names) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  return true;
}

class CDeviceInterface final : public IDeviceInterface {
 public:
  CDeviceInterface(int socketFd, int lockFd) : fd_(socketFd), lockFd_(lockFd) {}
  ~CDeviceInterface() override {
    // Hang up before the lock goes, so the driver has seen this host leave
    // by the time the next one can open.
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    close(lockFd_);
  }
  CDeviceInterface(const CDeviceInterface&) = delete;
  CDeviceInterface& operator=(const CDeviceInterface&) = delete;

  BOOL Control(DWORD code, std::span<const uint8_t> input, std::span<uint8_t> output,
               DWORD* returned) override {
    if (returned == nullptr || input.size() > kMaxDeviceControlBytes ||
        output.size() > kMaxDeviceControlBytes) {
      return Fail(ERROR_INVALID_PARAMETER, returned);
    }
    *returned = 0;
    std::vector<uint8_t> request;
    request.reserve(kDeviceWireHeadBytes + input.size());
    PutWireWord(request, code);
    PutWireWord(request, static_cast<DWORD>(output.size()));
    request.insert(request.end(), input.begin(), input.end());
    if (!SendAll(request)) return Fail(ERROR_DEVICE_NOT_CONNECTED, returned);

    // One byte more than a valid answer can hold shows an oversized one.
    std::vector<uint8_t> answer(kDeviceWireHeadBytes + output.size() + 1);
    const DWORD received = Receive(answer);
    // A late answer must never pass for the answer to a later request.
    if (received == ERROR_TIMEOUT) shutdown(fd_, SHUT_RDWR);
    if (received != ERROR_SUCCESS) return Fail(received, returned);
    if (answer.size() < kDeviceWireHeadBytes ||
        answer.size() > kDeviceWireHeadBytes + output.size()) {
      return Fail(ERROR_GEN_FAILURE, returned);
    }
    const DWORD success = WireWordAt(answer, 0);
    const size_t bytes = answer.size() - kDeviceWireHeadBytes;
    std::copy_n(answer.begin() + kDeviceWireHeadBytes, bytes, output.begin());
    *returned = static_cast<DWORD>(bytes);
    SetLastError(WireWordAt(answer, 4));
    return success != 0 ? TRUE : FALSE;
  }

 private:
  static BOOL Fail(DWORD error, DWORD* returned) {
    if (returned != nullptr) *returned = 0;
    SetLastError(error);
    return FALSE;
  }

  bool SendAll(const std::vector<uint8_t>& message) {
    for (;;) {
      const ssize_t put = send(fd_, message.data(), message.size(), MSG_NOSIGNAL);
      if (put == static_cast<ssize_t>(message.size())) return true;
      if (put < 0 && errno == EINTR) continue;
      return false;
    }
  }

  // Receives one answer into `answer`, trimmed to its length; a longer one
  // fills the whole buffer, one byte more than any valid answer.
  DWORD Receive(std::vector<uint8_t>& answer) {
    for (;;) {
      pollfd wait = {fd_, POLLIN, 0};
      const int ready = poll(&wait, 1, kAnswerWaitMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) return ERROR_TIMEOUT;
      if (ready < 0) return ERROR_GEN_FAILURE;
      const ssize_t got = recv(fd_, answer.data(), answer.size(), MSG_TRUNC);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return ERROR_DEVICE_NOT_CONNECTED;
      answer.resize(std::min(static_cast<size_t>(got), answer.size()));
      return ERROR_SUCCESS;
    }
  }

  int fd_;
  int lockFd_;  // DriverVersion, flocked for the exclusive open
};

class CDeviceInterfaceService final : public IDeviceInterfaceService {
 public:
  explicit CDeviceInterfaceService(std::string devicesDir) : devicesDir_(std::move(devicesDir)) {}

  DWORD EnumerateInterfaces(std::string_view classGuid, std::vector<std::string>& paths) override {
    paths.clear();
    std::vector<std::string> classes;
    if (!ListDirectory(devicesDir_, classes)) {
      return errno == ENOENT || errno == ENOTDIR ? ERROR_SUCCESS : ListError(errno);
    }
    std::sort(classes.begin(), classes.end());
    for (const std::string& folder : classes) {
      if (!ValidClassGuid(folder) || !SameGuid(folder, classGuid)) continue;
      const std::string classDir = devicesDir_ + "/" + folder;
      std::vector<std::string> names;
      if (!ListDirectory(classDir, names)) {
        if (errno == ENOENT || errno == ENOTDIR) continue;
        return ListError(errno);
      }
      std::sort(names.begin(), names.end());
      for (const std::string& name : names) {
        const std::string path = classDir + "/" + name;
        if (ValidInterfaceName(name) && IsSocket(path + "/" + std::string(kDriverSocketName))) {
          paths.push_back(path);
        }
      }
    }
    return ERROR_SUCCESS;
  }

  DWORD ReadDriverVersion(std::string_view interfacePath, std::string& version) override {
    version.clear();
    const std::string folder(interfacePath);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return ERROR_PATH_NOT_FOUND;
    const int fd = open((folder + "/" + std::string(kDriverVersionName)).c_str(),
                        O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
      return IsPermissionError(errno) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    }
    char buffer[kMaxDriverVersionBytes + 2];
    size_t total = 0;
    for (;;) {
      const ssize_t got = read(fd, buffer + total, sizeof buffer - total);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      total += static_cast<size_t>(got);
      if (total == sizeof buffer) break;
    }
    close(fd);
    if (total > 0 && buffer[total - 1] == '\n') --total;
    if (total > kMaxDriverVersionBytes) return ERROR_MORE_DATA;
    version.assign(buffer, total);
    return ERROR_SUCCESS;
  }

  DWORD Open(std::string_view interfacePath, std::unique_ptr<IDeviceInterface>& device) override {
    const std::string folder(interfacePath);
    const int lockFd =
        open((folder + "/" + std::string(kDriverVersionName)).c_str(), O_RDONLY | O_CLOEXEC);
    if (lockFd < 0) return IsPermissionError(errno) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    while (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      const int why = errno;
      close(lockFd);
      return why == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ERROR_GEN_FAILURE;
    }
    sockaddr_un address;
    if (!MakeAddress(folder + "/" + std::string(kDriverSocketName), address)) {
      close(lockFd);
      return ERROR_FILE_NOT_FOUND;
    }
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      close(lockFd);
      return ERROR_GEN_FAILURE;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      const int why = errno;
      close(fd);
      close(lockFd);
      return why == ECONNREFUSED || why == ENOENT ? ERROR_FILE_NOT_FOUND
             : IsPermissionError(why)             ? ERROR_ACCESS_DENIED
                                                  : ERROR_GEN_FAILURE;
    }
    device = std::make_unique<CDeviceInterface>(fd, lockFd);
    return ERROR_SUCCESS;
  }

 private:
  static DWORD ListError(int error) {
    return IsPermissionError(error) ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE;
  }

  std::string devicesDir_;
};

}  // namespace

bool ValidInterfaceName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name.front() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
  });
}

bool ValidClassGuid(std::string_view guid) {
  constexpr std::string_view kShape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (guid.size() != kShape.size()) return false;
  for (size_t i = 0; i < guid.size(); ++i) {
    const bool ok = kShape[i] == 'x' ? std::isxdigit(static_cast<unsigned char>(guid[i])) != 0
                                     : guid[i] == kShape[i];
    if (!ok) return false;
  }
  return true;
}

std::string DeviceInterfaceDir() { return GetDirectory(Directory::kSystem) + "/devices"; }

std::unique_ptr<IDeviceInterfaceService> MakeDeviceInterfaceService(std::string devicesDir) {
  return std::make_unique<CDeviceInterfaceService>(std::move(devicesDir));
}

IDeviceInterfaceService* SystemDeviceInterfaceService() {
  // The folder is looked up at each call, so a test's directory override
  // set after the first use still counts.
  class CSystemService final : public IDeviceInterfaceService {
   public:
    DWORD EnumerateInterfaces(std::string_view classGuid,
                              std::vector<std::string>& paths) override {
      return CDeviceInterfaceService(DeviceInterfaceDir()).EnumerateInterfaces(classGuid, paths);
    }
    DWORD ReadDriverVersion(std::string_view interfacePath, std::string& version) override {
      return CDeviceInterfaceService(DeviceInterfaceDir())
          .ReadDriverVersion(interfacePath, version);
    }
    DWORD Open(std::string_view interfacePath, std::unique_ptr<IDeviceInterface>& device) override {
      return CDeviceInterfaceService(DeviceInterfaceDir()).Open(interfacePath, device);
    }
  };
  static CSystemService service;
  return &service;
}

}  // namespace lx2d::platform
