#include "shiftwell/run/run_log.h"

#include <cstdio>

namespace shiftwell {

std::string log_date_time_text(const port::LocalDateTime& t) {
  char buf[96];
  int n = std::snprintf(buf, sizeof buf, "%d年%d月%d日", t.year, t.month, t.day);
  if (t.second != 0) {
    std::snprintf(buf + n, sizeof buf - n, "%d时%d分%d秒", t.hour, t.minute, t.second);
  } else if (t.minute != 0) {
    std::snprintf(buf + n, sizeof buf - n, "%d时%d分", t.hour, t.minute);
  } else if (t.hour != 0) {
    std::snprintf(buf + n, sizeof buf - n, "%d时", t.hour);
  }
  return buf;
}

std::string log_line(const port::LocalDateTime& t, const std::string& message) {
  return log_date_time_text(t) + "--->>>>>" + message + "\r\n";
}

void append_log(ProgramState& state, const std::string& message) {
  state.log_lock.lock_write();
  const std::string line = log_line(port::local_now(), message);
  if (state.view) state.view->append_log_text(line);
  state.log_lock.unlock_write();
}

const char* counter_caption(CounterKind kind) {
  switch (kind) {
    case CounterKind::member:
      return "会员数量：";
    case CounterKind::relation:
      return "上下级数量：";
    case CounterKind::order:
      return "订单数量：";
    case CounterKind::withdrawal:
      return "提现数量：";
  }
  return "";
}

void add_to_counter(ProgramState& state, CounterKind kind) {
  ReadWriteLock* lock = &state.member_lock;
  int* counter = &state.member_count;
  switch (kind) {
    case CounterKind::member:
      break;
    case CounterKind::relation:
      counter = &state.relation_count;
      break;
    case CounterKind::order:
      lock = &state.order_lock;
      counter = &state.order_count;
      break;
    case CounterKind::withdrawal:
      lock = &state.withdrawal_lock;
      counter = &state.withdrawal_count;
      break;
  }
  lock->lock_write();
  ++*counter;
  if (state.view) state.view->set_counter_caption(kind, counter_caption(kind) + std::to_string(*counter));
  lock->unlock_write();
}

}  // namespace shiftwell
