#include "dbwarden/sweep.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "port/process.h"
#include "port/program_path.h"

namespace fs = std::filesystem;

namespace {

TEST(DeriveRootDir, CutsInFrontOfTheLastData) {
  struct {
    const char* program;
    const char* root;
  } cases[] = {
      {"/bot/data/dbwarden", "/bot"},
      {"/bot/database/tools/dbwarden", "/bot"},  // "/data" begins the folder name database
      {"/bot/data/data/dbwarden", "/bot/data"},  // the last occurrence counts
      {"/BOT/DATA/dbwarden", ""},                // case-sensitive
      {"/data/dbwarden", ""},
      {"/srv/机器人/data/dbwarden", "/srv/机器人"},
      {"dbwarden", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(dbwarden::derive_root_dir(c.program), c.root) << c.program;
  const auto paths = dbwarden::sweep_paths("/bot");
  EXPECT_EQ(paths.library, "/bot/data/pellsql.so");
  EXPECT_EQ(paths.other_folder, "/bot/sqlite/其他数据");
  EXPECT_EQ(paths.main_database, "/bot/sqlite/数据库.db");
}

class Installation : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("dbwarden-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "data");
    fs::create_directories(others());
    const fs::path bin = port::program_directory();
    fs::copy_file(bin / "dbwarden", root_ / "data" / "dbwarden");
    fs::copy_file(bin / "pellsql.so", root_ / "data" / "pellsql.so");
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path others() const { return root_ / "sqlite" / "其他数据"; }
  fs::path main_db() const { return root_ / "sqlite" / "数据库.db"; }

  // Runs a dbwarden copy of the installation; returns its exit code.
  int run(std::string* stderr_text = nullptr) {
    const std::string err = (root_ / "stderr.txt").string();
    auto p = port::Process::start((root_ / "data" / "dbwarden").string(), {}, "", err);
    EXPECT_TRUE(p);
    int code = -1;
    EXPECT_TRUE(p->wait(60000, &code));
    if (stderr_text) {
      std::stringstream s;
      s << std::ifstream(err).rdbuf();
      *stderr_text = s.str();
    }
    return code;
  }

  static void make_db(const fs::path& path, const char* mode, int rows) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    std::string sql = std::string("PRAGMA journal_mode=") + mode + "; CREATE TABLE t(x TEXT);";
    for (int i = 0; i < rows; ++i) sql += "INSERT INTO t VALUES('行" + std::to_string(i) + "');";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

  static std::string query(const fs::path& path, const char* sql) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_stmt* st = nullptr;
      if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
  }

  fs::path root_;
};

TEST_F(Installation, FindFilesSkipsHiddenFoldersAndOtherNames) {
  for (const char* name : {"a.db", "B.DB", ".c.db", "e.txt"}) std::ofstream(others() / name) << "";
  fs::create_directory(others() / "d.db");
  std::vector<std::string> found{"stale entry"};
  EXPECT_EQ(dbwarden::find_files(others().string(), found, "*.db"), 2);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{(others() / "B.DB").string(), (others() / "a.db").string()}));
  EXPECT_EQ(dbwarden::find_files((root_ / "missing").string(), found, "*.db"), 0);
  EXPECT_TRUE(found.empty());
}

TEST_F(Installation, SweepSwitchesToWalKeepsRowsAndCreatesTheMainDatabase) {
  make_db(others() / "a.db", "DELETE", 50);
  make_db(others() / "B.DB", "WAL", 3);
  make_db(others() / ".hidden.db", "DELETE", 1);
  std::string err;
  EXPECT_EQ(run(&err), 0);
  EXPECT_EQ(err, "");
  // Before any read-only look, which leaves -wal and -shm files of its own.
  EXPECT_FALSE(fs::exists(others() / "a.db-wal")) << "the log is folded back when the last connection closes";
  EXPECT_FALSE(fs::exists(main_db().string() + "-wal"));
  ASSERT_TRUE(fs::exists(main_db()));
  EXPECT_EQ(query(others() / "a.db", "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(query(others() / "a.db", "SELECT count(*) FROM t"), "50");
  EXPECT_EQ(query(others() / "a.db", "SELECT x FROM t WHERE rowid = 50"), "行49");
  EXPECT_EQ(query(others() / "B.DB", "SELECT count(*) FROM t"), "3");
  EXPECT_EQ(query(others() / ".hidden.db", "PRAGMA journal_mode"), "delete") << "hidden files are skipped";
  EXPECT_EQ(query(main_db(), "PRAGMA journal_mode"), "wal");
}

TEST_F(Installation, MissingLibraryTouchesNothingAndSaysWhy) {
  fs::remove(root_ / "data" / "pellsql.so");
  make_db(others() / "a.db", "DELETE", 5);
  std::string err;
  EXPECT_EQ(run(&err), 0);
  EXPECT_NE(err.find((root_ / "data" / "pellsql.so").string()), std::string::npos) << err;
  EXPECT_EQ(query(others() / "a.db", "PRAGMA journal_mode"), "delete");
  EXPECT_FALSE(fs::exists(main_db()));
}

TEST_F(Installation, UnloadableLibraryIsNamedToo) {
  fs::remove(root_ / "data" / "pellsql.so");
  std::ofstream(root_ / "data" / "pellsql.so") << "not a library";
  std::string err;
  EXPECT_EQ(run(&err), 0);
  EXPECT_NE(err.find("pellsql.so"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(main_db()));
}

TEST_F(Installation, TwoSweepsAtOnce) {
  for (int i = 0; i < 6; ++i) make_db(others() / ("db" + std::to_string(i) + ".db"), "DELETE", 20);
  const std::string program = (root_ / "data" / "dbwarden").string();
  auto a = port::Process::start(program, {});
  auto b = port::Process::start(program, {});
  int ca = -1, cb = -1;
  ASSERT_TRUE(a->wait(60000, &ca));
  ASSERT_TRUE(b->wait(60000, &cb));
  EXPECT_EQ(ca, 0);
  EXPECT_EQ(cb, 0);
  for (int i = 0; i < 6; ++i) {
    const auto db = others() / ("db" + std::to_string(i) + ".db");
    EXPECT_EQ(query(db, "PRAGMA journal_mode"), "wal") << db;
    EXPECT_EQ(query(db, "PRAGMA integrity_check"), "ok") << db;
    EXPECT_EQ(query(db, "SELECT count(*) FROM t"), "20") << db;
  }
}

TEST_F(Installation, NoFoldersAtAll) {
  fs::remove_all(root_ / "sqlite");
  EXPECT_EQ(run(), 0);
  EXPECT_FALSE(fs::exists(main_db())) << "the main database folder is not created";
}

}  // namespace
