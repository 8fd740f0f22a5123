#include "shiftwell/supervision/utility.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <set>
#include <string>

#include "port/clock.h"
#include "port/local_time.h"
#include "port/message_pump.h"

namespace shiftwell {
namespace {

constexpr std::int64_t kEightHours = 8 * 3600;

struct RangeCase {
  std::int32_t low, high;
  std::int64_t min, max;  // the values a draw may take
};

TEST(RandomBetween, StaysWithinItsRange) {
  const RangeCase cases[] = {
      {111, 999, 111, 999},
      {5, 5, 5, 5},
      {-10, 10, -10, 10},
      // high 0 stands for 2147483647, and only 32768 draws exist.
      {0, 0, 0, 32767},
      {100, 0, 100, 100 + 32767},
      // The full 32-bit range must not divide by zero.
      {INT32_MIN, INT32_MAX, INT32_MIN, std::int64_t{INT32_MIN} + 32767},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "random_between(" << c.low << ", " << c.high << ")");
    std::set<std::int32_t> seen;
    for (int i = 0; i < 20000; ++i) {
      const std::int32_t v = random_between(c.low, c.high);
      ASSERT_GE(v, c.min);
      ASSERT_LE(v, c.max);
      seen.insert(v);
    }
    // Draws must vary wherever the range allows it.
    if (c.max > c.min) {
      EXPECT_GT(seen.size(), 10u);
    }
  }
}

TEST(RandomBetween, HighZeroReachesBeyondSmallRanges) {
  std::int32_t largest = 0;
  for (int i = 0; i < 20000; ++i) largest = std::max(largest, random_between(0, 0));
  EXPECT_GT(largest, 999) << "high 0 was taken literally";
}

TEST(RandomLetters, GivesTheAskedNumberOfLettersOfOneCase) {
  for (bool upper : {false, true}) {
    SCOPED_TRACE(upper ? "upper" : "lower");
    const char first = upper ? 'A' : 'a', last = upper ? 'Z' : 'z';
    std::set<char> seen;
    for (int i = 0; i < 200; ++i) {
      const std::string letters = random_letters(10, upper);
      ASSERT_EQ(letters.size(), 10u);
      for (char ch : letters) {
        ASSERT_GE(ch, first) << letters;
        ASSERT_LE(ch, last) << letters;
        seen.insert(ch);
      }
    }
    EXPECT_GT(seen.size(), 5u);
  }
  EXPECT_EQ(random_letters(0, false), "");
  EXPECT_EQ(random_letters(-3, true), "");
}

bool all_digits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TEST(TimestampText, CountsSecondsOfTheLocalClockFromEightOClock) {
  const std::int64_t before = port::local_clock_seconds() - kEightHours;
  const std::string plain = timestamp_text(false);
  const std::string with_digits = timestamp_text(true);
  const std::int64_t after = port::local_clock_seconds() - kEightHours;

  ASSERT_EQ(plain.size(), 10u);
  ASSERT_TRUE(all_digits(plain)) << plain;
  EXPECT_GE(std::stoll(plain), before);
  EXPECT_LE(std::stoll(plain), after);

  ASSERT_EQ(with_digits.size(), 13u);
  ASSERT_TRUE(all_digits(with_digits)) << with_digits;
  const std::int64_t seconds = std::stoll(with_digits.substr(0, 10));
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after);
  const int suffix = std::stoi(with_digits.substr(10));
  EXPECT_GE(suffix, 111);
  EXPECT_LE(suffix, 999);
}

std::atomic<int> g_pumped{0};
void counting_pump() { ++g_pumped; }

class WaitMs : public ::testing::Test {
 protected:
  void SetUp() override {
    g_pumped = 0;
    port::set_message_pump(counting_pump);
  }
  void TearDown() override { port::set_message_pump(nullptr); }
};

TEST_F(WaitMs, NothingToWaitReturnsAtOnce) {
  for (int ms : {0, -1, -100000}) {
    wait_ms(ms, true);
    wait_ms(ms, false);  // a hang here ends the test by its time-out
  }
  EXPECT_EQ(g_pumped, 0);
}

TEST_F(WaitMs, DispatchingWaitPumpsMessagesAndWaitsTheWholeTime) {
  const std::uint64_t start = port::tick_count_ms();
  wait_ms(50, true);
  EXPECT_GE(port::tick_count_ms() - start, 50u);
  EXPECT_GE(g_pumped, 1);
}

TEST_F(WaitMs, PlainWaitLeavesMessagesAlone) {
  const std::uint64_t start = port::tick_count_ms();
  wait_ms(20, false);
  EXPECT_GE(port::tick_count_ms() - start, 20u);
  EXPECT_EQ(g_pumped, 0);
}

}  // namespace
}  // namespace shiftwell
