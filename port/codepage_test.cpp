#include "port/codepage.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* name;
  std::string utf8;
  std::string cp936;
};

TEST(Codepage, Utf8ToCp936) {
  const Case cases[] = {
      {"ascii", "abc 123", "abc 123"},
      {"chinese", "中文", "\xD6\xD0\xCE\xC4"},
      {"path", "/data/数据库_7.db", "/data/\xCA\xFD\xBE\xDD\xBF\xE2_7.db"},
      {"emoji is unmappable", "a\xF0\x9F\x98\x80z", "a?z"},
      {"malformed utf8", "a\xFFz", "a?z"},
      {"cut-off sequence", "a\xE4\xB8", "a?"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(port::utf8_to_cp936(c.utf8), c.cp936) << c.name;
}

TEST(Codepage, Cp936ToUtf8) {
  EXPECT_EQ(port::cp936_to_utf8("\xD6\xD0\xCE\xC4"), "中文");
  EXPECT_EQ(port::cp936_to_utf8("ok"), "ok");
  EXPECT_EQ(port::cp936_to_utf8("a\xFF"), "a?");
  EXPECT_EQ(port::cp936_to_utf8("a\xD6"), "a?") << "lead byte at the end";
  EXPECT_EQ(port::cp936_to_utf8(""), "");
}

TEST(Codepage, LongTextRoundTrips) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "会员";
  EXPECT_EQ(port::cp936_to_utf8(port::utf8_to_cp936(text)), text);
}

TEST(Codepage, Utf16le) {
  EXPECT_EQ(port::utf8_to_utf16le("A"), std::string("A\0", 2));
  EXPECT_EQ(port::utf8_to_utf16le("中"), std::string("\x2D\x4E", 2));
  EXPECT_EQ(port::utf8_to_utf16le("\xF0\x9F\x98\x80"), std::string("\x3D\xD8\x00\xDE", 4))
      << "surrogate pair";
  EXPECT_EQ(port::utf8_to_utf16le("\xFF"), std::string("\xFD\xFF", 2)) << "malformed becomes U+FFFD";
  EXPECT_EQ(port::utf8_to_utf16le(""), "");
}

}  // namespace
