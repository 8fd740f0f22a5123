#include <time.h>

#include <cerrno>

#include "port/clock.h"

namespace port {

std::uint64_t tick_count_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
}

std::uint32_t tick_count32() { return static_cast<std::uint32_t>(tick_count_ms()); }

void sleep_ms(int ms) {
  if (ms <= 0) return;
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace port
