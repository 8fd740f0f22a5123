// The two locks of a database object. MoKuai_class_HuChiSuo_ChanJinCheng
// serialises the threads of one process around the pool of idle connections;
// MoKuai_class_HuChiSuo_KuaJinCheng holds the handle of the named mutex that
// every process opening the same database file shares. Both are used by the
// database object from any of its callers' threads; create and close_handle
// run only while no other thread uses the lock (in open, close and the
// destructor).
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "gerenmokuai/configuration.h"
#include "port/named_mutex.h"

namespace GeRenMoKuai {

class MoKuai_class_HuChiSuo_ChanJinCheng {
 public:
  explicit MoKuai_class_HuChiSuo_ChanJinCheng(Configuration configuration);
  // A copy is a new, independent lock of the same configuration.
  MoKuai_class_HuChiSuo_ChanJinCheng(const MoKuai_class_HuChiSuo_ChanJinCheng& other);
  MoKuai_class_HuChiSuo_ChanJinCheng& operator=(const MoKuai_class_HuChiSuo_ChanJinCheng&) = delete;

  // Shiftwell: polls with plain sleeps (see backoff_ms) until it enters.
  // Dbwarden: blocks.
  void enter();
  void leave();
  // Shiftwell only: one non-blocking attempt. Dbwarden's lock has none and
  // answers false.
  bool try_enter();

  // The sleep after the given number of failed attempts of Shiftwell's enter:
  // 30 ms while fewer than 50 have failed, 100 ms from the 50th on.
  static int backoff_ms(int failed_attempts);

 private:
  // One attempt that spins briefly before it gives up, as a critical section
  // with a spin count does, so short contention costs no sleep.
  bool attempt_with_spin();

  Configuration configuration_;
  std::mutex mutex_;
};

class MoKuai_class_HuChiSuo_KuaJinCheng {
 public:
  explicit MoKuai_class_HuChiSuo_KuaJinCheng(Configuration configuration);
  // A copy keeps the name but has no handle.
  MoKuai_class_HuChiSuo_KuaJinCheng(const MoKuai_class_HuChiSuo_KuaJinCheng& other);
  MoKuai_class_HuChiSuo_KuaJinCheng& operator=(const MoKuai_class_HuChiSuo_KuaJinCheng&) = delete;

  // Obtains a handle to the named mutex; true when one was obtained.
  // Shiftwell: opens the existing mutex, else creates it. Dbwarden: first
  // closes the handle it holds; an empty name is replaced by 32 random
  // lowercase letters; the name is kept.
  bool create(const std::string& name);
  bool has_handle() const { return mutex_handle_ != nullptr; }
  // Waits on the handle; failed without one. abandoned counts as acquired.
  port::WaitResult wait(int timeout_ms);
  // One release; nothing without a handle.
  void release();
  void close_handle();

  // The name kept by Dbwarden's configuration ("" in Shiftwell's).
  const std::string& lock_name() const { return lock_name_; }
  // The name of the mutex the handle refers to, "" without a handle.
  std::string handle_name() const;

 private:
  Configuration configuration_;
  std::unique_ptr<port::NamedMutex> mutex_handle_;
  std::string lock_name_;
};

// The name of a database file's mutex: lock_name when it is not empty, else
// the MD5 of the path as 32 lowercase hexadecimal digits (over the code page
// 936 bytes in Shiftwell's configuration, the UTF-8 bytes in Dbwarden's),
// followed by "qmtx".
std::string derive_mutex_name(Configuration configuration, const std::string& lock_name,
                              const std::string& path_utf8);

}  // namespace GeRenMoKuai
