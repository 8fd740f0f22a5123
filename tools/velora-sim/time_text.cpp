#include "tools/velora-sim/time_text.h"

#include <chrono>
#include <cstdio>

namespace velora_sim {

namespace {

std::string format_seconds(std::int64_t seconds, int millis, bool iso) {
  using namespace std::chrono;
  const sys_seconds at{std::chrono::seconds{seconds}};
  const auto day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss time{at - day};
  char text[40];
  if (iso) {
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), millis);
  } else {
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
  }
  return text;
}

}  // namespace

std::string platform_date_time(std::int64_t unix_seconds) {
  return format_seconds(unix_seconds + kPlatformUtcOffsetSeconds, 0, false);
}

std::string utc_now_iso_ms() {
  const auto now = std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
  const auto ms = now.time_since_epoch().count();
  const auto seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  return format_seconds(seconds, static_cast<int>(ms - seconds * 1000), true);
}

}  // namespace velora_sim
