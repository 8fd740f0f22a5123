// The cross-process lock between connect and disconnect, seen from several
// processes on one database file.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "gerenmokuai/sqlite_shujuku.h"
#include "gerenmokuai/test_support.h"
#include "port/clock.h"
#include "port/file.h"
#include "port/process.h"

namespace gerenmokuai_test {
namespace {

std::string child_program() { return bin_dir() + "/gerenmokuai_child"; }

bool wait_for_file(const std::string& path, int limit_ms = 30000) {
  for (int waited = 0; waited < limit_ms; waited += 10) {
    if (port::file_exists(path)) return true;
    port::sleep_ms(10);
  }
  return false;
}

// One connect ... disconnect bracket with a write inside, on a thread of its
// own, so that the test can see whether connect waits. The named mutex
// belongs to the thread that took it, so the same thread gives it back.
class BracketOnThread {
 public:
  BracketOnThread(MoKuai_class_sqliteShuJuKu& db, const std::string& sql)
      : thread_([this, &db, sql] {
          const bool connected = db.connect();
          depth_ = db.lock_depth();
          connected_ = true;
          exec_ok_ = connected && db.exec(sql);
          db.disconnect();
        }) {}
  ~BracketOnThread() { join(); }
  bool connected() const { return connected_; }
  bool wait_connected(int limit_ms = 20000) const {
    for (int waited = 0; waited < limit_ms && !connected_; waited += 10) port::sleep_ms(10);
    return connected_;
  }
  void join() {
    if (thread_.joinable()) thread_.join();
  }
  bool exec_ok() const { return exec_ok_; }
  int depth() const { return depth_; }

 private:
  std::atomic<bool> connected_{false};
  std::atomic<bool> exec_ok_{false};
  std::atomic<int> depth_{-1};
  std::thread thread_;
};

TEST(CrossProcess, ProcessesExcludeEachOtherBetweenConnectAndDisconnect) {
  TempDir dir;
  const std::string db_path = dir.file("shared.db");
  const std::string log = dir.file("log.txt");
  const std::string go = dir.file("go");
  const char* configs[] = {"shiftwell", "dbwarden", "shiftwell", "dbwarden"};
  std::vector<std::unique_ptr<port::Process>> children;
  for (int i = 0; i < 4; ++i) {
    auto child = port::Process::start(
        child_program(), {configs[i], db_path, "cycles", log, go, "5", "15", "c" + std::to_string(i)});
    ASSERT_NE(child, nullptr);
    children.push_back(std::move(child));
  }
  ASSERT_TRUE(port::write_file(go, "go"));
  for (auto& child : children) {
    int code = -1;
    ASSERT_TRUE(child->wait(60000, &code));
    EXPECT_EQ(code, 0);
  }
  std::string text;
  ASSERT_TRUE(port::read_file(log, text));
  std::istringstream lines(text);
  std::string enter, leave;
  int pairs = 0;
  while (std::getline(lines, enter)) {
    ASSERT_TRUE(std::getline(lines, leave)) << "unmatched " << enter;
    ASSERT_EQ(enter.rfind("enter ", 0), 0u) << enter;
    EXPECT_EQ(leave, "leave " + enter.substr(6))
        << "another process entered while " << enter.substr(6) << " held it";
    ++pairs;
  }
  EXPECT_EQ(pairs, 20);
}

class CrossProcessLock : public ::testing::TestWithParam<Configuration> {
 protected:
  void SetUp() override { db_path = dir.file("held.db"); }
  std::unique_ptr<port::Process> start_child(const char* mode) {
    auto child = port::Process::start(child_program(), {name_of(GetParam()), db_path, mode, marker()});
    EXPECT_NE(child, nullptr);
    if (child) {
      EXPECT_TRUE(wait_for_file(marker())) << "the child did not get as far as " << mode;
    }
    return child;
  }
  std::string marker() const { return dir.file("marker"); }

  TempDir dir;
  std::string db_path;
};

INSTANTIATE_TEST_SUITE_P(Both, CrossProcessLock,
                         ::testing::Values(Configuration::shiftwell, Configuration::dbwarden),
                         [](const auto& info) { return std::string(name_of(info.param)); });

TEST_P(CrossProcessLock, AHolderKilledWithTheMutexDoesNotBlockTheNextProcess) {
  // Opened first: Dbwarden's open takes the mutex itself (pragmas of its new
  // pooled connection) and would wait for the child.
  MoKuai_class_sqliteShuJuKu db(GetParam());
  ASSERT_TRUE(open_db(db, db_path));
  auto child = start_child("hold");
  ASSERT_NE(child, nullptr);
  {
    BracketOnThread writer(db, "CREATE TABLE after_kill(x)");
    port::sleep_ms(300);
    EXPECT_FALSE(writer.connected()) << "connect did not wait for the other process";
    child->kill_hard();
    ASSERT_TRUE(writer.wait_connected());
    writer.join();
    EXPECT_EQ(writer.depth(), 1);
    EXPECT_TRUE(writer.exec_ok());
  }
  EXPECT_EQ(db.lock_depth(), 0);
  // The mutex was given back: this thread gets it as well.
  ASSERT_TRUE(db.connect());
  std::string count;
  EXPECT_TRUE(db.query_fields("SELECT count(*) FROM sqlite_master WHERE name = 'after_kill'", count));
  EXPECT_EQ(count, "1");
  EXPECT_TRUE(db.disconnect());
  db.close();
}

TEST_P(CrossProcessLock, NestedConnectsLeaveTheMutexFreeAfterTheirDisconnects) {
  MoKuai_class_sqliteShuJuKu db(GetParam());
  ASSERT_TRUE(open_db(db, db_path));
  auto child = start_child("nested");
  ASSERT_NE(child, nullptr);
  {
    BracketOnThread writer(db, "CREATE TABLE while_child_lives(x)");
    const bool acquired = writer.wait_connected();
    if (!acquired) child->kill_hard();  // let the thread finish before failing
    EXPECT_TRUE(acquired) << "the child still holds the mutex";
  }
  child->kill_hard();
  db.close();
}

TEST(DbwardenCrossProcess, PragmasOfANewPooledConnectionWaitForTheHolder) {
  TempDir dir;
  const std::string db_path = dir.file("pragmas.db");
  MoKuai_class_sqliteShuJuKu db(Configuration::dbwarden);
  ASSERT_TRUE(open_db(db, db_path));
  sqlite3* idle = db.acquire_connection();  // keep the only idle one out, so the next is new
  const std::string marker = dir.file("marker");
  auto child = port::Process::start(child_program(), {"dbwarden", db_path, "hold", marker});
  ASSERT_NE(child, nullptr);
  ASSERT_TRUE(wait_for_file(marker));
  std::atomic<bool> got{false};
  std::thread reader([&] {
    db.release_connection(db.acquire_connection());
    got = true;
  });
  port::sleep_ms(300);
  EXPECT_FALSE(got) << "the new pooled connection did not wait for the mutex";
  child->kill_hard();
  reader.join();
  EXPECT_TRUE(got);
  db.release_connection(idle);
  db.close();
}

}  // namespace
}  // namespace gerenmokuai_test
