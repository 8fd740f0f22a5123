// The data a simulated Velora robot serves: members (listed and outside
// uplines that only answer detail requests), settled orders of the five
// shopping platforms and withdrawals. Dataset is the read-only view the
// server renders from; StoredDataset keeps rows in memory (built in code or
// loaded from a dataset file), GeneratedDataset (generator.h) computes them.
// A Dataset is immutable after construction and may be read from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velora_sim {

inline constexpr std::string_view kDemoToken = "velora-demo-token-7f3a9c";
inline constexpr std::string_view kDemoSubId = "10086";

enum class Platform { taobao, jd, pinduoduo, douyin, vipshop };
inline constexpr std::array<Platform, 5> kPlatforms = {Platform::taobao, Platform::jd, Platform::pinduoduo,
                                                       Platform::douyin, Platform::vipshop};
inline constexpr std::size_t kPlatformCount = kPlatforms.size();

// "淘宝", "京东", "拼多多", "抖音", "唯品会".
std::string_view platform_text(Platform platform);
// The key of the platform in dataset files: "taobao", "jd", "pinduoduo", "douyin", "vipshop".
std::string_view platform_key(Platform platform);
std::optional<Platform> platform_from_key(std::string_view key);

struct Member {
  std::int64_t uid = 0;
  std::string wxid;
  std::string nickname;
  std::string balance = "0.00";          // served as a string, as the platform keeps money
  std::string withdraw_amount = "0.00";  // likewise
  std::int32_t finished_orders_number = 0;
  std::optional<std::int64_t> upline_uid;  // none: the member has no upline

  bool operator==(const Member&) const = default;
};

// One settled order line in platform-neutral terms; the answer renderer puts
// each value under the field name of its platform. Numeric values are JSON
// number literals in the platform's own notation: "拼多多" and "抖音" count
// pay_amount and commission in cents (integers), the others in yuan ("19.9").
struct Order {
  std::string order_main;  // order number
  std::string order_vice;  // sub-order number; "拼多多": equals order_main, "抖音": equals item_id
  std::string item_id;
  std::string title;
  std::string picture;      // not served for "京东"
  std::string category;     // served for "淘宝" only
  std::string create_time;  // "2024-05-01 10:00:00"; "拼多多": Unix seconds (served as a JSON integer)
  std::string settle_time;  // likewise; "拼多多": Unix seconds served as a JSON string
  std::int64_t quantity = 1;
  std::string pay_amount = "0";
  std::string commission = "0";
  std::string fl_user = "0";   // the member's rebate, yuan
  std::string fl_agent = "0";  // the agent's royalty, yuan
  std::string wxid;            // the buyer's chat id
  std::string nickname;        // the buyer's name

  bool operator==(const Order&) const = default;
};

struct Withdrawal {
  std::string packet_hash;
  std::string createdt;
  std::string changedt;
  std::string money;
  std::int64_t userid = 0;

  bool operator==(const Withdrawal&) const = default;
};

class Dataset {
 public:
  virtual ~Dataset() = default;

  virtual const std::string& sub_id() const = 0;
  virtual const std::string& token() const = 0;

  // Listed members in list order.
  virtual std::size_t member_count() const = 0;
  virtual Member member(std::size_t index) const = 0;
  // Uplines that are not in the list but whose details answer.
  virtual std::size_t outside_member_count() const = 0;
  virtual Member outside_member(std::size_t index) const = 0;
  // Listed or outside member by platform id.
  virtual std::optional<Member> find_member(std::int64_t uid) const = 0;

  virtual std::size_t order_count(Platform platform) const = 0;
  virtual Order order(Platform platform, std::size_t index) const = 0;

  virtual std::size_t withdrawal_count() const = 0;
  virtual Withdrawal withdrawal(std::size_t index) const = 0;
};

// Plain rows of a dataset, as a dataset file holds them.
struct DatasetRows {
  std::string sub_id{kDemoSubId};
  std::string token{kDemoToken};
  std::vector<Member> members;
  std::vector<Member> outside_members;
  std::array<std::vector<Order>, kPlatformCount> orders;  // indexed by Platform
  std::vector<Withdrawal> withdrawals;

  std::vector<Order>& orders_of(Platform p) { return orders[static_cast<std::size_t>(p)]; }
  const std::vector<Order>& orders_of(Platform p) const { return orders[static_cast<std::size_t>(p)]; }
  bool operator==(const DatasetRows&) const = default;
};

// Copies every row of a dataset; for comparisons and small datasets.
DatasetRows copy_rows(const Dataset& dataset);

// Empty when the rows can be served as they are, else the first fault found
// (duplicate uid, a number field that is not a JSON number literal, a
// "拼多多" sub-order number unlike its order number, ...).
std::string validate_rows(const DatasetRows& rows);

class StoredDataset : public Dataset {
 public:
  // Throws std::invalid_argument when the rows do not pass validate_rows.
  explicit StoredDataset(DatasetRows rows);
  // Null and *error set when the rows do not pass validate_rows.
  static std::unique_ptr<StoredDataset> from_rows(DatasetRows rows, std::string* error);

  const DatasetRows& rows() const { return rows_; }

  const std::string& sub_id() const override { return rows_.sub_id; }
  const std::string& token() const override { return rows_.token; }
  std::size_t member_count() const override { return rows_.members.size(); }
  Member member(std::size_t index) const override { return rows_.members.at(index); }
  std::size_t outside_member_count() const override { return rows_.outside_members.size(); }
  Member outside_member(std::size_t index) const override { return rows_.outside_members.at(index); }
  std::optional<Member> find_member(std::int64_t uid) const override;
  std::size_t order_count(Platform platform) const override { return rows_.orders_of(platform).size(); }
  Order order(Platform platform, std::size_t index) const override {
    return rows_.orders_of(platform).at(index);
  }
  std::size_t withdrawal_count() const override { return rows_.withdrawals.size(); }
  Withdrawal withdrawal(std::size_t index) const override { return rows_.withdrawals.at(index); }

 private:
  struct Checked {};
  StoredDataset(DatasetRows rows, Checked);
  void index_uids();

  DatasetRows rows_;
  // uid -> index; outside members are stored as member_count() + index.
  std::unordered_map<std::int64_t, std::size_t> by_uid_;
};

// True for a complete JSON number literal ("12", "-0.5", "1e3"; not "012", "1.", "").
bool is_json_number(std::string_view text);

}  // namespace velora_sim
