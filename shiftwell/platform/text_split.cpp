#include "shiftwell/platform/text_split.h"

namespace shiftwell {

std::size_t split_text(std::string_view text, std::string_view delimiter, std::vector<std::string>& pieces,
                       std::optional<std::size_t> limit) {
  pieces.clear();
  const std::size_t max_pieces = limit.value_or(static_cast<std::size_t>(-1));
  if (text.empty() || max_pieces == 0) return 0;
  if (delimiter.empty()) {
    pieces.emplace_back(text);
    return 1;
  }
  std::size_t begin = 0;
  while (pieces.size() < max_pieces) {
    const std::size_t end = text.find(delimiter, begin);
    if (end == std::string_view::npos) {
      if (begin < text.size()) pieces.emplace_back(text.substr(begin));
      break;
    }
    pieces.emplace_back(text.substr(begin, end - begin));
    begin = end + delimiter.size();
  }
  return pieces.size();
}

std::string text_between(std::string_view text, std::string_view left, std::string_view right,
                         std::size_t start) {
  if (start > text.size()) return {};
  const std::size_t left_at = text.find(left, start);
  if (left_at == std::string_view::npos) return {};
  const std::size_t inner = left_at + left.size();
  const std::size_t right_at = text.find(right, inner);
  if (right_at == std::string_view::npos) return {};
  return std::string(text.substr(inner, right_at - inner));
}

std::string_view trim_blanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace shiftwell
