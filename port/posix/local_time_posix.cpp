#include <time.h>

#include "port/local_time.h"

namespace port {

namespace {
void fill(const tm& t, LocalDateTime& out) {
  out.year = t.tm_year + 1900;
  out.month = t.tm_mon + 1;
  out.day = t.tm_mday;
  out.hour = t.tm_hour;
  out.minute = t.tm_min;
  out.second = t.tm_sec;
}
}  // namespace

LocalDateTime local_now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t{};
  localtime_r(&ts.tv_sec, &t);
  LocalDateTime out;
  fill(t, out);
  out.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return out;
}

std::int64_t local_clock_seconds() {
  const time_t now = time(nullptr);
  tm t{};
  localtime_r(&now, &t);
  return static_cast<std::int64_t>(now) + t.tm_gmtoff;
}

bool calendar_from_seconds(std::int64_t seconds, LocalDateTime& out) {
  const time_t value = static_cast<time_t>(seconds);
  tm t{};
  if (!gmtime_r(&value, &t)) return false;
  fill(t, out);
  out.millisecond = 0;
  return true;
}

}  // namespace port
