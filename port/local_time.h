// The local wall clock. Any thread.
#pragma once

#include <cstdint>

namespace port {

struct LocalDateTime {
  int year = 1970, month = 1, day = 1;  // month and day from 1
  int hour = 0, minute = 0, second = 0;
  int millisecond = 0;
};

LocalDateTime local_now();

// Seconds since 1970-01-01 00:00:00 counted on the local clock (UTC seconds
// plus the current offset of the local zone).
std::int64_t local_clock_seconds();

// The calendar fields of a count of seconds since 1970-01-01 00:00:00 (no
// zone applied). False when the count has no calendar date.
bool calendar_from_seconds(std::int64_t seconds, LocalDateTime& out);

}  // namespace port
