#include "shiftwell/run/run_log.h"
#include "shiftwell/transfer/transfer_workers.h"

namespace shiftwell {

bool read_list_page(ProgramState& state, const ListEndpoint& endpoint, int page, JsonDocument& doc) {
  const std::string name = endpoint.name;
  state.report.list_claimed(name);
  const FetchResult r = fetch_list_page(state, endpoint, page, 100, doc);
  if (r.outcome == FetchOutcome::stopped) return false;
  const std::string where = name + " 第" + std::to_string(page) + "页";
  if (r.outcome == FetchOutcome::failed) {
    append_log(state, where + "无法获取：" + r.reason);
    state.report.missing_page(name, page);
    return false;
  }
  if (doc.read_count("/data/list") > 0) return true;
  if (is_error_answer(doc)) {
    // A refused token answers every page so: say it once per list.
    if (page == 1) {
      if (state.report.refused_list(name))
        append_log(state, "平台拒绝了" + name + "的请求：" + platform_message(doc));
    } else if (!state.report.is_refused(name)) {
      append_log(state, where + "平台返回错误：" + platform_message(doc));
      state.report.missing_page(name, page);
    }
    return false;
  }
  state.report.list_end_reached(name);
  return false;
}

}  // namespace shiftwell
