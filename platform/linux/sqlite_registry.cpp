#include "platform/sqlite_registry.h"

#include <atomic>

#include "platform/paths.h"
#include "registry_core.h"
#include "sqlite_hive.h"

namespace lx2d::platform {

namespace {

constexpr const char* kMachineHive = "/registry/hklm.db";
constexpr const char* kUserHive = "/registry/hkcu.db";

// HKLM must stay readable by every user; HKCU is the user's own.
constexpr mode_t kMachineFolderMode = 0755;
constexpr mode_t kUserFolderMode = 0700;

std::atomic<IRegistry*> installed{nullptr};

IRegistry& LinuxRegistry() {
  // The directories are asked at every operation, so the process registry
  // follows SetDirectoryForTesting and stays one object for the process's life.
  static CRegistryCore registry(
      std::make_unique<CSqliteHive>([] { return DefaultHiveFile(HKEY_LOCAL_MACHINE); },
                                    kMachineFolderMode),
      std::make_unique<CSqliteHive>([] { return DefaultHiveFile(HKEY_CURRENT_USER); },
                                    kUserFolderMode));
  return registry;
}

}  // namespace

std::unique_ptr<IRegistry> CreateSqliteRegistry(const std::string& systemDir,
                                                const std::string& userDir) {
  return std::make_unique<CRegistryCore>(
      std::make_unique<CSqliteHive>([file = systemDir + kMachineHive] { return file; },
                                    kMachineFolderMode),
      std::make_unique<CSqliteHive>([file = userDir + kUserHive] { return file; },
                                    kUserFolderMode));
}

std::string DefaultHiveFile(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return GetDirectory(Directory::kSystem) + kMachineHive;
  if (root == HKEY_CURRENT_USER) return GetDirectory(Directory::kUser) + kUserHive;
  return {};
}

IRegistry& DefaultRegistry() {
  IRegistry* replacement = installed.load();
  return replacement != nullptr ? *replacement : LinuxRegistry();
}

IRegistry* SetDefaultRegistry(IRegistry* replacement) { return installed.exchange(replacement); }

}  // namespace lx2d::platform
