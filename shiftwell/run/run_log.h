// The run log and the counter captions. append_log may be called from any
// thread; it takes log_lock for the whole line. add_to_counter takes the
// counter's kind lock; callers may hold the database lock, never the other
// way round.
#pragma once

#include <string>

#include "port/local_time.h"
#include "shiftwell/run/program_state.h"

namespace shiftwell {

// "2026年3月30日8时17分55秒": the time part in its shortest form (seconds
// only when not 0, and so on), nothing at midnight.
std::string log_date_time_text(const port::LocalDateTime& t);

// date and time text + "--->>>>>" + message + CR LF
std::string log_line(const port::LocalDateTime& t, const std::string& message);

void append_log(ProgramState& state, const std::string& message);

// Adds one to the counter of kind and shows "<caption><value>" in its label.
void add_to_counter(ProgramState& state, CounterKind kind);

// The preset caption of each counter label.
const char* counter_caption(CounterKind kind);

}  // namespace shiftwell
