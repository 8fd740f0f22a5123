#include "shiftwell/platform/velora_api.h"

#include <algorithm>

#include "port/clock.h"
#include "shiftwell/platform/http_request.h"

namespace shiftwell {

const ListEndpoint kMemberList{"会员列表", "/api/5cb07ea5d4413?&sub_id=", ""};
const ListEndpoint kWithdrawalList{
    "提现列表", "/api/5cb1cca8f1235?redpacket_state=1&search_condition=1&sub_id=", "&type=1"};
const ListEndpoint kOrderLists[5] = {
    {"淘宝订单", "/api/5ff7b79eb13e7?order_condition=3&rebate_condition=1&sub_id=", ""},
    {"京东订单", "/api/5ff7bc80027d5?order_condition=17&rebate_condition=1&sub_id=", ""},
    {"拼多多订单", "/api/5ff7b9902fe94?order_condition=5&rebate_condition=1&sub_id=", ""},
    {"抖音订单", "/api/61ce585b77e1b?order_condition=SETTLE&rebate_condition=1&sub_id=", ""},
    {"唯品会订单", "/api/6066b9ce306d0?order_condition=5&rebate_condition=1&sub_id=", ""},
};

std::string list_page_url(const std::string& api_base, const ListEndpoint& endpoint,
                          const std::string& sub_id, int page, int size) {
  return api_base + endpoint.path_query + sub_id + "&page=" + std::to_string(page) +
         "&size=" + std::to_string(size) + endpoint.suffix;
}

std::string member_detail_url(const std::string& api_base, const std::string& sub_id,
                              const std::string& member_id) {
  return api_base + "/api/5cb96c85a2f29?sub_id=" + sub_id + "&member_id=" + member_id;
}

int claim_page(ReadWriteLock& lock, int& counter) {
  lock.lock_write();
  const int page = ++counter;
  lock.unlock_write();
  return page;
}

namespace {

bool transient_status(int status) { return status == 429 || status >= 500; }

}  // namespace

FetchResult fetch_json(ProgramState& state, const std::string& url, JsonDocument& doc) {
  const RetryPolicy& retry = state.platform.retry;
  const std::uint64_t deadline =
      port::tick_count_ms() + static_cast<std::uint64_t>(std::max(retry.bound_ms, 0));
  int pause = retry.initial_pause_ms;
  FetchResult result;
  for (;;) {
    if (state.stop_requested.load()) return {FetchOutcome::stopped, "已停止"};
    int status = 0;
    std::string error;
    HttpRequestOptions options;
    options.extra_headers = "user-token:" + state.user_token;
    options.status = &status;
    options.error = &error;
    options.ignore_certificate_errors = state.platform.ignore_certificate_errors;
    if (!state.platform.ca_file.empty()) options.ca_file = state.platform.ca_file;
    options.cancel = &state.stop_requested;
    const std::string body = http_request(url, options);
    if (state.stop_requested.load()) return {FetchOutcome::stopped, "已停止"};
    if (body.empty()) {
      result.reason = error.empty() ? "空的应答 (HTTP " + std::to_string(status) + ")" : error;
    } else if (transient_status(status)) {
      result.reason = "HTTP " + std::to_string(status);
    } else if (!doc.parse_text(body, 1)) {
      result.reason = "应答不是有效的 JSON (" + std::to_string(body.size()) + " 字节)";
    } else {
      return {FetchOutcome::answered, {}};
    }
    const std::uint64_t now = port::tick_count_ms();
    if (now + static_cast<std::uint64_t>(pause) > deadline) {
      result.outcome = FetchOutcome::failed;
      doc.release();
      return result;
    }
    if (!pause_unless_stopped(state, pause)) return {FetchOutcome::stopped, "已停止"};
    pause = std::min(pause * 2, retry.max_pause_ms);
  }
}

FetchResult fetch_list_page(ProgramState& state, const ListEndpoint& endpoint, int page, int size,
                            JsonDocument& doc) {
  return fetch_json(state, list_page_url(state.platform.api_base, endpoint, state.sub_id, page, size), doc);
}

FetchResult fetch_member_detail(ProgramState& state, const std::string& member_id, JsonDocument& doc) {
  return fetch_json(state, member_detail_url(state.platform.api_base, state.sub_id, member_id), doc);
}

bool is_error_answer(JsonDocument& doc) { return doc.read_count("/data") == 0; }

std::string platform_message(JsonDocument& doc) {
  for (const char* pointer : {"/msg", "/message", "/error"}) {
    std::string text = doc.read_string(pointer);
    if (!text.empty()) return text;
  }
  std::string text = doc.to_json_text();
  if (text.size() > 200) text = text.substr(0, 200) + "…";
  return text;
}

}  // namespace shiftwell
