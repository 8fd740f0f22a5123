#include "shiftwell/run/run_log.h"
#include "shiftwell/transfer/sql_text.h"
#include "shiftwell/transfer/transfer_workers.h"

namespace shiftwell {

void find_member_by_record(ProgramState& state, const std::string& user_id, std::string& wxid,
                           std::string& name) {
  wxid.clear();
  name.clear();
  state.target_db.connect();
  state.target_db.query_fields(
      "SELECT wxid,wx_name FROM member WHERE record = '" + sql_quote(user_id) + "' LIMIT 1", wxid, {&name});
  state.target_db.disconnect();
}

namespace {

void transfer_withdrawal(ProgramState& state, JsonDocument& doc, int i) {
  const std::string item = "/data/list/" + std::to_string(i);
  const std::string key = doc.read_string(item + "/packet_hash");
  const std::string created = doc.read_string(item + "/createdt");
  const std::string changed = doc.read_string(item + "/changedt");
  const std::string user_id = doc.read_text(item + "/userid");
  std::string wxid, name;
  find_member_by_record(state, user_id, wxid, name);
  const std::string money = doc.read_string(item + "/money");

  const std::string k = sql_quote(key);
  state.target_db.connect();
  if (state.target_db.query_count("income", "order_main = '" + k + "' AND order_vice = '" + k + "'") == 0) {
    insert_row(
        state,
        "INSERT INTO income(order_main,order_vice,creation_time,settling_time,wxid,wx_name,t_money,t_type,"
        "t_source,t_mode,staff,config) VALUES('" +
            k + "','" + k + "','" + sql_quote(created) + "','" + sql_quote(changed) + "','" +
            sql_quote(wxid) + "','" + sql_quote(name) + "','" + sql_quote(money) +
            "','提现成功','Velora转移','Velora转移','Velora转移','{}')",
        CounterKind::withdrawal, "income", key);
  }
  state.target_db.disconnect();
}

}  // namespace

void withdrawal_worker(ProgramState& state) {
  JsonDocument doc;
  while (!state.stop_requested.load()) {
    const int page = claim_page(state.withdrawal_lock, state.withdrawal_page_counter);
    if (!read_list_page(state, kWithdrawalList, page, doc)) break;
    const int count = doc.read_count("/data/list");
    for (int i = 0; i < count && !state.stop_requested.load(); ++i) transfer_withdrawal(state, doc, i);
  }
}

}  // namespace shiftwell
