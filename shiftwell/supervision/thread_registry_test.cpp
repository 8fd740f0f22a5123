#include "shiftwell/supervision/thread_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "port/clock.h"
#include "port/file.h"
#include "port/thread.h"

namespace shiftwell {
namespace {

namespace fs = std::filesystem;

constexpr int kBound = 10000;              // generous bound on waits; only against hangs
constexpr std::int64_t kNow = 1765300000;  // 2025-12-10 01:06:40 on the UTC+8 clock

// Code page 936 bytes of the report's captions.
constexpr const char* kCheckTime = "\xBC\xEC\xB2\xE2\xCA\xB1\xBC\xE4:";  // 检测时间:
constexpr const char* kRunningCount =
    "\xD5\xFD\xD4\xDA\xD4\xCB\xD0\xD0\xCF\xDF\xB3\xCC\xCA\xFD:";  // 正在运行线程数:
constexpr const char* kOwnerLine =
    "\xB2\xE5\xBC\xFE:\xB4\xFA\xC2\xEB \xB4\xB4\xBD\xA8\xCA\xB1\xBC\xE4:";  // 插件:代码 创建时间:

// A thread handle whose state the test decides; it tells when it is closed.
struct FakeState {
  std::atomic<bool> running{true};
  std::atomic<bool> closed{false};
};

class FakeThread : public port::Thread {
 public:
  explicit FakeThread(std::shared_ptr<FakeState> state) : state_(std::move(state)) {}
  ~FakeThread() override { state_->closed = true; }
  bool wait(int) override { return !state_->running; }

