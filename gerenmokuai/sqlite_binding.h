// The run-time binding of the database library to a SQLite library file and
// the calls made through it. Shiftwell's configuration shares one binding per
// process, made on the first call from "pellsql.so" beside the program and
// never undone; a missing file or entry ends the program. Dbwarden's
// configuration binds each database object to the file given to its `open`
// and checks every entry before calling it, so a missing entry makes the call
// a no-op. SqliteCalls may be used from any thread; bind_library and
// unbind_library run on the thread that opens or destroys the owning object.
#pragma once

#include <atomic>
#include <string>

#include "gerenmokuai/configuration.h"
#include "gerenmokuai/sqlite_api.h"
#include "port/dynamic_library.h"

namespace GeRenMoKuai {

// Dbwarden's table of entry points, in the order they are looked up.
struct ZiDingYi_sqliteHanShu {
  sqlite_api::CloseFn sqlite3_close = nullptr;
  sqlite_api::OpenV2Fn sqlite3_open_v2 = nullptr;
  sqlite_api::PrepareV2Fn sqlite3_prepare_v2 = nullptr;
  sqlite_api::StepFn sqlite3_step = nullptr;
  sqlite_api::ColumnTextFn sqlite3_column_text = nullptr;
  sqlite_api::FinalizeFn sqlite3_finalize = nullptr;
  sqlite_api::ColumnIntFn sqlite3_column_int = nullptr;
  sqlite_api::ExecFn sqlite3_exec = nullptr;
  sqlite_api::FreeFn sqlite3_free = nullptr;
  sqlite_api::WalCheckpointV2Fn sqlite3_wal_checkpoint_v2 = nullptr;
};

// Loads the library at path and fills entries, unless library_handle is
// already set (the first file stays bound). A missing or unloadable file
// leaves everything unbound. Returns whether the object is bound afterwards.
bool bind_library(const std::string& path, std::atomic<port::DynamicLibrary*>& library_handle,
                  ZiDingYi_sqliteHanShu& entries);
// Unloads the library and clears the table.
void unbind_library(std::atomic<port::DynamicLibrary*>& library_handle, ZiDingYi_sqliteHanShu& entries);

// Whether an entry may be called: not null, not below 0xFFFF, and executable code.
bool entry_callable(const void* entry);

// Routes each SQLite call to the binding of the configuration. Dbwarden's
// skipped calls have no effect and return 0 (success); calls on a null
// connection are refused with SQLITE_MISUSE instead of being made, since
// SQLite does not guard every entry against one. Entries that only
// Shiftwell binds fail in Dbwarden's configuration.
class SqliteCalls {
 public:
  SqliteCalls(Configuration configuration, const ZiDingYi_sqliteHanShu& dbwarden_entries);

  int open_v2(const std::string& path_utf8, sqlite3** db, int flags) const;
  int close(sqlite3* db) const;
  // *error_message receives SQLite's message (to be freed with free) or stays null.
  int exec(sqlite3* db, const std::string& sql, char** error_message) const;
  void free(void* memory) const;
  // Null when no statement was prepared. The byte count includes the terminating zero.
  sqlite3_stmt* prepare(sqlite3* db, const std::string& sql) const;
  int step(sqlite3_stmt* statement) const;
  const unsigned char* column_text(sqlite3_stmt* statement, int column) const;
  int column_int(sqlite3_stmt* statement, int column) const;
  int finalize(sqlite3_stmt* statement) const;
  int wal_checkpoint_v2(sqlite3* db, int mode, int* log_frames, int* checkpointed_frames) const;
  // Shiftwell's configuration only; null, null, error and error in Dbwarden's.
  const char* libversion() const;
  sqlite3_backup* backup_init(sqlite3* target, sqlite3* source) const;
  int backup_step(sqlite3_backup* backup, int pages) const;
  int backup_finish(sqlite3_backup* backup) const;
  void sleep(int milliseconds) const;

 private:
  bool shiftwell() const { return configuration_ == Configuration::shiftwell; }

  Configuration configuration_;
  const ZiDingYi_sqliteHanShu& entries_;
};

}  // namespace GeRenMoKuai
