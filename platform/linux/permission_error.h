// errno values that mean "not allowed" rather than "not there".
#pragma once

#include <cerrno>

namespace lx2d::platform {

inline bool IsPermissionError(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

}  // namespace lx2d::platform
