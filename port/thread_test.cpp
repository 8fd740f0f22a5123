#include "port/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "port/clock.h"

namespace {

TEST(Thread, WaitTellsWhetherTheThreadEnded) {
  std::atomic<bool> go{false};
  auto t = port::Thread::start([&] {
    while (!go) port::sleep_ms(1);
  });
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->wait(0));
  EXPECT_FALSE(t->wait(20));
  go = true;
  EXPECT_TRUE(t->wait(-1));
  EXPECT_TRUE(t->wait(0));
}

TEST(Thread, RunsWithAGivenStackSize) {
  std::atomic<int> depth{0};
  // 4 MB of stack: a recursion that needs ~1 MB must fit.
  auto t = port::Thread::start(
      [&] {
        volatile char big[1 << 20];
        big[0] = 1;
        depth = big[0];
      },
      4u << 20);
  ASSERT_TRUE(t);
  EXPECT_TRUE(t->wait(-1));
  EXPECT_EQ(depth.load(), 1);
}

TEST(Thread, IdsAreNonZeroAndDistinct) {
  std::set<std::uint32_t> ids{port::current_thread_id()};
  std::atomic<std::uint32_t> other{0};
  auto t = port::Thread::start([&] { other = port::current_thread_id(); });
  t->wait(-1);
  EXPECT_NE(other.load(), 0u);
  EXPECT_EQ(ids.count(other.load()), 0u);
  EXPECT_NE(port::current_thread_id(), 0u);
}

}  // namespace
