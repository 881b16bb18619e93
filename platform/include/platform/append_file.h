// Appending to a file, for records that several processes add to the same
// file (crash information, logs).
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace lx2d::platform {

// Appends `bytes` to the file at `path`, creating it (mode 0644 less the
// umask) when missing; the bytes go out in one write, so appends of several
// processes never interleave. Results: ERROR_SUCCESS when all was written;
// ERROR_ACCESS_DENIED when the file or its folder may not be written;
// ERROR_PATH_NOT_FOUND when the folder is missing; ERROR_CANTWRITE when the
// write failed or was cut short (a full disk).
DWORD AppendToFile(const std::string& path, std::string_view bytes);

}  // namespace lx2d::platform
