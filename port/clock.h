// Millisecond tick counts and plain sleeps. Any thread.
#pragma once

#include <cstdint>

namespace port {

// Milliseconds since an arbitrary fixed point (system uptime); monotonic.
std::uint64_t tick_count_ms();
// The same count truncated to 32 bits; wraps after about 49.7 days.
std::uint32_t tick_count32();
// Plain sleep of the calling thread; no messages are processed.
void sleep_ms(int ms);

}  // namespace port
