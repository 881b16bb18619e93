// The calling thread's last error, as GetLastError/SetLastError: operations
// that answer with a bare success flag (PostMessage, LoadLibrary, the text
// conversions, ...) leave the reason of a failure here.
#pragma once

#include "platform/win_types.h"

namespace lx2d::platform {

// The code the last failing platform operation of this thread stored; 0 when
// none failed since the last SetLastError(0).
DWORD GetLastError();

// Stores `code` as this thread's last error.
void SetLastError(DWORD code);

}  // namespace lx2d::platform
