#include "tools/velora-sim/generator.h"

#include <gtest/gtest.h>

#include <set>

namespace velora_sim {
namespace {

GeneratorParams sized(std::size_t members, std::size_t orders, std::size_t withdrawals,
                      std::uint64_t seed = 1) {
  GeneratorParams p;
  p.members = members;
  p.orders.fill(orders);
  p.withdrawals = withdrawals;
  p.seed = seed;
  return p;
}

TEST(VeloraSimGenerator, SameSeedSameRowsOtherSeedOtherRows) {
  const auto a = copy_rows(GeneratedDataset(sized(200, 40, 30, 5)));
  const auto b = copy_rows(GeneratedDataset(sized(200, 40, 30, 5)));
  const auto c = copy_rows(GeneratedDataset(sized(200, 40, 30, 6)));
  EXPECT_EQ(a, b);
  EXPECT_NE(a.members, c.members);
  EXPECT_NE(a.orders_of(Platform::taobao), c.orders_of(Platform::taobao));
  EXPECT_NE(a.withdrawals, c.withdrawals);
}

TEST(VeloraSimGenerator, KeysAreUniqueAndRowsAreServable) {
  GeneratorParams p = sized(3000, 2000, 2000);
  p.nasty = true;
  const auto rows = copy_rows(GeneratedDataset(p));
  EXPECT_EQ(validate_rows(rows), "");

  std::set<std::string> wxids;
  for (const auto* list : {&rows.members, &rows.outside_members}) {
    for (const auto& m : *list) EXPECT_TRUE(wxids.insert(m.wxid).second) << m.wxid;
  }
  // The target table keys orders on the sub-order number across all platforms.
  std::set<std::string> vices;
  for (Platform platform : kPlatforms) {
    std::set<std::pair<std::string, std::string>> pairs;
    for (const auto& o : rows.orders_of(platform)) {
      EXPECT_TRUE(vices.insert(o.order_vice).second) << platform_key(platform) << " " << o.order_vice;
      EXPECT_EQ(o.picture.empty(), platform == Platform::jd);
      EXPECT_EQ(o.category.empty(), platform != Platform::taobao);
    }
  }
  std::set<std::string> hashes;
  for (const auto& w : rows.withdrawals) EXPECT_TRUE(hashes.insert(w.packet_hash).second);
}

TEST(VeloraSimGenerator, SharesFollowTheParameters) {
  GeneratorParams p = sized(20000, 0, 4000);
  p.upline_share = 0.6;
  p.outside_share = 0.1;
  p.unknown_share = 0.2;
  const GeneratedDataset d(p);
  std::set<std::int64_t> listed;
  for (std::size_t i = 0; i < d.member_count(); ++i) listed.insert(d.member(i).uid);

  std::size_t with_upline = 0, outside = 0;
  for (std::size_t i = 0; i < d.member_count(); ++i) {
    const Member m = d.member(i);
    if (!m.upline_uid) continue;
    ++with_upline;
    ASSERT_TRUE(d.find_member(*m.upline_uid)) << "upline " << *m.upline_uid << " has no details";
    if (!listed.count(*m.upline_uid)) ++outside;
  }
  EXPECT_NEAR(static_cast<double>(with_upline) / 20000, 0.6, 0.02);
  EXPECT_NEAR(static_cast<double>(outside) / static_cast<double>(with_upline), 0.1, 0.02);
  for (std::size_t k = 0; k < d.outside_member_count(); ++k) {
    const Member m = d.outside_member(k);
    EXPECT_FALSE(listed.count(m.uid));
    EXPECT_EQ(d.find_member(m.uid), m);
  }

  std::size_t unknown = 0;
  for (std::size_t i = 0; i < d.withdrawal_count(); ++i) {
    if (!d.find_member(d.withdrawal(i).userid)) ++unknown;
  }
  EXPECT_NEAR(static_cast<double>(unknown) / 4000, 0.2, 0.03);
}

TEST(VeloraSimGenerator, TextsCarryChineseEmojiAndWithNastyTheTrickyValues) {
  GeneratorParams p = sized(2000, 500, 500);
  const auto plain = copy_rows(GeneratedDataset(p));
  p.nasty = true;
  const auto nasty = copy_rows(GeneratedDataset(p));

  const auto any_member = [](const DatasetRows& rows, const std::string& part) {
    for (const auto& m : rows.members) {
      if (m.nickname.find(part) != std::string::npos || m.wxid.find(part) != std::string::npos) return true;
    }
    return false;
  };
  const auto any_title = [](const DatasetRows& rows, const std::string& part) {
    for (const auto& o : rows.orders_of(Platform::taobao)) {
      if (o.title.find(part) != std::string::npos || o.order_main.find(part) != std::string::npos)
        return true;
    }
    return false;
  };
  EXPECT_TRUE(any_member(plain, "王") || any_member(plain, "李"));
  EXPECT_TRUE(any_member(plain, "🌸") || any_member(plain, "😀") || any_member(plain, "🍀"));
  EXPECT_FALSE(any_member(plain, "'"));
  EXPECT_FALSE(any_title(plain, "'"));
  for (const std::string part : {"'", "'); DROP TABLE member; --", "#wxid"}) {
    EXPECT_TRUE(any_member(nasty, part)) << part;
    EXPECT_TRUE(any_title(nasty, part)) << part;
  }
}

TEST(VeloraSimGenerator, EmptyDatasetHasNoRows) {
  const GeneratedDataset d(sized(0, 0, 5));
  EXPECT_EQ(d.member_count(), 0u);
  EXPECT_EQ(d.outside_member_count(), 0u);
  for (std::size_t i = 0; i < d.withdrawal_count(); ++i) EXPECT_FALSE(d.find_member(d.withdrawal(i).userid));
}

TEST(VeloraSimGeneratorSettings, SettingsApplyInOrder) {
  GeneratorParams p;
  std::string error;
  ASSERT_TRUE(parse_generator_settings(
      "members=100000,orders=500,jd=0,withdrawals=7,upline=0.5,outside=0,unknown=0.25,seed=42,nasty=1", p,
      error))
      << error;
  EXPECT_EQ(p.members, 100000u);
  EXPECT_EQ(p.orders, (std::array<std::size_t, 5>{500, 0, 500, 500, 500}));
  EXPECT_EQ(p.withdrawals, 7u);
  EXPECT_DOUBLE_EQ(p.upline_share, 0.5);
  EXPECT_DOUBLE_EQ(p.outside_share, 0.0);
  EXPECT_DOUBLE_EQ(p.unknown_share, 0.25);
  EXPECT_EQ(p.seed, 42u);
  EXPECT_TRUE(p.nasty);

  GeneratorParams q;
  ASSERT_TRUE(parse_generator_settings("taobao=3,orders=9", q, error));
  EXPECT_EQ(q.orders[0], 9u);
  ASSERT_TRUE(parse_generator_settings("", q, error));
}

TEST(VeloraSimGeneratorSettings, BadSettingsAreRefused) {
  for (const char* settings : {"members", "members=-1", "members=1x", "members=", "upline=1.5",
                               "outside=-0.1", "seed=abc", "nasty=yes", "colour=3", "orders=99999999999"}) {
    GeneratorParams p;
    std::string error;
    EXPECT_FALSE(parse_generator_settings(settings, p, error)) << settings;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace velora_sim
