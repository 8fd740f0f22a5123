#include "shiftwell/transfer/sql_text.h"

#include <gtest/gtest.h>

namespace shiftwell {
namespace {

TEST(SqlQuote, DoublesEverySingleQuote) {
  EXPECT_EQ(sql_quote("plain"), "plain");
  EXPECT_EQ(sql_quote("it's"), "it''s");
  EXPECT_EQ(sql_quote("''"), "''''");
  EXPECT_EQ(sql_quote("'); DROP TABLE member; --"), "''); DROP TABLE member; --");
  EXPECT_EQ(sql_quote(""), "");
}

TEST(FillPlaceholders, ReplacesEachPlaceholderOnceWithoutRescanningValues) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string expected;
  } cases[] = {
      {"every occurrence", "'#a','#a','#b'", {{"#a", "1"}, {"#b", "2"}}, "'1','1','2'"},
      {"value looks like a later placeholder",
       "'#title','#wxid'",
       {{"#title", "#wxid"}, {"#wxid", "w1"}},
       "'#wxid','w1'"},
      {"value looks like itself", "#id", {{"#id", "#id#id"}}, "#id#id"},
      {"unknown placeholders stay", "#x #a", {{"#a", "1"}}, "#x 1"},
      {"case-sensitive", "#A #a", {{"#a", "1"}}, "#A 1"},
      {"first given wins on overlap", "#order_vice", {{"#order", "X"}, {"#order_vice", "Y"}}, "X_vice"},
      {"empty value", "('#a')", {{"#a", ""}}, "('')"},
      {"template unchanged without pairs", "#a", {}, "#a"},
  };
  for (const auto& c : cases) EXPECT_EQ(fill_placeholders(c.text, c.pairs), c.expected) << c.name;
}

TEST(UnixToLocalTime, ReadsTheFirstTenCharactersLikeAtoi) {
  struct {
    const char* text;
    std::int64_t seconds_after_1970_utc;
  } cases[] = {
      {"1640995200", 1640995200},
      {"1640995200123", 1640995200},  // milliseconds cut to ten digits
      {"", 0},
      {"abc", 0},
      {"  42x", 42},
      {"-5", -5},
      {"9999999999", 2147483647},  // clamped to 32 bits
  };
  for (const auto& c : cases)
    EXPECT_EQ(unix_to_local_time(c.text), c.seconds_after_1970_utc + 8 * 3600) << "'" << c.text << "'";
}

TEST(FormatDateTime, PicturesAndTheUtc8Clock) {
  EXPECT_EQ(format_date_time(unix_to_local_time("1640995200"), "yyyy-MM-dd", " HH:mm:ss"),
            "2022-01-01 08:00:00");
  EXPECT_EQ(format_date_time(unix_to_local_time(""), "yyyy-MM-dd", " HH:mm:ss"), "1970-01-01 08:00:00");
  EXPECT_EQ(format_date_time(unix_to_local_time("1700000000"), "yyyy-MM-dd", ""), "2023-11-15");
  EXPECT_EQ(format_date_time(unix_to_local_time("1700000000"), "", "HH:mm"), "06:13");
  EXPECT_EQ(format_date_time(unix_to_local_time("1700000000"), "d/M/yy", ""), "15/11/23");
}

TEST(DivideBy100, AtofThenPercentThirteenG) {
  struct {
    const char* text;
    const char* expected;
  } cases[] = {{"1999", "19.99"},
               {"150", "1.5"},
               {"1250", "12.5"},
               {"0", "0"},
               {"", "0"},
               {"abc", "0"},
               {"12.5yuan", "0.125"},
               {"-300", "-3"},
               {"1", "0.01"},
               {"123456789012345", "1234567890123"}};
  for (const auto& c : cases) EXPECT_EQ(divide_by_100(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace shiftwell
