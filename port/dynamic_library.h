// Loading a shared library by path or name and looking up its entries by
// name. Any thread may call; a library stays loaded while its object lives.
#pragma once

#include <memory>
#include <string>

namespace port {

class DynamicLibrary {
 public:
  // path: a full path, or a bare file name searched the system's usual way.
  // Returns null and fills *error (when given) on failure.
  static std::unique_ptr<DynamicLibrary> load(const std::string& path, std::string* error = nullptr);

  virtual ~DynamicLibrary() = default;
  // Null when the library exports no such name.
  virtual void* symbol(const char* name) const = 0;
};

// True when the address lies in executable code of a loaded module; used to
// refuse calls through entries that are not functions.
bool is_code_address(const void* address);

}  // namespace port
