// A reader of a hive file that holds its read transaction, as another user's
// program could: opens FILE read-only with SQLite itself, begins a
// transaction, reads, writes READY_FILE and keeps the transaction for
// SECONDS. Exit status 0 when the hold lasted, 1 when the hive could not be
// read, 2 for bad arguments.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 1;
  sqlite3_stmt* count = nullptr;
  if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db, "SELECT count(*) FROM vals", -1, &count, nullptr) != SQLITE_OK ||
      sqlite3_step(count) != SQLITE_ROW) {
    std::fprintf(stderr, "registry_reader_hold: %s\n", sqlite3_errmsg(db));
    return 1;
  }
  sqlite3_finalize(count);  // the transaction, and its read lock, stay
  std::FILE* ready = std::fopen(argv[2], "w");
  if (ready == nullptr) return 1;
  std::fclose(ready);
  sleep(static_cast<unsigned>(std::atoi(argv[3])));
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return 0;
}
