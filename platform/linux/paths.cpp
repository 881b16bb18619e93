#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "permission_error.h"

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

std::string DefaultRuntimeDirectory() {
  // /run/lx2d serves every user of the machine when the caller may write it
  // (or create it); otherwise each user gets a place of their own.
  if (access("/run/lx2d", W_OK) == 0) return "/run/lx2d";
  if (access("/run/lx2d", F_OK) != 0 && access("/run", W_OK) == 0) return "/run/lx2d";
  std::string xdg = Environment("XDG_RUNTIME_DIR");
  if (!xdg.empty()) return xdg + "/lx2d";
  return "/tmp/lx2d-" + std::to_string(getuid());
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
      return DefaultRuntimeDirectory();
  }
  return "/tmp";
}

bool IsSharedLocation(const std::string& path) {
  return path.rfind("/var/lib/", 0) == 0 || path.rfind("/run/", 0) == 0;
}

// mkdir -p; the result is an ERROR_* code.
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
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
    return IsPermissionError(errno) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  }
  return ERROR_SUCCESS;
}

}  // namespace

std::string GetDirectory(Directory which) {
  {
    std::lock_guard<std::mutex> lock(overridesMutex);
    const std::string& forced = overrides[static_cast<int>(which)];
    if (!forced.empty()) return forced;
  }
  for (const DirectorySource& source : kDirectorySources) {
    if (source.which != which) continue;
    std::string value = Environment(source.variable);
    if (!value.empty()) {
      while (value.size() > 1 && value.back() == '/') value.pop_back();
      return value;
    }
  }
  return DefaultDirectory(which);
}

DWORD EnsureDirectory(Directory which, std::string_view subdirectory, std::string* path) {
  std::string result = GetDirectory(which);
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
