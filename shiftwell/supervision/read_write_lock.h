// ReadWriteLock: Shiftwell's in-process reader/writer lock. Program-wide
// instances are set up with init before other threads start and torn down with
// destroy after they have ended; in between any thread may lock and unlock.
// Every lock is paired with one unlock on the same thread. The writer side is
// owner-recursive; a waiting writer keeps later readers out. A thread that
// holds the reader side must not call lock_write before its unlock_read (it
// would wait for itself).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace shiftwell {

class ReadWriteLock {
 public:
  ReadWriteLock() = default;
  ReadWriteLock(const ReadWriteLock&) = delete;
  ReadWriteLock& operator=(const ReadWriteLock&) = delete;

  // Both leave the lock free. Only while no thread holds or waits for it.
  void init();
  void destroy();

  // Enters as a reader once no writer owns the lock (its owner may also read).
  void lock_read();
  // Enters as the writer: first takes ownership, which keeps new readers out,
  // then waits until the readers inside have left. The owner may re-enter.
  void lock_write();

  // The two unlocks behave alike: the owning writer gives up one level of
  // ownership; any other caller counts one reader out. False when the caller
  // held nothing (no ownership and no reader inside); the lock is unchanged.
  bool unlock_read();
  bool unlock_write();

  // Snapshots for diagnostics and tests; stale as soon as they return.
  std::int32_t readers() const;
  bool writer_owned() const;

 private:
  bool unlock();
  // Waits until nobody else owns the writer side. Needs state_ held.
  void wait_for_ownership(std::unique_lock<std::mutex>& hold);

  mutable std::mutex state_;
  std::condition_variable changed_;
  // The writer's ownership, re-entrant: owner_ and depth_ (0 when free).
  std::thread::id owner_;
  int depth_ = 0;
  // Readers inside. Changed together with the ownership under state_, so a
  // leaving reader and an entering one can never leave a writer thinking that
  // nobody reads.
  std::int32_t readers_ = 0;
};

}  // namespace shiftwell
