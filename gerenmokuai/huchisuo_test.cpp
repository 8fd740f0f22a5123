#include "gerenmokuai/huchisuo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "port/clock.h"

namespace GeRenMoKuai {
namespace {

TEST(ChanJinCheng, EnterSleeps30MsForTheFirst49FailuresThen100Ms) {
  int thirty = 0;
  for (int failed = 1; failed <= 60; ++failed) {
    const int ms = MoKuai_class_HuChiSuo_ChanJinCheng::backoff_ms(failed);
    if (ms == 30) {
      ++thirty;
      EXPECT_LT(failed, 50);
    } else {
      EXPECT_EQ(ms, 100);
      EXPECT_GE(failed, 50);
    }
  }
  EXPECT_EQ(thirty, 49);
}

class ChanJinChengBoth : public ::testing::TestWithParam<Configuration> {};

INSTANTIATE_TEST_SUITE_P(Both, ChanJinChengBoth,
                         ::testing::Values(Configuration::shiftwell, Configuration::dbwarden),
                         [](const auto& info) {
                           return std::string(info.param == Configuration::shiftwell ? "shiftwell"
                                                                                     : "dbwarden");
                         });

TEST_P(ChanJinChengBoth, TwentyThreadsNeverOverlap) {
  MoKuai_class_HuChiSuo_ChanJinCheng lock(GetParam());
  int counter = 0;  // guarded by lock only
  std::atomic<int> inside{0};
  std::atomic<bool> overlap{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 20; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        lock.enter();
        if (inside.fetch_add(1) != 0) overlap = true;
        ++counter;
        inside.fetch_sub(1);
        lock.leave();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(overlap);
  EXPECT_EQ(counter, 20 * 500);
}

TEST_P(ChanJinChengBoth, EnterWaitsUntilTheHolderLeaves) {
  MoKuai_class_HuChiSuo_ChanJinCheng lock(GetParam());
  std::atomic<bool> left{false};
  lock.enter();
  std::thread waiter([&] {
    lock.enter();
    EXPECT_TRUE(left.load());
    lock.leave();
  });
  port::sleep_ms(200);
  left = true;
  lock.leave();
  waiter.join();
}

TEST_P(ChanJinChengBoth, ACopyIsAnIndependentLock) {
  MoKuai_class_HuChiSuo_ChanJinCheng lock(GetParam());
  lock.enter();
  MoKuai_class_HuChiSuo_ChanJinCheng copy(lock);
  std::thread other([&] {
    copy.enter();
    copy.leave();
  });
  other.join();
  lock.leave();
}

TEST(ChanJinCheng, TryEnterIsOneAttemptAndOnlyShiftwellHasIt) {
  MoKuai_class_HuChiSuo_ChanJinCheng lock(Configuration::shiftwell);
  ASSERT_TRUE(lock.try_enter());
  std::thread other([&] { EXPECT_FALSE(lock.try_enter()); });
  other.join();
  lock.leave();
  MoKuai_class_HuChiSuo_ChanJinCheng dbwarden(Configuration::dbwarden);
  EXPECT_FALSE(dbwarden.try_enter());
}

TEST(KuaJinCheng, DbwardenReplacesAnEmptyNameWithRandomLettersAndReopens) {
  MoKuai_class_HuChiSuo_KuaJinCheng lock(Configuration::dbwarden);
  EXPECT_FALSE(lock.has_handle());
  EXPECT_EQ(lock.wait(0), port::WaitResult::failed);
  lock.release();  // harmless without a handle
  ASSERT_TRUE(lock.create(""));
  const std::string first = lock.lock_name();
  ASSERT_EQ(first.size(), 32u);
  for (char c : first) EXPECT_TRUE(c >= 'a' && c <= 'z') << first;
  EXPECT_EQ(lock.handle_name(), first);
  ASSERT_TRUE(lock.create("dbw-test-abcqmtx"));
  EXPECT_EQ(lock.handle_name(), "dbw-test-abcqmtx");
  MoKuai_class_HuChiSuo_KuaJinCheng copy(lock);
  EXPECT_EQ(copy.lock_name(), "dbw-test-abcqmtx");
  EXPECT_FALSE(copy.has_handle());
}

TEST(KuaJinCheng, ShiftwellOpensTheMutexByNameAndKeepsOnlyTheHandle) {
  MoKuai_class_HuChiSuo_KuaJinCheng lock(Configuration::shiftwell);
  ASSERT_TRUE(lock.create("sw-test-xyzqmtx"));
  EXPECT_EQ(lock.handle_name(), "sw-test-xyzqmtx");
  EXPECT_EQ(lock.lock_name(), "");
  const port::WaitResult r = lock.wait(100);
  EXPECT_TRUE(r == port::WaitResult::acquired || r == port::WaitResult::abandoned);
  lock.release();
  lock.close_handle();
  EXPECT_FALSE(lock.has_handle());
}

}  // namespace
}  // namespace GeRenMoKuai
