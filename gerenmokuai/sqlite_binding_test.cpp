// Dbwarden's per-object binding: missing files, missing entries, entries that
// are not code, and the first file staying bound.
#include "gerenmokuai/sqlite_binding.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "gerenmokuai/sqlite_shujuku.h"
#include "gerenmokuai/test_support.h"
#include "port/file.h"

namespace gerenmokuai_test {
namespace {

std::string stub_exec_path() { return bin_dir() + "/sqlstub_exec.so"; }
std::string stub_data_path() { return bin_dir() + "/sqlstub_data.so"; }

std::string json_record(const std::string& method, const std::string& sql, const std::string& error) {
  return utf16("{\"type\":1,\"module\":\"gerenmokuai_test\",\"method\":\"" + method + "\",\"sql\":\"" + sql +
               "\",\"error\":\"" + error + "\"}");
}

class DbwardenBinding : public ::testing::Test {
 protected:
  bool open_with(const std::string& library, const std::string& path) {
    OpenArgs args;
    args.library = library;
    args.sink = &sink;
    return open_db(db, path, args);
  }

  TempDir dir;
  RecordSink sink;
  MoKuai_class_sqliteShuJuKu db{Configuration::dbwarden};
};

TEST_F(DbwardenBinding, MissingOrUnloadableLibraryLeavesTheObjectUnboundAndTouchesNothing) {
  const std::string not_a_library = dir.file("pellsql.so");
  ASSERT_TRUE(port::write_file(not_a_library, "not an ELF file"));
  for (const std::string& library : {dir.file("nowhere/pellsql.so"), not_a_library}) {
    SCOPED_TRACE(library);
    const std::string path = dir.file("a.db");
    EXPECT_FALSE(open_with(library, path));
    EXPECT_FALSE(db.bound());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(db.mutex_name(), "");
    EXPECT_EQ(db.open_flags(), 0);
    EXPECT_FALSE(db.connect());
    EXPECT_FALSE(db.exec("CREATE TABLE t(x)"));
    std::string out = "unchanged";
    EXPECT_FALSE(db.query_fields("SELECT 1", out));
    EXPECT_EQ(out, "unchanged");
    EXPECT_EQ(db.acquire_connection(), nullptr);
    EXPECT_FALSE(db.disconnect());
    EXPECT_FALSE(db.close());
    EXPECT_EQ(sink.size(), 0u);
  }
}

TEST_F(DbwardenBinding, LibraryWithoutQueryEntriesStillSwitchesToWalAndExecutes) {
  const std::string path = dir.file("e.db");
  ASSERT_TRUE(raw_exec(path, "CREATE TABLE t(x)"));
  ASSERT_TRUE(open_with(stub_exec_path(), path));
  // The journal-mode query cannot be prepared without sqlite3_prepare_v2, so
  // open goes on to the switch, which sqlite3_exec carries out.
  EXPECT_EQ(
      sink.dbwarden(),
      (std::vector<DbwardenRecord>{
          {1, json_record("查询返回字段", "PRAGMA journal_mode", "查询失败"),
           static_cast<int>(json_record("查询返回字段", "PRAGMA journal_mode", "查询失败").size()), 0}}));
  EXPECT_EQ(db.use_count(), 1);
  ASSERT_TRUE(db.connect());
  EXPECT_TRUE(db.exec("INSERT INTO t VALUES (42)"));
  EXPECT_FALSE(db.exec("INSERT INTO nowhere VALUES (1)"));
  std::string out = "x";
  EXPECT_FALSE(db.query_fields("SELECT x FROM t", out));
  EXPECT_EQ(out, "");
  ASSERT_TRUE(db.disconnect());
  EXPECT_TRUE(db.close());
  EXPECT_EQ(raw_text(path, "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw_text(path, "SELECT x FROM t"), "42");
}

TEST_F(DbwardenBinding, EntriesThatAreNotCodeAreSkippedAsSuccesses) {
  const std::string path = dir.file("d.db");
  ASSERT_TRUE(open_with(stub_data_path(), path));
  EXPECT_TRUE(db.bound());
  EXPECT_EQ(db.mutex_name(), GeRenMoKuai::derive_mutex_name(Configuration::dbwarden, "", path));
  // Skipped sqlite3_open_v2 counts as success and leaves no connection; the
  // skipped sqlite3_exec succeeds without doing anything.
  ASSERT_TRUE(db.connect());
  EXPECT_EQ(db.main_connection(), nullptr);
  EXPECT_TRUE(db.exec("CREATE TABLE t(x)"));
  std::string out = "x";
  EXPECT_FALSE(db.query_fields("SELECT 1", out));
  EXPECT_EQ(out, "");
  EXPECT_TRUE(db.disconnect());
  EXPECT_TRUE(db.close());
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(sink.dbwarden().size(), 2u);  // the two queries that could not be prepared
}

TEST_F(DbwardenBinding, TheFirstLibraryStaysBoundWhateverALaterOpenPasses) {
  ASSERT_TRUE(open_with(stub_data_path(), dir.file("1.db")));
  ASSERT_TRUE(open_with(pellsql_path(), dir.file("2.db")));
  ASSERT_TRUE(db.connect());
  EXPECT_TRUE(db.exec("CREATE TABLE t(x)"));
  db.disconnect();
  db.close();
  EXPECT_FALSE(std::filesystem::exists(dir.file("2.db")));
}

TEST(EntryCallable, RefusesNullLowAndNonCodeAddresses) {
  static int data = 0;
  EXPECT_FALSE(GeRenMoKuai::entry_callable(nullptr));
  EXPECT_FALSE(GeRenMoKuai::entry_callable(reinterpret_cast<const void*>(0xFFFEu)));
  EXPECT_FALSE(GeRenMoKuai::entry_callable(&data));
  EXPECT_TRUE(GeRenMoKuai::entry_callable(reinterpret_cast<const void*>(&GeRenMoKuai::entry_callable)));
}

}  // namespace
}  // namespace gerenmokuai_test
