#include "tools/velora-sim/faults.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <map>
#include <set>

#include "tools/velora-sim/answers.h"
#include "tools/velora-sim/generator.h"

namespace velora_sim {
namespace {

FaultSetting setting(const char* name, double share) {
  FaultSetting s;
  s.name = name;
  s.share = share;
  return s;
}

Reply reply_with(const std::string& body) {
  Reply reply;
  reply.body = body;
  return reply;
}

FaultPlan plan_of(const std::vector<FaultSetting>& settings, std::uint64_t seed) {
  FaultPlan plan;
  std::string error;
  EXPECT_TRUE(FaultPlan::make(settings, seed, plan, error)) << error;
  return plan;
}

TEST(VeloraSimFaultPlan, DrawsFollowTheSharesAndTheSeed) {
  const std::vector<FaultSetting> settings = {setting("empty", 0.2), setting("error", 0.1),
                                              setting("rate-limit", 0.05)};
  const FaultPlan plan = plan_of(settings, 7);
  const FaultPlan again = plan_of(settings, 7);
  const FaultPlan other = plan_of(settings, 8);
  std::map<std::string, int> counts;
  int differ = 0;
  constexpr int kDraws = 100000;
  for (std::uint64_t n = 0; n < kDraws; ++n) {
    const auto draw = plan.draw(n);
    const auto repeat = again.draw(n);
    ASSERT_EQ(draw.has_value(), repeat.has_value());
    if (draw) {
      EXPECT_EQ(draw->kind, repeat->kind);
      EXPECT_EQ(draw->dice, repeat->dice);
      ++counts[std::string(draw->kind->name)];
    }
    const auto third = other.draw(n);
    if (draw.has_value() != third.has_value() || (draw && draw->kind != third->kind)) ++differ;
  }
  EXPECT_NEAR(counts["empty"] / double(kDraws), 0.2, 0.01);
  EXPECT_NEAR(counts["error"] / double(kDraws), 0.1, 0.01);
  EXPECT_NEAR(counts["rate-limit"] / double(kDraws), 0.05, 0.01);
  EXPECT_GT(differ, kDraws / 10);
  EXPECT_FALSE(plan_of({}, 1).draw(0));
}

TEST(VeloraSimFaultPlan, BadSettingsAreRefused) {
  const std::vector<std::vector<FaultSetting>> cases = {
      {setting("teapot", 0.1)},
      {setting("empty", 1.5)},
      {setting("empty", -0.1)},
      {setting("empty", 0.6), setting("error", 0.5)},
  };
  for (const auto& settings : cases) {
    FaultPlan plan;
    std::string error;
    EXPECT_FALSE(FaultPlan::make(settings, 1, plan, error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(VeloraSimFaultSetting, ParsesShareAndArgument) {
  FaultSetting s;
  std::string error;
  ASSERT_TRUE(parse_fault_setting("slow=0.25:30000", s, error)) << error;
  EXPECT_EQ(s.name, "slow");
  EXPECT_DOUBLE_EQ(s.share, 0.25);
  EXPECT_EQ(s.arg, 30000);
  ASSERT_TRUE(parse_fault_setting("empty=0", s, error));
  EXPECT_FALSE(s.arg);
  for (const char* bad :
       {"empty", "empty=", "empty=2", "empty=x", "slow=0.1:", "slow=0.1:-5", "slow=0.1:1x"}) {
    EXPECT_FALSE(parse_fault_setting(bad, s, error)) << bad;
  }
}

TEST(VeloraSimFaultKinds, EachTurnsTheReplyIntoItsFault) {
  GeneratorParams params;
  params.members = 5;
  const GeneratedDataset dataset(params);
  const std::string normal = list_answer(dataset, ListKind::members, Platform::taobao, true, 1, 100);

  for (std::uint64_t dice = 0; dice < 200; ++dice) {
    Reply reply = reply_with(normal);
    find_fault_kind("malformed")->apply(reply, dice * 7919, 0);
    EXPECT_FALSE(reply.body.empty());
    rapidjson::Document doc;
    doc.Parse(reply.body.c_str());
    EXPECT_TRUE(doc.HasParseError()) << reply.body;
  }

  std::set<int> statuses;
  for (std::uint64_t dice = 0; dice < 30; ++dice) {
    Reply reply = reply_with(normal);
    find_fault_kind("error")->apply(reply, dice, 0);
    EXPECT_FALSE(reply.body.empty());
    statuses.insert(reply.status);
  }
  EXPECT_EQ(statuses, (std::set<int>{500, 502, 503}));

  Reply empty = reply_with(normal);
  find_fault_kind("empty")->apply(empty, 0, 0);
  EXPECT_EQ(empty.status, 200);
  EXPECT_TRUE(empty.body.empty());

  Reply limited = reply_with(normal);
  find_fault_kind("rate-limit")->apply(limited, 0, 0);
  EXPECT_EQ(limited.status, 429);

  Reply slow = reply_with(normal);
  find_fault_kind("slow")->apply(slow, 0, 1234);
  EXPECT_EQ(slow.delay_ms, 1234);
  EXPECT_EQ(slow.body, normal);

  Reply reset = reply_with(normal);
  find_fault_kind("reset")->apply(reset, 0, 0);
  ASSERT_TRUE(reset.cut_after);
  EXPECT_LT(*reset.cut_after, normal.size());
}

}  // namespace
}  // namespace velora_sim
