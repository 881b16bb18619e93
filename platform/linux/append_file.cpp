#include "platform/append_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "permission_error.h"

namespace lx2d::platform {

DWORD AppendToFile(const std::string& path, std::string_view bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (IsPermissionError(errno)) return ERROR_ACCESS_DENIED;
    return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_CANTWRITE;
  }
  ssize_t written;
  do {
    written = write(fd, bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  close(fd);
  return written == static_cast<ssize_t>(bytes.size()) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

}  // namespace lx2d::platform
