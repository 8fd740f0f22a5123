// MoKuai_class_sqliteShuJuKu, the database object of the shared library: one
// object per SQLite database file, shared by all threads of a program. Writes
// go through the main connection, which a thread holds exclusively (across
// processes) between connect and disconnect; queries take reading connections
// from a pool of up to 50, or the main connection when the calling thread
// holds it. The configuration given at construction selects Shiftwell's or
// Dbwarden's behaviour (binding, pragmas, pool order, report records).
// Any thread may call connect/disconnect, the queries and the pool
// operations; exec and the writing helpers need the caller to hold connect;
// open, close and the destructor run while no other thread uses the object.
// Nothing throws: operations answer with booleans, counts or texts.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "gerenmokuai/configuration.h"
#include "gerenmokuai/huchisuo.h"
#include "gerenmokuai/sqlite_api.h"
#include "gerenmokuai/sqlite_binding.h"
#include "port/dynamic_library.h"

namespace GeRenMoKuai {

// Shiftwell's report routine: level (4 failure, 7 timing or lock depth),
// category "代码", code 888, message.
using ShiftwellLogRoutine =
    std::function<void(int level, const std::string& category, int code, const std::string& message)>;
// Dbwarden's report routine: record type, the UTF-16LE bytes of the compact
// JSON record (no terminator), their count, and 0.
using DbwardenLogRoutine = std::function<void(int type, const unsigned char* bytes, int count, int zero)>;

// Dbwarden's connection parameters.
struct ZiDingYi_sqliteCanShu {
  std::string path_utf8;
  std::atomic<port::DynamicLibrary*> library_handle{nullptr};
  std::string synchronous_mode;
  int reuse_limit = 0;
  int open_flags = 0;
  DbwardenLogRoutine log_callback;
};

class MoKuai_class_sqliteShuJuKu {
 public:
  using Configuration = GeRenMoKuai::Configuration;
  // Rows of query_rows, each with the requested number of columns (0-based).
  using Table = std::vector<std::vector<std::string>>;

  static constexpr int kShiftwellFields = 14;
  static constexpr int kDbwardenFields = 15;

  explicit MoKuai_class_sqliteShuJuKu(Configuration configuration);
  // Shiftwell: frees its own state only; callers close first. Dbwarden:
  // closes every connection, unloads the library, closes the mutex handle.
  ~MoKuai_class_sqliteShuJuKu();
  MoKuai_class_sqliteShuJuKu(const MoKuai_class_sqliteShuJuKu&) = delete;
  MoKuai_class_sqliteShuJuKu& operator=(const MoKuai_class_sqliteShuJuKu&) = delete;

  bool close();
  // Shiftwell's open; false at once on a Dbwarden object. An empty log
  // routine counts as not given and keeps the one registered before.
  // Result: whether the cross-process lock has a handle.
  bool open(const std::string& path, const ShiftwellLogRoutine& log_routine, int flags,
            const std::string& lock_name, std::optional<int> reuse_limit = std::nullopt,
            std::optional<int> synchronous = std::nullopt);
  // Dbwarden's open; false at once on a Shiftwell object, and false when the
  // library cannot be bound.
  bool open(const std::string& library_path, const std::string& path, int flags, const std::string& lock_name,
            int reuse_limit, int synchronous, const DbwardenLogRoutine& log_routine);
  // skip = 1: true at once, nothing done.
  bool connect(int skip = 0);
  bool disconnect(int skip = 0);

