#include "shiftwell/supervision/utility.h"

#include <algorithm>
#include <chrono>

#include "port/clock.h"
#include "port/local_time.h"
#include "port/message_pump.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace shiftwell {

namespace {

std::uint32_t cycle_counter_low() {
#if defined(__x86_64__) || defined(__i386__)
  return static_cast<std::uint32_t>(__rdtsc());
#else
  return static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

}  // namespace

std::int32_t random_between(std::int32_t low, std::int32_t high) {
  const std::uint32_t t = cycle_counter_low();
  const std::uint32_t r = ((t * 214013u + 2531011u) >> 16) & 0x7FFFu;
  if (high == 0) high = 2147483647;
  const std::uint32_t span = static_cast<std::uint32_t>(high) - static_cast<std::uint32_t>(low) + 1u;
  // A span of 2^32 wraps to 0; every draw fits it, and dividing by 0 would trap.
  const std::uint32_t offset = span == 0 ? r : r % span;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(low) + offset);
}

std::string random_letters(int n, bool upper) {
  std::string letters;
  if (n <= 0) return letters;
  letters.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    letters.push_back(static_cast<char>(upper ? random_between('A', 'Z') : random_between('a', 'z')));
  return letters;
}

std::string timestamp_text(bool with_random_digits) {
  constexpr std::int64_t kEightHours = 8 * 3600;
  std::string text = std::to_string(port::local_clock_seconds() - kEightHours);
  if (text.size() < 10) text = ("0000000000" + text).substr(text.size());
  if (with_random_digits) text += std::to_string(random_between(111, 999));
  return text;
}

void wait_ms(int ms, bool dispatch_messages) {
  if (ms <= 0) return;
  if (!dispatch_messages) {
    port::sleep_ms(ms);
    return;
  }
  constexpr std::uint64_t kSliceMs = 10;
  const std::uint64_t deadline = port::tick_count_ms() + static_cast<std::uint64_t>(ms);
  for (;;) {
    std::uint64_t now = port::tick_count_ms();
    if (now >= deadline) return;
    port::sleep_ms(static_cast<int>(std::min(kSliceMs, deadline - now)));
    now = port::tick_count_ms();
    if (now >= deadline) return;
    port::pump_messages();
  }
}

}  // namespace shiftwell
