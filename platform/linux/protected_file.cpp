#include "platform/protected_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "permission_error.h"

namespace lx2d::platform {

ProtectedFileStatus ReadProtectedFile(const std::string& path, size_t size,
                                      std::vector<uint8_t>& bytes) {
  bytes.clear();
  // O_NOFOLLOW: a link could point anywhere, whoever owns the link.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return ProtectedFileStatus::kMissing;
    if (errno == ELOOP) return ProtectedFileStatus::kNotRegular;
    return ProtectedFileStatus::kUnreadable;
  }
  struct stat info {};
  ProtectedFileStatus status = ProtectedFileStatus::kOk;
  if (fstat(fd, &info) != 0) {
    status = ProtectedFileStatus::kUnreadable;
  } else if (!S_ISREG(info.st_mode)) {
    status = ProtectedFileStatus::kNotRegular;
  } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 ||
             (info.st_uid != 0 && info.st_uid != geteuid())) {
    status = ProtectedFileStatus::kWritableByOthers;
  } else if (static_cast<size_t>(info.st_size) != size) {
    status = ProtectedFileStatus::kWrongSize;
  } else {
    bytes.resize(size);
    size_t total = 0;
    while (total < size) {
      const ssize_t got = read(fd, bytes.data() + total, size - total);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      total += static_cast<size_t>(got);
    }
    if (total != size) {
      bytes.assign(bytes.size(), 0);
      bytes.clear();
      status = ProtectedFileStatus::kUnreadable;
    }
  }
  close(fd);
  return status;
}

}  // namespace lx2d::platform
