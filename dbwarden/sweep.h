// The one pass of the maintenance program: every "*.db" file of the
// installation's other-databases folder, then its main database, opened and
// closed once through the shared database class, which brings each into WAL
// mode and folds its write-ahead log back when the last connection closes.
// Runs on the program's one thread.
#pragma once

#include <string>
#include <vector>

namespace dbwarden {

// The installation root for a program file: its folder (with the trailing
// '/') cut in front of the last "/data" (case-sensitive); empty when the
// folder holds no "/data".
std::string derive_root_dir(const std::string& program_path);

// Fills array with directory + name of every entry matching pattern
// (without regard to case), skipping ".", "..", hidden and system entries
// and folders, in the order of the directory search. Returns the count; a
// missing folder gives 0.
int find_files(const std::string& directory, std::vector<std::string>& array, const std::string& pattern);

struct SweepPaths {
  std::string library;        // root + "/data/pellsql.so"
  std::string other_folder;   // root + "/sqlite/其他数据"
  std::string main_database;  // root + "/sqlite/数据库.db"
};
SweepPaths sweep_paths(const std::string& root_dir);

// The whole work of the program for the program file at program_path.
// Writes one line to diagnostics when the SQLite library cannot be loaded,
// since nothing can be swept then.
void run_sweep(const std::string& program_path, std::string& diagnostics);

// Waits ms milliseconds, dispatching window messages meanwhile.
void wait_dispatching(int ms);

}  // namespace dbwarden
