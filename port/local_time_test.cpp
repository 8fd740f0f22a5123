#include "port/local_time.h"

#include <gtest/gtest.h>

#include <ctime>

TEST(LocalTime, CalendarFromSeconds) {
  port::LocalDateTime t;
  ASSERT_TRUE(port::calendar_from_seconds(1640995200 + 8 * 3600, t));
  EXPECT_EQ(t.year, 2022);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 8);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.second, 0);
  ASSERT_TRUE(port::calendar_from_seconds(0, t));
  EXPECT_EQ(t.year, 1970);
}

TEST(LocalTime, LocalClockAgreesWithNow) {
  const std::int64_t local = port::local_clock_seconds();
  port::LocalDateTime now = port::local_now(), from;
  ASSERT_TRUE(port::calendar_from_seconds(local, from));
  EXPECT_EQ(from.year, now.year);
  EXPECT_EQ(from.day, now.day);
  EXPECT_NEAR(from.hour * 3600 + from.minute * 60 + from.second,
              now.hour * 3600 + now.minute * 60 + now.second, 2);
}
