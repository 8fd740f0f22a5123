#include "gerenmokuai/sqlite_binding.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>

#include "port/fatal.h"
#include "port/file.h"
#include "port/program_path.h"

namespace GeRenMoKuai {

namespace {

constexpr const char* kShiftwellLibrary = "pellsql.so";

// Shiftwell's fifteen entries, bound together on the first call of any of them.
struct ShiftwellEntries {
  sqlite_api::OpenV2Fn open_v2 = nullptr;
  sqlite_api::CloseFn close = nullptr;
  sqlite_api::ExecFn exec = nullptr;
  sqlite_api::FreeFn free = nullptr;
  sqlite_api::PrepareV2Fn prepare_v2 = nullptr;
  sqlite_api::StepFn step = nullptr;
  sqlite_api::ColumnIntFn column_int = nullptr;
  sqlite_api::ColumnTextFn column_text = nullptr;
  sqlite_api::FinalizeFn finalize = nullptr;
  sqlite_api::WalCheckpointV2Fn wal_checkpoint_v2 = nullptr;
  sqlite_api::LibversionFn libversion = nullptr;
  sqlite_api::BackupInitFn backup_init = nullptr;
  sqlite_api::BackupStepFn backup_step = nullptr;
  sqlite_api::BackupFinishFn backup_finish = nullptr;
  sqlite_api::SleepFn sleep = nullptr;
  // Loaded once and never unloaded (not even at exit, when connections may
  // still be open).
  port::DynamicLibrary* library = nullptr;
};

template <typename Fn>
void resolve(const port::DynamicLibrary& library, const char* name, Fn& slot) {
  void* address = library.symbol(name);
  if (!address) {
    port::fatal_error(std::string("The function ") + name + " was not found in " + kShiftwellLibrary + ".");
  }
  slot = reinterpret_cast<Fn>(address);
}

void bind_shiftwell(ShiftwellEntries& e, const char* first_caller) {
  // The program's own folder first, then the system's search order: where a
  // library named by its file name is looked for first on the target system.
  std::string first_error;
  std::unique_ptr<port::DynamicLibrary> library =
      port::DynamicLibrary::load(port::program_directory() + "/" + kShiftwellLibrary, &first_error);
  std::string error;
  if (!library) library = port::DynamicLibrary::load(kShiftwellLibrary, &error);
  if (!library) {
    port::fatal_error(std::string("The library ") + kShiftwellLibrary + " needed for the function " +
                      first_caller + " could not be loaded: " + first_error + "; " + error);
  }
  resolve(*library, "sqlite3_open_v2", e.open_v2);
  resolve(*library, "sqlite3_close", e.close);
  resolve(*library, "sqlite3_exec", e.exec);
  resolve(*library, "sqlite3_free", e.free);
  resolve(*library, "sqlite3_prepare_v2", e.prepare_v2);
  resolve(*library, "sqlite3_step", e.step);
  resolve(*library, "sqlite3_column_int", e.column_int);
  resolve(*library, "sqlite3_column_text", e.column_text);
  resolve(*library, "sqlite3_finalize", e.finalize);
  resolve(*library, "sqlite3_wal_checkpoint_v2", e.wal_checkpoint_v2);
  resolve(*library, "sqlite3_libversion", e.libversion);
  resolve(*library, "sqlite3_backup_init", e.backup_init);
  resolve(*library, "sqlite3_backup_step", e.backup_step);
  resolve(*library, "sqlite3_backup_finish", e.backup_finish);
  resolve(*library, "sqlite3_sleep", e.sleep);
  e.library = library.release();
}

const ShiftwellEntries& shiftwell_binding(const char* caller) {
  static ShiftwellEntries entries;
  static std::once_flag once;
  std::call_once(once, [caller] { bind_shiftwell(entries, caller); });
  return entries;
}

template <typename Fn>
bool callable(Fn entry) {
  return entry_callable(reinterpret_cast<const void*>(entry));
}

}  // namespace

bool entry_callable(const void* entry) {
  if (reinterpret_cast<std::uintptr_t>(entry) < 0xFFFF) return false;
  return port::is_code_address(entry);
}

bool bind_library(const std::string& path, std::atomic<port::DynamicLibrary*>& library_handle,
                  ZiDingYi_sqliteHanShu& entries) {
  if (library_handle.load()) return true;
  if (!port::file_exists(path)) return false;
  std::unique_ptr<port::DynamicLibrary> library = port::DynamicLibrary::load(path);
  if (!library) return false;
  auto look_up = [&library](const char* name, auto& slot) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(library->symbol(name));
  };
  look_up("sqlite3_close", entries.sqlite3_close);
  look_up("sqlite3_open_v2", entries.sqlite3_open_v2);
  look_up("sqlite3_prepare_v2", entries.sqlite3_prepare_v2);
  look_up("sqlite3_step", entries.sqlite3_step);
  look_up("sqlite3_column_text", entries.sqlite3_column_text);
  look_up("sqlite3_finalize", entries.sqlite3_finalize);
  look_up("sqlite3_column_int", entries.sqlite3_column_int);
  look_up("sqlite3_exec", entries.sqlite3_exec);
  look_up("sqlite3_free", entries.sqlite3_free);
  look_up("sqlite3_wal_checkpoint_v2", entries.sqlite3_wal_checkpoint_v2);
  library_handle.store(library.release());
  return true;
}

