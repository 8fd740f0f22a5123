#include "shiftwell/supervision/read_write_lock.h"

namespace shiftwell {

void ReadWriteLock::init() {
  std::lock_guard<std::mutex> hold(state_);
  owner_ = {};
  depth_ = 0;
  readers_ = 0;
}

void ReadWriteLock::destroy() { init(); }

void ReadWriteLock::wait_for_ownership(std::unique_lock<std::mutex>& hold) {
  const std::thread::id self = std::this_thread::get_id();
  changed_.wait(hold, [&] { return depth_ == 0 || owner_ == self; });
}

void ReadWriteLock::lock_read() {
  std::unique_lock<std::mutex> hold(state_);
  wait_for_ownership(hold);
  ++readers_;
}

void ReadWriteLock::lock_write() {
  std::unique_lock<std::mutex> hold(state_);
  wait_for_ownership(hold);
  owner_ = std::this_thread::get_id();
  ++depth_;
  changed_.wait(hold, [&] { return readers_ == 0; });
}

bool ReadWriteLock::unlock() {
  std::lock_guard<std::mutex> hold(state_);
  if (depth_ > 0 && owner_ == std::this_thread::get_id()) {
    if (--depth_ == 0) {
      owner_ = {};
      changed_.notify_all();
    }
    return true;
  }
  // A stray unlock must not drive the count below zero: a later reader would
  // then go uncounted and a writer could enter beside it.
  if (readers_ == 0) return false;
  if (--readers_ == 0) changed_.notify_all();
  return true;
}

bool ReadWriteLock::unlock_read() { return unlock(); }

bool ReadWriteLock::unlock_write() { return unlock(); }

std::int32_t ReadWriteLock::readers() const {
  std::lock_guard<std::mutex> hold(state_);
  return readers_;
}

bool ReadWriteLock::writer_owned() const {
  std::lock_guard<std::mutex> hold(state_);
  return depth_ > 0;
}

}  // namespace shiftwell
