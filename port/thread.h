// Thread identity and thread handles with a stack size and a timed wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace port {

// A 32-bit identifier of the calling thread, never 0.
std::uint32_t current_thread_id();

class Thread {
 public:
  // stack_bytes 0: the system default. Null when the system cannot start a
  // thread; *out_of_memory tells whether memory was the reason.
  static std::unique_ptr<Thread> start(std::function<void()> body, std::size_t stack_bytes = 0,
                                       bool* out_of_memory = nullptr);

  virtual ~Thread() = default;  // detaches a thread that still runs
  // timeout_ms < 0: no limit. True when the thread has ended.
  virtual bool wait(int timeout_ms) = 0;
};

}  // namespace port
