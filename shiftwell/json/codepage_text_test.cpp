#include "shiftwell/json/codepage_text.h"

#include <gtest/gtest.h>

namespace {

// "张三" in code page 936 and in UTF-8.
const std::string kGbk = "\xD5\xC5\xC8\xFD";
const std::string kUtf8 = "\xE5\xBC\xA0\xE4\xB8\x89";

TEST(CodepageText, ConvertsBothWays) {
  EXPECT_EQ(shiftwell::gbk_to_utf8(kGbk), kUtf8);
  EXPECT_EQ(shiftwell::utf8_to_gbk(kUtf8), kGbk);
  EXPECT_EQ(shiftwell::gbk_to_utf8("abc 123"), "abc 123");
  EXPECT_EQ(shiftwell::utf8_to_gbk(shiftwell::gbk_to_utf8(kGbk + "x")), kGbk + "x");
}

TEST(CodepageText, EmptyInGivesEmptyOut) {
  EXPECT_EQ(shiftwell::gbk_to_utf8(""), "");
  EXPECT_EQ(shiftwell::utf8_to_gbk(""), "");
}

TEST(CodepageText, WhatTheTargetCannotHoldBecomesAQuestionMark) {
  // An emoji in a nickname has no code page 936 form.
  EXPECT_EQ(shiftwell::utf8_to_gbk(kUtf8 + "\xF0\x9F\x98\x80!"), kGbk + "?!");
  EXPECT_EQ(shiftwell::utf8_to_gbk("a\xFF"
                                   "b"),
            "a?b");
  EXPECT_EQ(shiftwell::gbk_to_utf8("a\xFF"
                                   "b"),
            "a?b");
}

}  // namespace
