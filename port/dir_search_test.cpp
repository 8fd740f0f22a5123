#include "port/dir_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

TEST(Wildcard, MatchesWithoutRegardToCase) {
  struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.db", "a.db", true},      {"*.db", "B.DB", true}, {"*.db", "a.db-wal", false},
      {"*.db", ".db", true},       {"*.db", "adb", false}, {"a?c", "abc", true},
      {"a?c", "ac", false},        {"*", "", true},        {"*a*b", "xxaxxb", true},
      {"*.db", "数据库.db", true}, {"*.DB", "x.Db", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(port::wildcard_match_nocase(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(DirSearch, ReportsKindAndHiddenAttributes) {
  const fs::path dir = fs::temp_directory_path() /
                       ("port-dir-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                        std::to_string(std::rand()));
  fs::create_directories(dir / "d.db");
  for (const char* name : {"a.db", "B.DB", ".c.db", "e.txt", "中文.db"}) std::ofstream(dir / name) << "x";
  std::map<std::string, port::DirEntry> seen;
  ASSERT_TRUE(
      port::search_directory(dir.string(), "*.db", [&](const port::DirEntry& e) { seen[e.name] = e; }));
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_FALSE(seen.count("e.txt"));
  EXPECT_TRUE(seen["d.db"].is_directory);
  EXPECT_TRUE(seen[".c.db"].is_hidden);
  EXPECT_FALSE(seen["a.db"].is_hidden || seen["a.db"].is_directory || seen["a.db"].is_system);
  EXPECT_TRUE(seen.count("中文.db"));
  fs::remove_all(dir);
}

TEST(DirSearch, MissingFolderFails) {
  bool visited = false;
  EXPECT_FALSE(port::search_directory("/nonexistent/folder/here", "*",
                                      [&](const port::DirEntry&) { visited = true; }));
  EXPECT_FALSE(visited);
}

}  // namespace
