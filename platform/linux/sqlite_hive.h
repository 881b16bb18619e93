// A hive kept in one SQLite database file.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "hive_store.h"

namespace lx2d::platform {

class CSqliteHive final : public IHiveStore {
 public:
  // `fileName` names the database file; it is asked again before every
  // operation, so a hive can follow a directory that changes (tests). Missing
  // folders are made with `newFolderMode` when the hive is first written.
  CSqliteHive(std::function<std::string()> fileName, mode_t newFolderMode);
  ~CSqliteHive() override;
  CSqliteHive(const CSqliteHive&) = delete;
  CSqliteHive& operator=(const CSqliteHive&) = delete;

  bool Writable() override;
  DWORD KeyExists(const KeyPath& key) override;
  DWORD CreateKey(const KeyPath& key, bool* created) override;
  DWORD DeleteKey(const KeyPath& key, bool recursive) override;
  DWORD ListSubkeys(const KeyPath& key, std::vector<std::string>* names) override;
  DWORD GetValue(const KeyPath& key, const std::string& name, HiveValue* value) override;
  DWORD SetValue(const KeyPath& key, const HiveValue& value) override;
  DWORD DeleteValue(const KeyPath& key, const std::string& name) override;
  DWORD ListValues(const KeyPath& key, std::vector<HiveValue>* values) override;
  // A group holds one write transaction from its first change to its end;
  // each change inside it is a savepoint.
  void BeginGroup() override;
  DWORD EndGroup() override;

 private:
  enum class Mode { kRead, kWrite };

  // Opens (or reopens) the connection fit for `mode`. ERROR_FILE_NOT_FOUND
  // for a read of a hive that does not exist (or has no tables yet),
  // ERROR_BADDB for a file that is not a hive.
  DWORD Connect(Mode mode);
  void Disconnect();
  // The id of the key at `key` (0 for the root).
  DWORD FindKey(const KeyPath& key, sqlite3_int64* id);
  // FindKey below a path already folded and joined with '\'.
  DWORD FindFolded(std::string_view folded, sqlite3_int64* id);
  // The prepared statement for `sql` (a string constant), reset for reuse.
  sqlite3_stmt* Statement(const char* sql);
  // Runs `body` inside one transaction of `mode`; a read of a missing hive
  // answers `missingResult`.
  DWORD Run(Mode mode, DWORD missingResult, const std::function<DWORD()>& body);

  std::function<std::string()> hiveFile;
  mode_t folderMode;
  sqlite3* db = nullptr;
  std::string openPath;
  bool openForWrite = false;
  // Statements stay prepared for the connection's life, by SQL text address.
  std::unordered_map<const char*, sqlite3_stmt*> statements;
  // Key ids by folded path, valid while no other connection changed the hive
  // (PRAGMA data_version) and cleared when a change of ours rolls back or
  // removes keys: a deep path costs one lookup instead of one per level.
  std::unordered_map<std::string, sqlite3_int64> keyIds;
  sqlite3_int64 seenDataVersion = -1;
  bool grouping = false;   // between BeginGroup and EndGroup
  bool groupOpen = false;  // the group's transaction has begun
};

}  // namespace lx2d::platform
