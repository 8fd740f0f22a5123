// Starting another program and waiting for or killing it: used by tests and
// tools that drive whole programs. Any thread; one thread per Process object.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace port {

class Process {
 public:
  // Starts program with args (not including the program itself). Standard
  // output and error go to the files given (else they are inherited). Null
  // when the program cannot be started.
  static std::unique_ptr<Process> start(const std::string& program, const std::vector<std::string>& args,
                                        const std::string& stdout_path = "",
                                        const std::string& stderr_path = "");

  virtual ~Process() = default;  // kills a process that still runs, then reaps it
  // timeout_ms < 0: no limit. True when the process has ended; *exit_code is
  // its exit status, or 128 + signal number when a signal ended it.
  virtual bool wait(int timeout_ms, int* exit_code = nullptr) = 0;
  // Ends the process at once, as a crash would (no clean-up runs in it).
  virtual void kill_hard() = 0;
  // Asks the process to stop (the polite way the system offers).
  virtual void request_stop() = 0;
  virtual int id() const = 0;
};

}  // namespace port
