#include <cctype>
#include <string>

#include "port/dir_search.h"

namespace port {

namespace {
char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
}  // namespace

// Iterative '*'/'?' matching with one backtrack point, ASCII case folded:
// enough for patterns such as "*.db".
bool wildcard_match_nocase(const std::string& pattern, const std::string& name) {
  std::size_t p = 0, n = 0, star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace port
