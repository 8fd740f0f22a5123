// Counting and row queries and the schema helpers (Shiftwell's configuration).
#include <gtest/gtest.h>

#include "gerenmokuai/sqlite_shujuku.h"
#include "gerenmokuai/test_support.h"

namespace gerenmokuai_test {
namespace {

class Queries : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("q.db");
    ASSERT_TRUE(
        raw_exec(path,
                 "CREATE TABLE member(id INTEGER PRIMARY KEY, wxid TEXT, name TEXT, record TEXT, money REAL);"
                 "INSERT INTO member(wxid, name) VALUES ('w1', 'a'), ('w2', 'b'), ('w3', 'b');"
                 "CREATE VIEW v_member AS SELECT * FROM member;"));
    OpenArgs args;
    args.sink = &sink;
    ASSERT_TRUE(open_db(db, path, args));
    sink.clear();
    ASSERT_TRUE(db.connect());
  }
  void TearDown() override {
    db.disconnect();
    db.close();
  }
  std::string index_sql(const std::string& name) {
    std::string sql;
    db.query_fields("SELECT sql FROM sqlite_master WHERE name = '" + name + "'", sql);
    return sql;
  }

  TempDir dir;
  std::string path;
  RecordSink sink;
  MoKuai_class_sqliteShuJuKu db{Configuration::shiftwell};
};

TEST_F(Queries, QueryCountWithAndWithoutCondition) {
  EXPECT_EQ(db.query_count("member"), 3);
  EXPECT_EQ(db.query_count("member", ""), 3);
  EXPECT_EQ(db.query_count("member", "name = 'b'"), 2);
  EXPECT_EQ(db.query_count("member", "name = 'zz'"), 0);
  db.disconnect();  // the same through a pooled connection
  EXPECT_EQ(db.query_count("member", "name = 'b'"), 2);
  EXPECT_EQ(db.pooled_in_use(), 0);
  db.connect();
  EXPECT_EQ(sink.size(), 0u);
}

TEST_F(Queries, QueryCountThatCannotPrepareReportsAndAnswersZero) {
  EXPECT_EQ(db.query_count("nowhere"), 0);
  EXPECT_EQ(
      sink.shiftwell(),
      (std::vector<ShiftwellRecord>{{4, "代码", 888, "[sql][查询返回数量]:SELECT COUNT(*) FROM nowhere"}}));
}

TEST_F(Queries, QueryRowsOfTableInfoGivesColumnNumberAndName) {
  MoKuai_class_sqliteShuJuKu::Table table{{"stale"}};
  ASSERT_EQ(db.query_rows(2, "pragma table_info(member)", table), 5);
  const MoKuai_class_sqliteShuJuKu::Table expected = {
      {"0", "id"}, {"1", "wxid"}, {"2", "name"}, {"3", "record"}, {"4", "money"}};
  EXPECT_EQ(table, expected);
}

TEST_F(Queries, QueryRowsReadsEmptyTextBeyondTheStatementsColumnsAndEmptiesOnFailure) {
  MoKuai_class_sqliteShuJuKu::Table table;
  ASSERT_EQ(db.query_rows(3, "SELECT wxid FROM member ORDER BY id", table), 3);
  EXPECT_EQ(table[2], (std::vector<std::string>{"w3", "", ""}));
  EXPECT_EQ(db.query_rows(1, "SELECT wxid FROM nowhere", table), 0);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(sink.shiftwell(),
            (std::vector<ShiftwellRecord>{{4, "代码", 888, "[sql][查询返回数组]:SELECT wxid FROM nowhere"}}));
  EXPECT_EQ(db.query_rows(0, "SELECT 1", table), 0);
}

TEST_F(Queries, ColumnExistsIsCaseSensitive) {
  EXPECT_TRUE(db.column_exists("member", "wxid"));
  EXPECT_FALSE(db.column_exists("member", "WXID"));
  EXPECT_FALSE(db.column_exists("nowhere", "wxid"));
}

