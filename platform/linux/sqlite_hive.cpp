#include "sqlite_hive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace lx2d::platform {

namespace {

// Writers of other processes are waited for this long before a change fails.
constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, name));";

std::string ParentOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Writable by the caller and not write-protected for everybody: root passes
// access(2) for any file, so "chmod a-w" must still count as read-only.
bool CanWrite(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  return access(path.c_str(), W_OK) == 0 && (info.st_mode & 0222) != 0;
}

bool MakeFolders(const std::string& path, mode_t mode) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  if (path != "/" && path != "." && !MakeFolders(ParentOf(path), mode)) return false;
  return mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

// A use of one cached prepared statement, reset for the next use at scope end.
class CStatement {
 public:
  explicit CStatement(sqlite3_stmt* prepared) : statement(prepared) {}
  ~CStatement() {
    if (statement == nullptr) return;
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
  }
  CStatement(const CStatement&) = delete;
  CStatement& operator=(const CStatement&) = delete;

  bool Valid() const { return statement != nullptr; }
  CStatement& Bind(int index, sqlite3_int64 value) {
    sqlite3_bind_int64(statement, index, value);
    return *this;
  }
  CStatement& Bind(int index, std::string_view text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  CStatement& BindBlob(int index, const std::vector<std::uint8_t>& data) {
    static const std::uint8_t kEmpty = 0;  // a null pointer would bind NULL, not an empty blob
    sqlite3_bind_blob(statement, index, data.empty() ? &kEmpty : data.data(),
                      static_cast<int>(data.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return Valid() ? sqlite3_step(statement) : SQLITE_ERROR; }
  sqlite3_int64 Integer(int column) { return sqlite3_column_int64(statement, column); }
  std::string Text(int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text != nullptr
               ? std::string(reinterpret_cast<const char*>(text),
                             static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
               : std::string();
  }
  std::vector<std::uint8_t> Blob(int column) {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, column));
    int size = sqlite3_column_bytes(statement, column);
    if (data == nullptr || size <= 0) return {};
    return std::vector<std::uint8_t>(data, data + size);
  }

 private:
  sqlite3_stmt* statement = nullptr;
};

// A file that is not a database, or one whose pages do not hold together.
bool IsDamaged(int code) {
  int primary = code & 0xFF;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// Joins folded names with '\', which no name holds.
std::string FoldedPath(const KeyPath& key) {
  std::string path;
  for (const std::string& part : key) {
    if (!path.empty()) path.push_back('\\');
    path += FoldName(part);
  }
  return path;
}

constexpr const char* kFindChild = "SELECT id FROM keys WHERE parent = ? AND name = ?";
constexpr std::size_t kMaxCachedKeys = 100000;

HiveValue ReadValueRow(CStatement& row) {
  return HiveValue{row.Text(0), static_cast<DWORD>(row.Integer(1)), row.Blob(2)};
}

}  // namespace

CSqliteHive::CSqliteHive(std::function<std::string()> fileName, mode_t newFolderMode)
    : hiveFile(std::move(fileName)), folderMode(newFolderMode) {}

CSqliteHive::~CSqliteHive() { Disconnect(); }

void CSqliteHive::Disconnect() {
  for (auto& [sql, statement] : statements) sqlite3_finalize(statement);
  statements.clear();
  keyIds.clear();
  seenDataVersion = -1;
  if (db != nullptr) sqlite3_close(db);
  db = nullptr;
  openPath.clear();
}

sqlite3_stmt* CSqliteHive::Statement(const char* sql) {
  auto found = statements.find(sql);
  if (found != statements.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
      SQLITE_OK) {
    return nullptr;  // not cached: the next use tries again
  }
  statements.emplace(sql, statement);
  return statement;
}

bool CSqliteHive::Writable() {
  std::string file = hiveFile();
  struct stat info {};
  if (stat(file.c_str(), &info) == 0) return CanWrite(file) && CanWrite(ParentOf(file));
  // Not there yet: it can be made when its nearest existing folder is writable.
  std::string folder = ParentOf(file);
  while (stat(folder.c_str(), &info) != 0 && folder != "/" && folder != ".") {
    folder = ParentOf(folder);
  }
  return S_ISDIR(info.st_mode) && CanWrite(folder);
}

DWORD CSqliteHive::Connect(Mode mode) {
  std::string path = hiveFile();
  bool write = mode == Mode::kWrite;
  if (db != nullptr && path == openPath && (openForWrite || !write)) return ERROR_SUCCESS;
  Disconnect();
  struct stat info {};
  bool exists = stat(path.c_str(), &info) == 0;
  if (!exists && !write) return ERROR_FILE_NOT_FOUND;
  if (write && !MakeFolders(ParentOf(path), folderMode)) return ERROR_ACCESS_DENIED;
  bool readWrite = write || Writable();
  int flags = readWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
  auto fail = [&](int code) -> DWORD {
    Disconnect();
    if (IsDamaged(code) || !write) return ERROR_BADDB;
    return ERROR_CANTWRITE;
  };
  int code = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) return fail(code);
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  if (readWrite) {
    // Write-ahead log: readers, whoever they are, never hold a writer back.
    // The log and its index stay when the last writer closes (persistent
    // log), so users who may read the hive but not create files beside it
    // can still open it; they share that index read-only. A commit is
    // durable once the log is synced at its next checkpoint, as a Windows
    // hive is once flushed: after a power loss the hive is whole, the last
    // changes may be missing.
    int persist = 1;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    // A hive still in use by a reader of the old journal format changes
    // over at a later open; only a damaged file stops here.
    code = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (IsDamaged(code)) return fail(code);
    code = sqlite3_exec(db, "PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=1048576;",
                        nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) return fail(code);
  } else {
    CStatement tables(
        Statement("SELECT count(*) FROM sqlite_master WHERE name IN ('keys','vals')"));
    code = tables.Step();
    if (code != SQLITE_ROW) return fail(code);
    if (tables.Integer(0) != 2) {
      Disconnect();
      return ERROR_FILE_NOT_FOUND;  // created by someone, never written: empty
    }
  }
  openPath = path;
  openForWrite = readWrite;
  return ERROR_SUCCESS;
}

DWORD CSqliteHive::Run(Mode mode, DWORD missingResult, const std::function<DWORD()>& body) {
  const bool write = mode == Mode::kWrite;
  if (groupOpen) {
    // Inside the group's transaction nobody else changes the hive; a
    // savepoint keeps this change whole on its own.
    if (!write) return body();
    if (sqlite3_exec(db, "SAVEPOINT change", nullptr, nullptr, nullptr) != SQLITE_OK) {
      return ERROR_CANTWRITE;
    }
    DWORD status = body();
    if (status != ERROR_SUCCESS) {
      sqlite3_exec(db, "ROLLBACK TO change", nullptr, nullptr, nullptr);
      keyIds.clear();
    }
    sqlite3_exec(db, "RELEASE change", nullptr, nullptr, nullptr);
    return status;
  }
  DWORD status = Connect(mode);
  if (status == ERROR_FILE_NOT_FOUND) return missingResult;
  if (status != ERROR_SUCCESS) return status;
  int code = sqlite3_exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) return IsDamaged(code) || !write ? ERROR_BADDB : ERROR_CANTWRITE;
  {
    // Another connection's commit may have moved or removed keys.
    CStatement version(Statement("PRAGMA data_version"));
    code = version.Step();
    if (code != SQLITE_ROW) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      return IsDamaged(code) || !write ? ERROR_BADDB : ERROR_CANTWRITE;
    }
    if (version.Integer(0) != seenDataVersion) keyIds.clear();
    seenDataVersion = version.Integer(0);
  }
  if (write && grouping) {
    groupOpen = true;  // committed by EndGroup
    return Run(mode, missingResult, body);
  }
  status = body();
  if (status == ERROR_SUCCESS || !write) {
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return status;
    if (write) status = ERROR_CANTWRITE;
  }
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  keyIds.clear();  // may name keys the rollback took away
  return status;
}

