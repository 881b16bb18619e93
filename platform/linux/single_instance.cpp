#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "permission_error.h"
#include "platform/paths.h"
#include "session_owner.h"

namespace lx2d::platform {

namespace {

// A mutex name as a file name: '/' would leave the locks folder.
std::string LockFileName(std::string_view name) {
  std::string file;
  for (char c : name) file.push_back(c == '/' || c == '\0' ? '_' : c);
  return file + ".lock";
}

}  // namespace

CNamedMutex::~CNamedMutex() { Close(); }

DWORD CNamedMutex::Create(std::string_view name) {
  if (name.empty() || fd >= 0) return ERROR_INVALID_PARAMETER;
  std::string folder;
  DWORD status = EnsureDirectory(Directory::kRuntime, "locks", &folder);
  if (status != ERROR_SUCCESS) return status;
  std::string path = folder + "/" + LockFileName(name);
  int handle = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (handle >= 0) GiveToRuntimeOwner(path);
  if (handle < 0) handle = open(path.c_str(), O_RDONLY | O_CLOEXEC);  // another user's lock file
  if (handle < 0) return IsPermissionError(errno) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  while (flock(handle, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    if (error == EINTR) continue;
    close(handle);
    // flock fails otherwise only for lack of kernel memory.
    return error == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : ERROR_NOT_ENOUGH_MEMORY;
  }
  fd = handle;
  return ERROR_SUCCESS;
}

void CNamedMutex::Close() {
  if (fd < 0) return;
  close(fd);  // closing the only descriptor drops the lock
  fd = -1;
}

}  // namespace lx2d::platform
