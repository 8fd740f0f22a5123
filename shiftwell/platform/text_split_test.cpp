#include "shiftwell/platform/text_split.h"

#include <gtest/gtest.h>

namespace shiftwell {
namespace {

struct SplitCase {
  const char* text;
  const char* delimiter;
  std::optional<std::size_t> limit;
  std::vector<std::string> pieces;
};

class SplitText : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitText, GivesThePieces) {
  const SplitCase& c = GetParam();
  std::vector<std::string> pieces{"left over"};
  EXPECT_EQ(split_text(c.text, c.delimiter, pieces, c.limit), c.pieces.size());
  EXPECT_EQ(pieces, c.pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitText,
    testing::Values(SplitCase{"a,b,c", ",", {}, {"a", "b", "c"}},
                    SplitCase{"a,,b", ",", {}, {"a", "", "b"}},  // empty piece between kept
                    SplitCase{",a", ",", {}, {"", "a"}},         // leading empty piece kept
                    SplitCase{"a,b,", ",", {}, {"a", "b"}},      // empty last piece dropped
                    SplitCase{"a,,", ",", {}, {"a", ""}},        // only the last one
                    SplitCase{"abc", ",", {}, {"abc"}},          // no delimiter
                    SplitCase{"abc", "", {}, {"abc"}},           // empty delimiter
                    SplitCase{"", ",", {}, {}},                  // empty text
                    SplitCase{"", "", {}, {}},                   // empty text, empty delimiter
                    SplitCase{"x\r\ny\r\n\r\nz", "\r\n", {}, {"x", "y", "", "z"}},  // longer delimiter
                    SplitCase{"a\r\nb", "\n", {}, {"a\r", "b"}},                    // no partial matches
                    SplitCase{"a,b,c,d", ",", 2, {"a", "b"}},                       // limit: the rest dropped
                    SplitCase{"a,b", ",", 5, {"a", "b"}},                           // limit above the count
                    SplitCase{"a,,b", ",", 2, {"a", ""}},  // limit keeps an empty piece
                    SplitCase{"a,b", ",", 0, {}},          // limit 0
                    SplitCase{"abc", "", 1, {"abc"}}));

struct BetweenCase {
  const char* text;
  const char* left;
  const char* right;
  std::size_t start;
  const char* expected;
};

class TextBetween : public testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetween, GivesTheText) {
  const BetweenCase& c = GetParam();
  EXPECT_EQ(text_between(c.text, c.left, c.right, c.start), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextBetween,
    testing::Values(BetweenCase{"Set-Cookie: a=1; path=/", "Set-Cookie:", ";", 0, " a=1"},
                    BetweenCase{"<a>1</a><a>2</a>", "<a>", "</a>", 0, "1"},
                    BetweenCase{"<a>1</a><a>2</a>", "<a>", "</a>", 1, "2"},  // from start
                    BetweenCase{"[]", "[", "]", 0, ""},                      // nothing between
                    BetweenCase{"a]b[c", "[", "]", 0, ""},                   // right only before left
                    BetweenCase{"[abc", "[", "]", 0, ""},                    // right missing
                    BetweenCase{"abc]", "[", "]", 0, ""},                    // left missing
                    BetweenCase{"[a]", "[", "]", 4, ""},                     // start past the end
                    BetweenCase{"[a]", "[", "]", 3, ""},                     // start at the end
                    BetweenCase{"=x=y=", "=", "=", 0, "x"}));                // same marker

TEST(TrimBlanks, RemovesSpacesAndTabsAtBothEndsOnly) {
  EXPECT_EQ(trim_blanks(" \t a b \t "), "a b");
  EXPECT_EQ(trim_blanks("   "), "");
  EXPECT_EQ(trim_blanks(""), "");
  EXPECT_EQ(trim_blanks("\r\nx\r\n"), "\r\nx\r\n");
}

}  // namespace
}  // namespace shiftwell
