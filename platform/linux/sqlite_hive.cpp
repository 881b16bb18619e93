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

// A prepared statement, finalized at scope end.
class CStatement {
 public:
  CStatement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) statement = nullptr;
  }
  ~CStatement() { sqlite3_finalize(statement); }
  CStatement(const CStatement&) = delete;
  CStatement& operator=(const CStatement&) = delete;

  bool Valid() const { return statement != nullptr; }
  CStatement& Bind(int index, sqlite3_int64 value) {
    sqlite3_bind_int64(statement, index, value);
    return *this;
  }
  CStatement& Bind(int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.c_str(), static_cast<int>(text.size()),
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

HiveValue ReadValueRow(CStatement& row) {
  return HiveValue{row.Text(0), static_cast<DWORD>(row.Integer(1)), row.Blob(2)};
}

}  // namespace

CSqliteHive::CSqliteHive(std::function<std::string()> fileName, mode_t newFolderMode)
    : hiveFile(std::move(fileName)), folderMode(newFolderMode) {}

CSqliteHive::~CSqliteHive() { Disconnect(); }

void CSqliteHive::Disconnect() {
  if (db != nullptr) sqlite3_close(db);
  db = nullptr;
  openPath.clear();
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
  if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    Disconnect();
    return write ? ERROR_CANTWRITE : ERROR_BADDB;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  if (readWrite && sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    Disconnect();
    return write ? ERROR_CANTWRITE : ERROR_BADDB;
  }
  if (!readWrite) {
    CStatement tables(db, "SELECT count(*) FROM sqlite_master WHERE name IN ('keys','vals')");
    if (tables.Step() != SQLITE_ROW) {
      Disconnect();
      return ERROR_BADDB;
    }
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
  DWORD status = Connect(mode);
  if (status == ERROR_FILE_NOT_FOUND) return missingResult;
  if (status != ERROR_SUCCESS) return status;
  const char* begin = mode == Mode::kWrite ? "BEGIN IMMEDIATE" : "BEGIN";
  if (sqlite3_exec(db, begin, nullptr, nullptr, nullptr) != SQLITE_OK) {
    return mode == Mode::kWrite ? ERROR_CANTWRITE : ERROR_BADDB;
  }
  status = body();
  if (status == ERROR_SUCCESS || mode == Mode::kRead) {
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return status;
    if (mode == Mode::kWrite) status = ERROR_CANTWRITE;
  }
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return status;
}

DWORD CSqliteHive::FindKey(const KeyPath& key, sqlite3_int64* id) {
  *id = 0;
  for (const std::string& part : key) {
    CStatement find(db, "SELECT id FROM keys WHERE parent = ? AND name = ?");
    find.Bind(1, *id).Bind(2, part);
    int step = find.Step();
    if (step == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (step != SQLITE_ROW) return ERROR_BADDB;
    *id = find.Integer(0);
  }
  return ERROR_SUCCESS;
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
    for (const std::string& part : key) {
      CStatement find(db, "SELECT id FROM keys WHERE parent = ? AND name = ?");
      find.Bind(1, id).Bind(2, part);
      int step = find.Step();
      if (step == SQLITE_ROW) {
        id = find.Integer(0);
        *created = false;
        continue;
      }
      if (step != SQLITE_DONE) return ERROR_BADDB;
      CStatement insert(db, "INSERT INTO keys(parent, name) VALUES(?, ?)");
      insert.Bind(1, id).Bind(2, part);
      if (insert.Step() != SQLITE_DONE) return ERROR_CANTWRITE;
      id = sqlite3_last_insert_rowid(db);
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
    CStatement children(db, "SELECT count(*) FROM keys WHERE parent = ?");
    children.Bind(1, id);
    if (children.Step() != SQLITE_ROW) return ERROR_BADDB;
    if (children.Integer(0) > 0 && !recursive) return ERROR_ACCESS_DENIED;
    const char* kDeletes[] = {
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
        "DELETE FROM vals WHERE key IN tree",
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
        "DELETE FROM keys WHERE id IN tree",
    };
    for (const char* sql : kDeletes) {
      CStatement remove(db, sql);
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
    CStatement list(db, "SELECT name FROM keys WHERE parent = ? ORDER BY name");
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
    CStatement get(db, "SELECT name, type, data FROM vals WHERE key = ? AND name = ?");
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
    CStatement remove(db, "DELETE FROM vals WHERE key = ? AND name = ?");
    remove.Bind(1, id).Bind(2, value.name);
    if (remove.Step() != SQLITE_DONE) return ERROR_CANTWRITE;
    CStatement insert(db, "INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?)");
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
    CStatement remove(db, "DELETE FROM vals WHERE key = ? AND name = ?");
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
    CStatement list(db, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY name");
    list.Bind(1, id);
    int step;
    while ((step = list.Step()) == SQLITE_ROW) values->push_back(ReadValueRow(list));
    return step == SQLITE_DONE ? ERROR_SUCCESS : ERROR_BADDB;
  });
}

}  // namespace lx2d::platform
