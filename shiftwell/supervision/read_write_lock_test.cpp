#include "shiftwell/supervision/read_write_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace shiftwell {
namespace {

using namespace std::chrono_literals;

// Waits with a generous bound, only so that a broken lock fails instead of hanging.
template <typename Condition>
bool eventually(Condition condition) {
  const auto give_up = std::chrono::steady_clock::now() + 10s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A moment for a thread that should stay blocked to show that it does not.
// Passing never depends on it; it only gives a faulty lock time to be caught.
void let_others_run() { std::this_thread::sleep_for(50ms); }

class ReadWriteLockTest : public ::testing::Test {
 protected:
  void SetUp() override { lock.init(); }
  void TearDown() override { lock.destroy(); }
  ReadWriteLock lock;
};

TEST_F(ReadWriteLockTest, WriterWaitsForReadersInsideAndHoldsBackLaterOnes) {
  lock.lock_read();
  lock.lock_read();  // two readers inside
  ASSERT_EQ(lock.readers(), 2);

  std::atomic<bool> writer_in{false}, writer_may_leave{false}, late_reader_in{false};
  std::thread writer([&] {
    lock.lock_write();
    writer_in = true;
    while (!writer_may_leave) std::this_thread::sleep_for(1ms);
    lock.unlock_write();
  });
  ASSERT_TRUE(eventually([&] { return lock.writer_owned(); }));
  std::thread late_reader([&] {
    lock.lock_read();
    late_reader_in = true;
    lock.unlock_read();
  });

  let_others_run();
  EXPECT_FALSE(writer_in);
  EXPECT_FALSE(late_reader_in);

  lock.unlock_read();
  let_others_run();
  EXPECT_FALSE(writer_in) << "the writer entered while a reader was still inside";

  lock.unlock_read();
  ASSERT_TRUE(eventually([&] { return writer_in.load(); }));
  let_others_run();
  EXPECT_FALSE(late_reader_in) << "a reader entered beside the writer";

  writer_may_leave = true;
  EXPECT_TRUE(eventually([&] { return late_reader_in.load(); }));
  writer.join();
  late_reader.join();
  EXPECT_EQ(lock.readers(), 0);
  EXPECT_FALSE(lock.writer_owned());
}

TEST_F(ReadWriteLockTest, OwnerReentersAndNeedsOneUnlockPerLock) {
  lock.lock_write();
  lock.lock_write();
  std::atomic<bool> other_in{false};
  std::thread other([&] {
    lock.lock_write();
    other_in = true;
    lock.unlock_write();
  });

  EXPECT_TRUE(lock.unlock_write());
  let_others_run();
  EXPECT_TRUE(lock.writer_owned());
  EXPECT_FALSE(other_in) << "one unlock released two levels of ownership";

  EXPECT_TRUE(lock.unlock_write());
  other.join();
  EXPECT_TRUE(other_in);
  EXPECT_FALSE(lock.writer_owned());
}

TEST_F(ReadWriteLockTest, EitherUnlockByTheWriterReleasesAndLeavesReadersAlone) {
  for (bool use_unlock_read : {true, false}) {
    SCOPED_TRACE(use_unlock_read ? "unlock_read" : "unlock_write");
    lock.lock_write();
    EXPECT_TRUE(use_unlock_read ? lock.unlock_read() : lock.unlock_write());
    EXPECT_FALSE(lock.writer_owned());
    EXPECT_EQ(lock.readers(), 0);

    std::thread other([&] {
      lock.lock_write();
      lock.unlock_write();
    });
    other.join();  // would hang if the first writer still owned the lock
  }
}

TEST_F(ReadWriteLockTest, ReaderIsCountedOutByAnotherThread) {
  lock.lock_read();
  std::thread other([&] { EXPECT_TRUE(lock.unlock_read()); });
  other.join();
  EXPECT_EQ(lock.readers(), 0);
}

TEST_F(ReadWriteLockTest, StrayUnlockIsRefusedAndKeepsTheLockWorking) {
  EXPECT_FALSE(lock.unlock_read());
  EXPECT_FALSE(lock.unlock_write());
  EXPECT_EQ(lock.readers(), 0);

  // The next reader must still keep a writer out.
  lock.lock_read();
  std::atomic<bool> writer_in{false};
  std::thread writer([&] {
    lock.lock_write();
    writer_in = true;
    lock.unlock_write();
  });
  let_others_run();
  EXPECT_FALSE(writer_in);
  lock.unlock_read();
  writer.join();
  EXPECT_TRUE(writer_in);
}

TEST_F(ReadWriteLockTest, WritersLoseNoIncrementAndReadersSeeWholeValues) {
  constexpr int kWriters = 8, kRounds = 5000;
  long counter = 0;  // deliberately plain: only the lock protects it
  std::atomic<bool> done{false};
  std::atomic<bool> went_backwards{false};

  std::vector<std::thread> threads;
  for (int i = 0; i < kWriters; ++i)
    threads.emplace_back([&] {
      for (int n = 0; n < kRounds; ++n) {
        lock.lock_write();
        ++counter;
        lock.unlock_write();
      }
    });
  std::thread reader([&] {
    long last = 0;
    while (!done) {
      lock.lock_read();
      const long seen = counter;
      lock.unlock_read();
      if (seen < last) went_backwards = true;
      last = seen;
    }
  });
  for (auto& t : threads) t.join();
  done = true;
  reader.join();

  EXPECT_EQ(counter, long{kWriters} * kRounds);
  EXPECT_FALSE(went_backwards);
}

}  // namespace
}  // namespace shiftwell
