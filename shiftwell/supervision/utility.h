// Small routines shared by the supervision code and the rest of Shiftwell:
// cheap random numbers and letters, the program's timestamp text and waits
// that can keep a window responsive. Any thread may call them.
#pragma once

#include <cstdint>
#include <string>

namespace shiftwell {

// A number in [low, high] from the processor's cycle counter; high 0 stands
// for 2147483647. Only 32768 distinct draws exist (0 to 32767 before the
// offset), so wide ranges are not covered. Not for anything secret.
std::int32_t random_between(std::int32_t low, std::int32_t high);

// n ASCII letters, lower case unless upper is asked for; empty for n <= 0.
std::string random_letters(int n, bool upper);

// The seconds since 1970-01-01 08:00:00 on the local clock (the Unix time of a
// machine at UTC+8) as at least 10 decimal digits, padded with zeros, followed
// by three random digits (111 to 999) when asked for.
std::string timestamp_text(bool with_random_digits);

// Waits ms milliseconds; returns at once when ms <= 0. With dispatch_messages
// it waits in slices of 10 ms and lets the message pump (port/message_pump.h)
// handle the calling thread's window messages between them.
void wait_ms(int ms, bool dispatch_messages);

}  // namespace shiftwell
