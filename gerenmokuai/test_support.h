// Helpers of the database library's tests: temporary folders, direct SQLite
// access through the same pellsql.so the library binds (so one SQLite runs in
// the process), record collectors for both report channels, and opening an
// object of either configuration with one call. Tests only; the collectors
// may be fed from any thread.
#pragma once

#include <sqlite3.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "gerenmokuai/sqlite_shujuku.h"

namespace gerenmokuai_test {

using GeRenMoKuai::Configuration;
using GeRenMoKuai::MoKuai_class_sqliteShuJuKu;

std::string bin_dir();
std::string pellsql_path();

// A fresh folder below the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// One SQLite connection opened directly, not through the library.
class RawConnection {
 public:
  explicit RawConnection(const std::string& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  bool ok() const { return db_ != nullptr; }
  bool exec(const std::string& sql);
  // First column of the first row; nullopt when there is no row or no statement.
  std::optional<std::string> text(const std::string& sql);

 private:
  sqlite3* db_ = nullptr;
};

// Opens, runs, closes.
bool raw_exec(const std::string& path, const std::string& sql);
std::string raw_text(const std::string& path, const std::string& sql);

struct ShiftwellRecord {
  int level;
  std::string category;
  int code;
  std::string message;
  bool operator==(const ShiftwellRecord&) const = default;
};

struct DbwardenRecord {
  int type;
  std::string bytes;  // UTF-16LE as handed over
  int count;
  int zero;
  bool operator==(const DbwardenRecord&) const = default;
};

class RecordSink {
 public:
  GeRenMoKuai::ShiftwellLogRoutine shiftwell_routine();
  GeRenMoKuai::DbwardenLogRoutine dbwarden_routine();
  std::vector<ShiftwellRecord> shiftwell() const;
  std::vector<DbwardenRecord> dbwarden() const;
  std::size_t size() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<ShiftwellRecord> shiftwell_;
  std::vector<DbwardenRecord> dbwarden_;
};

struct OpenArgs {
  int flags = 6;
  std::string lock_name;
  int reuse_limit = 0;
  int synchronous = 0;
  RecordSink* sink = nullptr;
  std::string library;  // Dbwarden; pellsql.so beside the tests when empty
};

bool open_db(MoKuai_class_sqliteShuJuKu& db, const std::string& path, const OpenArgs& args = {});

// The UTF-16LE bytes of a compact JSON record text, and back.
std::string utf16(const std::string& utf8);
std::string from_utf16(const std::string& utf16le);

const char* name_of(Configuration configuration);

}  // namespace gerenmokuai_test
