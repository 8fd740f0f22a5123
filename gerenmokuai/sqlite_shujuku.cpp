// Connection handling and the statement primitives of the database object.
#include "gerenmokuai/sqlite_shujuku.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "port/clock.h"
#include "port/message_pump.h"
#include "port/program_path.h"
#include "port/thread.h"

namespace GeRenMoKuai {

namespace {

constexpr int kMaxPooledOut = 50;
constexpr int kPoolWaitMs = 30;
constexpr int kPumpSliceMs = 10;

std::string upper_ascii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string synchronous_text(int synchronous) {
  switch (synchronous) {
    case 1:
      return "FULL";
    case 3:
      return "OFF";
    default:
      return "NORMAL";
  }
}

// The executable's file name without folder and extension.
std::string executable_base_name() {
  std::string name = port::program_path();
  if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

// A wait that keeps the calling thread's window responsive.
void wait_pumping(int ms) {
  for (int waited = 0; waited < ms; waited += kPumpSliceMs) {
    port::sleep_ms(std::min(kPumpSliceMs, ms - waited));
    port::pump_messages();
  }
}

}  // namespace

MoKuai_class_sqliteShuJuKu::MoKuai_class_sqliteShuJuKu(Configuration configuration)
    : configuration_(configuration),
      calls_(configuration, entries_),
      cross_process_lock_(configuration),
      pool_lock_(configuration) {}

MoKuai_class_sqliteShuJuKu::~MoKuai_class_sqliteShuJuKu() {
  if (!dbwarden()) return;
  close();
  unbind_library(parameters_.library_handle, entries_);
  cross_process_lock_.close_handle();
}

bool MoKuai_class_sqliteShuJuKu::bound() const {
  return shiftwell() || parameters_.library_handle.load() != nullptr;
}

std::uint64_t MoKuai_class_sqliteShuJuKu::start_time() const {
  return shiftwell() ? port::tick_count_ms() : port::tick_count32();
}

int MoKuai_class_sqliteShuJuKu::pool_use_count() {
  pool_lock_.enter();
  const int count = pool_use_count_;
  pool_lock_.leave();
  return count;
}

int MoKuai_class_sqliteShuJuKu::idle_count() {
  pool_lock_.enter();
  const int count = static_cast<int>(idle_connections_.size());
  pool_lock_.leave();
  return count;
}

bool MoKuai_class_sqliteShuJuKu::close() {
  if (dbwarden()) {
    pool_use_count_ = 0;
    use_count_ = 0;
    lock_depth_ = 0;
    pooled_in_use_ = 0;
    if (!bound()) return false;
  }
  if (main_connection_) {
    calls_.close(main_connection_);
    main_connection_ = nullptr;
  }
  if (shiftwell()) cross_process_lock_.close_handle();
  pool_lock_.enter();
  std::deque<sqlite3*> idle;
  idle.swap(idle_connections_);
  pool_lock_.leave();
  for (sqlite3* connection : idle) {
    if (connection) calls_.close(connection);
  }
  return true;
}

void MoKuai_class_sqliteShuJuKu::apply_settings(const std::string& path, int flags, int reuse_limit,
                                                int synchronous) {
  parameters_.path_utf8 = path;
  parameters_.synchronous_mode = synchronous_text(synchronous);
  parameters_.open_flags = std::max(flags, sqlite_api::kOpenReadWrite) | sqlite_api::kOpenNoMutex;
  parameters_.reuse_limit = std::max(reuse_limit, 1000);
}

bool MoKuai_class_sqliteShuJuKu::open(const std::string& path, const ShiftwellLogRoutine& log_routine,
                                      int flags, const std::string& lock_name, std::optional<int> reuse_limit,
                                      std::optional<int> synchronous) {
  if (!shiftwell()) return false;
  close();
  if (log_routine) log_callback_ = log_routine;
  const bool locked = cross_process_lock_.create(derive_mutex_name(configuration_, lock_name, path));
  apply_settings(path, flags, reuse_limit.value_or(0), synchronous.value_or(0));
  use_count_ = 0;
  main_connection_ = nullptr;
  pool_use_count_ = 0;
  pooled_in_use_ = 0;
  switch_to_wal();
  return locked;
}

bool MoKuai_class_sqliteShuJuKu::open(const std::string& library_path, const std::string& path, int flags,
                                      const std::string& lock_name, int reuse_limit, int synchronous,
                                      const DbwardenLogRoutine& log_routine) {
  if (!dbwarden()) return false;
  close();
  if (!bind_library(library_path, parameters_.library_handle, entries_)) return false;
  parameters_.log_callback = log_routine;
  module_name_ = executable_base_name();
  const bool locked = cross_process_lock_.create(derive_mutex_name(configuration_, lock_name, path));
  apply_settings(path, flags, reuse_limit, synchronous);
  switch_to_wal();
  return locked;
}

void MoKuai_class_sqliteShuJuKu::switch_to_wal() {
  std::string journal_mode;
  query_fields("PRAGMA journal_mode", journal_mode);
  if (upper_ascii(journal_mode) == "WAL") return;
  connect();
  exec(shiftwell() ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode = WAL");
  disconnect();
}

void MoKuai_class_sqliteShuJuKu::wait_for_cross_process_lock() {
  if (!cross_process_lock_.has_handle()) return;
  if (dbwarden()) {
    cross_process_lock_.wait(-1);
    return;
  }
  while (cross_process_lock_.wait(100) == port::WaitResult::timed_out) port::pump_messages();
}

bool MoKuai_class_sqliteShuJuKu::connect(int skip) {
  if (skip == 1) return true;
  if (!bound()) return false;
  wait_for_cross_process_lock();
  lock_depth_ += 1;
  owner_thread_ = port::current_thread_id();
  if (main_connection_) return true;
  if (calls_.open_v2(parameters_.path_utf8, &main_connection_, parameters_.open_flags) != sqlite_api::kOk) {
    if (shiftwell()) {
      emit(4, "[sql][连接数据库失败]");
    } else {
      report(1, "连接", "-", "连接数据库失败");
    }
    return false;
  }
  exec("PRAGMA synchronous = " + parameters_.synchronous_mode);
  exec(shiftwell() ? "PRAGMA cache_size = 10000" : "PRAGMA cache_size  = -64000");
  return true;
}

bool MoKuai_class_sqliteShuJuKu::disconnect(int skip) {
  if (skip == 1) return true;
  if (!bound()) return false;
  if (lock_depth_ == 1) {
    use_count_ += 1;
    if (use_count_ >= parameters_.reuse_limit) {
      use_count_ = 0;
      if (main_connection_) calls_.close(main_connection_);
      main_connection_ = nullptr;
    }
  }
  lock_depth_ -= 1;
  owner_thread_ = 0;
  cross_process_lock_.release();
  return true;
}

sqlite3* MoKuai_class_sqliteShuJuKu::take_next_idle() {
  sqlite3* handle = nullptr;
  if (shiftwell()) {
    handle = idle_connections_.front();
    idle_connections_.pop_front();
  } else {
    handle = idle_connections_.back();
    idle_connections_.pop_back();
  }
  return handle;
}

// Called under pool_lock: closes one idle connection now and then, so that a
// burst of readers does not leave its connections behind.
void MoKuai_class_sqliteShuJuKu::trim_pool() {
  const int idle = static_cast<int>(idle_connections_.size());
  const int surplus = idle - pooled_in_use_.load();
  bool close_one = false;
  if (pool_use_count_ > parameters_.reuse_limit) {
    pool_use_count_ = 0;
    close_one = idle > 0;
  } else if (surplus >= 2 && pool_use_count_ > 200 / surplus) {
    pool_use_count_ = 0;
    close_one = true;
  }
  if (close_one) {
    if (sqlite3* handle = take_next_idle()) calls_.close(handle);
  }
}

sqlite3* MoKuai_class_sqliteShuJuKu::acquire_connection() {
  if (!bound()) return nullptr;
  while (pooled_in_use_.load() > kMaxPooledOut - 1) wait_pumping(kPoolWaitMs);
  const std::uint32_t self = port::current_thread_id();
  if (owner_thread_.load() == self) return main_connection_;
  pool_lock_.enter();
  pooled_in_use_ += 1;
  pool_use_count_ += 1;
  trim_pool();
  sqlite3* handle = nullptr;
  if (idle_connections_.empty()) {
    calls_.open_v2(parameters_.path_utf8, &handle, parameters_.open_flags);
    if (dbwarden()) {
      wait_for_cross_process_lock();
      exec_on(handle, "PRAGMA synchronous = " + parameters_.synchronous_mode);
      exec_on(handle, "PRAGMA cache_size  = -64000");
      cross_process_lock_.release();
    }
  } else {
    handle = take_next_idle();
  }
  pool_lock_.leave();
  return handle;
}

void MoKuai_class_sqliteShuJuKu::release_connection(sqlite3* connection) {
  if (!bound()) return;
  if (owner_thread_.load() == port::current_thread_id()) return;
  pool_lock_.enter();
  pooled_in_use_ -= 1;
  idle_connections_.push_back(connection);
  pool_lock_.leave();
}

namespace {
// Why the calling thread's last failed exec failed; the report channel is
// dormant without a log routine, and callers that log failures need this.
thread_local std::string tl_last_error;
}  // namespace

std::string MoKuai_class_sqliteShuJuKu::last_error_message() { return tl_last_error; }

bool MoKuai_class_sqliteShuJuKu::run_exec(sqlite3* connection, const std::string& sql, bool timed,
                                          const char* method) {
  const std::uint64_t start = start_time();
  char* error_message = nullptr;
  const int rc = calls_.exec(connection, sql, &error_message);
  const bool ok = shiftwell() ? rc == sqlite_api::kOk && error_message == nullptr : rc == sqlite_api::kOk;
  if (!ok) {
    tl_last_error = error_message ? error_message : "SQLite result code " + std::to_string(rc);
    if (shiftwell()) {
      emit(4, "[sql][执行sql错误]:" + sql + "错误数据:" + (error_message ? error_message : ""));
    } else if (error_message) {
      report(1, method, sql, error_message);
    }
  }
  if (error_message) calls_.free(error_message);
  if (timed) record_timing_any(method, start, sql, 1);
  return ok;
}

bool MoKuai_class_sqliteShuJuKu::exec(const std::string& sql) {
  if (!bound()) return false;
  return run_exec(main_connection_, sql, true, "执行sql");
}

bool MoKuai_class_sqliteShuJuKu::exec_on(sqlite3* connection, const std::string& sql) {
  if (!bound()) return false;
  return run_exec(connection, sql, false, "内部_执行sql");
}

std::string MoKuai_class_sqliteShuJuKu::column_text(sqlite3_stmt* statement, int column) {
  if (!bound()) return {};
  const unsigned char* text = calls_.column_text(statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

bool MoKuai_class_sqliteShuJuKu::query_fields(const std::string& sql, std::string& first,
                                              std::initializer_list<std::string*> more) {
  if (!bound()) return false;
  const std::uint64_t start = start_time();
  const std::size_t limit = shiftwell() ? kShiftwellFields : kDbwardenFields;
  std::vector<std::string*> outputs{&first};
  for (std::string* output : more) {
    if (!output || outputs.size() == limit) break;
    outputs.push_back(output);
  }
  auto clear_outputs = [&outputs] {
    for (std::string* output : outputs) output->clear();
  };

  sqlite3* connection = acquire_connection();
  sqlite3_stmt* statement = calls_.prepare(connection, sql);
  if (!statement) {
    release_connection(connection);
    if (shiftwell()) {
      emit(4, "[sql][查询返回字段]:" + sql);
    } else {
      clear_outputs();
      report(1, "查询返回字段", sql, "查询失败");
    }
    return false;
  }
  if (calls_.step(statement) != sqlite_api::kRow) {
    calls_.finalize(statement);
    release_connection(connection);
    clear_outputs();
    return false;
  }
  if (shiftwell()) record_timing(start, sql, 0);
  for (std::size_t i = 0; i < outputs.size(); ++i) *outputs[i] = column_text(statement, static_cast<int>(i));
  calls_.finalize(statement);
  release_connection(connection);
  if (dbwarden()) record_timing("查询返回字段", static_cast<std::uint32_t>(start), sql, 0);
  return true;
}

}  // namespace GeRenMoKuai