 private:
  std::shared_ptr<FakeState> state_;
};

std::unique_ptr<port::Thread> fake(const std::shared_ptr<FakeState>& state) {
  return std::make_unique<FakeThread>(state);
}

// The watchdog's sleeps: each one blocks until the test grants it, so the
// test decides when a check happens. Records what was asked for.
class Sleeper {
 public:
  void sleep(int ms) {
    std::unique_lock<std::mutex> hold(mutex_);
    asked_.push_back(ms);
    ++inside_;
    changed_.notify_all();
    changed_.wait(hold, [&] { return released_ || granted_ > 0; });
    if (!released_) --granted_;
    --inside_;
    changed_.notify_all();
  }
  void grant() {
    std::lock_guard<std::mutex> hold(mutex_);
    ++granted_;
    changed_.notify_all();
  }
  // Lets every sleep return at once from now on and waits until no thread
  // is inside one, so the sleeper may go.
  bool release() {
    std::unique_lock<std::mutex> hold(mutex_);
    released_ = true;
    changed_.notify_all();
    return changed_.wait_for(hold, std::chrono::milliseconds(kBound), [&] { return inside_ == 0; });
  }
  bool wait_asked(std::size_t n) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::milliseconds(kBound), [&] { return asked_.size() >= n; });
  }
  std::vector<int> asked() {
    std::lock_guard<std::mutex> hold(mutex_);
    return asked_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> asked_;
  int granted_ = 0;
  int inside_ = 0;
  bool released_ = false;
};

// A thread body that runs until the test opens the gate.
class Gate {
 public:
  void pass() {
    std::unique_lock<std::mutex> hold(mutex_);
    ++inside_;
    changed_.notify_all();
    changed_.wait(hold, [&] { return open_; });
    ++left_;
    changed_.notify_all();
  }
  bool wait_inside(int n) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::milliseconds(kBound), [&] { return inside_ >= n; });
  }
  // Opens and waits until every thread inside has left, so the gate may go.
  bool open_and_drain() {
    std::unique_lock<std::mutex> hold(mutex_);
    open_ = true;
    changed_.notify_all();
    return changed_.wait_for(hold, std::chrono::milliseconds(kBound), [&] { return left_ == inside_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int inside_ = 0;
  int left_ = 0;
  bool open_ = false;
};

class ThreadRegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> serial{0};
    dir_ =
        (fs::temp_directory_path() / ("watch_" + std::to_string(port::current_thread_id()) + "_" +
                                      std::to_string(port::tick_count_ms()) + "_" + std::to_string(++serial)))
            .string();
    fs::create_directories(dir_);
  }

  void TearDown() override {
    destroy_supervision();
    EXPECT_TRUE(gate_.open_and_drain());
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Ends its watchdog first; the sleeper stays released afterwards.
  void destroy_supervision() {
    if (!supervision_) return;
    supervision_->request_stop();
    EXPECT_TRUE(sleeper_.release());
    EXPECT_TRUE(supervision_->wait_watchdog_ended(kBound));
    supervision_.reset();
  }

  ThreadSupervision& make(bool with_marker, ThreadCreator create_thread = {}) {
    if (with_marker) put_marker();
    SupervisionSetup setup;
    setup.program_directory = dir_;
    setup.clock = [this] { return now_.load(); };
    if (create_thread) setup.create_thread = std::move(create_thread);
    supervision_ = std::make_unique<ThreadSupervision>(std::move(setup));
    return *supervision_;
  }

  // Switched on, with a watchdog that sleeps until the test lets it go, so
  // the test runs every check itself.
  ThreadSupervision& make_on(ThreadCreator create_thread = {}) {
    ThreadSupervision& s = make(true, std::move(create_thread));
    s.enable_thread_check(parked());
    EXPECT_TRUE(s.enabled());
    return s;
  }

  WatchdogTiming parked() {
    WatchdogTiming timing;
    timing.sleep = [this](int ms) { sleeper_.sleep(ms); };
    return timing;
  }

  void put_marker() { ASSERT_TRUE(port::write_file(dir_ + "/线程检测.txt", "")); }
  std::string report_file() const { return dir_ + "/代码.txt"; }
  bool report_exists() const { return port::file_exists(report_file()); }
  std::string report() const {
    std::string bytes;
    EXPECT_TRUE(port::read_file(report_file(), bytes));
    return bytes;
  }

  // Registers a fake thread created at the given time.
  std::shared_ptr<FakeState> register_at(std::int64_t created, bool expect_taken = true) {
    auto state = std::make_shared<FakeState>();
    now_ = created;
    EXPECT_EQ(supervision_->register_thread(fake(state)), expect_taken);
    return state;
  }

  std::string dir_;
  std::atomic<std::int64_t> now_{kNow};
  Sleeper sleeper_;
  Gate gate_;
  std::unique_ptr<ThreadSupervision> supervision_;
};

TEST_F(ThreadRegistryTest, WithoutMarkerTheCheckStaysOffEvenWhenTheMarkerAppearsLater) {
  ThreadSupervision& s = make(false);
  ASSERT_TRUE(s.start_thread_check(parked()));
  ASSERT_TRUE(s.wait_for_thread_check(kBound));
  EXPECT_FALSE(s.enabled());
  EXPECT_FALSE(s.watchdog_running());
  EXPECT_EQ(s.report_path(), "");

  auto refused = register_at(kNow, false);
  EXPECT_TRUE(refused->closed) << "a refused handle must be closed";

  put_marker();
  s.enable_thread_check(parked());
  EXPECT_FALSE(s.enabled());
  EXPECT_FALSE(s.watchdog_running());
  register_at(kNow, false);
  s.watchdog_check();
  EXPECT_FALSE(report_exists());
}

TEST_F(ThreadRegistryTest, WithMarkerTheWatchdogRunsAndAnEmptyRegistryWritesNothing) {
  ThreadSupervision& s = make(true);
  // Through the thread-check thread, as at start-up: neither it nor the
  // watchdog may end up in the registry.
  ASSERT_TRUE(s.start_thread_check(parked()));
  ASSERT_TRUE(s.wait_for_thread_check(kBound));
  EXPECT_TRUE(s.enabled());
  EXPECT_TRUE(s.watchdog_running());
  EXPECT_EQ(s.report_path(), report_file());

  ASSERT_TRUE(sleeper_.wait_asked(1));
  sleeper_.grant();  // the watchdog's own first check
  ASSERT_TRUE(sleeper_.wait_asked(2));
  s.watchdog_check();
  EXPECT_FALSE(report_exists());
}

TEST_F(ThreadRegistryTest, AnEndedThreadIsDroppedAndItsHandleClosed) {
  ThreadSupervision& s = make_on();
  auto running = register_at(kNow - 10);
  auto ended = register_at(kNow - 5);
  ended->running = false;
  now_ = kNow;

  s.watchdog_check();
  EXPECT_TRUE(ended->closed);
  EXPECT_FALSE(running->closed);
  const std::string first = report();
  EXPECT_NE(first.find(std::string(kRunningCount) + "1\r\n"), std::string::npos) << first;
  EXPECT_EQ(first.find("01:06:35"), std::string::npos) << "the ended thread is listed";
  EXPECT_NE(first.find("01:06:30"), std::string::npos) << first;

  // Once the last one has ended, the check drops it and writes nothing.
  running->running = false;
  s.watchdog_check();
  EXPECT_TRUE(running->closed);
  EXPECT_EQ(report(), first);
}

TEST_F(ThreadRegistryTest, ReportBlockListsYoungThreadsNewestFirstInCodePage936) {
  ThreadSupervision& s = make_on();
  register_at(kNow - 1200);  // 00:46:40, too old to be listed
  register_at(kNow - 100);   // 01:05:00
  register_at(kNow - 1);     // 01:06:39
  now_ = kNow;
  s.watchdog_check();

  const std::string expected = std::string(kCheckTime) + "2025-12-10 01:06:40\r\n" + kRunningCount + "3\r\n" +
                               kOwnerLine + "2025-12-10 01:06:39\r\n" + kOwnerLine +
                               "2025-12-10 01:05:00\r\n" + "\r\n\r\n\r\n\r\n";
  EXPECT_EQ(report(), expected);

  // The next check appends; the file is never truncated.
  s.watchdog_check();
  EXPECT_EQ(report(), expected + expected);
}

TEST_F(ThreadRegistryTest, OnlyThreadsYoungerThan1200SecondsAreListed) {
  struct Case {
    std::int64_t age;
    bool listed;
  };
  const Case cases[] = {{0, true}, {1199, true}, {1200, false}, {1201, false}, {100000, false}};
  ThreadSupervision& s = make_on();
  auto state = register_at(kNow);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "age " << c.age);
    std::error_code ignored;
    fs::remove(report_file(), ignored);
    now_ = kNow + c.age;
    s.watchdog_check();
    const std::string bytes = report();
    EXPECT_NE(bytes.find(std::string(kRunningCount) + "1\r\n"), std::string::npos) << "always counted";
    EXPECT_EQ(bytes.find(kOwnerLine) != std::string::npos, c.listed);
  }
  EXPECT_FALSE(state->closed);
}

