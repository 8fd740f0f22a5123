// open, close, connect, disconnect and the statement primitives, in both
// configurations.
#include "gerenmokuai/sqlite_shujuku.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "gerenmokuai/test_support.h"
#include "port/codepage.h"
#include "port/md5.h"

namespace gerenmokuai_test {
namespace {

class DbTest : public ::testing::TestWithParam<Configuration> {
 protected:
  void TearDown() override { db.close(); }

  bool shiftwell() const { return GetParam() == Configuration::shiftwell; }
  // A file in rollback-journal mode with one table.
  std::string delete_mode_file(const std::string& name = "d.db") {
    const std::string path = dir.file(name);
    EXPECT_TRUE(raw_exec(path, "CREATE TABLE t(x)"));
    return path;
  }
  std::string wal_file(const std::string& name = "w.db") {
    const std::string path = dir.file(name);
    EXPECT_TRUE(raw_exec(path, "PRAGMA journal_mode=WAL; CREATE TABLE t(x)"));
    return path;
  }
  std::string field(const std::string& sql) {
    std::string value = "<none>";
    db.query_fields(sql, value);
    return value;
  }
  // An idle pooled connection that answered "delete" before the switch keeps
  // answering so until it next reads the file (SQLite caches the mode per
  // connection); a read first makes it look at the file again.
  std::string journal_mode_after_a_read() {
    field("SELECT count(*) FROM sqlite_master");
    return field("PRAGMA journal_mode");
  }

  TempDir dir;
  RecordSink sink;
  MoKuai_class_sqliteShuJuKu db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Both, DbTest, ::testing::Values(Configuration::shiftwell, Configuration::dbwarden),
                         [](const auto& info) { return std::string(name_of(info.param)); });

struct SettingsCase {
  int flags, reuse_limit, synchronous;
  int want_flags, want_limit;
  const char* want_mode;
  const char* pragma_value;  // what PRAGMA synchronous answers on the main connection
};

TEST_P(DbTest, OpenDerivesFlagsLimitAndSynchronousMode) {
  const SettingsCase cases[] = {
      {2, 0, 1, 0x8002, 1000, "FULL", "2"},    {6, 8000, 2, 0x8006, 8000, "NORMAL", "1"},
      {0, 999, 3, 0x8002, 1000, "OFF", "0"},   {1, 1001, 0, 0x8002, 1001, "NORMAL", "1"},
      {6, -5, 7, 0x8006, 1000, "NORMAL", "1"},
  };
  const std::string path = delete_mode_file();
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "flags " << c.flags << " reuse " << c.reuse_limit << " sync " << c.synchronous);
    OpenArgs args;
    args.flags = c.flags;
    args.reuse_limit = c.reuse_limit;
    args.synchronous = c.synchronous;
    ASSERT_TRUE(open_db(db, path, args));
    EXPECT_EQ(db.open_flags(), c.want_flags);
    EXPECT_EQ(db.reuse_limit(), c.want_limit);
    EXPECT_EQ(db.synchronous_mode(), c.want_mode);
    ASSERT_TRUE(db.connect());
    EXPECT_EQ(field("PRAGMA synchronous"), c.pragma_value);
    EXPECT_TRUE(db.disconnect());
    EXPECT_TRUE(db.close());
  }
}

TEST(ShiftwellOpen, OmittedLimitAndModeTakeTheirDefaults) {
  TempDir dir;
  const std::string path = dir.file("a.db");
  MoKuai_class_sqliteShuJuKu db(Configuration::shiftwell);
  ASSERT_TRUE(db.open(path, {}, 6, ""));
  EXPECT_EQ(db.reuse_limit(), 1000);
  EXPECT_EQ(db.synchronous_mode(), "NORMAL");
  EXPECT_EQ(db.open_flags(), 0x8006);
  db.close();
}

