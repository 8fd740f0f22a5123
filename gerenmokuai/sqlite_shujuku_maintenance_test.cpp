// Transactions, checkpoint, vacuum, backup, and the report records of both
// configurations.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "gerenmokuai/sqlite_shujuku.h"
#include "gerenmokuai/test_support.h"
#include "port/clock.h"

namespace gerenmokuai_test {
namespace {

std::string json(int type, const std::string& method, const std::string& sql, const std::string& error) {
  return "{\"type\":" + std::to_string(type) + ",\"module\":\"gerenmokuai_test\",\"method\":\"" + method +
         "\",\"sql\":\"" + sql + "\",\"error\":\"" + error + "\"}";
}

DbwardenRecord dbwarden_record(int type, const std::string& method, const std::string& sql,
                               const std::string& error) {
  const std::string bytes = utf16(json(type, method, sql, error));
  return {type, bytes, static_cast<int>(bytes.size()), 0};
}

ShiftwellRecord failure(const std::string& message) { return {4, "代码", 888, message}; }

class Maintenance : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("m.db");
    ASSERT_TRUE(raw_exec(path, "PRAGMA journal_mode=WAL; CREATE TABLE t(x INTEGER UNIQUE)"));
    OpenArgs args;
    args.sink = &sink;
    ASSERT_TRUE(open_db(db, path, args));
    ASSERT_TRUE(db.connect());
  }
  void TearDown() override {
    while (db.lock_depth() > 0) db.disconnect();
    db.close();
  }
  int rows() { return db.query_count("t"); }

  TempDir dir;
  std::string path;
  RecordSink sink;
  MoKuai_class_sqliteShuJuKu db{Configuration::shiftwell};
};

TEST_F(Maintenance, ExecBatchOfNothingRunsNothing) {
  EXPECT_FALSE(db.exec_batch({}));
  // No transaction was left open: a new one can begin.
  EXPECT_TRUE(db.begin_transaction());
  EXPECT_TRUE(db.commit_transaction());
  EXPECT_EQ(sink.size(), 0u);
}

TEST_F(Maintenance, ExecBatchCommitsAroundAFailingStatement) {
  EXPECT_TRUE(db.exec_batch(
      {"INSERT INTO t VALUES (1)", "INSERT INTO nowhere VALUES (2)", "INSERT INTO t VALUES (3)"}));
  EXPECT_EQ(rows(), 2);
  EXPECT_EQ(sink.shiftwell(),
            (std::vector<ShiftwellRecord>{failure(
                "[sql][执行sql错误]:INSERT INTO nowhere VALUES (2)错误数据:no such table: nowhere")}));
}

TEST_F(Maintenance, ExecBatchWhoseCommitFailsRollsBack) {
  ASSERT_TRUE(db.exec("PRAGMA foreign_keys = ON"));
  ASSERT_TRUE(
      db.exec("CREATE TABLE parent(id INTEGER PRIMARY KEY);"
              "CREATE TABLE child(p INTEGER REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED)"));
  EXPECT_FALSE(db.exec_batch({"INSERT INTO child VALUES (9)", "INSERT INTO t VALUES (1)"}));
  EXPECT_EQ(rows(), 0);
  EXPECT_EQ(db.query_count("child"), 0);
  EXPECT_EQ(sink.shiftwell(),
            (std::vector<ShiftwellRecord>{
                failure("[sql][执行sql错误]:COMMIT TRANSACTION错误数据:FOREIGN KEY constraint failed"),
                failure("[sql][执行sql提交事务错误]"),
            }));
}

TEST_F(Maintenance, TransactionCommitsAndAFailedCommitIsReportedAndRolledBack) {
  ASSERT_TRUE(db.begin_transaction());
  ASSERT_TRUE(db.exec("INSERT INTO t VALUES (1)"));
  EXPECT_TRUE(db.commit_transaction());
  EXPECT_EQ(rows(), 1);
  EXPECT_FALSE(db.commit_transaction());  // none is active
  EXPECT_EQ(
      sink.shiftwell(),
      (std::vector<ShiftwellRecord>{
          failure("[sql][执行sql错误]:COMMIT TRANSACTION错误数据:cannot commit - no transaction is active"),
          failure("[sql][事务_提交错误]"),
          failure(
              "[sql][执行sql错误]:ROLLBACK TRANSACTION错误数据:cannot rollback - no transaction is active"),
      }));
}

TEST_F(Maintenance, CheckpointNeedsFramesInTheLog) {
  EXPECT_FALSE(db.checkpoint(0));
  ASSERT_TRUE(db.exec("INSERT INTO t VALUES (1)"));
  EXPECT_TRUE(db.checkpoint(0));
  EXPECT_EQ(sink.size(), 0u);
}

