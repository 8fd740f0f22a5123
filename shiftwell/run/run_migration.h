// Starting and running one migration. start_run runs on the thread that
// takes the operator's input (the window thread, or the headless runner's
// main thread); run_migration runs on a thread of its own and starts, awaits
// and finishes the workers. request_stop may be called from any thread,
// also from a signal handler (it only stores to an atomic flag).
#pragma once

#include <memory>
#include <string>

#include "port/thread.h"
#include "shiftwell/run/program_state.h"

namespace shiftwell {

// Trims surrounding blanks and line breaks; an empty result, or one with
// other characters than letters, digits, '-' and '_', is refused with the
// reason in *why.
bool clean_sub_id(const std::string& typed, std::string& sub_id, std::string* why);
// Trims surrounding blanks and line breaks; an empty token or one with
// control characters is refused (the token is never echoed).
bool clean_token(const std::string& typed, std::string& token, std::string* why);

// folder + "/数据库_" + sub_id + ".db"
std::string target_path(const std::string& folder, const std::string& sub_id);

// The start of a run after the start control was disabled: takes the
// input, writes the template to the target path, opens the target database,
// resets the page counters and starts run_migration. Returns the thread of
// the run, or null when the input, the template write or the database
// refused the start: the reason is logged and the view told the run ended.
std::unique_ptr<port::Thread> start_run(ProgramState& state, const std::string& typed_sub_id,
                                        const std::string& typed_token, const std::string& folder);

void run_migration(ProgramState& state);

void request_stop(ProgramState& state);

}  // namespace shiftwell
