// The eight endpoints of the Velora API as the simulated platform checks
// them: path, the fixed query parameters each requires, and whether it pages.
// A constant table; any thread.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "tools/velora-sim/dataset.h"

namespace velora_sim {

enum class Endpoint {
  member_list,
  member_detail,
  orders_taobao,
  orders_jd,
  orders_pinduoduo,
  orders_douyin,
  orders_vipshop,
  withdrawal_list,
  unknown,  // any other path
};
inline constexpr std::size_t kEndpointCount = 9;

using FixedParam = std::pair<std::string_view, std::string_view>;

struct EndpointInfo {
  Endpoint endpoint;
  std::string_view name;  // for counters and logs: "member_list", "orders_taobao", ...
  std::string_view path;
  std::span<const FixedParam> fixed;  // name and the only value the platform accepts
  bool paged;                         // takes page and size, answers a list
  std::optional<Platform> platform;   // order lists only
};

// The eight known endpoints in the order the client reads them.
std::span<const EndpointInfo> endpoint_table();
// Null for an unknown path.
const EndpointInfo* find_endpoint(std::string_view path);
const EndpointInfo& endpoint_info(Endpoint endpoint);  // endpoint must not be unknown
std::string_view endpoint_name(Endpoint endpoint);     // "unknown" for unknown
const EndpointInfo& order_endpoint(Platform platform);

}  // namespace velora_sim