  bool exec(const std::string& sql);
  // SQLite's message for the calling thread's last exec or exec_on that
  // failed (on any object); kept until the next failure on that thread.
  static std::string last_error_message();
  // Shiftwell only (0 on a Dbwarden object).
  int query_count(const std::string& table, const std::string& condition = "");
  bool exec_batch(const std::vector<std::string>& statements);
  // Reads the first row of sql into first and the outputs in more, in order;
  // a null pointer in more ends the list, as does the configuration's limit
  // (14 or 15 outputs in all). True when a row was read; false with every
  // considered output emptied when the query has no row; false with the
  // outputs unchanged (Shiftwell) or emptied (Dbwarden) when it cannot be
  // prepared.
  bool query_fields(const std::string& sql, std::string& first,
                    std::initializer_list<std::string*> more = {});
  // Every row of sql, columns 0 to column_count - 1 ("" beyond the
  // statement's columns). Returns the number of rows; column_count < 1 runs
  // nothing and returns 0.
  int query_rows(int column_count, const std::string& sql, Table& table);
  std::string version();
  bool clear_table(const std::string& table);
  bool drop_table(const std::string& table);
  bool attach_database(const std::string& file, const std::string& alias);
  // The column's text; "" for SQL NULL.
  std::string column_text(sqlite3_stmt* statement, int column);
  bool vacuum();
  bool backup(const std::string& target_path);
  bool table_exists(const std::string& table);
  bool index_exists(const std::string& table, const std::string& index);
  int index_count(const std::string& table);
  bool drop_index(const std::string& index);
  // descending = 1 orders DESC, anything else ASC.
  bool create_index(const std::string& table, const std::string& column, const std::string& index,
                    int descending);
  bool column_exists(const std::string& table, const std::string& column);
  bool view_exists(const std::string& view);
  bool copy_table_rows(const std::string& target, const std::string& source);
  bool rename_table(const std::string& table, const std::string& new_name);
  bool begin_transaction();
  bool commit_transaction();
  // mode: 0 passive, 1 full, 2 restart, 3 truncate. True when the checkpoint
  // ran and moved at least one frame.
  bool checkpoint(int mode);
  // Shiftwell's timing record: start in milliseconds of uptime.
  void record_timing(std::uint64_t start, const std::string& sql, int lock_check);
  // Dbwarden's timing record: start as a 32-bit tick count.
  void record_timing(const std::string& method, std::uint32_t start, const std::string& sql, int lock_check);
  bool exec_on(sqlite3* connection, const std::string& sql);
  sqlite3* acquire_connection();
  void release_connection(sqlite3* connection);
  // Dbwarden's report channel (does nothing on a Shiftwell object).
  void report(int type, const std::string& method, const std::string& sql, const std::string& error);

  // State for the owner's diagnostics and for tests.
  Configuration configuration() const { return configuration_; }
  int lock_depth() const { return lock_depth_.load(); }
  int use_count() const { return use_count_; }
  int pooled_in_use() const { return pooled_in_use_.load(); }
  int pool_use_count();
  int idle_count();
  sqlite3* main_connection() const { return main_connection_; }
  int open_flags() const { return parameters_.open_flags; }
  int reuse_limit() const { return parameters_.reuse_limit; }
  const std::string& synchronous_mode() const { return parameters_.synchronous_mode; }
  const std::string& module_name() const { return module_name_; }
  // Name of the mutex the object holds a handle to, "" without one.
  std::string mutex_name() const { return cross_process_lock_.handle_name(); }
  bool bound() const;

 private:
  bool shiftwell() const { return configuration_ == Configuration::shiftwell; }
  bool dbwarden() const { return configuration_ == Configuration::dbwarden; }
  std::uint64_t start_time() const;
  void apply_settings(const std::string& path, int flags, int reuse_limit, int synchronous);
  void switch_to_wal();
  void wait_for_cross_process_lock();
  void trim_pool();
  sqlite3* take_next_idle();
  bool run_exec(sqlite3* connection, const std::string& sql, bool timed, const char* method);
  void emit(int level, const std::string& message);
  void record_timing_any(const char* method, std::uint64_t start, const std::string& sql, int lock_check);

  const Configuration configuration_;
  std::string module_name_;
  ZiDingYi_sqliteCanShu parameters_;  // both configurations; library and log routine are Dbwarden's
  ZiDingYi_sqliteHanShu entries_;
  SqliteCalls calls_;
  ShiftwellLogRoutine log_callback_;  // Shiftwell's

  MoKuai_class_HuChiSuo_KuaJinCheng cross_process_lock_;
  MoKuai_class_HuChiSuo_ChanJinCheng pool_lock_;
  sqlite3* main_connection_ = nullptr;
  std::atomic<int> lock_depth_{0};
  int use_count_ = 0;
  std::atomic<std::uint32_t> owner_thread_{0};
  std::deque<sqlite3*> idle_connections_;  // Shiftwell: oldest first; Dbwarden: newest first
  std::atomic<int> pooled_in_use_{0};
  int pool_use_count_ = 0;
};

}  // namespace GeRenMoKuai