TEST_F(ThreadRegistryTest, WatchdogChecksAfterTheFirstIntervalThenEveryLongInterval) {
  ThreadSupervision& s = make(true);
  s.enable_thread_check(parked());
  register_at(kNow - 1);
  now_ = kNow;
  ASSERT_TRUE(sleeper_.wait_asked(1));
  EXPECT_FALSE(report_exists()) << "checked before the first sleep";
  sleeper_.grant();
  ASSERT_TRUE(sleeper_.wait_asked(2));
  const std::string one = report();
  ASSERT_NE(one.find(kOwnerLine), std::string::npos) << one;
  sleeper_.grant();
  ASSERT_TRUE(sleeper_.wait_asked(3));
  EXPECT_EQ(report(), one + one);
  EXPECT_EQ(sleeper_.asked(), (std::vector<int>{60000, 600000, 600000}));
}

TEST_F(ThreadRegistryTest, KeptHandleIsNeverRegistered) {
  // Off first: replacing it by the switched-on instance keeps the sleeper.
  for (bool on : {false, true}) {
    SCOPED_TRACE(on ? "check on" : "check off");
    ThreadSupervision& s = on ? make_on() : make(false);
    Gate gate;
    std::unique_ptr<port::Thread> handle;
    ASSERT_TRUE(s.start_thread([&gate] { gate.pass(); }, &handle));
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(gate.wait_inside(1));
    EXPECT_EQ(thread_state(handle.get()), 1);
    s.watchdog_check();
    EXPECT_FALSE(report_exists()) << "the kept thread was registered";
    EXPECT_TRUE(gate.open_and_drain());
    EXPECT_TRUE(handle->wait(kBound));
    EXPECT_EQ(thread_state(handle.get()), 0);
  }
}

