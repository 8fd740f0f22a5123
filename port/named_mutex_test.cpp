#include "port/named_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "port/clock.h"
#include "port/file.h"
#include "port/process.h"
#include "port/program_path.h"

namespace {

std::string unique_name(const char* tag) {
  std::random_device rd;
  return std::string("test-") + tag + "-" + std::to_string(rd()) + std::to_string(port::tick_count_ms());
}

std::string temp_file(const char* tag) {
  return "/tmp/port-mutex-" + std::string(tag) + "-" + std::to_string(std::random_device{}());
}

bool wait_for_file(const std::string& path, int ms) {
  for (int waited = 0; waited < ms; waited += 5) {
    if (port::file_exists(path)) return true;
    port::sleep_ms(5);
  }
  return false;
}

std::string child() { return port::program_directory() + "/port_mutex_child"; }

TEST(NamedMutex, ExcludesAnotherThreadThroughASecondHandle) {
  const auto name = unique_name("threads");
  auto a = port::NamedMutex::open_or_create(name);
  auto b = port::NamedMutex::open_or_create(name);
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->wait(-1), port::WaitResult::acquired);
  std::atomic<int> got{-1};
  std::thread other([&] {
    got = b->wait(50) == port::WaitResult::timed_out ? 0 : 1;
    if (got == 0 && b->wait(5000) == port::WaitResult::acquired) {
      got = 2;
      b->release();
    }
  });
  while (got.load() == -1) port::sleep_ms(1);
  EXPECT_EQ(got.load(), 0) << "second handle entered while the first owned the mutex";
  EXPECT_TRUE(a->release());
  other.join();
  EXPECT_EQ(got.load(), 2);
}

TEST(NamedMutex, OwnerReentersAndReleasesOncePerAcquisition) {
  const auto name = unique_name("reenter");
  auto m = port::NamedMutex::open_or_create(name);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->wait(-1), port::WaitResult::acquired);
  ASSERT_EQ(m->wait(0), port::WaitResult::acquired);
  EXPECT_TRUE(m->release());
  std::atomic<bool> entered{false};
  std::thread probe([&] { entered = m->wait(30) != port::WaitResult::timed_out; });
  probe.join();
  EXPECT_FALSE(entered) << "one release of two acquisitions freed the mutex";
  EXPECT_TRUE(m->release());
  EXPECT_FALSE(m->release()) << "release without ownership must fail";
  std::thread after([&] {
    entered = m->wait(1000) == port::WaitResult::acquired;
    if (entered) m->release();
  });
  after.join();
  EXPECT_TRUE(entered);
}

TEST(NamedMutex, NonOwnerCannotRelease) {
  auto m = port::NamedMutex::open_or_create(unique_name("nonowner"));
  ASSERT_EQ(m->wait(-1), port::WaitResult::acquired);
  bool released = true;
  std::thread other([&] { released = m->release(); });
  other.join();
  EXPECT_FALSE(released);
  EXPECT_TRUE(m->release());
}

TEST(NamedMutex, ExcludesAnotherProcess) {
  const auto name = unique_name("procs");
  const auto ready = temp_file("ready");
  auto proc = port::Process::start(child(), {"hold", name, "400", ready});
  ASSERT_TRUE(proc);
  ASSERT_TRUE(wait_for_file(ready, 10000));
  auto m = port::NamedMutex::open_or_create(name);
  EXPECT_EQ(m->wait(50), port::WaitResult::timed_out);
  EXPECT_EQ(m->wait(10000), port::WaitResult::acquired);
  std::string text;
  ASSERT_TRUE(port::read_file(ready, text));
  EXPECT_EQ(text, "held released") << "acquired before the other process released";
  m->release();
  int code = -1;
  EXPECT_TRUE(proc->wait(10000, &code));
  EXPECT_EQ(code, 0);
}

TEST(NamedMutex, ProcessKilledWhileHoldingLeavesItAbandoned) {
  const auto name = unique_name("killed");
  const auto ready = temp_file("hang");
  auto proc = port::Process::start(child(), {"hang", name, ready});
  ASSERT_TRUE(proc);
  ASSERT_TRUE(wait_for_file(ready, 10000));
  auto m = port::NamedMutex::open_or_create(name);
  EXPECT_EQ(m->wait(50), port::WaitResult::timed_out);
  proc->kill_hard();
  EXPECT_TRUE(proc->wait(10000));
  EXPECT_EQ(m->wait(10000), port::WaitResult::abandoned);
  EXPECT_TRUE(m->release());
  EXPECT_EQ(m->wait(1000), port::WaitResult::acquired) << "a clean release must not look abandoned";
  m->release();
}

TEST(NamedMutex, NamesThatAreNoFileNamesStillWork) {
  for (const std::string& name :
       {std::string("a/b\\c:d"), std::string("中文名字qmtx"), std::string(300, 'x')}) {
    auto m = port::NamedMutex::open_or_create(name + unique_name("odd"));
    ASSERT_TRUE(m) << name;
    EXPECT_EQ(m->wait(1000), port::WaitResult::acquired);
    EXPECT_TRUE(m->release());
  }
}

TEST(NamedMutex, ManyThreadsLoseNoUpdate) {
  const auto name = unique_name("hammer");
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      auto m = port::NamedMutex::open_or_create(name);
      for (int i = 0; i < 2000; ++i) {
        m->wait(-1);
        ++counter;
        m->release();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 8 * 2000);
}

}  // namespace
