// The program-wide state that every thread of a migration shares: the
// input of the last start, the target database, the page counters, the
// worker handles, the locks and the display counters. Built once before any
// window or run exists and released by the exit routine, after every run
// has ended. Each field says which lock guards it.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gerenmokuai/sqlite_shujuku.h"
#include "port/thread.h"
#include "shiftwell/run/run_view.h"
#include "shiftwell/supervision/read_write_lock.h"
#include "shiftwell/supervision/thread_registry.h"

namespace shiftwell {

// How a request that brought no usable answer is repeated: pauses from
// initial_pause_ms, doubling up to max_pause_ms, until about bound_ms have
// passed since the first try.
struct RetryPolicy {
  int initial_pause_ms = 500;
  int max_pause_ms = 30000;
  int bound_ms = 180000;
};

// Where and how the platform is reached.
struct PlatformSettings {
  std::string api_base;
  bool ignore_certificate_errors = false;
  std::string ca_file;  // extra trusted certificates (tests against a local platform)
  RetryPolicy retry;
};

// The platform's default address; SHIFTWELL_API_BASE or --api-base override it.
inline constexpr const char* kDefaultApiBase = "https://api.velora.example";
std::string api_base_from_environment();

// What went missing during a run: the pages and items that could not be
// fetched and the rows that could not be stored. Guarded by its own mutex,
// a leaf lock taken after any other.
class RunReport {
 public:
  void reset();
  void missing_page(const std::string& list, int page);
  void list_end_reached(const std::string& list);
  void list_claimed(const std::string& list);
  void missing_item(const std::string& what);
  // True the first time a list is marked refused.
  bool refused_list(const std::string& list);
  bool is_refused(const std::string& list) const;
  void failed_insert(CounterKind kind);
  bool complete() const;
  // The closing log lines naming what is missing; empty when complete.
  std::vector<std::string> summary() const;

 private:
  struct ListState {
    std::string name;
    std::vector<int> missing_pages;
    bool end_reached = false;
    bool refused = false;
  };
  ListState& list(const std::string& name);

  mutable std::mutex mutex_;
  std::vector<ListState> lists_;
  std::vector<std::string> missing_items_;
  std::array<int, 4> failed_inserts_{};
};

struct ProgramState {
  ProgramState();

  // Set by the start of a run, read by its threads while it lasts.
  std::string sub_id;
  std::string user_token;
  std::string database_path;
  PlatformSettings platform;

  GeRenMoKuai::MoKuai_class_sqliteShuJuKu target_db{GeRenMoKuai::Configuration::shiftwell};

  std::array<int, 5> order_page_counters{};  // order_lock
  int member_page_counter = 0;               // member_lock
  int withdrawal_page_counter = 0;           // withdrawal_lock

  std::array<std::unique_ptr<port::Thread>, 10> member_threads;
  std::array<std::unique_ptr<port::Thread>, 10> order_threads;
  std::array<std::unique_ptr<port::Thread>, 10> withdrawal_threads;

  ReadWriteLock log_lock;
  ReadWriteLock member_lock;      // member_page_counter, relation_count, member_count
  ReadWriteLock order_lock;       // order_page_counters, order_count
  ReadWriteLock withdrawal_lock;  // withdrawal_page_counter, withdrawal_count
  ThreadSupervision supervision;  // the thread registry, after the four locks

  int relation_count = 0;
  int member_count = 0;
  int order_count = 0;
  int withdrawal_count = 0;

  RunView* view = nullptr;  // set before the first run; outlives every run
  std::atomic<bool> stop_requested{false};
  std::atomic<bool> running{false};
  RunReport report;
};

// Pauses ms milliseconds, returning early (false) when a stop is requested.
bool pause_unless_stopped(const ProgramState& state, int ms);

}  // namespace shiftwell
