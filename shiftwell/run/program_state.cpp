#include "shiftwell/run/program_state.h"

#include <algorithm>
#include <cstdlib>

#include "port/clock.h"

namespace shiftwell {

ProgramState::ProgramState() {
  log_lock.init();
  member_lock.init();
  order_lock.init();
  withdrawal_lock.init();
  install_process_supervision(&supervision);
  platform.api_base = api_base_from_environment();
}

std::string api_base_from_environment() {
  const char* env = std::getenv("SHIFTWELL_API_BASE");
  return env && *env ? std::string(env) : std::string(kDefaultApiBase);
}

bool pause_unless_stopped(const ProgramState& state, int ms) {
  const std::uint64_t end = port::tick_count_ms() + static_cast<std::uint64_t>(std::max(ms, 0));
  while (!state.stop_requested.load()) {
    const std::uint64_t now = port::tick_count_ms();
    if (now >= end) return true;
    port::sleep_ms(static_cast<int>(std::min<std::uint64_t>(50, end - now)));
  }
  return false;
}

void RunReport::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  lists_.clear();
  missing_items_.clear();
  failed_inserts_.fill(0);
}

RunReport::ListState& RunReport::list(const std::string& name) {
  for (auto& l : lists_)
    if (l.name == name) return l;
  lists_.push_back({name, {}, false, false});
  return lists_.back();
}

void RunReport::list_claimed(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  list(name);
}

void RunReport::missing_page(const std::string& name, int page) {
  std::lock_guard<std::mutex> lock(mutex_);
  list(name).missing_pages.push_back(page);
}

void RunReport::list_end_reached(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  list(name).end_reached = true;
}

bool RunReport::refused_list(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  ListState& l = list(name);
  const bool first = !l.refused;
  l.refused = true;
  return first;
}

bool RunReport::is_refused(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& l : lists_)
    if (l.name == name) return l.refused;
  return false;
}

void RunReport::missing_item(const std::string& what) {
  std::lock_guard<std::mutex> lock(mutex_);
  missing_items_.push_back(what);
}

void RunReport::failed_insert(CounterKind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++failed_inserts_[static_cast<int>(kind)];
}

bool RunReport::complete() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!missing_items_.empty()) return false;
  for (int n : failed_inserts_)
    if (n) return false;
  for (const auto& l : lists_)
    if (l.refused || !l.missing_pages.empty() || !l.end_reached) return false;
  return true;
}

std::vector<std::string> RunReport::summary() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> lines;
  for (const auto& l : lists_) {
    if (l.refused) {
      lines.push_back("未能读取" + l.name + "：平台没有返回列表");
      continue;
    }
    if (l.missing_pages.empty() && l.end_reached) continue;
    std::vector<int> pages = l.missing_pages;
    std::sort(pages.begin(), pages.end());
    std::string text = l.name;
    if (!pages.empty()) {
      text += " 缺少第";
      for (std::size_t i = 0; i < pages.size(); ++i) text += (i ? "," : "") + std::to_string(pages[i]);
      text += "页";
    }
    if (!l.end_reached) text += pages.empty() ? " 没有读到列表末尾" : "，且没有读到列表末尾";
    lines.push_back("未完整转移：" + text);
  }
  for (const auto& item : missing_items_) lines.push_back("未完整转移：" + item);
  if (failed_inserts_ != std::array<int, 4>{}) {
    lines.push_back("未能写入：会员" + std::to_string(failed_inserts_[0]) + "条，上下级" +
                    std::to_string(failed_inserts_[1]) + "条，订单" + std::to_string(failed_inserts_[2]) +
                    "条，提现" + std::to_string(failed_inserts_[3]) + "条");
  }
  return lines;
}

}  // namespace shiftwell
