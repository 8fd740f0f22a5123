#include "dbwarden/sweep.h"

#include "gerenmokuai/sqlite_shujuku.h"
#include "port/clock.h"
#include "port/dir_search.h"
#include "port/dynamic_library.h"
#include "port/file.h"
#include "port/message_pump.h"

namespace dbwarden {

std::string derive_root_dir(const std::string& program_path) {
  const auto slash = program_path.rfind('/');
  if (slash == std::string::npos) return {};
  const std::string run_dir = program_path.substr(0, slash + 1);
  const auto data = run_dir.rfind("/data");
  return data == std::string::npos ? std::string() : run_dir.substr(0, data);
}

int find_files(const std::string& directory, std::vector<std::string>& array, const std::string& pattern) {
  array.clear();
  std::string dir = directory;
  if (dir.empty() || dir.back() != '/') dir += '/';
  port::search_directory(dir, pattern, [&](const port::DirEntry& e) {
    if (!e.is_hidden && !e.is_system && !e.is_directory) array.push_back(dir + e.name);
    port::pump_messages();
  });
  return static_cast<int>(array.size());
}

SweepPaths sweep_paths(const std::string& root_dir) {
  return {root_dir + "/data/pellsql.so", root_dir + "/sqlite/其他数据", root_dir + "/sqlite/数据库.db"};
}

void wait_dispatching(int ms) {
  const std::uint64_t end = port::tick_count_ms() + static_cast<std::uint64_t>(ms > 0 ? ms : 0);
  for (std::uint64_t now = port::tick_count_ms(); now < end; now = port::tick_count_ms()) {
    port::pump_messages();
    port::sleep_ms(static_cast<int>(std::min<std::uint64_t>(10, end - now)));
  }
}

void run_sweep(const std::string& program_path, std::string& diagnostics) {
  wait_dispatching(500);
  const SweepPaths paths = sweep_paths(derive_root_dir(program_path));

  // The database class skips every file quietly without its library; say
  // once why nothing was swept.
  std::string why;
  if (!port::file_exists(paths.library)) {
    diagnostics = "dbwarden: SQLite 库文件不存在: " + paths.library + "，没有整理任何数据库";
  } else if (!port::DynamicLibrary::load(paths.library, &why)) {
    diagnostics = "dbwarden: 无法加载 SQLite 库文件 " + paths.library + ": " + why + "，没有整理任何数据库";
  }

  GeRenMoKuai::MoKuai_class_sqliteShuJuKu db(GeRenMoKuai::Configuration::dbwarden);
  std::vector<std::string> others;
  find_files(paths.other_folder, others, "*.db");
  for (std::size_t i = 0; i < others.size(); ++i) {
    db.open(paths.library, others[i], 6, "", 8000, 1, nullptr);
    db.close();
  }
  db.open(paths.library, paths.main_database, 6, "", 8000, 1, nullptr);
  db.close();
}

}  // namespace dbwarden
