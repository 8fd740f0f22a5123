// The pool of reading connections: the writer reading its own changes, the
// limit of 50, trimming and the order of idle connections.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "gerenmokuai/sqlite_shujuku.h"
#include "gerenmokuai/test_support.h"
#include "port/clock.h"

namespace gerenmokuai_test {
namespace {

class Pool : public ::testing::TestWithParam<Configuration> {
 protected:
  void SetUp() override {
    path = dir.file("p.db");
    ASSERT_TRUE(raw_exec(path, "PRAGMA journal_mode=WAL; CREATE TABLE t(x)"));
    ASSERT_TRUE(open_db(db, path));
    // open read the journal mode on one pooled connection, now idle
    ASSERT_EQ(db.idle_count(), 1);
    ASSERT_EQ(db.pool_use_count(), 1);
  }
  void TearDown() override { db.close(); }
  bool shiftwell() const { return GetParam() == Configuration::shiftwell; }
  std::string field(const std::string& sql) {
    std::string value = "<none>";
    db.query_fields(sql, value);
    return value;
  }

  TempDir dir;
  std::string path;
  MoKuai_class_sqliteShuJuKu db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Both, Pool, ::testing::Values(Configuration::shiftwell, Configuration::dbwarden),
                         [](const auto& info) { return std::string(name_of(info.param)); });

TEST_P(Pool, TheConnectedThreadReadsItsOwnUncommittedRowOthersDoNot) {
  ASSERT_TRUE(db.connect());
  ASSERT_TRUE(db.exec("BEGIN"));
  ASSERT_TRUE(db.exec("INSERT INTO t VALUES (1)"));
  EXPECT_EQ(field("SELECT count(*) FROM t"), "1");
  EXPECT_EQ(db.pooled_in_use(), 0);
  EXPECT_EQ(db.pool_use_count(), 1);
  std::string seen_by_other;
  std::thread other([&] { seen_by_other = field("SELECT count(*) FROM t"); });
  other.join();
  EXPECT_EQ(seen_by_other, "0");
  ASSERT_TRUE(db.exec("COMMIT"));
  ASSERT_TRUE(db.disconnect());
  EXPECT_EQ(field("SELECT count(*) FROM t"), "1");
}

TEST_P(Pool, TheFiftyFirstReaderWaitsUntilOneGivesItsConnectionBack) {
  std::vector<sqlite3*> held;
  for (int i = 0; i < 50; ++i) held.push_back(db.acquire_connection());
  ASSERT_EQ(db.pooled_in_use(), 50);
  std::atomic<bool> got{false};
  sqlite3* late = nullptr;
  std::thread reader([&] {
    late = db.acquire_connection();
    got = true;
  });
  port::sleep_ms(300);
  EXPECT_FALSE(got) << "a 51st connection was handed out";
  db.release_connection(held.back());
  held.pop_back();
  for (int waited = 0; waited < 20000 && !got; waited += 10) port::sleep_ms(10);
  EXPECT_TRUE(got);
  reader.join();
  EXPECT_EQ(db.pooled_in_use(), 50);
  held.push_back(late);
  for (sqlite3* c : held) db.release_connection(c);
  EXPECT_EQ(db.pooled_in_use(), 0);
  EXPECT_EQ(db.idle_count(), 50);
}

TEST_P(Pool, IdleConnectionsAreHandedOutOldestFirstInShiftwellNewestFirstInDbwarden) {
  sqlite3* first = db.acquire_connection();   // the idle one
  sqlite3* second = db.acquire_connection();  // newly opened
  ASSERT_NE(first, second);
  db.release_connection(first);
  db.release_connection(second);
  sqlite3* next = db.acquire_connection();
  EXPECT_EQ(next, shiftwell() ? first : second);
  db.release_connection(next);
}

// With 4 idle and none out, an acquisition counts itself, so the surplus is
// 3 and the acquisition that raises the count above 200 / 3 (the 67th)
// closes the connection that would have been handed out next; with 3 idle
// the surplus is 2 and the 101st closes the next one.
TEST_P(Pool, TrimmingClosesOneIdleConnectionAfterSoManyAcquisitions) {
  std::vector<sqlite3*> four;
  for (int i = 0; i < 4; ++i) four.push_back(db.acquire_connection());
  for (sqlite3* c : four) db.release_connection(c);
  ASSERT_EQ(db.idle_count(), 4);
  ASSERT_EQ(db.pool_use_count(), 5);

  struct Stage {
    int idle_before, trim_at_count;
  };
  for (const Stage stage : {Stage{4, 67}, Stage{3, 101}}) {
    SCOPED_TRACE(stage.idle_before);
    std::vector<sqlite3*> handed;
    for (;;) {
      const int count_before = db.pool_use_count();
      ASSERT_EQ(db.idle_count(), stage.idle_before);
      sqlite3* c = db.acquire_connection();
      handed.push_back(c);
      db.release_connection(c);
      if (count_before + 1 < stage.trim_at_count) {
        ASSERT_EQ(db.pool_use_count(), count_before + 1);
        ASSERT_EQ(db.idle_count(), stage.idle_before);
        continue;
      }
      EXPECT_EQ(db.pool_use_count(), 0);
      EXPECT_EQ(db.idle_count(), stage.idle_before - 1);
      break;
    }
    ASSERT_GE(handed.size(), 2u);
    const std::size_t n = handed.size();
    if (shiftwell()) {
      // Oldest first cycles through the idle connections; the trimmed one is skipped.
      const std::size_t k = static_cast<std::size_t>(stage.idle_before);
      ASSERT_GE(n, k + 1);
      EXPECT_EQ(handed[n - 1], handed[n - k]);
      EXPECT_NE(handed[n - 1], handed[n - 1 - k]);
    } else {
      // Newest first always hands out the same one until it is trimmed.
      EXPECT_EQ(handed[n - 2], handed[0]);
      EXPECT_NE(handed[n - 1], handed[0]);
    }
  }
}

TEST_P(Pool, MoreAcquisitionsThanTheReuseLimitCloseTheNextIdleConnection) {
  // One idle connection: no surplus, so only the reuse limit (1000) trims.
  for (int i = 2; i <= 1000; ++i) db.release_connection(db.acquire_connection());
  ASSERT_EQ(db.pool_use_count(), 1000);
  ASSERT_EQ(db.idle_count(), 1);
  db.release_connection(db.acquire_connection());
  EXPECT_EQ(db.pool_use_count(), 0);
  EXPECT_EQ(db.idle_count(), 1);  // closed, and a new one opened in its place
  EXPECT_EQ(field("SELECT count(*) FROM t"), "0");
}

// The migration's pattern: many writers, each testing for a row and
// inserting it inside one connect/disconnect bracket, while others read.
TEST_P(Pool, TwentyWorkersInsertEachRowOnce) {
  std::vector<std::thread> workers;
  std::atomic<int> inserted{0};
  for (int w = 0; w < 20; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < 40; ++i) {
        const std::string key = std::to_string((w * 40 + i) % 400);  // each key wanted by two workers
        EXPECT_TRUE(db.connect());
        std::string count;
        db.query_fields("SELECT count(*) FROM t WHERE x = '" + key + "'", count);
        if (count == "0" && db.exec("INSERT INTO t VALUES ('" + key + "')")) ++inserted;
        db.disconnect();
        std::string total;
        db.query_fields("SELECT count(*) FROM t", total);
      }
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_EQ(inserted, 400);
  EXPECT_EQ(field("SELECT count(DISTINCT x) || '/' || count(*) FROM t"), "400/400");
  EXPECT_EQ(db.pooled_in_use(), 0);
  EXPECT_EQ(db.lock_depth(), 0);
}

}  // namespace
}  // namespace gerenmokuai_test
