#include "platform/fakes/temp_directory.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"

namespace lx2d::platform {

namespace {

struct DirectoryPlace {
  Directory which;
  const char* name;
  const char* variable;
};

constexpr DirectoryPlace kPlaces[] = {
    {Directory::kSystem, "system", "LX2D_SYSTEM_DIR"},
    {Directory::kUser, "user", "LX2D_USER_DIR"},
    {Directory::kState, "state", "LX2D_STATE_DIR"},
    {Directory::kRuntime, "run", "LX2D_RUNTIME_DIR"},
};

}  // namespace

CTempDirectory::CTempDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/lx2d-test-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path = pattern;
}

CTempDirectory::~CTempDirectory() {
  if (overridden) {
    for (const DirectoryPlace& place : kPlaces) SetDirectoryForTesting(place.which, "");
  }
  if (exported) {
    for (const DirectoryPlace& place : kPlaces) unsetenv(place.variable);
  }
  if (!path.empty()) {
    std::error_code ignored;
    // Read-only files and folders made by tests must not stop the clean-up.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path, ignored);
  }
}

void CTempDirectory::UseForAllDirectories() {
  for (const DirectoryPlace& place : kPlaces) {
    SetDirectoryForTesting(place.which, path + "/" + place.name);
  }
  overridden = true;
}

void CTempDirectory::ExportForAllDirectories() {
  for (const DirectoryPlace& place : kPlaces) {
    setenv(place.variable, (path + "/" + place.name).c_str(), 1);
  }
  exported = true;
}

}  // namespace lx2d::platform
