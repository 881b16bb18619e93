#include "platform/last_error.h"

namespace lx2d::platform {

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

}  // namespace lx2d::platform
