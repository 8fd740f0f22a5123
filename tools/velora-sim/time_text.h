// Date-time texts of the simulated platform: its wall clock is UTC+8, as the
// platform's own answers show. Pure functions, any thread.
#pragma once

#include <cstdint>
#include <string>

namespace velora_sim {

inline constexpr std::int64_t kPlatformUtcOffsetSeconds = 8 * 3600;

// "yyyy-MM-dd HH:mm:ss" of a Unix time on the UTC+8 clock.
std::string platform_date_time(std::int64_t unix_seconds);
// "yyyy-MM-ddTHH:mm:ss.mmmZ" of the current UTC time, for request logs.
std::string utc_now_iso_ms();

}  // namespace velora_sim