// A truncating checkpoint that empties the log reports 0 frames, so vacuum,
// which answers the checkpoint's result, is false although both steps worked.
TEST_F(Maintenance, VacuumTruncatesTheLogAndAnswersTheTruncatingCheckpoint) {
  ASSERT_TRUE(db.exec("INSERT INTO t VALUES (1); INSERT INTO t VALUES (2)"));
  EXPECT_FALSE(db.vacuum());
  EXPECT_EQ(std::filesystem::file_size(path + "-wal"), 0u);
  EXPECT_EQ(rows(), 2);
  EXPECT_EQ(sink.size(), 0u);
  EXPECT_FALSE(db.checkpoint(0));  // nothing left in the log
}

TEST_F(Maintenance, BackupCopiesTheRowsAndFailsForAMissingFolder) {
  ASSERT_TRUE(db.exec("INSERT INTO t VALUES (1); INSERT INTO t VALUES (2)"));
  EXPECT_FALSE(db.backup(dir.file("no/such/folder/b.db")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
  const std::string target = dir.file("b.db");
  ASSERT_TRUE(db.backup(target));
  EXPECT_EQ(raw_text(target, "SELECT group_concat(x) FROM (SELECT x FROM t ORDER BY x)"), "1,2");
}

TEST_F(Maintenance, VacuumWithoutConnectIsALockDepthAnomaly) {
  ASSERT_TRUE(db.disconnect());
  ASSERT_NE(db.main_connection(), nullptr);
  sink.clear();
  db.vacuum();
  const auto records = sink.shiftwell();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, 7);
  EXPECT_EQ(records[0].category, "代码");
  EXPECT_EQ(records[0].code, 888);
  EXPECT_TRUE(std::regex_match(records[0].message, std::regex("\\[sql\\]锁异常 锁记录0 耗时:[0-9]+ VACUUM")))
      << records[0].message;
}

TEST_F(Maintenance, FailingExecWithoutARoutineEmitsNothing) {
  MoKuai_class_sqliteShuJuKu quiet(Configuration::shiftwell);
  ASSERT_TRUE(open_db(quiet, dir.file("quiet.db")));
  quiet.connect();
  EXPECT_FALSE(quiet.exec("SELEC"));
  quiet.disconnect();
  quiet.close();
  EXPECT_EQ(sink.size(), 0u);
}

// ---- records of both configurations ----------------------------------------

class Records : public ::testing::TestWithParam<Configuration> {
 protected:
  void SetUp() override {
    path = dir.file("r.db");
    ASSERT_TRUE(raw_exec(path, "PRAGMA journal_mode=WAL; CREATE TABLE t(x)"));
    OpenArgs args;
    args.sink = &sink;
    ASSERT_TRUE(open_db(db, path, args));
    ASSERT_EQ(sink.size(), 0u);
  }
  void TearDown() override {
    while (db.lock_depth() > 0) db.disconnect();
    db.close();
  }
  bool shiftwell() const { return GetParam() == Configuration::shiftwell; }
  // Record messages as text: Shiftwell's message, Dbwarden's decoded JSON.
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& r : sink.shiftwell()) out.push_back(std::to_string(r.level) + " " + r.message);
    for (const auto& r : sink.dbwarden()) {
      EXPECT_EQ(r.count, static_cast<int>(r.bytes.size()));
      EXPECT_EQ(r.zero, 0);
      out.push_back(std::to_string(r.type) + " " + from_utf16(r.bytes));
    }
    return out;
  }

  TempDir dir;
  std::string path;
  RecordSink sink;
  MoKuai_class_sqliteShuJuKu db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Both, Records, ::testing::Values(Configuration::shiftwell, Configuration::dbwarden),
                         [](const auto& info) { return std::string(name_of(info.param)); });

TEST_P(Records, FailingExecIsReportedByteForByte) {
  ASSERT_TRUE(db.connect());
  EXPECT_FALSE(db.exec("SELEC 1"));
  if (shiftwell()) {
    EXPECT_EQ(sink.shiftwell(), (std::vector<ShiftwellRecord>{failure(
                                    "[sql][执行sql错误]:SELEC 1错误数据:near \"SELEC\": syntax error")}));
  } else {
    EXPECT_EQ(sink.dbwarden(), (std::vector<DbwardenRecord>{dbwarden_record(
                                   1, "执行sql", "SELEC 1", "near \\\"SELEC\\\": syntax error")}));
  }
}

TEST_P(Records, ExecOnFailureNamesTheInternalMethod) {
  sqlite3* connection = db.acquire_connection();
  EXPECT_FALSE(db.exec_on(connection, "SELEC 2"));
  db.release_connection(connection);
  if (shiftwell()) {
    EXPECT_EQ(sink.shiftwell(), (std::vector<ShiftwellRecord>{failure(
                                    "[sql][执行sql错误]:SELEC 2错误数据:near \"SELEC\": syntax error")}));
  } else {
    EXPECT_EQ(sink.dbwarden(), (std::vector<DbwardenRecord>{dbwarden_record(
                                   1, "内部_执行sql", "SELEC 2", "near \\\"SELEC\\\": syntax error")}));
  }
}