TEST_P(DbTest, OpenOverloadOfTheOtherConfigurationIsRefused) {
  const std::string path = dir.file("x.db");
  const bool refused = shiftwell() ? !db.open(pellsql_path(), path, 6, "", 0, 0, nullptr)
                                   : !db.open(path, nullptr, 6, "", 0, 0);
  EXPECT_TRUE(refused);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(db.mutex_name(), "");
}

TEST_P(DbTest, MainAndPooledConnectionsGetTheirPragmas) {
  const std::string path = wal_file();
  OpenArgs args;
  args.synchronous = 3;
  ASSERT_TRUE(open_db(db, path, args));
  // Without connect the query runs on a pooled connection.
  EXPECT_EQ(field("PRAGMA cache_size"), shiftwell() ? "-2000" : "-64000");
  EXPECT_EQ(field("PRAGMA synchronous"), shiftwell() ? "2" : "0");
  ASSERT_TRUE(db.connect());
  EXPECT_EQ(field("PRAGMA cache_size"), shiftwell() ? "10000" : "-64000");
  EXPECT_EQ(field("PRAGMA synchronous"), "0");
  db.disconnect();
}

TEST_P(DbTest, OpenSwitchesARollbackJournalFileToWalWithOneConnectCycle) {
  const std::string path = delete_mode_file();
  ASSERT_TRUE(open_db(db, path));
  EXPECT_EQ(db.use_count(), 1);
  EXPECT_EQ(db.lock_depth(), 0);
  EXPECT_NE(db.main_connection(), nullptr);
  EXPECT_EQ(journal_mode_after_a_read(), "wal");
  ASSERT_TRUE(db.connect());
  ASSERT_TRUE(db.exec("INSERT INTO t VALUES (1)"));
  ASSERT_TRUE(db.disconnect());
  EXPECT_TRUE(std::filesystem::exists(path + "-wal"));
  // Closing every connection lets SQLite fold the log back into the file.
  EXPECT_TRUE(db.close());
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
  EXPECT_EQ(raw_text(path, "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw_text(path, "SELECT count(*) FROM t"), "1");
}

TEST_P(DbTest, OpenLeavesAWalFileAloneAndRunsNoConnect) {
  const std::string path = wal_file();
  ASSERT_TRUE(open_db(db, path));
  EXPECT_EQ(db.use_count(), 0);
  EXPECT_EQ(db.main_connection(), nullptr);
  EXPECT_EQ(field("PRAGMA journal_mode"), "wal");
}

TEST_P(DbTest, OpenCreatesAMissingFileWithFlags6InWalMode) {
  const std::string path = dir.file("数据库_1.db");
  ASSERT_TRUE(open_db(db, path));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path)));
  EXPECT_EQ(db.use_count(), 1);
  EXPECT_EQ(journal_mode_after_a_read(), "wal");
}

TEST_P(DbTest, SwitchBlockedByAReaderLeavesTheRollbackJournal) {
  const std::string path = delete_mode_file();
  RawConnection reader(path);
  ASSERT_TRUE(reader.exec("BEGIN; SELECT count(*) FROM t"));
  OpenArgs args;
  args.sink = &sink;
  ASSERT_TRUE(open_db(db, path, args));
  EXPECT_EQ(field("PRAGMA journal_mode"), "delete");
  const std::string sql = shiftwell() ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode = WAL";
  if (shiftwell()) {
    EXPECT_EQ(sink.shiftwell(),
              (std::vector<ShiftwellRecord>{
                  {4, "代码", 888, "[sql][执行sql错误]:" + sql + "错误数据:database is locked"}}));
  } else {
    const std::string json = "{\"type\":1,\"module\":\"gerenmokuai_test\",\"method\":\"执行sql\",\"sql\":\"" +
                             sql + "\",\"error\":\"database is locked\"}";
    EXPECT_EQ(sink.dbwarden(),
              (std::vector<DbwardenRecord>{{1, utf16(json), static_cast<int>(utf16(json).size()), 0}}));
  }
  ASSERT_TRUE(reader.exec("COMMIT"));
  ASSERT_TRUE(open_db(db, path));
  EXPECT_EQ(journal_mode_after_a_read(), "wal");
}

