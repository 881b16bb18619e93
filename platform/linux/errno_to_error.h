// errno values turned into the Windows error codes the platform reports.
#pragma once

#include "platform/win_types.h"

namespace lx2d::platform {

// EACCES/EPERM/EROFS -> ERROR_ACCESS_DENIED, ENOENT -> ERROR_FILE_NOT_FOUND,
// ENOTDIR -> ERROR_PATH_NOT_FOUND, ENOMEM -> ERROR_NOT_ENOUGH_MEMORY,
// EAGAIN/ENOBUFS -> ERROR_NOT_ENOUGH_QUOTA, ECONNREFUSED -> ERROR_INVALID_WINDOW_HANDLE,
// anything else ERROR_INVALID_PARAMETER.
DWORD ErrorFromErrno(int error);

}  // namespace lx2d::platform
