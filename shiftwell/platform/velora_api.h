// The Velora platform's list and detail endpoints, the page claim that the
// ten workers of one kind share, and the fetchers that repeat a request
// until it brings a usable answer. Fetchers run on the worker threads; each
// worker passes its own JsonDocument.
#pragma once

#include <string>

#include "shiftwell/json/json_document.h"
#include "shiftwell/run/program_state.h"

namespace shiftwell {

struct ListEndpoint {
  const char* name;        // for log lines, e.g. "会员列表"
  const char* path_query;  // path and query up to "sub_id="
  const char* suffix;      // after the size, e.g. "&type=1"
};

extern const ListEndpoint kMemberList;
extern const ListEndpoint kWithdrawalList;
// In the order of order_page_counters: 淘宝, 京东, 拼多多, 抖音, 唯品会.
extern const ListEndpoint kOrderLists[5];

std::string list_page_url(const std::string& api_base, const ListEndpoint& endpoint,
                          const std::string& sub_id, int page, int size);
std::string member_detail_url(const std::string& api_base, const std::string& sub_id,
                              const std::string& member_id);

// Adds one to the counter under its kind's lock and returns the new value.
int claim_page(ReadWriteLock& lock, int& counter);

enum class FetchOutcome { answered, failed, stopped };

struct FetchResult {
  FetchOutcome outcome = FetchOutcome::failed;
  std::string reason;  // why the last try brought nothing usable
};

// Fetches url until an answer parses as JSON into doc: an empty body, a
// transport error, HTTP 429 or 5xx, or text that is not JSON is repeated
// after a growing pause, within the run's retry bound; a stop request ends
// the waiting and aborts a request in flight. Any other answer (an error
// object included) counts as answered; the caller reads it.
FetchResult fetch_json(ProgramState& state, const std::string& url, JsonDocument& doc);

FetchResult fetch_list_page(ProgramState& state, const ListEndpoint& endpoint, int page, int size,
                            JsonDocument& doc);
FetchResult fetch_member_detail(ProgramState& state, const std::string& member_id, JsonDocument& doc);

// An answer whose "/data" holds nothing (missing, null or empty): the
// platform's error object, not a page of a list.
bool is_error_answer(JsonDocument& doc);
// The platform's message in an error object ("msg" or "message"), or a
// short head of the answer.
std::string platform_message(JsonDocument& doc);

}  // namespace shiftwell
