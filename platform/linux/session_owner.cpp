#include "session_owner.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/paths.h"

namespace lx2d::platform {

namespace {

constexpr gid_t kUnknownGroup = static_cast<gid_t>(-1);

// A positive id from `variable`, digits only; 0 when unset or not one.
unsigned long IdFrom(const char* variable) {
  const char* text = std::getenv(variable);
  if (text == nullptr || *text < '0' || *text > '9') return 0;
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  return *end == '\0' ? value : 0;
}

gid_t PrimaryGroupOf(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(uid, &entry, buffer, sizeof(buffer), &found) != 0 || found == nullptr) {
    return kUnknownGroup;
  }
  return found->pw_gid;
}

}  // namespace

SessionUser CurrentSessionUser() {
  if (geteuid() == 0) {
    if (unsigned long sudoUid = IdFrom("SUDO_UID"); sudoUid != 0) {
      unsigned long sudoGid = IdFrom("SUDO_GID");
      auto uid = static_cast<uid_t>(sudoUid);
      return {uid, sudoGid != 0 ? static_cast<gid_t>(sudoGid) : PrimaryGroupOf(uid)};
    }
    if (unsigned long pkexecUid = IdFrom("PKEXEC_UID"); pkexecUid != 0) {
      auto uid = static_cast<uid_t>(pkexecUid);
      return {uid, PrimaryGroupOf(uid)};
    }
  }
  return {geteuid(), getegid()};
}

void GiveToRuntimeOwner(const std::string& path) {
  if (geteuid() != 0) return;
  std::string folder = GetDirectory(Directory::kRuntime);
  if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0 ||
      path[folder.size()] != '/') {
    return;
  }
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0 || info.st_uid == 0) return;
  int ignored = lchown(path.c_str(), info.st_uid, info.st_gid);
  (void)ignored;
}

}  // namespace lx2d::platform
