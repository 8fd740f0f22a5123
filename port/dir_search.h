// Non-recursive directory search with a wildcard pattern matched without
// regard to case ('*' and '?'), entries in the order the system returns them.
#pragma once

#include <functional>
#include <string>

namespace port {

struct DirEntry {
  std::string name;  // file name alone
  bool is_directory = false;
  bool is_hidden = false;  // name starts with '.'
  bool is_system = false;  // neither a regular file nor a directory (device, socket, fifo)
};

// Calls visit for each matching entry except "." and "..". Returns false
// when the folder cannot be read (missing, not a folder, no permission).
bool search_directory(const std::string& directory, const std::string& pattern,
                      const std::function<void(const DirEntry&)>& visit);

bool wildcard_match_nocase(const std::string& pattern, const std::string& name);

}  // namespace port
