#include "shiftwell/platform/velora_api.h"
#include "shiftwell/run/run_log.h"
#include "shiftwell/transfer/sql_text.h"
#include "shiftwell/transfer/transfer_workers.h"

namespace shiftwell {

namespace {

// A detail answer, or nothing when it could not be had; logs why.
bool fetch_details(ProgramState& state, const std::string& member_id, JsonDocument& doc, const char* role) {
  const FetchResult r = fetch_member_detail(state, member_id, doc);
  if (r.outcome == FetchOutcome::stopped) return false;
  std::string why = r.reason;
  if (r.outcome == FetchOutcome::answered) {
    if (!is_error_answer(doc)) return true;
    why = platform_message(doc);
  }
  const std::string what = std::string(role) + "详情 member_id=" + member_id;
  append_log(state, "无法获取" + what + "：" + why);
  state.report.missing_item(what);
  return false;
}

void transfer_member(ProgramState& state, JsonDocument& list, JsonDocument& detail, int i) {
  const std::string item = "/data/list/" + std::to_string(i);
  const std::string member_id = list.read_text(item + "/uid");
  const int finished_orders = list.read_int(item + "/finished_orders_number");

  if (!fetch_details(state, member_id, detail, "会员")) return;
  const std::string wxid = detail.read_string("/data/wxid");
  const std::string nickname = detail.read_string("/data/nickname");
  const std::string balance = detail.read_string("/data/balance");
  const std::string withdrawn = detail.read_string("/data/withdraw_amount");

  std::string upline_wxid;
  const std::string upline_id = detail.read_text("/data/superiors_info/uid");
  if (!upline_id.empty() && fetch_details(state, upline_id, detail, "上级")) {
    upline_wxid = detail.read_string("/data/wxid");
  }

  if (!upline_wxid.empty()) {
    state.target_db.connect();
    if (state.target_db.query_count("fission", "sj_wxid = '" + sql_quote(upline_wxid) + "' AND xj_wxid = '" +
                                                   sql_quote(wxid) + "'") == 0) {
      insert_row(state,
                 "INSERT INTO fission(creation_time,sj_wxid,xj_wxid,channel,config) "
                 "VALUES(DATETIME('NOW','LOCALTIME'),'" +
                     sql_quote(upline_wxid) + "','" + sql_quote(wxid) + "','Velora转移','{}')",
                 CounterKind::relation, "fission", upline_wxid + " -> " + wxid);
    }
    state.target_db.disconnect();
  }

  state.target_db.connect();
  if (state.target_db.query_count("member", "wxid = '" + sql_quote(wxid) + "'") == 0) {
    insert_row(state,
               "INSERT INTO member(wxid,wx_name,ktx_money,ztx_money,adding_time,record,zcg_number) VALUES('" +
                   sql_quote(wxid) + "','" + sql_quote(nickname) + "','" + sql_quote(balance) + "','" +
                   sql_quote(withdrawn) + "',DATETIME('NOW','LOCALTIME'),'" + sql_quote(member_id) + "','" +
                   std::to_string(finished_orders) + "')",
               CounterKind::member, "member", wxid);
  }
  state.target_db.disconnect();
}

}  // namespace

void member_worker(ProgramState& state) {
  JsonDocument list, detail;
  while (!state.stop_requested.load()) {
    const int page = claim_page(state.member_lock, state.member_page_counter);
    if (!read_list_page(state, kMemberList, page, list)) break;
    const int count = list.read_count("/data/list");
    for (int i = 0; i < count && !state.stop_requested.load(); ++i) transfer_member(state, list, detail, i);
  }
}

}  // namespace shiftwell
