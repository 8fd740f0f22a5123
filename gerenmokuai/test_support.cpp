#include "gerenmokuai/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>

#include "port/codepage.h"
#include "port/dynamic_library.h"
#include "port/program_path.h"

namespace gerenmokuai_test {

namespace {

struct Raw {
  decltype(&::sqlite3_open_v2) open_v2 = nullptr;
  decltype(&::sqlite3_close) close = nullptr;
  decltype(&::sqlite3_exec) exec = nullptr;
  decltype(&::sqlite3_free) free = nullptr;
  decltype(&::sqlite3_prepare_v2) prepare_v2 = nullptr;
  decltype(&::sqlite3_step) step = nullptr;
  decltype(&::sqlite3_column_text) column_text = nullptr;
  decltype(&::sqlite3_finalize) finalize = nullptr;
};

const Raw& raw() {
  static const Raw r = [] {
    Raw x;
    static std::unique_ptr<port::DynamicLibrary> library = port::DynamicLibrary::load(pellsql_path());
    if (!library) return x;
    x.open_v2 = reinterpret_cast<decltype(x.open_v2)>(library->symbol("sqlite3_open_v2"));
    x.close = reinterpret_cast<decltype(x.close)>(library->symbol("sqlite3_close"));
    x.exec = reinterpret_cast<decltype(x.exec)>(library->symbol("sqlite3_exec"));
    x.free = reinterpret_cast<decltype(x.free)>(library->symbol("sqlite3_free"));
    x.prepare_v2 = reinterpret_cast<decltype(x.prepare_v2)>(library->symbol("sqlite3_prepare_v2"));
    x.step = reinterpret_cast<decltype(x.step)>(library->symbol("sqlite3_step"));
    x.column_text = reinterpret_cast<decltype(x.column_text)>(library->symbol("sqlite3_column_text"));
    x.finalize = reinterpret_cast<decltype(x.finalize)>(library->symbol("sqlite3_finalize"));
    return x;
  }();
  return r;
}

}  // namespace

std::string bin_dir() { return port::program_directory(); }
std::string pellsql_path() { return bin_dir() + "/pellsql.so"; }

TempDir::TempDir() {
  std::random_device seed;
  std::mt19937_64 generator(seed());
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto candidate = base / ("gerenmokuai-" + std::to_string(generator()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.string();
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

RawConnection::RawConnection(const std::string& path, int flags) {
  if (!raw().open_v2) {
    ADD_FAILURE() << "pellsql.so cannot be loaded from " << pellsql_path();
    return;
  }
  if (raw().open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    raw().close(db_);
    db_ = nullptr;
  }
}

RawConnection::~RawConnection() {
  if (db_) raw().close(db_);
}

bool RawConnection::exec(const std::string& sql) {
  if (!db_) return false;
  char* error = nullptr;
  const int rc = raw().exec(db_, sql.c_str(), nullptr, nullptr, &error);
  if (error) raw().free(error);
  return rc == SQLITE_OK;
}

std::optional<std::string> RawConnection::text(const std::string& sql) {
  if (!db_) return std::nullopt;
  sqlite3_stmt* statement = nullptr;
  if (raw().prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK || !statement)
    return std::nullopt;
  std::optional<std::string> result;
  if (raw().step(statement) == SQLITE_ROW) {
    const unsigned char* value = raw().column_text(statement, 0);
    result = value ? reinterpret_cast<const char*>(value) : "";
  }
  raw().finalize(statement);
  return result;
}

bool raw_exec(const std::string& path, const std::string& sql) { return RawConnection(path).exec(sql); }

std::string raw_text(const std::string& path, const std::string& sql) {
  return RawConnection(path, SQLITE_OPEN_READWRITE).text(sql).value_or("<none>");
}

GeRenMoKuai::ShiftwellLogRoutine RecordSink::shiftwell_routine() {
  return [this](int level, const std::string& category, int code, const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    shiftwell_.push_back({level, category, code, message});
  };
}

GeRenMoKuai::DbwardenLogRoutine RecordSink::dbwarden_routine() {
  return [this](int type, const unsigned char* bytes, int count, int zero) {
    std::lock_guard<std::mutex> lock(mutex_);
    dbwarden_.push_back(
        {type,
         bytes ? std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)) : "",
         count, zero});
  };
}

std::vector<ShiftwellRecord> RecordSink::shiftwell() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shiftwell_;
}

std::vector<DbwardenRecord> RecordSink::dbwarden() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dbwarden_;
}

std::size_t RecordSink::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shiftwell_.size() + dbwarden_.size();
}

void RecordSink::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  shiftwell_.clear();
  dbwarden_.clear();
}

bool open_db(MoKuai_class_sqliteShuJuKu& db, const std::string& path, const OpenArgs& args) {
  if (db.configuration() == Configuration::shiftwell) {
    return db.open(path, args.sink ? args.sink->shiftwell_routine() : GeRenMoKuai::ShiftwellLogRoutine{},
                   args.flags, args.lock_name, args.reuse_limit, args.synchronous);
  }
  return db.open(args.library.empty() ? pellsql_path() : args.library, path, args.flags, args.lock_name,
                 args.reuse_limit, args.synchronous,
                 args.sink ? args.sink->dbwarden_routine() : GeRenMoKuai::DbwardenLogRoutine{});
}

std::string utf16(const std::string& utf8) { return port::utf8_to_utf16le(utf8); }

std::string from_utf16(const std::string& utf16le) {
  std::string out;
  for (std::size_t i = 0; i + 1 < utf16le.size(); i += 2) {
    char32_t c = static_cast<unsigned char>(utf16le[i]) | (static_cast<unsigned char>(utf16le[i + 1]) << 8);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < utf16le.size()) {
      const char32_t low =
          static_cast<unsigned char>(utf16le[i + 2]) | (static_cast<unsigned char>(utf16le[i + 3]) << 8);
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

const char* name_of(Configuration configuration) {
  return configuration == Configuration::shiftwell ? "shiftwell" : "dbwarden";
}

}  // namespace gerenmokuai_test
