// What a run shows to the operator: log lines, counter captions, and the
// end of the run. The window and the headless runner implement it. The
// engine calls append_log_text under log_lock and set_counter_caption under
// the counter's lock, from any of its threads, so calls arrive in order;
// an implementation must be safe to call from any thread.
#pragma once

#include <string>

namespace shiftwell {

enum class CounterKind { member, relation, order, withdrawal };

struct RunOutcome {
  bool completed = false;  // every page and item was fetched and every row stored or found
  bool stopped = false;    // a stop request ended the run early
  bool started = false;    // false when the input or the database refused the start
  std::string database_path;
};

class RunView {
 public:
  virtual ~RunView() = default;
  // One whole log line, ending in CR LF.
  virtual void append_log_text(const std::string& line) = 0;
  virtual void set_counter_caption(CounterKind kind, const std::string& caption) = 0;
  // The run has ended (or did not start); the start control may be enabled.
  virtual void run_finished(const RunOutcome& outcome) = 0;
};

}  // namespace shiftwell
