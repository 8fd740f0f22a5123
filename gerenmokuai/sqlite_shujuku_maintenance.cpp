// Transactions, checkpoint, vacuum and backup, the statement timing and the
// report channel of the database object.
#include <string>

#include "gerenmokuai/json_generator.h"
#include "gerenmokuai/sqlite_shujuku.h"
#include "port/clock.h"
#include "port/codepage.h"

namespace GeRenMoKuai {

namespace {

constexpr const char* kCategory = "代码";
constexpr int kCode = 888;
constexpr int kLevelFailure = 4;
constexpr int kLevelTiming = 7;
constexpr std::int64_t kSlowMs = 1000;
constexpr int kBackupPages = 5;
constexpr int kBackupRetryMs = 250;

}  // namespace

void MoKuai_class_sqliteShuJuKu::emit(int level, const std::string& message) {
  if (log_callback_) log_callback_(level, kCategory, kCode, message);
}

void MoKuai_class_sqliteShuJuKu::report(int type, const std::string& method, const std::string& sql,
                                        const std::string& error) {
  if (!dbwarden() || !parameters_.log_callback) return;
  JsonGenerator json;
  json.start_object();
  json.add_int("type", type);
  json.add_string("module", module_name_);
  json.add_string("method", method);
  json.add_string("sql", sql);
  json.add_string("error", error);
  const std::string bytes = port::utf8_to_utf16le(json.write());
  parameters_.log_callback(type,
                           bytes.empty() ? nullptr : reinterpret_cast<const unsigned char*>(bytes.data()),
                           static_cast<int>(bytes.size()), 0);
}

void MoKuai_class_sqliteShuJuKu::record_timing(std::uint64_t start, const std::string& sql, int lock_check) {
  if (!shiftwell()) return;
  const std::int64_t elapsed =
      static_cast<std::int64_t>(port::tick_count_ms()) - static_cast<std::int64_t>(start);
  if (!log_callback_) return;
  if (elapsed > kSlowMs) emit(kLevelTiming, "[sql]慢查询 耗时:" + std::to_string(elapsed) + " " + sql);
  if (lock_check == 1) {
    const int depth = lock_depth_.load();
    if (depth > 3 || depth <= 0) {
      emit(kLevelTiming,
           "[sql]锁异常 锁记录" + std::to_string(depth) + " 耗时:" + std::to_string(elapsed) + " " + sql);
    }
  }
}

void MoKuai_class_sqliteShuJuKu::record_timing(const std::string& method, std::uint32_t start,
                                               const std::string& sql, int lock_check) {
  if (!dbwarden()) return;
  const std::int64_t elapsed =
      static_cast<std::int64_t>(port::tick_count32()) - static_cast<std::int64_t>(start);
  if (elapsed > kSlowMs) report(2, method, sql, "耗时:" + std::to_string(elapsed));
  if (lock_check == 1) {
    const int depth = lock_depth_.load();
    if (depth > 5 || depth < 1) report(3, method, sql, "次数:" + std::to_string(depth));
  }
}

void MoKuai_class_sqliteShuJuKu::record_timing_any(const char* method, std::uint64_t start,
                                                   const std::string& sql, int lock_check) {
  if (shiftwell()) {
    record_timing(start, sql, lock_check);
  } else {
    record_timing(method, static_cast<std::uint32_t>(start), sql, lock_check);
  }
}

bool MoKuai_class_sqliteShuJuKu::begin_transaction() { return shiftwell() && exec("BEGIN TRANSACTION"); }

bool MoKuai_class_sqliteShuJuKu::commit_transaction() {
  if (!shiftwell()) return false;
  if (exec("COMMIT TRANSACTION")) return true;
  emit(kLevelFailure, "[sql][事务_提交错误]");
  exec("ROLLBACK TRANSACTION");
  return false;
}

bool MoKuai_class_sqliteShuJuKu::exec_batch(const std::vector<std::string>& statements) {
  if (!shiftwell() || statements.empty()) return false;
  exec("BEGIN TRANSACTION");
  for (const std::string& sql : statements) exec(sql);
  if (exec("COMMIT TRANSACTION")) return true;
  emit(kLevelFailure, "[sql][执行sql提交事务错误]");
  exec("ROLLBACK TRANSACTION");
  return false;
}

bool MoKuai_class_sqliteShuJuKu::checkpoint(int mode) {
  if (!shiftwell()) return false;
  int log_frames = 0;
  int checkpointed_frames = 0;
  const int rc = calls_.wal_checkpoint_v2(main_connection_, mode, &log_frames, &checkpointed_frames);
  return rc == sqlite_api::kOk && log_frames >= 1 && checkpointed_frames >= 1;
}

bool MoKuai_class_sqliteShuJuKu::vacuum() {
  if (!shiftwell()) return false;
  exec("VACUUM");
  return checkpoint(3);
}

bool MoKuai_class_sqliteShuJuKu::backup(const std::string& target_path) {
  if (!shiftwell()) return false;
  sqlite3* target = nullptr;
  if (calls_.open_v2(target_path, &target, sqlite_api::kOpenReadWrite | sqlite_api::kOpenCreate) !=
      sqlite_api::kOk) {
    calls_.close(target);  // SQLite hands out a handle even when opening fails
    return false;
  }
  sqlite3_backup* copy = calls_.backup_init(target, main_connection_);
  if (!copy) {
    calls_.close(target);
    return false;
  }
  int rc = sqlite_api::kOk;
  do {
    rc = calls_.backup_step(copy, kBackupPages);
    if (rc == sqlite_api::kBusy || rc == sqlite_api::kLocked) calls_.sleep(kBackupRetryMs);
  } while (rc == sqlite_api::kOk || rc == sqlite_api::kBusy || rc == sqlite_api::kLocked);
  const int finished = calls_.backup_finish(copy);
  calls_.close(target);
  return finished == sqlite_api::kOk;
}

}  // namespace GeRenMoKuai