void CSqliteHive::BeginGroup() { grouping = true; }

DWORD CSqliteHive::EndGroup() {
  grouping = false;
  if (!groupOpen) return ERROR_SUCCESS;
  groupOpen = false;
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return ERROR_SUCCESS;
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  keyIds.clear();
  return ERROR_CANTWRITE;
}

DWORD CSqliteHive::FindFolded(std::string_view folded, sqlite3_int64* id) {
  if (folded.empty()) {
    *id = 0;
    return ERROR_SUCCESS;
  }
  auto cached = keyIds.find(std::string(folded));
  if (cached != keyIds.end()) {
    *id = cached->second;
    return ERROR_SUCCESS;
  }
  std::size_t slash = folded.find_last_of('\\');
  std::string_view name = slash == std::string_view::npos ? folded : folded.substr(slash + 1);
  sqlite3_int64 parent = 0;
  if (slash != std::string_view::npos) {
    DWORD status = FindFolded(folded.substr(0, slash), &parent);
    if (status != ERROR_SUCCESS) return status;
  }
  CStatement find(Statement(kFindChild));
  find.Bind(1, parent).Bind(2, name);
  int step = find.Step();
  if (step == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (step != SQLITE_ROW) return ERROR_BADDB;
  *id = find.Integer(0);
  if (keyIds.size() >= kMaxCachedKeys) keyIds.clear();
  keyIds.emplace(folded, *id);
  return ERROR_SUCCESS;
}

DWORD CSqliteHive::FindKey(const KeyPath& key, sqlite3_int64* id) {
  return FindFolded(FoldedPath(key), id);
}

DWORD CSqliteHive::KeyExists(const KeyPath& key) {
  return Run(Mode::kRead, key.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND, [&] {
    sqlite3_int64 id;
    return FindKey(key, &id);
  });
}

DWORD CSqliteHive::CreateKey(const KeyPath& key, bool* created) {
  *created = false;
  return Run(Mode::kWrite, ERROR_CANTWRITE, [&]() -> DWORD {
    sqlite3_int64 id = 0;
    std::string folded;
    for (const std::string& part : key) {
      if (!folded.empty()) folded.push_back('\\');
      folded += FoldName(part);
      sqlite3_int64 parent = id;
      DWORD status = FindFolded(folded, &id);
      if (status == ERROR_SUCCESS) {
        *created = false;
        continue;
      }
      if (status != ERROR_FILE_NOT_FOUND) return status;
      CStatement insert(Statement("INSERT INTO keys(parent, name) VALUES(?, ?)"));
      insert.Bind(1, parent).Bind(2, part);
      if (insert.Step() != SQLITE_DONE) return ERROR_CANTWRITE;
      id = sqlite3_last_insert_rowid(db);
      keyIds.emplace(folded, id);
      *created = true;
    }
    return ERROR_SUCCESS;
  });
}

DWORD CSqliteHive::DeleteKey(const KeyPath& key, bool recursive) {
  return Run(Mode::kWrite, ERROR_FILE_NOT_FOUND, [&]() -> DWORD {
    sqlite3_int64 id;
    DWORD status = FindKey(key, &id);
    if (status != ERROR_SUCCESS) return status;
    CStatement children(Statement("SELECT count(*) FROM keys WHERE parent = ?"));
    children.Bind(1, id);
    if (children.Step() != SQLITE_ROW) return ERROR_BADDB;
    if (children.Integer(0) > 0 && !recursive) return ERROR_ACCESS_DENIED;
    static const char* const kDeletes[] = {
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
        "DELETE FROM vals WHERE key IN tree",
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
        "DELETE FROM keys WHERE id IN tree",
    };
    keyIds.clear();  // the removed keys' ids may be given to new keys
    for (const char* sql : kDeletes) {
      CStatement remove(Statement(sql));
      remove.Bind(1, id);
      if (remove.Step() != SQLITE_DONE) return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
  });
}

DWORD CSqliteHive::ListSubkeys(const KeyPath& key, std::vector<std::string>* names) {
  names->clear();
  return Run(Mode::kRead, key.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND, [&]() -> DWORD {
    sqlite3_int64 id;
    DWORD status = FindKey(key, &id);
    if (status != ERROR_SUCCESS) return status;
    CStatement list(Statement("SELECT name FROM keys WHERE parent = ? ORDER BY name"));
    list.Bind(1, id);
    int step;
    while ((step = list.Step()) == SQLITE_ROW) names->push_back(list.Text(0));
    return step == SQLITE_DONE ? ERROR_SUCCESS : ERROR_BADDB;
  });
}

DWORD CSqliteHive::GetValue(const KeyPath& key, const std::string& name, HiveValue* value) {
  return Run(Mode::kRead, ERROR_FILE_NOT_FOUND, [&]() -> DWORD {
    sqlite3_int64 id;
    DWORD status = FindKey(key, &id);
    if (status != ERROR_SUCCESS) return status;
    CStatement get(Statement("SELECT name, type, data FROM vals WHERE key = ? AND name = ?"));
    get.Bind(1, id).Bind(2, name);
    int step = get.Step();
    if (step == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (step != SQLITE_ROW) return ERROR_BADDB;
    *value = ReadValueRow(get);
    return ERROR_SUCCESS;
  });
}

DWORD CSqliteHive::SetValue(const KeyPath& key, const HiveValue& value) {
  return Run(Mode::kWrite, ERROR_CANTWRITE, [&]() -> DWORD {
    sqlite3_int64 id;
    DWORD status = FindKey(key, &id);
    if (status != ERROR_SUCCESS) return status;
    // A replaced value takes the spelling of its newest writer, as on Windows.
    CStatement remove(Statement("DELETE FROM vals WHERE key = ? AND name = ?"));
    remove.Bind(1, id).Bind(2, value.name);
    if (remove.Step() != SQLITE_DONE) return ERROR_CANTWRITE;
    CStatement insert(Statement("INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?)"));
    insert.Bind(1, id).Bind(2, value.name).Bind(3, static_cast<sqlite3_int64>(value.type));
    insert.BindBlob(4, value.data);
    return insert.Step() == SQLITE_DONE ? ERROR_SUCCESS : ERROR_CANTWRITE;
  });
}

DWORD CSqliteHive::DeleteValue(const KeyPath& key, const std::string& name) {
  return Run(Mode::kWrite, ERROR_FILE_NOT_FOUND, [&]() -> DWORD {
    sqlite3_int64 id;
    DWORD status = FindKey(key, &id);
    if (status != ERROR_SUCCESS) return status;
    CStatement remove(Statement("DELETE FROM vals WHERE key = ? AND name = ?"));
    remove.Bind(1, id).Bind(2, name);
    if (remove.Step() != SQLITE_DONE) return ERROR_CANTWRITE;
    return sqlite3_changes(db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

DWORD CSqliteHive::ListValues(const KeyPath& key, std::vector<HiveValue>* values) {
  values->clear();
  return Run(Mode::kRead, key.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND, [&]() -> DWORD {
    sqlite3_int64 id;
    DWORD status = FindKey(key, &id);
    if (status != ERROR_SUCCESS) return status;
    CStatement list(Statement("SELECT name, type, data FROM vals WHERE key = ? ORDER BY name"));
    list.Bind(1, id);
    int step;
    while ((step = list.Step()) == SQLITE_ROW) values->push_back(ReadValueRow(list));
    return step == SQLITE_DONE ? ERROR_SUCCESS : ERROR_BADDB;
  });
}

}  // namespace lx2d::platform
