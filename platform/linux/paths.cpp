#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "permission_error.h"
#include "session_owner.h"

namespace lx2d::platform {

namespace {

struct DirectorySource {
  Directory which;
  const char* variable;
};

constexpr DirectorySource kDirectorySources[] = {
    {Directory::kSystem, "LX2D_SYSTEM_DIR"},
    {Directory::kUser, "LX2D_USER_DIR"},
    {Directory::kState, "LX2D_STATE_DIR"},
    {Directory::kRuntime, "LX2D_RUNTIME_DIR"},
};

std::mutex overridesMutex;
std::string overrides[4];

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string HomeDirectory() {
  std::string home = Environment("HOME");
  return home.empty() ? std::string("/tmp") : home;
}

// $<xdgVariable>/lx2d, else ~/<fallback>/lx2d.
std::string XdgDirectory(const char* xdgVariable, const char* fallback) {
  std::string base = Environment(xdgVariable);
  if (base.empty()) base = HomeDirectory() + "/" + fallback;
  return base + "/lx2d";
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Where the runtime folder lies when no variable names it, and who gets a new
// one: the login session's folder, so that other users can neither see nor
// post to the session's windows, and root started for a user joins that
// user's session.
struct RuntimePlace {
  std::string path;
  SessionUser owner;
  bool underTmp;  // anyone may create it there first: it must be the user's own
};

SessionUser OwnerOf(const std::string& folder, SessionUser otherwise) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return otherwise;
  return {info.st_uid, info.st_gid};
}

RuntimePlace DefaultRuntimePlace() {
  SessionUser user = CurrentSessionUser();
  std::string xdg = Environment("XDG_RUNTIME_DIR");
  if (!xdg.empty()) return {xdg + "/lx2d", OwnerOf(xdg, user), false};
  std::string session = "/run/user/" + std::to_string(user.uid);
  if (IsDirectory(session)) return {session + "/lx2d", OwnerOf(session, user), false};
  return {"/tmp/lx2d-" + std::to_string(user.uid), user, true};
}

std::string DefaultDirectory(Directory which) {
  switch (which) {
    case Directory::kSystem:
      return "/var/lib/lx2d";
    case Directory::kUser:
      return XdgDirectory("XDG_CONFIG_HOME", ".config");
    case Directory::kState:
      return XdgDirectory("XDG_STATE_HOME", ".local/state");
    case Directory::kRuntime:
      return DefaultRuntimePlace().path;
  }
  return "/tmp";
}

// Places every user reads (an administrator's choice); session folders under
// /run/user stay private.
bool IsSharedLocation(const std::string& path) {
  return path.rfind("/var/lib/", 0) == 0 ||
         (path.rfind("/run/", 0) == 0 && path.rfind("/run/user/", 0) != 0);
}

// mkdir -p; every folder it makes goes to the runtime folder's owner (see
// GiveToRuntimeOwner, which leaves other places alone). The result is an
// ERROR_* code.
DWORD CreateDirectories(const std::string& path, mode_t mode) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    return S_ISDIR(info.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
  }
  std::size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    DWORD parent = CreateDirectories(path.substr(0, slash), mode);
    if (parent != ERROR_SUCCESS) return parent;
  }
  if (mkdir(path.c_str(), mode) == 0) {
    GiveToRuntimeOwner(path);
  } else if (errno != EEXIST) {
    return IsPermissionError(errno) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  }
  return ERROR_SUCCESS;
}

// The default runtime folder, created for its owner when missing. One under
// /tmp that another user owns (or a link in its place) or that others may
// write is refused: its windows and locks would not be the session's.
DWORD EnsureDefaultRuntimeFolder(std::string* path) {
  RuntimePlace place = DefaultRuntimePlace();
  bool existed = IsDirectory(place.path);
  DWORD status = CreateDirectories(place.path, 0700);
  if (status != ERROR_SUCCESS) return status;
  if (!existed && geteuid() == 0 && place.owner.uid != 0) {
    int ignored = lchown(place.path.c_str(), place.owner.uid, place.owner.gid);
    (void)ignored;
  }
  if (place.underTmp) {
    struct stat info {};
    if (lstat(place.path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != place.owner.uid || (info.st_mode & 0022) != 0) {
      return ERROR_ACCESS_DENIED;
    }
  }
  *path = place.path;
  return ERROR_SUCCESS;
}

// The folder named by SetDirectoryForTesting or the environment; empty when
// neither names one.
std::string NamedDirectory(Directory which) {
  {
    std::lock_guard<std::mutex> lock(overridesMutex);
    const std::string& forced = overrides[static_cast<int>(which)];
    if (!forced.empty()) return forced;
  }
  for (const DirectorySource& source : kDirectorySources) {
    if (source.which != which) continue;
    std::string value = Environment(source.variable);
    while (value.size() > 1 && value.back() == '/') value.pop_back();
    return value;
  }
  return {};
}

}  // namespace

std::string GetDirectory(Directory which) {
  std::string named = NamedDirectory(which);
  return named.empty() ? DefaultDirectory(which) : named;
}

DWORD EnsureDirectory(Directory which, std::string_view subdirectory, std::string* path) {
  std::string result = NamedDirectory(which);
  if (result.empty() && which == Directory::kRuntime) {
    DWORD status = EnsureDefaultRuntimeFolder(&result);
    if (status != ERROR_SUCCESS) return status;
  } else if (result.empty()) {
    result = DefaultDirectory(which);
  }
  if (!subdirectory.empty()) result += "/" + std::string(subdirectory);
  mode_t mode = IsSharedLocation(result) ? 0755 : 0700;
  DWORD status = CreateDirectories(result, mode);
  if (status == ERROR_SUCCESS && path != nullptr) *path = result;
  return status;
}

void SetDirectoryForTesting(Directory which, std::string path) {
  std::lock_guard<std::mutex> lock(overridesMutex);
  overrides[static_cast<int>(which)] = std::move(path);
}

}  // namespace lx2d::platform
