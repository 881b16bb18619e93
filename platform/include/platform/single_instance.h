// A named mutex held for a program's life, the stand-in for CreateMutex with
// a name and ERROR_ALREADY_EXISTS: an exclusive flock on
// LX2D_RUNTIME_DIR/locks/<name>.lock. The kernel drops the lock when the
// process ends, however it ends, so a crashed instance never blocks the next.
#pragma once

#include <string_view>

#include "platform/win_types.h"

namespace lx2d::platform {

class CNamedMutex {
 public:
  CNamedMutex() = default;
  ~CNamedMutex();  // releases the lock
  CNamedMutex(const CNamedMutex&) = delete;
  CNamedMutex& operator=(const CNamedMutex&) = delete;

  // Takes the mutex `name` (any text; '/' and NUL are replaced in the file
  // name). Results: ERROR_SUCCESS when this object now holds it;
  // ERROR_ALREADY_EXISTS when another process, or another CNamedMutex of this
  // process, holds it; ERROR_ACCESS_DENIED or ERROR_PATH_NOT_FOUND when the
  // lock file cannot be made; ERROR_NOT_ENOUGH_MEMORY when the kernel cannot take
  // the lock; ERROR_INVALID_PARAMETER for an empty name or
  // when this object holds a mutex already.
  DWORD Create(std::string_view name);

  // Releases the mutex if held (the lock file stays for the next holder).
  void Close();

  bool IsHeld() const { return fd >= 0; }

 private:
  int fd = -1;
};

}  // namespace lx2d::platform
