#include "errno_to_error.h"

#include <cerrno>

namespace lx2d::platform {

namespace {

struct ErrnoMapping {
  int error;
  DWORD code;
};

constexpr ErrnoMapping kErrnoMappings[] = {
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EAGAIN, ERROR_NOT_ENOUGH_QUOTA},
    {ENOBUFS, ERROR_NOT_ENOUGH_QUOTA},
    {ECONNREFUSED, ERROR_INVALID_WINDOW_HANDLE},
};

}  // namespace

DWORD ErrorFromErrno(int error) {
  for (const ErrnoMapping& mapping : kErrnoMappings) {
    if (mapping.error == error) return mapping.code;
  }
  return ERROR_INVALID_PARAMETER;
}

}  // namespace lx2d::platform
