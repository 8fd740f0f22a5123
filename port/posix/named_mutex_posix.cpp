// Named mutex: a lock file per name, locked with flock, gives the exclusion
// between processes (the kernel drops the lock of a process that dies); a
// registry of in-process owners by name gives the exclusion between threads
// of one process and the owner's re-entry, since flock locks belong to the
// open file, not to a thread.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "port/named_mutex.h"
#include "port/thread.h"

namespace port {

namespace {

// The folder of the lock files: private to the user, like a session's
// namespace of named objects.
std::string lock_directory() {
  std::string base;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    struct stat st {};
    if (::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) base = std::string(runtime) + "/gerenmokuai-mutex";
  }
  if (base.empty()) base = "/tmp/gerenmokuai-mutex-" + std::to_string(::getuid());
  ::mkdir(base.c_str(), 0700);
  struct stat st {};
  if (::lstat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return {};
  return base;
}

// File-name safe form of a mutex name: letters, digits, '-', '_' and '.'
// stay, every other byte becomes %XX; overlong names keep a readable head.
std::string escape_name(const std::string& name) {
  std::string out = "m_";
  char buf[4];
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.') {
      out.push_back(static_cast<char>(c));
    } else {
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  if (out.size() > 200) {
    std::size_t h = std::hash<std::string>{}(name);
    std::snprintf(buf, sizeof buf, "%03zu", name.size() % 1000);
    out = out.substr(0, 160) + "~" + std::to_string(h) + "~" + buf;
  }
  return out;
}

struct Entry {
  std::string name;
  int fd = -1;
  std::mutex m;
  std::condition_variable cv;
  std::uint32_t owner = 0;
  int depth = 0;
};

class Registry {
 public:
  std::shared_ptr<Entry> get(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& slot = entries_[name];
    if (slot) return slot;
    if (directory_.empty()) directory_ = lock_directory();
    if (directory_.empty()) return nullptr;
    const std::string path = directory_ + "/" + escape_name(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      entries_.erase(name);
      return nullptr;
    }
    slot = std::make_shared<Entry>();
    slot->name = name;
    slot->fd = fd;
    return slot;
  }

 private:
  std::mutex mutex_;
  std::string directory_;
  std::map<std::string, std::shared_ptr<Entry>> entries_;  // lives as long as the process
};

Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: handles may outlive static destruction
  return *r;
}

class PosixNamedMutex : public NamedMutex {
 public:
  explicit PosixNamedMutex(std::shared_ptr<Entry> e) : e_(std::move(e)) {}

  WaitResult wait(int timeout_ms) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    const std::uint32_t self = current_thread_id();
    std::unique_lock<std::mutex> lock(e_->m);
    if (e_->owner == self) {
      ++e_->depth;
      return WaitResult::acquired;
    }
    while (e_->owner != 0) {
      if (timeout_ms < 0) {
        e_->cv.wait(lock);
      } else if (e_->cv.wait_until(lock, deadline) == std::cv_status::timeout && e_->owner != 0) {
        return WaitResult::timed_out;
      }
    }
    e_->owner = self;  // claimed in this process; now take it from the other processes
    lock.unlock();

    if (!lock_file(timeout_ms, deadline)) {
      lock.lock();
      e_->owner = 0;
      lock.unlock();
      e_->cv.notify_one();
      return WaitResult::timed_out;
    }
    // A holder writes its process id into the file and clears it on release;
    // an id left behind means the holder died with the mutex.
    char mark[16] = {};
    const bool abandoned = ::pread(e_->fd, mark, sizeof mark, 0) > 0;
    if (abandoned && ::ftruncate(e_->fd, 0) != 0) {
    }
    const std::string me = std::to_string(::getpid());
    if (::pwrite(e_->fd, me.data(), me.size(), 0) < 0) {
    }
    lock.lock();
    e_->depth = 1;
    return abandoned ? WaitResult::abandoned : WaitResult::acquired;
  }

  bool release() override {
    std::unique_lock<std::mutex> lock(e_->m);
    if (e_->owner != current_thread_id() || e_->depth <= 0) return false;
    if (--e_->depth > 0) return true;
    if (::ftruncate(e_->fd, 0) != 0) {
    }
    ::flock(e_->fd, LOCK_UN);  // before giving up the claim, so no thread of ours can be granted it twice
    e_->owner = 0;
    lock.unlock();
    e_->cv.notify_one();
    return true;
  }

  const std::string& name() const override { return e_->name; }

 private:
  bool lock_file(int timeout_ms, std::chrono::steady_clock::time_point deadline) {
    if (timeout_ms < 0) {
      while (::flock(e_->fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
      }
      return true;
    }
    int pause_us = 200;
    for (;;) {
      if (::flock(e_->fd, LOCK_EX | LOCK_NB) == 0) return true;
      if (errno != EWOULDBLOCK && errno != EINTR) return false;
      const auto left = deadline - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) return false;
      const auto pause =
          std::min<std::chrono::steady_clock::duration>(left, std::chrono::microseconds(pause_us));
      ::usleep(static_cast<useconds_t>(std::chrono::duration_cast<std::chrono::microseconds>(pause).count()));
      pause_us = std::min(pause_us * 2, 10000);
    }
  }

  std::shared_ptr<Entry> e_;
};

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::open_or_create(const std::string& name) {
  auto entry = registry().get(name);
  if (!entry) return nullptr;
  return std::make_unique<PosixNamedMutex>(std::move(entry));
}

}  // namespace port
