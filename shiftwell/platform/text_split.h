// Small text routines of the platform client: splitting a text at a
// delimiter and taking the text between two markers. Pure functions on
// their arguments; any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shiftwell {

// Splits text at every occurrence of delimiter into pieces (cleared first)
// and returns their number. Empty pieces between adjacent delimiters are
// kept; an empty piece after the last delimiter is dropped; an empty
// delimiter gives the whole text as the only piece; an empty text gives no
// pieces. With a limit, only the first `limit` pieces are kept, each just a
// piece: the rest of the text is dropped, not folded into the last one.
std::size_t split_text(std::string_view text, std::string_view delimiter, std::vector<std::string>& pieces,
                       std::optional<std::size_t> limit = std::nullopt);

// Finds left from byte offset start, then right after it, and returns the
// text in between; empty when either marker is missing or start lies past
// the end.
std::string text_between(std::string_view text, std::string_view left, std::string_view right,
                         std::size_t start = 0);

// The text without blanks (spaces and tabs) at both ends.
std::string_view trim_blanks(std::string_view text);

}  // namespace shiftwell
