// A second process for the cross-process tests of the database library.
//   gerenmokuai_child <shiftwell|dbwarden> <db> cycles <log> <go-file> <count> <hold-ms> <tag>
//     waits for go-file, then count times: connect, append "enter <tag>", hold,
//     append "leave <tag>", disconnect.
//   gerenmokuai_child <shiftwell|dbwarden> <db> hold <marker>
//     connects, writes the marker and stays connected until killed.
//   gerenmokuai_child <shiftwell|dbwarden> <db> nested <marker>
//     connects twice, disconnects twice, writes the marker and waits to be killed.
#include <string>

#include "gerenmokuai/sqlite_shujuku.h"
#include "port/clock.h"
#include "port/file.h"
#include "port/program_path.h"

using GeRenMoKuai::Configuration;
using GeRenMoKuai::MoKuai_class_sqliteShuJuKu;

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  const std::string config = argv[1], path = argv[2], mode = argv[3], file = argv[4];
  MoKuai_class_sqliteShuJuKu db(config == "dbwarden" ? Configuration::dbwarden : Configuration::shiftwell);
  const bool opened = config == "dbwarden"
                          ? db.open(port::program_directory() + "/pellsql.so", path, 6, "", 0, 0, nullptr)
                          : db.open(path, nullptr, 6, "");
  if (!opened) return 3;

  if (mode == "cycles" && argc == 9) {
    const std::string go = argv[5], tag = argv[8];
    const int count = std::stoi(argv[6]), hold = std::stoi(argv[7]);
    for (int waited = 0; !port::file_exists(go); waited += 5) {
      if (waited > 30000) return 4;
      port::sleep_ms(5);
    }
    for (int i = 0; i < count; ++i) {
      if (!db.connect()) return 5;
      port::append_file(file, "enter " + tag + "\n");
      port::sleep_ms(hold);
      port::append_file(file, "leave " + tag + "\n");
      db.disconnect();
    }
    db.close();
    return 0;
  }
  if (mode == "hold") {
    if (!db.connect()) return 5;
  } else if (mode == "nested") {
    if (!db.connect() || !db.connect()) return 5;
    db.disconnect();
    db.disconnect();
  } else {
    return 2;
  }
  port::write_file(file, "ready");
  for (;;) port::sleep_ms(1000);
}
