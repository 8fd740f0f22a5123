#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <vector>

#include "port/dynamic_library.h"

namespace port {

namespace {

class PosixLibrary : public DynamicLibrary {
 public:
  explicit PosixLibrary(void* handle) : handle_(handle) {}
  ~PosixLibrary() override { dlclose(handle_); }
  void* symbol(const char* name) const override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

struct Range {
  std::uintptr_t begin, end;
};

// Executable mappings, read from /proc/self/maps and read again when an
// address is not found (a library may have been loaded since).
class CodeRanges {
 public:
  bool contains(std::uintptr_t a) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (find(a)) return true;
    reload();
    return find(a);
  }

 private:
  bool find(std::uintptr_t a) const {
    auto it = std::upper_bound(ranges_.begin(), ranges_.end(), a,
                               [](std::uintptr_t x, const Range& r) { return x < r.begin; });
    return it != ranges_.begin() && a < std::prev(it)->end;
  }
  void reload() {
    ranges_.clear();
    if (FILE* f = std::fopen("/proc/self/maps", "r")) {
      char line[512];
      while (std::fgets(line, sizeof line, f)) {
        unsigned long b = 0, e = 0;
        char perms[8] = {};
        if (std::sscanf(line, "%lx-%lx %7s", &b, &e, perms) == 3 && perms[2] == 'x')
          ranges_.push_back({b, e});
      }
      std::fclose(f);
    }
    std::sort(ranges_.begin(), ranges_.end(),
              [](const Range& x, const Range& y) { return x.begin < y.begin; });
  }

  std::mutex mutex_;
  std::vector<Range> ranges_;
};

}  // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::load(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) {
      const char* why = dlerror();
      *error = why ? why : "cannot load " + path;
    }
    return nullptr;
  }
  return std::make_unique<PosixLibrary>(handle);
}

bool is_code_address(const void* address) {
  static CodeRanges ranges;
  return address && ranges.contains(reinterpret_cast<std::uintptr_t>(address));
}

}  // namespace port
