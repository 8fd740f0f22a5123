#include "shiftwell/run/run_migration.h"

#include <gtest/gtest.h>

namespace shiftwell {
namespace {

TEST(CleanInput, RobotNumbers) {
  struct {
    const char* typed;
    bool ok;
    const char* cleaned;
  } cases[] = {
      {"12345", true, "12345"}, {" robot_7-a \r\n", true, "robot_7-a"},
      {"", false, ""},          {"   ", false, ""},
      {"../etc", false, ""},    {"a/b", false, ""},
      {"a b", false, ""},       {"编号", false, ""},
      {"1&page=9", false, ""},
  };
  for (const auto& c : cases) {
    std::string out, why;
    EXPECT_EQ(clean_sub_id(c.typed, out, &why), c.ok) << c.typed;
    if (c.ok)
      EXPECT_EQ(out, c.cleaned);
    else
      EXPECT_FALSE(why.empty());
  }
}

TEST(CleanInput, TokensAreTrimmedAndNeverEchoed) {
  struct {
    std::string typed;
    bool ok;
    std::string cleaned;
  } cases[] = {
      {"abc.DEF-123", true, "abc.DEF-123"},
      {"  eyJhbGci.x.y\r\n", true, "eyJhbGci.x.y"},
      {"", false, ""},
      {"\r\n", false, ""},
      {"abc\r\nX-Injected: 1", false, ""},
      {std::string("ab\0c", 4), false, ""},
      {"tab\tinside", false, ""},
  };
  for (const auto& c : cases) {
    std::string out, why;
    EXPECT_EQ(clean_token(c.typed, out, &why), c.ok) << c.typed;
    if (c.ok) EXPECT_EQ(out, c.cleaned);
    EXPECT_EQ(why.find(c.typed.empty() ? "\x01" : c.typed), std::string::npos)
        << "the reason must not echo the token";
  }
}

TEST(TargetPath, FolderAndRobotNumber) { EXPECT_EQ(target_path("/srv/bot", "77"), "/srv/bot/数据库_77.db"); }

}  // namespace
}  // namespace shiftwell
