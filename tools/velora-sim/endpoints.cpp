#include "tools/velora-sim/endpoints.h"

#include <array>

namespace velora_sim {

namespace {

constexpr FixedParam kTaobao[] = {{"order_condition", "3"}, {"rebate_condition", "1"}};
constexpr FixedParam kJd[] = {{"order_condition", "17"}, {"rebate_condition", "1"}};
constexpr FixedParam kPinduoduo[] = {{"order_condition", "5"}, {"rebate_condition", "1"}};
constexpr FixedParam kDouyin[] = {{"order_condition", "SETTLE"}, {"rebate_condition", "1"}};
constexpr FixedParam kVipshop[] = {{"order_condition", "5"}, {"rebate_condition", "1"}};
constexpr FixedParam kWithdrawals[] = {{"redpacket_state", "1"}, {"search_condition", "1"}, {"type", "1"}};

const std::array<EndpointInfo, 8> kTable = {{
    {Endpoint::member_list, "member_list", "/api/5cb07ea5d4413", {}, true, std::nullopt},
    {Endpoint::member_detail, "member_detail", "/api/5cb96c85a2f29", {}, false, std::nullopt},
    {Endpoint::orders_taobao, "orders_taobao", "/api/5ff7b79eb13e7", kTaobao, true, Platform::taobao},
    {Endpoint::orders_jd, "orders_jd", "/api/5ff7bc80027d5", kJd, true, Platform::jd},
    {Endpoint::orders_pinduoduo, "orders_pinduoduo", "/api/5ff7b9902fe94", kPinduoduo, true,
     Platform::pinduoduo},
    {Endpoint::orders_douyin, "orders_douyin", "/api/61ce585b77e1b", kDouyin, true, Platform::douyin},
    {Endpoint::orders_vipshop, "orders_vipshop", "/api/6066b9ce306d0", kVipshop, true, Platform::vipshop},
    {Endpoint::withdrawal_list, "withdrawal_list", "/api/5cb1cca8f1235", kWithdrawals, true, std::nullopt},
}};

}  // namespace

std::span<const EndpointInfo> endpoint_table() { return kTable; }

const EndpointInfo* find_endpoint(std::string_view path) {
  for (const auto& info : kTable) {
    if (info.path == path) return &info;
  }
  return nullptr;
}

const EndpointInfo& endpoint_info(Endpoint endpoint) { return kTable.at(static_cast<std::size_t>(endpoint)); }

std::string_view endpoint_name(Endpoint endpoint) {
  return endpoint == Endpoint::unknown ? std::string_view("unknown") : endpoint_info(endpoint).name;
}

const EndpointInfo& order_endpoint(Platform platform) {
  return kTable[static_cast<std::size_t>(Endpoint::orders_taobao) + static_cast<std::size_t>(platform)];
}

}  // namespace velora_sim
