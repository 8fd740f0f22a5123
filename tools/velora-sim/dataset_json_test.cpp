#include "tools/velora-sim/dataset_json.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tools/velora-sim/generator.h"

namespace velora_sim {
namespace {

std::string dump(const Dataset& dataset) {
  std::ostringstream out;
  write_dataset_json(dataset, out);
  return out.str();
}

TEST(VeloraSimDatasetJson, GeneratedNastyDatasetSurvivesWriteAndRead) {
  GeneratorParams params;
  params.members = 300;
  params.orders = {50, 40, 30, 20, 10};
  params.withdrawals = 60;
  params.nasty = true;
  params.seed = 11;
  const GeneratedDataset generated(params);

  const std::string text = dump(generated);
  DatasetRows rows;
  std::string error;
  ASSERT_TRUE(parse_dataset_json(text, rows, error)) << error;
  EXPECT_EQ(rows, copy_rows(generated));
  // Written again, the text is the same: numbers keep their literal.
  EXPECT_EQ(dump(StoredDataset(rows)), text);
}

TEST(VeloraSimDatasetJson, DemoFileLoadsWithItsRows) {
  DatasetRows rows;
  std::string error;
  ASSERT_TRUE(load_dataset_file(VELORA_SIM_SOURCE_DIR "/examples/demo.json", rows, error)) << error;
  EXPECT_EQ(rows.sub_id, "10086");
  ASSERT_EQ(rows.members.size(), 3u);
  EXPECT_FALSE(rows.members[0].upline_uid);
  EXPECT_EQ(rows.members[1].upline_uid, rows.members[0].uid);
  ASSERT_EQ(rows.outside_members.size(), 1u);
  EXPECT_EQ(rows.members[2].upline_uid, rows.outside_members[0].uid);
  const auto& pdd = rows.orders_of(Platform::pinduoduo);
  ASSERT_EQ(pdd.size(), 1u);
  EXPECT_EQ(pdd[0].pay_amount, "1999");
  EXPECT_EQ(pdd[0].commission, "150");
  EXPECT_EQ(pdd[0].order_vice, pdd[0].order_main);  // filled in from order_main
  EXPECT_EQ(pdd[0].create_time, "1640995200");
  EXPECT_EQ(rows.orders_of(Platform::douyin)[0].order_vice, rows.orders_of(Platform::douyin)[0].item_id);
  EXPECT_EQ(rows.orders_of(Platform::taobao)[0].fl_user, "1.25");
  for (Platform p : kPlatforms) EXPECT_FALSE(rows.orders_of(p).empty()) << platform_key(p);
  EXPECT_EQ(rows.withdrawals.size(), 2u);
}

TEST(VeloraSimDatasetJson, FaultsAreNamedWithTheirPlace) {
  struct Case {
    const char* text;
    const char* expected;  // a part of the error text
  };
  const Case cases[] = {
      {"[1,2]", "must be a JSON object"},
      {"{\"members\":[{\"uid\":1}]} x", "not JSON"},
      {"{\"members\":[{\"uid\":1,", "not JSON"},
      {"{\"format\":\"other/2\"}", "format"},
      {"{\"colour\":1}", "unknown top-level field \"colour\""},
      {"{\"members\":{}}", "members: must be an array"},
      {"{\"members\":[{\"wxid\":\"a\"}]}", "members[0]: field \"uid\" is missing"},
      {"{\"members\":[{\"uid\":1},{\"uid\":2,\"balanse\":\"1\"}]}", "members[1]: unknown field \"balanse\""},
      {"{\"members\":[{\"uid\":1.5}]}", "members[0]: field \"uid\" must be an integer"},
      {"{\"members\":[{\"uid\":0}]}", "uid must be positive"},
      {"{\"members\":[{\"uid\":7}],\"outside_members\":[{\"uid\":7}]}", "uid 7 appears twice"},
      {"{\"members\":[{\"uid\":7,\"upline_uid\":\"x\"}]}", "upline_uid"},
      {"{\"members\":[{\"uid\":7,\"finished_orders_number\":3000000000}]}", "32-bit"},
      {"{\"members\":[{\"uid\":7,\"nickname\":null}]}", "\"nickname\" must be a string"},
      {"{\"orders\":{\"amazon\":[]}}", "unknown platform \"amazon\""},
      {"{\"orders\":{\"taobao\":[{\"order_vice\":\"1\"}]}}",
       "orders.taobao[0]: field \"order_main\" is missing"},
      {"{\"orders\":{\"jd\":[{\"order_main\":\"1\",\"pay_amount\":\"abc\"}]}}",
       "\"pay_amount\" must be a number"},
      {"{\"orders\":{\"pinduoduo\":[{\"order_main\":\"1\",\"order_vice\":\"2\",\"create_time\":\"1\"}]}}",
       "order_vice must equal order_main"},
      {"{\"orders\":{\"pinduoduo\":[{\"order_main\":\"1\",\"create_time\":\"2024-01-01\"}]}}",
       "Unix seconds"},
      {"{\"orders\":{\"douyin\":[{\"order_main\":\"1\",\"item_id\":\"5\",\"order_vice\":\"6\"}]}}",
       "order_vice must equal item_id"},
      {"{\"withdrawals\":[{\"money\":\"1.00\"}]}", "withdrawals[0]: field \"packet_hash\" is missing"},
  };
  for (const auto& c : cases) {
    DatasetRows rows;
    std::string error;
    EXPECT_FALSE(parse_dataset_json(c.text, rows, error)) << c.text;
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.text << " gave: " << error;
  }
}

TEST(VeloraSimDatasetJson, NumbersMayComeAsLiteralStringsAndKeepTheirSpelling) {
  DatasetRows rows;
  std::string error;
  ASSERT_TRUE(parse_dataset_json(
      R"({"orders":{"taobao":[{"order_main":"1","pay_amount":"19.90","commission":2.50,"fl_user":1e2}]}})",
      rows, error))
      << error;
  const Order& o = rows.orders_of(Platform::taobao)[0];
  EXPECT_EQ(o.pay_amount, "19.90");
  EXPECT_EQ(o.commission, "2.50");
  EXPECT_EQ(o.fl_user, "1e2");
  EXPECT_EQ(o.fl_agent, "0");  // absent fields take the defaults
  EXPECT_EQ(rows.token, kDemoToken);
}

TEST(VeloraSimDatasetJson, MissingFileIsAnErrorNamingIt) {
  DatasetRows rows;
  std::string error;
  EXPECT_FALSE(load_dataset_file("/nonexistent/velora.json", rows, error));
  EXPECT_NE(error.find("/nonexistent/velora.json"), std::string::npos);
}

}  // namespace
}  // namespace velora_sim
