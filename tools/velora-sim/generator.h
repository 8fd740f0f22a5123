// A seeded dataset that computes each row from (seed, kind, index) when it is
// asked for, so that bench sizes (100k members, 500k orders) cost no memory
// and start at once. The same parameters always give the same rows. Also the
// parser of the "--generate" settings. Immutable; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/velora-sim/dataset.h"

namespace velora_sim {

struct GeneratorParams {
  std::size_t members = 250;
  std::array<std::size_t, kPlatformCount> orders = {230, 230, 230, 230, 230};  // per platform
  std::size_t withdrawals = 80;
  double upline_share = 0.6;    // members that have an upline
  double outside_share = 0.05;  // of those, uplines that are not in the member list
  double unknown_share = 0.05;  // withdrawals of users that are no member
  std::uint64_t seed = 1;
  bool nasty = false;  // quotes, placeholder look-alikes and SQL fragments in texts
  std::string sub_id{kDemoSubId};
  std::string token{kDemoToken};
};

// "members=N,orders=N,withdrawals=N,upline=F,outside=F,unknown=F,seed=S,nasty=0|1"
// plus per-platform counts "taobao=N,jd=N,pinduoduo=N,douyin=N,vipshop=N";
// keys apply in the order given onto params; any subset, empty allowed.
bool parse_generator_settings(std::string_view settings, GeneratorParams& params, std::string& error);

class GeneratedDataset : public Dataset {
 public:
  explicit GeneratedDataset(GeneratorParams params);

  const GeneratorParams& params() const { return params_; }

  const std::string& sub_id() const override { return params_.sub_id; }
  const std::string& token() const override { return params_.token; }
  std::size_t member_count() const override { return params_.members; }
  Member member(std::size_t index) const override;
  std::size_t outside_member_count() const override { return outside_count_; }
  Member outside_member(std::size_t index) const override;
  std::optional<Member> find_member(std::int64_t uid) const override;
  std::size_t order_count(Platform platform) const override {
    return params_.orders[static_cast<std::size_t>(platform)];
  }
  Order order(Platform platform, std::size_t index) const override;
  std::size_t withdrawal_count() const override { return params_.withdrawals; }
  Withdrawal withdrawal(std::size_t index) const override;

 private:
  Member make_member(std::uint64_t id, std::int64_t uid, bool outside) const;

  GeneratorParams params_;
  std::uint64_t key_;  // from the seed; salts every row
  std::int64_t uid_base_;
  std::size_t outside_count_;
};

}  // namespace velora_sim
