#include "port/file.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(File, WriteAppendReadAndExistence) {
  const std::string path =
      (fs::temp_directory_path() / ("port-file-" + std::to_string(std::rand()))).string();
  ASSERT_TRUE(port::write_file(path, std::string("one\0two", 7)));
  EXPECT_TRUE(port::file_exists(path));
  EXPECT_FALSE(port::directory_exists(path));
  ASSERT_TRUE(port::append_file(path, "\r\nthree"));
  std::string text;
  ASSERT_TRUE(port::read_file(path, text));
  EXPECT_EQ(text, std::string("one\0two\r\nthree", 14));
  ASSERT_TRUE(port::write_file(path, "short"));
  ASSERT_TRUE(port::read_file(path, text));
  EXPECT_EQ(text, "short") << "a rewrite must truncate";
  fs::remove(path);
  EXPECT_FALSE(port::file_exists(path));
  EXPECT_FALSE(port::file_exists(fs::temp_directory_path().string())) << "a folder is no file";
}

TEST(File, WriteIntoMissingFolderGivesTheReason) {
  std::string why;
  EXPECT_FALSE(port::write_file("/nonexistent-folder/x.db", "x", &why));
  EXPECT_NE(why.find("No such file"), std::string::npos) << why;
  EXPECT_FALSE(port::append_file("/nonexistent-folder/x.txt", "x"));
}