void unbind_library(std::atomic<port::DynamicLibrary*>& library_handle, ZiDingYi_sqliteHanShu& entries) {
  entries = ZiDingYi_sqliteHanShu{};
  delete library_handle.exchange(nullptr);
}

SqliteCalls::SqliteCalls(Configuration configuration, const ZiDingYi_sqliteHanShu& dbwarden_entries)
    : configuration_(configuration), entries_(dbwarden_entries) {}

int SqliteCalls::open_v2(const std::string& path_utf8, sqlite3** db, int flags) const {
  if (shiftwell()) return shiftwell_binding("sqlite3_open_v2").open_v2(path_utf8.c_str(), db, flags, nullptr);
  if (!callable(entries_.sqlite3_open_v2)) return sqlite_api::kOk;
  return entries_.sqlite3_open_v2(path_utf8.c_str(), db, flags, nullptr);
}

int SqliteCalls::close(sqlite3* db) const {
  if (shiftwell()) return shiftwell_binding("sqlite3_close").close(db);
  if (!callable(entries_.sqlite3_close)) return sqlite_api::kOk;
  return entries_.sqlite3_close(db);
}

int SqliteCalls::exec(sqlite3* db, const std::string& sql, char** error_message) const {
  sqlite_api::ExecFn fn = nullptr;
  if (shiftwell()) {
    fn = shiftwell_binding("sqlite3_exec").exec;
  } else {
    if (!callable(entries_.sqlite3_exec)) return sqlite_api::kOk;
    fn = entries_.sqlite3_exec;
  }
  if (!db) return sqlite_api::kMisuse;
  return fn(db, sql.c_str(), nullptr, nullptr, error_message);
}

void SqliteCalls::free(void* memory) const {
  if (shiftwell()) {
    shiftwell_binding("sqlite3_free").free(memory);
  } else if (callable(entries_.sqlite3_free)) {
    entries_.sqlite3_free(memory);
  }
}

sqlite3_stmt* SqliteCalls::prepare(sqlite3* db, const std::string& sql) const {
  sqlite_api::PrepareV2Fn fn = nullptr;
  if (shiftwell()) {
    fn = shiftwell_binding("sqlite3_prepare_v2").prepare_v2;
  } else {
    if (!callable(entries_.sqlite3_prepare_v2)) return nullptr;
    fn = entries_.sqlite3_prepare_v2;
  }
  if (!db) return nullptr;
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  fn(db, sql.c_str(), static_cast<int>(sql.size() + 1), &statement, &tail);
  return statement;
}

int SqliteCalls::step(sqlite3_stmt* statement) const {
  if (shiftwell()) return shiftwell_binding("sqlite3_step").step(statement);
  if (!callable(entries_.sqlite3_step)) return sqlite_api::kOk;
  return entries_.sqlite3_step(statement);
}

const unsigned char* SqliteCalls::column_text(sqlite3_stmt* statement, int column) const {
  if (shiftwell()) return shiftwell_binding("sqlite3_column_text").column_text(statement, column);
  if (!callable(entries_.sqlite3_column_text)) return nullptr;
  return entries_.sqlite3_column_text(statement, column);
}

int SqliteCalls::column_int(sqlite3_stmt* statement, int column) const {
  if (shiftwell()) return shiftwell_binding("sqlite3_column_int").column_int(statement, column);
  if (!callable(entries_.sqlite3_column_int)) return 0;
  return entries_.sqlite3_column_int(statement, column);
}

int SqliteCalls::finalize(sqlite3_stmt* statement) const {
  if (shiftwell()) return shiftwell_binding("sqlite3_finalize").finalize(statement);
  if (!callable(entries_.sqlite3_finalize)) return sqlite_api::kOk;
  return entries_.sqlite3_finalize(statement);
}

int SqliteCalls::wal_checkpoint_v2(sqlite3* db, int mode, int* log_frames, int* checkpointed_frames) const {
  sqlite_api::WalCheckpointV2Fn fn = nullptr;
  if (shiftwell()) {
    fn = shiftwell_binding("sqlite3_wal_checkpoint_v2").wal_checkpoint_v2;
  } else {
    if (!callable(entries_.sqlite3_wal_checkpoint_v2)) return sqlite_api::kOk;
    fn = entries_.sqlite3_wal_checkpoint_v2;
  }
  if (!db) return sqlite_api::kMisuse;
  return fn(db, nullptr, mode, log_frames, checkpointed_frames);
}

const char* SqliteCalls::libversion() const {
  return shiftwell() ? shiftwell_binding("sqlite3_libversion").libversion() : nullptr;
}

sqlite3_backup* SqliteCalls::backup_init(sqlite3* target, sqlite3* source) const {
  if (!shiftwell()) return nullptr;
  sqlite_api::BackupInitFn fn = shiftwell_binding("sqlite3_backup_init").backup_init;
  if (!target || !source) return nullptr;
  return fn(target, "main", source, "main");
}

int SqliteCalls::backup_step(sqlite3_backup* backup, int pages) const {
  if (!shiftwell()) return sqlite_api::kMisuse;
  return shiftwell_binding("sqlite3_backup_step").backup_step(backup, pages);
}

int SqliteCalls::backup_finish(sqlite3_backup* backup) const {
  if (!shiftwell()) return sqlite_api::kMisuse;
  return shiftwell_binding("sqlite3_backup_finish").backup_finish(backup);
}

void SqliteCalls::sleep(int milliseconds) const {
  if (shiftwell()) shiftwell_binding("sqlite3_sleep").sleep(milliseconds);
}

}  // namespace GeRenMoKuai
