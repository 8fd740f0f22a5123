#include "tools/velora-sim/platform_api.h"

#include <charconv>

#include "tools/velora-sim/answers.h"

namespace velora_sim {

namespace {

const std::string* param(const ApiRequest& request, std::string_view name) {
  const auto found = request.params.find(std::string(name));
  return found == request.params.end() ? nullptr : &found->second;
}

// A positive decimal number without sign, as the platform takes page numbers and ids.
std::optional<std::int64_t> positive_number(const std::string* text) {
  if (!text || text->empty()) return std::nullopt;
  std::int64_t value = 0;
  const char* end = text->data() + text->size();
  const auto [ptr, ec] = std::from_chars(text->data(), end, value);
  if (ec != std::errc() || ptr != end || value < 1 || (*text)[0] == '-' || (*text)[0] == '+')
    return std::nullopt;
  return value;
}

std::string bad_parameter(std::string_view name) {
  return error_answer(400, "参数错误: " + std::string(name));
}

ListKind list_kind(const EndpointInfo& info) {
  if (info.endpoint == Endpoint::member_list) return ListKind::members;
  if (info.endpoint == Endpoint::withdrawal_list) return ListKind::withdrawals;
  return ListKind::orders;
}

}  // namespace

ApiAnswer PlatformApi::answer(const ApiRequest& request) const {
  ApiAnswer out;
  const EndpointInfo* info = find_endpoint(request.path);
  if (!info) {
    out.http_status = 404;
    out.body = error_answer(404, "接口不存在");
    return out;
  }
  out.endpoint = info->endpoint;
  if (request.method != "GET") {
    out.http_status = 405;
    out.body = error_answer(405, "请求方式错误");
    return out;
  }
  const auto page = info->paged ? positive_number(param(request, "page")) : std::nullopt;
  out.page = page;

  if (!request.token || *request.token != token_) {
    out.body = error_answer(401, kTokenExpiredMsg);
    return out;
  }
  for (const auto& [name, value] : info->fixed) {
    const std::string* given = param(request, name);
    if (!given || *given != value) {
      out.body = bad_parameter(name);
      return out;
    }
  }
  const std::string* sub_id = param(request, "sub_id");
  if (!sub_id || sub_id->empty()) {
    out.body = bad_parameter("sub_id");
    return out;
  }
  const bool matches = *sub_id == dataset_.sub_id();

  if (info->paged) {
    const auto size = positive_number(param(request, "size"));
    if (!page) {
      out.body = bad_parameter("page");
    } else if (!size) {
      out.body = bad_parameter("size");
    } else {
      out.body = list_answer(dataset_, list_kind(*info), info->platform.value_or(Platform::taobao), matches,
                             *page, std::min(*size, kMaxPageSize));
    }
    return out;
  }

  const auto member_id = positive_number(param(request, "member_id"));
  if (!member_id) {
    out.body = bad_parameter("member_id");
    return out;
  }
  const auto member = matches ? dataset_.find_member(*member_id) : std::nullopt;
  out.body = member ? member_detail_answer(dataset_, *member) : error_answer(404, "会员不存在");
  return out;
}

}  // namespace velora_sim
