// The command-line runner: performs what a click on the start button
// performs, with the log on standard output and the counters on a live
// status line. Runs on the program's main thread.
#pragma once

namespace shiftwell {

struct ProgramState;

// Exit codes: 0 the run completed, 3 it ended incomplete or was stopped,
// 2 bad arguments, 1 the run could not start (template or database).
int run_headless(ProgramState& state, int argc, char** argv);

// True when the arguments ask for the command-line runner or its help.
bool wants_headless(int argc, char** argv);

}  // namespace shiftwell
