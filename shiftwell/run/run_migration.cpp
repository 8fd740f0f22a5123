#include "shiftwell/run/run_migration.h"

#include <cctype>

#include "port/clock.h"
#include "shiftwell/run/run_log.h"
#include "shiftwell/template/template_image.h"
#include "shiftwell/transfer/transfer_workers.h"

namespace shiftwell {

namespace {

std::string trim(const std::string& s) {
  const char* blanks = " \t\r\n\v\f";
  const auto b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

void refuse(ProgramState& state, const std::string& why, const std::string& path) {
  append_log(state, why);
  state.running = false;
  RunOutcome outcome;
  outcome.database_path = path;
  if (state.view) state.view->run_finished(outcome);
}

template <std::size_t N>
void start_group(ProgramState& state, std::array<std::unique_ptr<port::Thread>, N>& slots,
                 void (*worker)(ProgramState&)) {
  for (auto& slot : slots) {
    slot.reset();
    // A thread that cannot start now is tried again shortly: the run needs all ten.
    while (!(slot = port::Thread::start([&state, worker] { worker(state); }))) port::sleep_ms(100);
  }
}

template <std::size_t N>
void await_group(std::array<std::unique_ptr<port::Thread>, N>& slots) {
  for (auto& slot : slots)
    if (slot) slot->wait(-1);
}

}  // namespace

bool clean_sub_id(const std::string& typed, std::string& sub_id, std::string* why) {
  sub_id = trim(typed);
  if (sub_id.empty()) {
    if (why) *why = "请输入网页sub_id（机器人编号）";
    return false;
  }
  for (unsigned char c : sub_id) {
    if (!std::isalnum(c) && c != '-' && c != '_') {
      if (why) *why = "网页sub_id只能由字母、数字、\"-\"和\"_\"组成";
      return false;
    }
  }
  return true;
}

bool clean_token(const std::string& typed, std::string& token, std::string* why) {
  token = trim(typed);
  if (token.empty()) {
    if (why) *why = "请输入网页token";
    return false;
  }
  for (unsigned char c : token) {
    if (c < 0x20 || c == 0x7F) {
      if (why) *why = "网页token含有控制字符，请重新粘贴";
      return false;
    }
  }
  return true;
}

std::string target_path(const std::string& folder, const std::string& sub_id) {
  return folder + "/数据库_" + sub_id + ".db";
}

std::unique_ptr<port::Thread> start_run(ProgramState& state, const std::string& typed_sub_id,
                                        const std::string& typed_token, const std::string& folder) {
  if (state.running.exchange(true)) return nullptr;  // a run is under way
  state.stop_requested = false;
  std::string sub_id, token, why;
  if (!clean_sub_id(typed_sub_id, sub_id, &why) || !clean_token(typed_token, token, &why)) {
    refuse(state, "未开始转移：" + why, "");
    return nullptr;
  }
  state.sub_id = sub_id;
  state.user_token = token;
  state.database_path = target_path(folder, sub_id);

  if (!write_template(state.database_path, &why)) {
    refuse(state, "未开始转移：无法写入数据库文件 " + state.database_path + "：" + why, state.database_path);
    return nullptr;
  }
  state.target_db.open(state.database_path, GeRenMoKuai::ShiftwellLogRoutine{}, 2, "", 0, 0);
  std::string mode;
  state.target_db.query_fields("PRAGMA journal_mode", mode);
  if (mode != "wal") {
    state.target_db.close();
    refuse(state, "未开始转移：无法打开数据库文件 " + state.database_path, state.database_path);
    return nullptr;
  }

  state.member_page_counter = 0;
  state.withdrawal_page_counter = 0;
  state.order_page_counters.fill(0);
  state.report.reset();

  std::unique_ptr<port::Thread> thread;
  while (!(thread = port::Thread::start([&state] { run_migration(state); }))) port::sleep_ms(100);
  return thread;
}

void run_migration(ProgramState& state) {
  append_log(state, "会员信息开始转移");
  start_group(state, state.member_threads, member_worker);
  append_log(state, "订单信息开始转移");
  start_group(state, state.order_threads, order_worker);
  await_group(state.member_threads);
  append_log(state, "会员信息全部完成");
  append_log(state, "提现信息开始转移");
  if (!state.stop_requested.load()) start_group(state, state.withdrawal_threads, withdrawal_worker);
  await_group(state.withdrawal_threads);
  append_log(state, "提现记录全部完成");
  await_group(state.order_threads);
  append_log(state, "订单信息全部完成");

  auto& db = state.target_db;
  db.connect();
  const bool cleared = db.exec("UPDATE member SET record = '' WHERE 1");
  db.disconnect();
  // The bracket gives the final steps a connection, also after the
  // disconnect above recycled the main one.
  db.connect();
  db.checkpoint(0);
  db.vacuum();
  db.disconnect();
  db.close();

  const bool stopped = state.stop_requested.load();
  if (!cleared) append_log(state, "无法清除会员的临时编号(record)：" + db.last_error_message());
  if (stopped) append_log(state, "转移已停止：数据库中只有停止前已获取的数据");
  for (const auto& line : state.report.summary()) append_log(state, line);
  append_log(state, "数据获取完毕");
  append_log(state, "数据库已保存：" + state.database_path);

  RunOutcome outcome;
  outcome.started = true;
  outcome.stopped = stopped;
  outcome.completed = !stopped && cleared && state.report.complete();
  outcome.database_path = state.database_path;
  state.running = false;
  if (state.view) state.view->run_finished(outcome);
}

void request_stop(ProgramState& state) { state.stop_requested.store(true); }

}  // namespace shiftwell
