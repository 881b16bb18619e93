// When and where a diagnostic record is made: the tick counter
// (GetTickCount) and the calling thread's id (GetCurrentThreadId).
#pragma once

#include "platform/win_types.h"

namespace lx2d::platform {

// Milliseconds since the machine started, wrapping at 2^32 (about 49.7 days),
// with the coarse resolution of the Windows counter (a few milliseconds).
DWORD GetTickCount();

// The kernel's id of the calling thread, unique machine-wide while it runs.
DWORD GetCurrentThreadId();

}  // namespace lx2d::platform
