// The Linux registry store: one SQLite database per hive.
#pragma once

#include <memory>
#include <string>

#include "platform/registry.h"

namespace lx2d::platform {

// A registry whose HKEY_LOCAL_MACHINE hive is `systemDir`/registry/hklm.db and
// whose HKEY_CURRENT_USER hive is `userDir`/registry/hkcu.db. A hive is
// read-only for the caller when its file (or, before it exists, its
// directory) is not writable by the caller or carries no write permission bit
// at all, so "chmod a-w" makes a hive read-only even for root. Writers in
// several processes wait for each other (busy time-out of 10 s) instead of
// failing; readers never make a writer wait, whoever they are: a hive is kept
// with a write-ahead log, and its two companion files (NAME.db-wal and
// NAME.db-shm, with the hive's own permissions) stay beside it so that users
// who may read the hive but not write its folder can still read it. A file
// that is not a hive answers ERROR_BADDB to every operation, the root's
// included, and is never written over.
std::unique_ptr<IRegistry> CreateSqliteRegistry(const std::string& systemDir,
                                                const std::string& userDir);

// The file of the process's hive behind `root` (HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER) as DefaultRegistry's Linux store uses it now; empty for
// another key. For messages that must name the file.
std::string DefaultHiveFile(HKEY root);

}  // namespace lx2d::platform
