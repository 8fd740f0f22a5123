// Dbwarden: started from outside, without a window and without arguments;
// sweeps the databases of the installation it lies in, then ends.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "dbwarden/sweep.h"
#include "port/program_path.h"

namespace {

// No window to show a message box in: the caption and text go to standard
// error, and the process ends with -1 (255 here).
[[noreturn]] void report_exception(const std::string& text) {
  std::fprintf(stderr, "运行时异常: %s\n", text.c_str());
  std::fflush(stderr);
  std::_Exit(255);
}

}  // namespace

int main() {
  std::string diagnostics;
  try {
    dbwarden::run_sweep(port::program_path(), diagnostics);
  } catch (const std::system_error& e) {
    char text[1024];
    std::snprintf(text, sizeof text, "俘获到异常,代码值为: %d, 描述为: %s", e.code().value(), e.what());
    report_exception(text);
  } catch (...) {
    report_exception("程序在运行时抛出了未被管理的异常");
  }
  if (!diagnostics.empty()) std::fprintf(stderr, "%s\n", diagnostics.c_str());
  std::fflush(stderr);
  // The process ends at once: no clean-up of the database object runs.
  std::_Exit(0);
}