TEST_F(Queries, CreateIndexAssemblesItsStatementAndTheExistenceTestsSeeIt) {
  ASSERT_TRUE(db.create_index("member", "wxid", "i1", 1));
  ASSERT_TRUE(db.create_index("member", "name", "i2", 0));
  EXPECT_EQ(index_sql("i1"), "CREATE INDEX 'i1' ON 'member' ('wxid' DESC)");
  EXPECT_EQ(index_sql("i2"), "CREATE INDEX 'i2' ON 'member' ('name' ASC)");
  EXPECT_TRUE(db.index_exists("member", "i1"));
  EXPECT_FALSE(db.index_exists("member", "i3"));
  EXPECT_EQ(db.index_count("member"), 2);
  ASSERT_TRUE(db.drop_index("i1"));
  EXPECT_FALSE(db.index_exists("member", "i1"));
  EXPECT_EQ(db.index_count("member"), 1);
}

TEST_F(Queries, TableAndViewExistence) {
  EXPECT_TRUE(db.table_exists("member"));
  EXPECT_FALSE(db.table_exists("v_member"));
  EXPECT_TRUE(db.view_exists("v_member"));
  EXPECT_FALSE(db.view_exists("member"));
}

TEST_F(Queries, WritingHelpersRunTheirStatements) {
  ASSERT_TRUE(db.exec("CREATE TABLE copy AS SELECT * FROM member WHERE 0"));
  EXPECT_TRUE(db.copy_table_rows("copy", "member"));
  EXPECT_EQ(db.query_count("copy"), 3);
  EXPECT_TRUE(db.clear_table("copy"));
  EXPECT_EQ(db.query_count("copy"), 0);
  EXPECT_TRUE(db.rename_table("copy", "copy2"));
  EXPECT_TRUE(db.table_exists("copy2"));
  EXPECT_TRUE(db.drop_table("copy2"));
  EXPECT_FALSE(db.table_exists("copy2"));
  const std::string other = dir.file("other.db");
  ASSERT_TRUE(raw_exec(other, "CREATE TABLE o(x); INSERT INTO o VALUES (5)"));
  EXPECT_TRUE(db.attach_database(other, "aux1"));
  EXPECT_EQ(db.query_count("aux1.o"), 1);  // through the main connection, which attached it
  EXPECT_EQ(sink.size(), 0u);
}

TEST_F(Queries, AQuoteInAValueBreaksTheStatementAndIsReported) {
  EXPECT_FALSE(db.table_exists("a'b"));
  EXPECT_FALSE(db.clear_table("a'b"));
  const auto records = sink.shiftwell();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].message,
            "[sql][查询返回数量]:SELECT COUNT(*) FROM sqlite_master WHERE type='table' and tbl_name='a'b'");
  EXPECT_EQ(records[1].message.rfind("[sql][执行sql错误]:DELETE FROM 'a'b'错误数据:", 0), 0u)
      << records[1].message;
  EXPECT_GT(records[1].message.size(), std::string("[sql][执行sql错误]:DELETE FROM 'a'b'错误数据:").size());
}

TEST_F(Queries, VersionNamesTheSqliteLibrary) {
  std::string expected;
  db.query_fields("SELECT sqlite_version()", expected);
  EXPECT_EQ(db.version(), "sqlite:" + expected);
}

TEST(DbwardenQueries, OperationsOnlyShiftwellHasAnswerNothing) {
  TempDir dir;
  MoKuai_class_sqliteShuJuKu db(Configuration::dbwarden);
  ASSERT_TRUE(open_db(db, dir.file("a.db")));
  ASSERT_TRUE(db.connect());
  ASSERT_TRUE(db.exec("CREATE TABLE t(x); INSERT INTO t VALUES (1)"));
  MoKuai_class_sqliteShuJuKu::Table table;
  EXPECT_EQ(db.query_count("t"), 0);
  EXPECT_EQ(db.query_rows(1, "SELECT x FROM t", table), 0);
  EXPECT_FALSE(db.table_exists("t"));
  EXPECT_FALSE(db.clear_table("t"));
  EXPECT_EQ(db.version(), "");
  EXPECT_FALSE(db.begin_transaction());
  EXPECT_FALSE(db.exec_batch({"INSERT INTO t VALUES (2)"}));
  EXPECT_FALSE(db.checkpoint(0));
  EXPECT_FALSE(db.backup(dir.file("b.db")));
  std::string count;
  ASSERT_TRUE(db.query_fields("SELECT count(*) FROM t", count));
  EXPECT_EQ(count, "1");
  db.disconnect();
  db.close();
}

}  // namespace
}  // namespace gerenmokuai_test
