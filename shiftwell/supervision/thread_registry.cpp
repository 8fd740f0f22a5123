#include "shiftwell/supervision/thread_registry.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "port/clock.h"
#include "port/codepage.h"
#include "port/file.h"
#include "shiftwell/supervision/read_write_lock.h"
#include "shiftwell/supervision/utility.h"
#include "shiftwell/transfer/sql_text.h"

namespace shiftwell {

namespace {

constexpr const char* kDatePicture = "yyyy-MM-dd";
constexpr const char* kTimePicture = " HH:mm:ss";
// A thread created this many seconds before a check or longer ago is
// counted but not listed.
constexpr std::int64_t kListedAgeSeconds = 1200;
constexpr int kRetryPauseMs = 100;

std::size_t character_count(const std::string& text) {
  std::size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

const std::string& picture_or_none(const std::string& picture) {
  static const std::string none;
  return character_count(picture) >= 3 ? picture : none;
}

class WriteGuard {
 public:
  explicit WriteGuard(ReadWriteLock& lock) : lock_(lock) { lock_.lock_write(); }
  ~WriteGuard() { lock_.unlock_write(); }
  WriteGuard(const WriteGuard&) = delete;
  WriteGuard& operator=(const WriteGuard&) = delete;

 private:
  ReadWriteLock& lock_;
};

std::atomic<ThreadSupervision*> g_process_supervision{nullptr};

}  // namespace

std::int64_t timestamp_seconds() { return std::strtoll(timestamp_text(false).c_str(), nullptr, 10); }

std::size_t thread_stack_bytes(std::uint32_t stack_kb) {
  if (stack_kb == 0) return 0;
  if (stack_kb < 64) stack_kb = 1024;
  return static_cast<std::size_t>(stack_kb) * 1024u;
}

int thread_state(port::Thread* handle) {
  if (handle == nullptr) return -1;
  return handle->wait(0) ? 0 : 1;
}

std::string format_timestamp(const std::string& timestamp, const std::string& date_picture,
                             const std::string& time_picture) {
  return format_date_time(unix_to_local_time(timestamp), picture_or_none(date_picture),
                          picture_or_none(time_picture));
}

bool append_to_file(const std::string& path, std::string_view bytes) {
  return port::append_file(path, bytes);
}

namespace detail {

struct ThreadRecord {
  std::unique_ptr<port::Thread> handle;
  std::string owner;
  std::int64_t created = 0;
};

struct SupervisionCore : std::enable_shared_from_this<SupervisionCore> {
  explicit SupervisionCore(SupervisionSetup setup)
      : program_directory(std::move(setup.program_directory)),
        clock(setup.clock ? std::move(setup.clock) : SecondsClock(timestamp_seconds)),
        create_thread(setup.create_thread ? std::move(setup.create_thread)
                                          : ThreadCreator(&port::Thread::start)) {
    registry_lock.init();
  }
  ~SupervisionCore() { registry_lock.destroy(); }

  bool register_thread(std::unique_ptr<port::Thread> handle);
  bool start_body(std::function<void()> body, std::unique_ptr<port::Thread>* kept_handle,
                  std::uint32_t stack_kb);
  void enable_thread_check(const WatchdogTiming& timing);
  void run_watchdog(const WatchdogTiming& timing);
  void check(std::int64_t now);
  void free_registry();

  void watchdog_entered();
  void watchdog_left();
  void thread_check_done();

  const std::string program_directory;
  const SecondsClock clock;
  const ThreadCreator create_thread;

  // owner_name and report_path are written once, before registry_enabled is
  // set (release); readers look at them only after seeing it set.
  std::atomic<bool> registry_enabled{false};
  std::string owner_name;
  std::string report_path;
  std::vector<ThreadRecord> thread_registry;  // registry_lock
  ReadWriteLock registry_lock;

  std::atomic<bool> check_decided{false};
  std::atomic<bool> stop_requested{false};