TEST_P(Records, SlowStatementIsReportedAfterItsFailure) {
  RawConnection writer(path);
  ASSERT_TRUE(writer.exec("BEGIN IMMEDIATE"));
  ASSERT_TRUE(db.connect());
  ASSERT_TRUE(db.exec("PRAGMA busy_timeout = 1300"));
  const std::uint64_t before = port::tick_count_ms();
  EXPECT_FALSE(db.exec("INSERT INTO t VALUES (1)"));
  ASSERT_GT(port::tick_count_ms() - before, 1000u) << "SQLite's busy wait was shorter than asked";
  const auto records = texts();
  ASSERT_EQ(records.size(), 2u);
  if (shiftwell()) {
    EXPECT_EQ(records[0], "4 [sql][执行sql错误]:INSERT INTO t VALUES (1)错误数据:database is locked");
    EXPECT_TRUE(std::regex_match(
        records[1], std::regex("7 \\[sql\\]慢查询 耗时:1[0-9]{3,} INSERT INTO t VALUES \\(1\\)")))
        << records[1];
  } else {
    EXPECT_EQ(records[0], "1 " + json(1, "执行sql", "INSERT INTO t VALUES (1)", "database is locked"));
    const std::string head = "2 " + json(2, "执行sql", "INSERT INTO t VALUES (1)", "耗时:");
    ASSERT_EQ(records[1].rfind(head.substr(0, head.size() - 2), 0), 0u) << records[1];
    EXPECT_TRUE(std::regex_search(records[1], std::regex("\"error\":\"耗时:1[0-9]{3,}\"\\}$"))) << records[1];
  }
  writer.exec("ROLLBACK");
}

TEST_P(Records, ExecWithoutConnectReportsLockDepthZero) {
  ASSERT_TRUE(db.connect());
  ASSERT_TRUE(db.disconnect());
  sink.clear();
  EXPECT_TRUE(db.exec("INSERT INTO t VALUES (1)"));
  const auto records = texts();
  ASSERT_EQ(records.size(), 1u);
  if (shiftwell()) {
    EXPECT_TRUE(std::regex_match(
        records[0], std::regex("7 \\[sql\\]锁异常 锁记录0 耗时:[0-9]+ INSERT INTO t VALUES \\(1\\)")))
        << records[0];
  } else {
    EXPECT_EQ(
        sink.dbwarden(),
        (std::vector<DbwardenRecord>{dbwarden_record(3, "执行sql", "INSERT INTO t VALUES (1)", "次数:0")}));
  }
}

TEST_P(Records, NestingDeeperThanTheConfigurationsLimitIsAnAnomaly) {
  const int normal_depth = shiftwell() ? 3 : 5;
  for (int depth = 1; depth <= normal_depth + 1; ++depth) {
    ASSERT_TRUE(db.connect());
    sink.clear();
    ASSERT_TRUE(db.exec("SELECT 1"));
    SCOPED_TRACE(depth);
    if (depth <= normal_depth) {
      EXPECT_EQ(sink.size(), 0u);
    } else if (shiftwell()) {
      ASSERT_EQ(sink.shiftwell().size(), 1u);
      EXPECT_TRUE(std::regex_match(sink.shiftwell()[0].message,
                                   std::regex("\\[sql\\]锁异常 锁记录4 耗时:[0-9]+ SELECT 1")));
    } else {
      EXPECT_EQ(sink.dbwarden(),
                (std::vector<DbwardenRecord>{dbwarden_record(3, "执行sql", "SELECT 1", "次数:6")}));
    }
  }
}

TEST_P(Records, RecordTimingJudgesTheElapsedTime) {
  if (shiftwell()) {
    db.record_timing(port::tick_count_ms() - 5000, "Q", 0);
    db.record_timing(port::tick_count_ms(), "R", 0);
    ASSERT_EQ(sink.shiftwell().size(), 1u);
    EXPECT_TRUE(std::regex_match(sink.shiftwell()[0].message, std::regex("\\[sql\\]慢查询 耗时:5[0-9]{3} Q")))
        << sink.shiftwell()[0].message;
  } else {
    db.record_timing("查询返回字段", port::tick_count32() - 5000u, "Q", 0);
    db.record_timing("查询返回字段", port::tick_count32() + 100000u, "R",
                     0);  // a negative difference is not slow
    const auto records = texts();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        records[0], std::regex("2 \\{\"type\":2,\"module\":\"gerenmokuai_test\",\"method\":"
                               "\"查询返回字段\",\"sql\":\"Q\",\"error\":\"耗时:5[0-9]{3}\"\\}")))
        << records[0];
  }
}

}  // namespace
}  // namespace gerenmokuai_test
