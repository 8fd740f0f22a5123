#include "tools/velora-sim/dataset.h"

#include <stdexcept>
#include <unordered_set>

namespace velora_sim {

namespace {

struct PlatformNames {
  Platform platform;
  std::string_view text;
  std::string_view key;
};

constexpr std::array<PlatformNames, kPlatformCount> kPlatformNames = {{
    {Platform::taobao, "淘宝", "taobao"},
    {Platform::jd, "京东", "jd"},
    {Platform::pinduoduo, "拼多多", "pinduoduo"},
    {Platform::douyin, "抖音", "douyin"},
    {Platform::vipshop, "唯品会", "vipshop"},
}};

bool is_digits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string check_order(Platform platform, const Order& order, std::size_t index) {
  const std::string where =
      std::string("orders.") + std::string(platform_key(platform)) + "[" + std::to_string(index) + "]";
  const std::pair<const char*, const std::string*> numbers[] = {{"pay_amount", &order.pay_amount},
                                                                {"commission", &order.commission},
                                                                {"fl_user", &order.fl_user},
                                                                {"fl_agent", &order.fl_agent}};
  for (const auto& [name, value] : numbers) {
    if (!is_json_number(*value)) return where + ": " + name + " \"" + *value + "\" is not a JSON number";
  }
  if (platform == Platform::pinduoduo) {
    if (order.order_vice != order.order_main)
      return where + ": order_vice must equal order_main (the platform has one order_sn)";
    if (!is_digits(order.create_time))
      return where + ": create_time must be Unix seconds in decimal digits (served as a JSON integer)";
  }
  if (platform == Platform::douyin && order.order_vice != order.item_id)
    return where + ": order_vice must equal item_id (the platform has one productId)";
  return {};
}

}  // namespace

std::string_view platform_text(Platform platform) {
  return kPlatformNames[static_cast<std::size_t>(platform)].text;
}

std::string_view platform_key(Platform platform) {
  return kPlatformNames[static_cast<std::size_t>(platform)].key;
}

std::optional<Platform> platform_from_key(std::string_view key) {
  for (const auto& names : kPlatformNames) {
    if (names.key == key) return names.platform;
  }
  return std::nullopt;
}

bool is_json_number(std::string_view text) {
  std::size_t i = 0;
  const auto digit = [&](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
  if (i < text.size() && text[i] == '-') ++i;
  if (!digit(i)) return false;
  if (text[i] == '0') {
    ++i;
  } else {
    while (digit(i)) ++i;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (!digit(i)) return false;
    while (digit(i)) ++i;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digit(i)) return false;
    while (digit(i)) ++i;
  }
  return i == text.size();
}

DatasetRows copy_rows(const Dataset& dataset) {
  DatasetRows rows;
  rows.sub_id = dataset.sub_id();
  rows.token = dataset.token();
  rows.members.reserve(dataset.member_count());
  for (std::size_t i = 0; i < dataset.member_count(); ++i) rows.members.push_back(dataset.member(i));
  for (std::size_t i = 0; i < dataset.outside_member_count(); ++i)
    rows.outside_members.push_back(dataset.outside_member(i));
  for (Platform p : kPlatforms) {
    auto& orders = rows.orders_of(p);
    orders.reserve(dataset.order_count(p));
    for (std::size_t i = 0; i < dataset.order_count(p); ++i) orders.push_back(dataset.order(p, i));
  }
  for (std::size_t i = 0; i < dataset.withdrawal_count(); ++i)
    rows.withdrawals.push_back(dataset.withdrawal(i));
  return rows;
}

std::string validate_rows(const DatasetRows& rows) {
  std::unordered_set<std::int64_t> uids;
  const auto check_members = [&](const std::vector<Member>& members, const char* list) -> std::string {
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (members[i].uid <= 0) return std::string(list) + "[" + std::to_string(i) + "]: uid must be positive";
      if (!uids.insert(members[i].uid).second)
        return std::string(list) + "[" + std::to_string(i) + "]: uid " + std::to_string(members[i].uid) +
               " appears twice";
    }
    return {};
  };
  if (auto fault = check_members(rows.members, "members"); !fault.empty()) return fault;
  if (auto fault = check_members(rows.outside_members, "outside_members"); !fault.empty()) return fault;
  for (Platform p : kPlatforms) {
    const auto& orders = rows.orders_of(p);
    for (std::size_t i = 0; i < orders.size(); ++i) {
      if (auto fault = check_order(p, orders[i], i); !fault.empty()) return fault;
    }
  }
  return {};
}

StoredDataset::StoredDataset(DatasetRows rows) : rows_(std::move(rows)) {
  if (auto fault = validate_rows(rows_); !fault.empty()) throw std::invalid_argument(fault);
  index_uids();
}

StoredDataset::StoredDataset(DatasetRows rows, Checked) : rows_(std::move(rows)) { index_uids(); }

void StoredDataset::index_uids() {
  by_uid_.reserve(rows_.members.size() + rows_.outside_members.size());
  for (std::size_t i = 0; i < rows_.members.size(); ++i) by_uid_.emplace(rows_.members[i].uid, i);
  for (std::size_t i = 0; i < rows_.outside_members.size(); ++i)
    by_uid_.emplace(rows_.outside_members[i].uid, rows_.members.size() + i);
}

std::unique_ptr<StoredDataset> StoredDataset::from_rows(DatasetRows rows, std::string* error) {
  if (auto fault = validate_rows(rows); !fault.empty()) {
    if (error) *error = fault;
    return nullptr;
  }
  return std::unique_ptr<StoredDataset>(new StoredDataset(std::move(rows), Checked{}));
}

std::optional<Member> StoredDataset::find_member(std::int64_t uid) const {
  const auto found = by_uid_.find(uid);
  if (found == by_uid_.end()) return std::nullopt;
  if (found->second < rows_.members.size()) return rows_.members[found->second];
  return rows_.outside_members[found->second - rows_.members.size()];
}

}  // namespace velora_sim