  mutable std::mutex status_mutex;
  mutable std::condition_variable status_changed;
  bool check_finished = false;  // status_mutex
  int watchdogs = 0;            // status_mutex
};

}  // namespace detail

namespace {

// Starts body on a new thread; registry null means the check is off.
bool launch(const ThreadCreator& create, std::function<void()> body,
            std::unique_ptr<port::Thread>* kept_handle, std::uint32_t stack_kb,
            detail::SupervisionCore* registry);

}  // namespace

bool detail::SupervisionCore::register_thread(std::unique_ptr<port::Thread> handle) {
  if (!handle || !registry_enabled.load(std::memory_order_acquire)) return false;
  ThreadRecord record{std::move(handle), owner_name, clock()};
  WriteGuard hold(registry_lock);
  thread_registry.push_back(std::move(record));
  return true;
}

bool detail::SupervisionCore::start_body(std::function<void()> body,
                                         std::unique_ptr<port::Thread>* kept_handle, std::uint32_t stack_kb) {
  return launch(create_thread, std::move(body), kept_handle, stack_kb, this);
}

void detail::SupervisionCore::enable_thread_check(const WatchdogTiming& timing) {
  if (check_decided.exchange(true)) return;
  if (port::file_exists(program_directory + "/" + kMarkerFileName)) {
    // Written before the watchdog exists and before anyone may register,
    // so both see them complete.
    owner_name = kOwnerName;
    report_path = program_directory + "/" + owner_name + ".txt";
    watchdog_entered();
    // Still off here, so the watchdog's own handle is closed, not registered.
    const bool started = start_body(
        [core = shared_from_this(), timing] {
          core->run_watchdog(timing);
          core->watchdog_left();
        },
        nullptr, 0);
    if (!started) watchdog_left();
    registry_enabled.store(true, std::memory_order_release);
  }
  thread_check_done();
}

void detail::SupervisionCore::run_watchdog(const WatchdogTiming& timing) {
  const std::function<void(int)> sleep =
      timing.sleep ? timing.sleep : std::function<void(int)>(port::sleep_ms);
  const SecondsClock& now = timing.now_seconds ? timing.now_seconds : clock;
  sleep(timing.first_check_ms);
  while (!stop_requested.load()) {
    check(now());
    sleep(timing.interval_ms);
  }
}

void detail::SupervisionCore::check(std::int64_t now) {
  WriteGuard hold(registry_lock);
  std::string entries;
  // Newest registration first.
  for (std::size_t i = thread_registry.size(); i-- > 0;) {
    ThreadRecord& record = thread_registry[i];
    if (thread_state(record.handle.get()) != 1) {
      thread_registry.erase(thread_registry.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (static_cast<double>(record.created + kListedAgeSeconds) - static_cast<double>(now) > 0.0000001) {
      entries += "插件:" + record.owner +
                 " 创建时间:" + format_timestamp(std::to_string(record.created), kDatePicture, kTimePicture) +
                 "\r\n";
    }
  }
  if (thread_registry.empty()) return;
  const std::string block = "检测时间:" + format_timestamp(std::to_string(now), kDatePicture, kTimePicture) +
                            "\r\n正在运行线程数:" + std::to_string(thread_registry.size()) + "\r\n" +
                            entries + "\r\n\r\n\r\n\r\n";
  // A lost block is tried again at the next check; nobody is told.
  append_to_file(report_path, port::utf8_to_cp936(block));
}

void detail::SupervisionCore::free_registry() {
  std::vector<ThreadRecord> records;
  {
    WriteGuard hold(registry_lock);
    records.swap(thread_registry);
  }
}

void detail::SupervisionCore::watchdog_entered() {
  std::lock_guard<std::mutex> hold(status_mutex);
  ++watchdogs;
}

void detail::SupervisionCore::watchdog_left() {
  {
    std::lock_guard<std::mutex> hold(status_mutex);
    --watchdogs;
  }
  status_changed.notify_all();
}

void detail::SupervisionCore::thread_check_done() {
  {
    std::lock_guard<std::mutex> hold(status_mutex);
    check_finished = true;
  }
  status_changed.notify_all();
}

namespace {

bool launch(const ThreadCreator& create, std::function<void()> body,
            std::unique_ptr<port::Thread>* kept_handle, std::uint32_t stack_kb,
            detail::SupervisionCore* registry) {
  // Every attempt gets the same body; copying the pointer cannot fail.
  const auto shared_body = std::make_shared<std::function<void()>>(std::move(body));
  const std::size_t stack_bytes = thread_stack_bytes(stack_kb);
  std::unique_ptr<port::Thread> handle;
  for (;;) {
    bool out_of_memory = false;
    handle = create([shared_body] { (*shared_body)(); }, stack_bytes, &out_of_memory);
    if (handle) break;
    if (out_of_memory) return false;
    wait_ms(kRetryPauseMs, true);
  }
  if (kept_handle != nullptr) {
    *kept_handle = std::move(handle);
    return true;
  }
  // A refused handle is closed here; the thread runs on.
  if (registry != nullptr) registry->register_thread(std::move(handle));
  return true;
}

std::function<void()> body_with_argument(std::function<void(std::int32_t)> entry, std::int32_t argument) {
  return [entry = std::move(entry), argument] { entry(argument); };
}

// Empty when there is no text or its copy cannot be made.
std::function<void()> body_with_text(std::function<void(std::string)> entry, const std::string& text) {
  if (text.empty()) return {};
  try {
    std::string copy = text;
    return [entry = std::move(entry), copy = std::move(copy)]() mutable { entry(std::move(copy)); };
  } catch (const std::bad_alloc&) {
    return {};
  }
}

bool launch_off(std::function<void()> body, std::unique_ptr<port::Thread>* kept_handle,
                std::uint32_t stack_kb) {
  return launch(ThreadCreator(&port::Thread::start), std::move(body), kept_handle, stack_kb, nullptr);
}

}  // namespace

ThreadSupervision::ThreadSupervision() : ThreadSupervision(SupervisionSetup{}) {}

ThreadSupervision::ThreadSupervision(SupervisionSetup setup)
    : core_(std::make_shared<detail::SupervisionCore>(std::move(setup))) {}

ThreadSupervision::~ThreadSupervision() {
  ThreadSupervision* self = this;
  g_process_supervision.compare_exchange_strong(self, nullptr);
  core_->stop_requested.store(true);
  core_->free_registry();
}

bool ThreadSupervision::start_thread(std::function<void()> entry, std::unique_ptr<port::Thread>* kept_handle,
                                     std::uint32_t stack_kb) {
  if (!entry) return false;
  return core_->start_body(std::move(entry), kept_handle, stack_kb);
}

bool ThreadSupervision::start_thread(std::function<void(std::int32_t)> entry, std::int32_t argument,
                                     std::unique_ptr<port::Thread>* kept_handle, std::uint32_t stack_kb) {
  if (!entry) return false;
  return core_->start_body(body_with_argument(std::move(entry), argument), kept_handle, stack_kb);
}

bool ThreadSupervision::start_thread(std::function<void(std::string)> entry, const std::string& text,
                                     std::unique_ptr<port::Thread>* kept_handle, std::uint32_t stack_kb) {
  if (!entry) return false;
  std::function<void()> body = body_with_text(std::move(entry), text);
  if (!body) return false;
  return core_->start_body(std::move(body), kept_handle, stack_kb);
}

bool ThreadSupervision::register_thread(std::unique_ptr<port::Thread> handle) {
  return core_->register_thread(std::move(handle));
}

bool ThreadSupervision::start_thread_check(WatchdogTiming timing) {
  return core_->start_body([core = core_, timing = std::move(timing)] { core->enable_thread_check(timing); },
                           nullptr, 0);
}

void ThreadSupervision::enable_thread_check(WatchdogTiming timing) { core_->enable_thread_check(timing); }

void ThreadSupervision::watchdog(WatchdogTiming timing) {
  core_->watchdog_entered();
  core_->run_watchdog(timing);
  core_->watchdog_left();
}

void ThreadSupervision::watchdog_check() { core_->check(core_->clock()); }

bool ThreadSupervision::enabled() const { return core_->registry_enabled.load(std::memory_order_acquire); }

std::string ThreadSupervision::marker_path() const {
  return core_->program_directory + "/" + kMarkerFileName;
}

std::string ThreadSupervision::report_path() const { return enabled() ? core_->report_path : std::string(); }

bool ThreadSupervision::wait_for_thread_check(int timeout_ms) const {
  std::unique_lock<std::mutex> hold(core_->status_mutex);
  return core_->status_changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                                        [this] { return core_->check_finished; });
}

bool ThreadSupervision::watchdog_running() const {
  std::lock_guard<std::mutex> hold(core_->status_mutex);
  return core_->watchdogs > 0;
}

void ThreadSupervision::request_stop() { core_->stop_requested.store(true); }

bool ThreadSupervision::wait_watchdog_ended(int timeout_ms) const {
  std::unique_lock<std::mutex> hold(core_->status_mutex);
  return core_->status_changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                                        [this] { return core_->watchdogs == 0; });
}

void install_process_supervision(ThreadSupervision* supervision) { g_process_supervision.store(supervision); }

ThreadSupervision* process_supervision() { return g_process_supervision.load(); }

bool start_thread(std::function<void()> entry, std::unique_ptr<port::Thread>* kept_handle,
                  std::uint32_t stack_kb) {
  if (ThreadSupervision* s = process_supervision())
    return s->start_thread(std::move(entry), kept_handle, stack_kb);
  if (!entry) return false;
  return launch_off(std::move(entry), kept_handle, stack_kb);
}

bool start_thread(std::function<void(std::int32_t)> entry, std::int32_t argument,
                  std::unique_ptr<port::Thread>* kept_handle, std::uint32_t stack_kb) {
  if (ThreadSupervision* s = process_supervision())
    return s->start_thread(std::move(entry), argument, kept_handle, stack_kb);
  if (!entry) return false;
  return launch_off(body_with_argument(std::move(entry), argument), kept_handle, stack_kb);
}

bool start_thread(std::function<void(std::string)> entry, const std::string& text,
                  std::unique_ptr<port::Thread>* kept_handle, std::uint32_t stack_kb) {
  if (ThreadSupervision* s = process_supervision())
    return s->start_thread(std::move(entry), text, kept_handle, stack_kb);
  if (!entry) return false;
  std::function<void()> body = body_with_text(std::move(entry), text);
  if (!body) return false;
  return launch_off(std::move(body), kept_handle, stack_kb);
}

bool register_thread(std::unique_ptr<port::Thread> handle) {
  ThreadSupervision* s = process_supervision();
  return s != nullptr && s->register_thread(std::move(handle));
}

bool start_thread_check() {
  ThreadSupervision* s = process_supervision();
  return s != nullptr && s->start_thread_check();
}

void enable_thread_check() {
  if (ThreadSupervision* s = process_supervision()) s->enable_thread_check();
}

void watchdog() {
  if (ThreadSupervision* s = process_supervision()) s->watchdog();
}

}  // namespace shiftwell
