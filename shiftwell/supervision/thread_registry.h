// Thread supervision: threads started through start_thread can be handed to a
// registry, and a watchdog thread appends a report of the registered threads
// that still run to "代码.txt" beside the program. The check is switched on
// once per process, by the thread-check thread, and only when the marker file
// "线程检测.txt" lies in the program folder at that moment; otherwise nothing
// is ever registered. One ThreadSupervision exists per process, created with
// the program-wide state; any thread may start and register threads, and the
// watchdog runs on its own thread until the process ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "port/program_path.h"
#include "port/thread.h"

namespace shiftwell {

inline constexpr const char* kMarkerFileName = "线程检测.txt";
inline constexpr const char* kOwnerName = "代码";

// Seconds since 1970-01-01 08:00:00 of the local clock: the integer value of
// timestamp_text without random digits.
using SecondsClock = std::function<std::int64_t()>;
std::int64_t timestamp_seconds();

// Starts a thread the way port::Thread::start does; replaceable in tests.
using ThreadCreator = std::function<std::unique_ptr<port::Thread>(
    std::function<void()> body, std::size_t stack_bytes, bool* out_of_memory)>;

struct SupervisionSetup {
  // The folder of the marker and the report file.
  std::string program_directory = port::program_directory();
  // Creation times of registered threads and, by default, the watchdog's now.
  SecondsClock clock = timestamp_seconds;
  ThreadCreator create_thread = &port::Thread::start;
};

// When the watchdog checks: first_check_ms after it starts, then every
// interval_ms. Its sleeps are plain ones (no message dispatch).
struct WatchdogTiming {
  int first_check_ms = 60'000;
  int interval_ms = 600'000;
  SecondsClock now_seconds;        // empty: the supervision's clock
  std::function<void(int)> sleep;  // empty: port::sleep_ms
};

// Stack bytes for a requested size in KB: 0 keeps the system default (0),
// 1 to 63 are raised to 1024 KB, anything else is taken as given.
std::size_t thread_stack_bytes(std::uint32_t stack_kb);

// 1 while the thread runs, 0 once it has ended, -1 for no handle.
int thread_state(port::Thread* handle);

// The first 10 characters of the timestamp read as seconds after
// 1970-01-01 08:00:00, written with the date picture followed by the time
// picture (24 hours); a picture shorter than 3 characters is left out.
// Empty when the value has no calendar date.
std::string format_timestamp(const std::string& timestamp, const std::string& date_picture,
                             const std::string& time_picture);

// Appends the bytes to the file, creating it when missing. False when it
// cannot be opened or the write fails.
bool append_to_file(const std::string& path, std::string_view bytes);

namespace detail {
struct SupervisionCore;
}

class ThreadSupervision {
 public:
  ThreadSupervision();
  explicit ThreadSupervision(SupervisionSetup setup);
  // Frees the registry (closing its handles) and asks a watchdog to end
  // after its current sleep; a watchdog keeps what it needs alive itself.
  ~ThreadSupervision();
  ThreadSupervision(const ThreadSupervision&) = delete;
  ThreadSupervision& operator=(const ThreadSupervision&) = delete;

  // Starts entry on a new thread with stack_kb (see thread_stack_bytes).
  // With kept_handle the handle is stored there and belongs to the caller;
  // without it the handle goes to register_thread, which closes it when the
  // registry refuses it. Creation failing for lack of memory gives false;
  // any other failure is retried every 100 ms, dispatching window messages.
  bool start_thread(std::function<void()> entry, std::unique_ptr<port::Thread>* kept_handle = nullptr,
                    std::uint32_t stack_kb = 0);
  bool start_thread(std::function<void(std::int32_t)> entry, std::int32_t argument,
                    std::unique_ptr<port::Thread>* kept_handle = nullptr, std::uint32_t stack_kb = 0);
  // The thread receives its own copy of the text; an empty text or a copy
  // that cannot be made gives false at once.
  bool start_thread(std::function<void(std::string)> entry, const std::string& text,
                    std::unique_ptr<port::Thread>* kept_handle = nullptr, std::uint32_t stack_kb = 0);

  // Takes the handle with owner_name and the clock's now as creation time.
  // False, and the handle closed, while the check is off or for no handle.
  bool register_thread(std::unique_ptr<port::Thread> handle);

  // Runs enable_thread_check on a thread of its own and returns at once.
  // False when that thread could not be started.
  bool start_thread_check(WatchdogTiming timing = {});
  // Switches the check on when the marker file exists: starts the watchdog
  // (not registered), then sets owner_name and report_path and enables the
  // registry. Decides once per instance; later calls do nothing.
  void enable_thread_check(WatchdogTiming timing = {});
  // The watchdog loop on the calling thread: sleep, check, sleep, ... It
  // returns only after request_stop.
  void watchdog(WatchdogTiming timing = {});
  // One check at the clock's now: drops ended threads, closing their
  // handles, and appends a report block when registered threads remain.
  void watchdog_check();

  bool enabled() const;
  std::string marker_path() const;
  // Empty while the check is off.
  std::string report_path() const;

  // For tests and shutdown: whether enable_thread_check has returned, and
  // whether a watchdog started by this instance still runs.
  bool wait_for_thread_check(int timeout_ms) const;
  bool watchdog_running() const;
  // Makes a watchdog return after its current sleep.
  void request_stop();
  bool wait_watchdog_ended(int timeout_ms) const;

 private:
  // Shared with the threads it starts, so that a watchdog outliving this
  // object never touches freed state.
  std::shared_ptr<detail::SupervisionCore> core_;
};

// The process's instance behind the free routines below. Installed once at
// start-up, before other threads use them; the instance uninstalls itself
// when it is destroyed. Without one the check is off: threads still start,
// nothing is registered.
void install_process_supervision(ThreadSupervision* supervision);
ThreadSupervision* process_supervision();

bool start_thread(std::function<void()> entry, std::unique_ptr<port::Thread>* kept_handle = nullptr,
                  std::uint32_t stack_kb = 0);
bool start_thread(std::function<void(std::int32_t)> entry, std::int32_t argument,
                  std::unique_ptr<port::Thread>* kept_handle = nullptr, std::uint32_t stack_kb = 0);
bool start_thread(std::function<void(std::string)> entry, const std::string& text,
                  std::unique_ptr<port::Thread>* kept_handle = nullptr, std::uint32_t stack_kb = 0);
bool register_thread(std::unique_ptr<port::Thread> handle);
bool start_thread_check();
void enable_thread_check();
void watchdog();

}  // namespace shiftwell