TEST_P(DbTest, Flags2OnAMissingFileCreatesNothingAndConnectFails) {
  const std::string path = dir.file("missing.db");
  OpenArgs args;
  args.flags = 2;
  args.sink = &sink;
  EXPECT_TRUE(open_db(db, path, args));
  EXPECT_FALSE(std::filesystem::exists(path));
  if (shiftwell()) {
    EXPECT_EQ(sink.shiftwell(), (std::vector<ShiftwellRecord>{
                                    {4, "代码", 888, "[sql][查询返回字段]:PRAGMA journal_mode"},
                                    {4, "代码", 888, "[sql][连接数据库失败]"},
                                    {4, "代码", 888, "[sql][执行sql错误]:PRAGMA journal_mode=WAL错误数据:"},
                                }));
  } else {
    const std::string query =
        "{\"type\":1,\"module\":\"gerenmokuai_test\",\"method\":\"查询返回字段\",\"sql\":\"PRAGMA "
        "journal_mode\",\"error\":\"查询失败\"}";
    const std::string connect =
        "{\"type\":1,\"module\":\"gerenmokuai_test\",\"method\":\"连接\",\"sql\":\"-\",\"error\":"
        "\"连接数据库失败\"}";
    EXPECT_EQ(sink.dbwarden(),
              (std::vector<DbwardenRecord>{{1, utf16(query), static_cast<int>(utf16(query).size()), 0},
                                           {1, utf16(connect), static_cast<int>(utf16(connect).size()), 0}}));
  }
  EXPECT_FALSE(db.exec("CREATE TABLE t(x)"));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_P(DbTest, MainConnectionIsRecycledOnTheThousandthOutermostDisconnect) {
  const std::string path = wal_file();
  ASSERT_TRUE(open_db(db, path));
  const std::string default_cache = shiftwell() ? "10000" : "-64000";
  ASSERT_TRUE(db.connect());
  ASSERT_TRUE(db.exec("PRAGMA cache_size = 5"));
  ASSERT_TRUE(db.exec("CREATE TEMP TABLE scratch(x)"));
  ASSERT_TRUE(db.disconnect());
  for (int cycle = 2; cycle < 1000; ++cycle) {
    ASSERT_TRUE(db.connect());
    ASSERT_TRUE(db.connect());  // nested: not an outermost cycle
    ASSERT_TRUE(db.disconnect());
    ASSERT_TRUE(db.disconnect());
  }
  EXPECT_EQ(db.use_count(), 999);
  ASSERT_TRUE(db.connect());
  EXPECT_EQ(field("PRAGMA cache_size"), "5");
  EXPECT_EQ(field("SELECT count(*) FROM temp.sqlite_master WHERE name = 'scratch'"), "1");
  ASSERT_TRUE(db.disconnect());
  EXPECT_EQ(db.use_count(), 0);
  EXPECT_EQ(db.main_connection(), nullptr);
  ASSERT_TRUE(db.connect());
  EXPECT_EQ(field("PRAGMA cache_size"), default_cache);
  EXPECT_EQ(field("SELECT count(*) FROM temp.sqlite_master WHERE name = 'scratch'"), "0");
  ASSERT_TRUE(db.disconnect());
}

TEST_P(DbTest, ConnectAndDisconnectWithSkipDoNothing) {
  ASSERT_TRUE(open_db(db, wal_file()));
  EXPECT_TRUE(db.connect(1));
  EXPECT_EQ(db.lock_depth(), 0);
  EXPECT_EQ(db.main_connection(), nullptr);
  ASSERT_TRUE(db.connect());
  EXPECT_TRUE(db.disconnect(1));
  EXPECT_EQ(db.lock_depth(), 1);
  EXPECT_TRUE(db.disconnect());
  EXPECT_EQ(db.lock_depth(), 0);
}

TEST_P(DbTest, QueryFieldsFillsTheGivenOutputsUpToTheFirstOmittedOne) {
  ASSERT_TRUE(open_db(db, wal_file()));
  std::string o1 = "x", o2 = "x", o4 = "keep";
  EXPECT_TRUE(db.query_fields("SELECT 'a', 'b', 'c', 'd'", o1, {&o2, nullptr, &o4}));
  EXPECT_EQ(o1, "a");
  EXPECT_EQ(o2, "b");
  EXPECT_EQ(o4, "keep");
}

TEST_P(DbTest, QueryFieldsReadsAtMostTheConfigurationsNumberOfOutputs) {
  ASSERT_TRUE(open_db(db, wal_file()));
  std::string sql = "SELECT 1";
  for (int i = 2; i <= 16; ++i) sql += ", " + std::to_string(i);
  std::vector<std::string> out(16, "unset");
  std::initializer_list<std::string*> more = {&out[1],  &out[2],  &out[3],  &out[4],  &out[5],
                                              &out[6],  &out[7],  &out[8],  &out[9],  &out[10],
                                              &out[11], &out[12], &out[13], &out[14], &out[15]};
  ASSERT_TRUE(db.query_fields(sql, out[0], more));
  const int limit = shiftwell() ? 14 : 15;
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(out[i], i < limit ? std::to_string(i + 1) : "unset") << "output " << i + 1;
}

TEST_P(DbTest, QueryFieldsWithoutARowEmptiesTheConsideredOutputs) {
  ASSERT_TRUE(open_db(db, wal_file()));
  std::string o1 = "x", o2 = "x", o3 = "keep";
  EXPECT_FALSE(db.query_fields("SELECT 1, 2 WHERE 0", o1, {&o2, nullptr, &o3}));
  EXPECT_EQ(o1, "");
  EXPECT_EQ(o2, "");
  EXPECT_EQ(o3, "keep");
}

TEST_P(DbTest, QueryFieldsThatCannotPrepareReportsAndTreatsOutputsPerConfiguration) {
  OpenArgs args;
  args.sink = &sink;
  ASSERT_TRUE(open_db(db, wal_file(), args));
  std::string o1 = "x", o2 = "y";
  EXPECT_FALSE(db.query_fields("SELEC 1", o1, {&o2}));
  EXPECT_EQ(o1, shiftwell() ? "x" : "");
  EXPECT_EQ(o2, shiftwell() ? "y" : "");
  if (shiftwell()) {
    EXPECT_EQ(sink.shiftwell(),
              (std::vector<ShiftwellRecord>{{4, "代码", 888, "[sql][查询返回字段]:SELEC 1"}}));
  } else {
    const std::string json =
        "{\"type\":1,\"module\":\"gerenmokuai_test\",\"method\":\"查询返回字段\",\"sql\":\"SELEC "
        "1\",\"error\":\"查询失败\"}";
    EXPECT_EQ(sink.dbwarden(),
              (std::vector<DbwardenRecord>{{1, utf16(json), static_cast<int>(utf16(json).size()), 0}}));
  }
}

TEST_P(DbTest, QueryFieldsGivesEmptyTextForNull) {
  ASSERT_TRUE(open_db(db, wal_file()));
  std::string o1 = "x", o2 = "x";
  EXPECT_TRUE(db.query_fields("SELECT NULL, 'z'", o1, {&o2}));
  EXPECT_EQ(o1, "");
  EXPECT_EQ(o2, "z");
}

TEST_P(DbTest, CloseTwiceIsHarmlessAndConnectAfterCloseReopens) {
  const std::string path = wal_file();
  ASSERT_TRUE(open_db(db, path));
  const std::string name = db.mutex_name();
  EXPECT_TRUE(db.close());
  EXPECT_TRUE(db.close());
  EXPECT_EQ(db.idle_count(), 0);
  // Shiftwell drops the mutex handle in close; Dbwarden keeps it.
  EXPECT_EQ(db.mutex_name(), shiftwell() ? "" : name);
  ASSERT_TRUE(db.connect());
  EXPECT_NE(db.main_connection(), nullptr);
  EXPECT_TRUE(db.exec("INSERT INTO t VALUES (7)"));
  EXPECT_TRUE(db.disconnect());
  EXPECT_TRUE(db.close());
  EXPECT_EQ(raw_text(path, "SELECT x FROM t"), "7");
}

TEST_P(DbTest, ExecWithoutAnyConnectionFailsWithoutCrashing) {
  ASSERT_TRUE(open_db(db, wal_file()));
  ASSERT_EQ(db.main_connection(), nullptr);
  EXPECT_FALSE(db.exec("CREATE TABLE u(x)"));
  EXPECT_FALSE(db.exec_on(nullptr, "CREATE TABLE u(x)"));
}

TEST_P(DbTest, MutexNameComesFromTheLockNameOrTheDigestOfThePath) {
  const std::string path = wal_file();
  OpenArgs named;
  named.lock_name = "abc";
  ASSERT_TRUE(open_db(db, path, named));
  EXPECT_EQ(db.mutex_name(), "abcqmtx");
  ASSERT_TRUE(open_db(db, path));
  EXPECT_EQ(db.mutex_name(), port::md5_hex(path) + "qmtx");
}

TEST(MutexName, ChinesePathsHashDifferentBytesPerConfiguration) {
  const std::string ascii = "C:/bot/data.db";
  const std::string chinese = "C:/bot/数据库_1.db";
  using GeRenMoKuai::derive_mutex_name;
  EXPECT_EQ(derive_mutex_name(Configuration::shiftwell, "", ascii), port::md5_hex(ascii) + "qmtx");
  EXPECT_EQ(derive_mutex_name(Configuration::dbwarden, "", ascii), port::md5_hex(ascii) + "qmtx");
  EXPECT_EQ(derive_mutex_name(Configuration::shiftwell, "", chinese),
            port::md5_hex(port::utf8_to_cp936(chinese)) + "qmtx");
  EXPECT_EQ(derive_mutex_name(Configuration::dbwarden, "", chinese), port::md5_hex(chinese) + "qmtx");
  EXPECT_NE(derive_mutex_name(Configuration::shiftwell, "", chinese),
            derive_mutex_name(Configuration::dbwarden, "", chinese));
  EXPECT_EQ(derive_mutex_name(Configuration::dbwarden, "abc", chinese), "abcqmtx");
}

TEST(ShiftwellOpen, ALaterOpenWithoutARoutineKeepsTheRegisteredOne) {
  TempDir dir;
  RecordSink sink;
  MoKuai_class_sqliteShuJuKu db(Configuration::shiftwell);
  ASSERT_TRUE(db.open(dir.file("a.db"), sink.shiftwell_routine(), 6, ""));
  ASSERT_TRUE(db.open(dir.file("a.db"), {}, 6, ""));
  sink.clear();
  db.connect();
  EXPECT_FALSE(db.exec("SELEC"));
  db.disconnect();
  EXPECT_EQ(sink.shiftwell().size(), 1u);
  db.close();
}

TEST(DbwardenOpen, ALaterOpenWithoutARoutineSilencesTheObject) {
  TempDir dir;
  RecordSink sink;
  MoKuai_class_sqliteShuJuKu db(Configuration::dbwarden);
  ASSERT_TRUE(db.open(pellsql_path(), dir.file("a.db"), 6, "", 0, 0, sink.dbwarden_routine()));
  ASSERT_TRUE(db.open(pellsql_path(), dir.file("a.db"), 6, "", 0, 0, nullptr));
  sink.clear();
  db.connect();
  EXPECT_FALSE(db.exec("SELEC"));
  db.disconnect();
  EXPECT_EQ(sink.size(), 0u);
  EXPECT_EQ(db.module_name(), "gerenmokuai_test");
}

}  // namespace
}  // namespace gerenmokuai_test
