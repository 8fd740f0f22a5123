#include "gerenmokuai/huchisuo.h"

#include <random>

#include "port/clock.h"
#include "port/codepage.h"
#include "port/md5.h"

namespace GeRenMoKuai {

namespace {

constexpr int kSpinCount = 4000;

inline void cpu_pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

std::string random_letters(int count) {
  std::random_device seed;
  std::mt19937 generator(seed());
  std::uniform_int_distribution<int> letter('a', 'z');
  std::string name;
  for (int i = 0; i < count; ++i) name.push_back(static_cast<char>(letter(generator)));
  return name;
}

}  // namespace

MoKuai_class_HuChiSuo_ChanJinCheng::MoKuai_class_HuChiSuo_ChanJinCheng(Configuration configuration)
    : configuration_(configuration) {}

MoKuai_class_HuChiSuo_ChanJinCheng::MoKuai_class_HuChiSuo_ChanJinCheng(
    const MoKuai_class_HuChiSuo_ChanJinCheng& other)
    : configuration_(other.configuration_) {}

int MoKuai_class_HuChiSuo_ChanJinCheng::backoff_ms(int failed_attempts) {
  return failed_attempts < 50 ? 30 : 100;
}

bool MoKuai_class_HuChiSuo_ChanJinCheng::attempt_with_spin() {
  for (int i = 0; i < kSpinCount; ++i) {
    if (mutex_.try_lock()) return true;
    cpu_pause();
  }
  return false;
}

void MoKuai_class_HuChiSuo_ChanJinCheng::enter() {
  if (configuration_ == Configuration::dbwarden) {
    mutex_.lock();
    return;
  }
  int failed = 0;
  while (!attempt_with_spin()) {
    ++failed;
    port::sleep_ms(backoff_ms(failed));
  }
}

void MoKuai_class_HuChiSuo_ChanJinCheng::leave() { mutex_.unlock(); }

bool MoKuai_class_HuChiSuo_ChanJinCheng::try_enter() {
  if (configuration_ == Configuration::dbwarden) return false;
  return mutex_.try_lock();
}

MoKuai_class_HuChiSuo_KuaJinCheng::MoKuai_class_HuChiSuo_KuaJinCheng(Configuration configuration)
    : configuration_(configuration) {}

MoKuai_class_HuChiSuo_KuaJinCheng::MoKuai_class_HuChiSuo_KuaJinCheng(
    const MoKuai_class_HuChiSuo_KuaJinCheng& other)
    : configuration_(other.configuration_), lock_name_(other.lock_name_) {}

bool MoKuai_class_HuChiSuo_KuaJinCheng::create(const std::string& name) {
  if (configuration_ == Configuration::shiftwell) {
    mutex_handle_ = port::NamedMutex::open_or_create(name);
    return has_handle();
  }
  close_handle();
  lock_name_ = name.empty() ? random_letters(32) : name;
  mutex_handle_ = port::NamedMutex::open_or_create(lock_name_);
  return has_handle();
}

port::WaitResult MoKuai_class_HuChiSuo_KuaJinCheng::wait(int timeout_ms) {
  if (!mutex_handle_) return port::WaitResult::failed;
  return mutex_handle_->wait(timeout_ms);
}

void MoKuai_class_HuChiSuo_KuaJinCheng::release() {
  if (mutex_handle_) mutex_handle_->release();
}

void MoKuai_class_HuChiSuo_KuaJinCheng::close_handle() { mutex_handle_.reset(); }

std::string MoKuai_class_HuChiSuo_KuaJinCheng::handle_name() const {
  return mutex_handle_ ? mutex_handle_->name() : std::string();
}

std::string derive_mutex_name(Configuration configuration, const std::string& lock_name,
                              const std::string& path_utf8) {
  if (!lock_name.empty()) return lock_name + "qmtx";
  const std::string bytes =
      configuration == Configuration::shiftwell ? port::utf8_to_cp936(path_utf8) : path_utf8;
  return port::md5_hex(bytes) + "qmtx";
}

}  // namespace GeRenMoKuai
