// Shiftwell's entry. With command-line arguments of the runner it performs
// one run on the terminal; otherwise it opens the main window, in the order
// of a desktop program: the process-wide window services first, then the
// program-wide state that every thread of a run shares, then the window and
// its event loop. The state is released by leaving this scope (the exit
// routine), only after run_window has made sure that no run is left.
#include "shiftwell/run/headless.h"
#include "shiftwell/run/program_state.h"
#include "shiftwell/ui/main_window.h"
#include "shiftwell/ui/window_services.h"

int main(int argc, char** argv) {
  if (shiftwell::wants_headless(argc, argv)) {
    shiftwell::ProgramState state;
    state.supervision.start_thread_check();
    return shiftwell::run_headless(state, argc, argv);
  }
  shiftwell::WindowServices services(argc, argv);
  shiftwell::ProgramState state;
  state.supervision.start_thread_check();  // before the window exists
  return shiftwell::run_window(state);
}
