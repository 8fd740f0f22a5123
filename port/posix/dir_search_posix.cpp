#include <dirent.h>
#include <sys/stat.h>

#include "port/dir_search.h"

namespace port {

bool search_directory(const std::string& directory, const std::string& pattern,
                      const std::function<void(const DirEntry&)>& visit) {
  DIR* dir = opendir(directory.c_str());
  if (!dir) return false;
  std::string base = directory;
  if (!base.empty() && base.back() != '/') base += '/';
  while (dirent* ent = readdir(dir)) {
    const std::string name = ent->d_name;
    if (name == "." || name == "..") continue;
    if (!wildcard_match_nocase(pattern, name)) continue;
    DirEntry entry;
    entry.name = name;
    entry.is_hidden = name[0] == '.';
    struct stat st {};
    if (stat((base + name).c_str(), &st) != 0) {
      entry.is_system = true;
    } else {
      entry.is_directory = S_ISDIR(st.st_mode);
      entry.is_system = !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode);
    }
    visit(entry);
  }
  closedir(dir);
  return true;
}

}  // namespace port