TEST_F(ThreadRegistryTest, StartedThreadsAreRegisteredOnlyWhileOn) {
  {
    ThreadSupervision& s = make(false);
    std::atomic<std::int32_t> got{0};
    ASSERT_TRUE(s.start_thread(
        [&](std::int32_t argument) {
          got = argument;
          gate_.pass();
        },
        42));
    ASSERT_TRUE(gate_.wait_inside(1));
    EXPECT_EQ(got, 42);
    s.watchdog_check();
    EXPECT_FALSE(report_exists());
  }
  ThreadSupervision& s = make_on();
  std::string got;
  ASSERT_TRUE(s.start_thread(
      [&](std::string text) {
        got = std::move(text);
        gate_.pass();
      },
      std::string("插件")));
  ASSERT_TRUE(gate_.wait_inside(2));
  EXPECT_EQ(got, "插件");
  s.watchdog_check();
  EXPECT_NE(report().find(std::string(kRunningCount) + "1\r\n"), std::string::npos);
}

// Fails as told first, then starts the body on a real thread (the watchdog
// of a switched-on instance starts through it too). Records the stack sizes
// asked for; used from the test's thread only.
struct ScriptedCreator {
  struct Log {
    std::vector<std::size_t> stacks;
    int failures_left = 0;
    bool out_of_memory = false;
  };
  std::shared_ptr<Log> log = std::make_shared<Log>();

  ThreadCreator creator() const {
    return [log = log](std::function<void()> body, std::size_t stack_bytes, bool* out_of_memory) {
      log->stacks.push_back(stack_bytes);
      if (log->failures_left > 0) {
        --log->failures_left;
        *out_of_memory = log->out_of_memory;
        return std::unique_ptr<port::Thread>();
      }
      return port::Thread::start(std::move(body), stack_bytes, out_of_memory);
    };
  }
};

TEST_F(ThreadRegistryTest, StackSizeRule) {
  struct Case {
    std::uint32_t kb;
    std::size_t bytes;
  };
  const Case cases[] = {
      {0, 0}, {1, 1048576}, {63, 1048576}, {64, 65536}, {1024, 1048576}, {4096, 4194304},
  };
  ScriptedCreator scripted;
  ThreadSupervision& s = make(false, scripted.creator());
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kb << " KB");
    EXPECT_EQ(thread_stack_bytes(c.kb), c.bytes);
    std::unique_ptr<port::Thread> handle;
    scripted.log->stacks.clear();
    ASSERT_TRUE(s.start_thread([] {}, &handle, c.kb));
    EXPECT_EQ(scripted.log->stacks, std::vector<std::size_t>{c.bytes});
  }
}

TEST_F(ThreadRegistryTest, CreationIsRetriedUnlessMemoryIsShort) {
  ScriptedCreator scripted;
  ThreadSupervision& s = make_on(scripted.creator());
  scripted.log->stacks.clear();  // the watchdog's own start

  scripted.log->failures_left = 2;
  std::unique_ptr<port::Thread> handle;
  EXPECT_TRUE(s.start_thread([] {}, &handle));
  EXPECT_EQ(scripted.log->stacks.size(), 3u);
  EXPECT_NE(handle, nullptr);

  scripted.log->stacks.clear();
  scripted.log->failures_left = 1;
  scripted.log->out_of_memory = true;
  EXPECT_FALSE(s.start_thread([](std::int32_t) {}, 0));
  EXPECT_EQ(scripted.log->stacks.size(), 1u);
  s.watchdog_check();
  EXPECT_FALSE(report_exists()) << "a failed start registered something";

  // An empty text starts nothing.
  scripted.log->stacks.clear();
  EXPECT_FALSE(s.start_thread([](std::string) {}, std::string()));
  EXPECT_TRUE(scripted.log->stacks.empty());
}

