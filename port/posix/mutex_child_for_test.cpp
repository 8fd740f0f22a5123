// Child program of the named-mutex tests: takes the mutex in another
// process, tells the parent through files, and holds it as asked.
//   port_mutex_child hold NAME MS READY_FILE   hold MS milliseconds, then release
//   port_mutex_child hang NAME READY_FILE      hold until killed
#include <cstdio>
#include <string>

#include "port/clock.h"
#include "port/file.h"
#include "port/named_mutex.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string action = argv[1];
  auto mutex = port::NamedMutex::open_or_create(argv[2]);
  if (!mutex) return 3;
  if (mutex->wait(-1) == port::WaitResult::failed) return 4;
  if (action == "hold" && argc == 5) {
    port::write_file(argv[4], "held");
    port::sleep_ms(std::stoi(argv[3]));
    port::append_file(argv[4], " released");
    mutex->release();
    return 0;
  }
  if (action == "hang") {
    port::write_file(argv[3], "held");
    for (;;) port::sleep_ms(1000);
  }
  return 2;
}
