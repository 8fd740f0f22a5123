// A named mutex shared by every process of the machine's session: the
// stand-in for a Windows named mutex. One thread owns it at a time across all
// processes; the owner may re-enter and releases once per acquisition; when
// the owning process dies the next waiter acquires it (reported as
// abandoned). Any thread may use a handle; handles of one name opened in one
// process share the same in-process ownership.
#pragma once

#include <memory>
#include <string>

namespace port {

enum class WaitResult { acquired, abandoned, timed_out, failed };

class NamedMutex {
 public:
  // Opens the mutex of that name, creating it when nobody has yet. Returns
  // null when the system refuses (for example an unusable lock folder).
  static std::unique_ptr<NamedMutex> open_or_create(const std::string& name);

  virtual ~NamedMutex() = default;

  // timeout_ms < 0 waits without limit. abandoned counts as acquired.
  virtual WaitResult wait(int timeout_ms) = 0;
  // False when the calling thread does not own the mutex.
  virtual bool release() = 0;
  virtual const std::string& name() const = 0;
};

}  // namespace port