TEST_F(ThreadRegistryTest, DestroyingTheSupervisionFreesTheRegistry) {
  // As at program exit: the watchdog still sleeps and outlives the object.
  make_on();
  auto state = register_at(kNow);
  ASSERT_TRUE(sleeper_.wait_asked(1));
  EXPECT_FALSE(state->closed);
  supervision_.reset();
  EXPECT_TRUE(state->closed);
  // The watchdog wakes, sees the stop and ends without touching the object.
  EXPECT_TRUE(sleeper_.release());
}

TEST_F(ThreadRegistryTest, FreeRoutinesUseTheInstalledInstance) {
  auto refused = std::make_shared<FakeState>();
  EXPECT_FALSE(register_thread(fake(refused)));
  EXPECT_TRUE(refused->closed);
  EXPECT_FALSE(start_thread_check());

  ThreadSupervision& s = make_on();
  install_process_supervision(&s);
  EXPECT_EQ(process_supervision(), &s);
  auto taken = std::make_shared<FakeState>();
  EXPECT_TRUE(register_thread(fake(taken)));
  s.watchdog_check();
  EXPECT_TRUE(report_exists());

  destroy_supervision();
  EXPECT_EQ(process_supervision(), nullptr) << "a destroyed instance stayed installed";
  EXPECT_TRUE(taken->closed);
  // Without an instance threads still start.
  Gate gate;
  std::unique_ptr<port::Thread> handle;
  ASSERT_TRUE(start_thread([&gate](std::int32_t) { gate.pass(); }, 0, &handle));
  ASSERT_TRUE(gate.wait_inside(1));
  EXPECT_TRUE(gate.open_and_drain());
  EXPECT_TRUE(handle->wait(kBound));
}

TEST(FormatTimestamp, WritesEachPictureOfAtLeastThreeCharacters) {
  struct Case {
    const char* timestamp;
    const char* date_picture;
    const char* time_picture;
    const char* expected;
  };
  const Case cases[] = {
      {"1765300000", "yyyy-MM-dd", " HH:mm:ss", "2025-12-10 01:06:40"},
      {"1765345000", "yyyy-MM-dd", " HH:mm:ss", "2025-12-10 13:36:40"},     // 24 hours
      {"1765300000123", "yyyy-MM-dd", " HH:mm:ss", "2025-12-10 01:06:40"},  // random digits ignored
      {"1765300000", "yy", " HH:mm:ss", " 01:06:40"},
      {"1765300000", "yyyy-MM-dd", "ss", "2025-12-10"},
      {"1765300000", "dd", "ss", ""},
      {"0", "yyyy-MM-dd", " HH:mm:ss", "1970-01-01 08:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.timestamp << " '" << c.date_picture << "' '" << c.time_picture
                                    << "'");
    EXPECT_EQ(format_timestamp(c.timestamp, c.date_picture, c.time_picture), c.expected);
  }
}

TEST(AppendToFile, AppendsAndReportsFailure) {
  const std::string path =
      (fs::temp_directory_path() / ("watch_append_" + std::to_string(port::tick_count_ms()))).string();
  std::error_code ignored;
  fs::remove(path, ignored);
  EXPECT_TRUE(append_to_file(path, "ab"));
  EXPECT_TRUE(append_to_file(path, "\r\ncd"));
  std::string bytes;
  ASSERT_TRUE(port::read_file(path, bytes));
  EXPECT_EQ(bytes, "ab\r\ncd");
  fs::remove(path, ignored);
  EXPECT_FALSE(append_to_file(path + ".missing/report.txt", "x"));
}

}  // namespace
}  // namespace shiftwell
