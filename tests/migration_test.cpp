// Whole migrations against a local platform: what is requested, what is
// stored, and how faults, bad input and stops end.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "port/clock.h"
#include "shiftwell/run/run_migration.h"
#include "tests/migration_fixture.h"
#include "tools/velora-sim/generator.h"

namespace fs = std::filesystem;
using velora_sim::Endpoint;

namespace shiftwell::testing {
namespace {

std::shared_ptr<velora_sim::GeneratedDataset> generated(std::size_t members, std::size_t orders_per_platform,
                                                        std::size_t withdrawals, bool nasty = false,
                                                        std::uint64_t seed = 7) {
  velora_sim::GeneratorParams p;
  p.members = members;
  p.orders.fill(orders_per_platform);
  p.withdrawals = withdrawals;
  p.nasty = nasty;
  p.seed = seed;
  return std::make_shared<velora_sim::GeneratedDataset>(p);
}

class Migration : public MigrationTest {
 protected:
  void expect_all_rows_stored() {
    EXPECT_EQ(stored_members(), expected_members());
    EXPECT_EQ(stored_relations(), expected_relations());
    EXPECT_EQ(stored_orders(), expected_orders());
    EXPECT_EQ(stored_withdrawals(), expected_withdrawals());
  }
  void expect_consistent_file() {
    EXPECT_EQ(query("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(query("SELECT count(*) FROM member WHERE record <> ''"), "0");
    EXPECT_EQ(query("PRAGMA freelist_count"), "0");
    EXPECT_EQ(query("SELECT count(*) FROM sql_repair"), "20");
  }
};

TEST_F(Migration, PagesAreRequestedOnceEachAndEveryRowIsStored) {
  auto data = std::make_shared<velora_sim::GeneratedDataset>([] {
    velora_sim::GeneratorParams p;
    p.members = 250;
    p.orders = {230, 40, 0, 35, 100};
    p.withdrawals = 120;
    p.seed = 3;
    return p;
  }());
  const std::string log_path = folder + "/requests.jsonl";
  velora_sim::SimOptions options;
  options.request_log = log_path;
  serve(data, options);
  const RunOutcome outcome = migrate();
  ASSERT_TRUE(outcome.started);
  EXPECT_TRUE(outcome.completed) << view.log();
  EXPECT_EQ(outcome.database_path, folder + "/数据库_" + data->sub_id() + ".db");

  const auto c = sim->counters();
  for (int page = 1; page <= 13; ++page) {
    EXPECT_EQ(c.page_requests(Endpoint::member_list, page), 1u) << "member page " << page;
    EXPECT_EQ(c.page_requests(Endpoint::orders_taobao, page), 1u) << "taobao page " << page;
  }
  EXPECT_EQ(c.page_requests(Endpoint::member_list, 14), 0u);
  EXPECT_EQ(c.requests(Endpoint::member_list), 13u);
  EXPECT_EQ(c.requests(Endpoint::orders_taobao), 13u);
  EXPECT_EQ(c.requests(Endpoint::orders_pinduoduo), 10u) << "an empty platform costs ten requests";
  EXPECT_EQ(c.requests(Endpoint::orders_jd), 11u) << "one page with data, then ten empty";
  EXPECT_EQ(c.requests(Endpoint::withdrawal_list), 12u);
  std::size_t with_upline = 0;
  for (std::size_t i = 0; i < data->member_count(); ++i)
    with_upline += data->member(i).upline_uid.has_value();
  EXPECT_EQ(c.requests(Endpoint::member_detail), data->member_count() + with_upline)
      << "one detail request per member, a second for its upline";

  // Withdrawals start only after the last member request was answered.
  std::ifstream log(log_path);
  std::string line;
  long index = 0, last_member = -1, first_withdrawal = -1, without_token = 0;
  while (std::getline(log, line)) {
    if (line.find("5cb07ea5d4413") != std::string::npos || line.find("5cb96c85a2f29") != std::string::npos)
      last_member = index;
    if (first_withdrawal < 0 && line.find("5cb1cca8f1235") != std::string::npos) first_withdrawal = index;
    without_token += line.find("\"had_token\":false") != std::string::npos;
    ++index;
  }
  EXPECT_GT(first_withdrawal, last_member);
  EXPECT_EQ(without_token, 0) << "every request carries user-token";

  expect_all_rows_stored();
  expect_consistent_file();
  EXPECT_EQ(view.caption(CounterKind::member), "会员数量：250");
  EXPECT_EQ(view.caption(CounterKind::order), "订单数量：405");
  EXPECT_EQ(view.caption(CounterKind::withdrawal), "提现数量：120");
}

TEST_F(Migration, LogsItsStagesInOrderEvenWhenEverythingIsEmpty) {
  serve(generated(0, 0, 0));
  const RunOutcome outcome = migrate();
  EXPECT_TRUE(outcome.completed);
  std::vector<std::string> messages;
  for (const auto& l : view.lines())
    messages.push_back(l.substr(l.find("--->>>>>") + 8, l.size() - l.find("--->>>>>") - 10));
  const std::vector<std::string> expected = {
      "会员信息开始转移", "订单信息开始转移", "会员信息全部完成", "提现信息开始转移",
      "提现记录全部完成", "订单信息全部完成", "数据获取完毕",     "数据库已保存：" + database()};
  EXPECT_EQ(messages, expected);
  expect_consistent_file();
}

TEST_F(Migration, QuotesEmojiAndPlaceholderLookAlikesReachTheirColumns) {
  serve(generated(120, 60, 60, /*nasty=*/true));
  const RunOutcome outcome = migrate();
  EXPECT_TRUE(outcome.completed) << view.log();
  expect_all_rows_stored();
  EXPECT_EQ(query("SELECT count(*) FROM sqlite_master WHERE type='table'"), "38")
      << "no statement changed the schema";
}

TEST_F(Migration, FieldConversionsOfEachPlatform) {
  velora_sim::DatasetRows rows;
  velora_sim::Member solo{101, "wxid_solo", "独行侠😀", "12.50", "3.00", 4, std::nullopt};
  velora_sim::Member child{102, "wxid_child", "O'Neil", "0.10", "0", 0, 900};
  velora_sim::Member outside{900, "wxid_boss", "上级", "0", "0", 0, std::nullopt};
  rows.members = {solo, child};
  rows.outside_members = {outside};
  auto order = [](const char* main, const char* vice, const char* item) {
    velora_sim::Order o;
    o.order_main = main;
    o.order_vice = vice;
    o.item_id = item;
    o.title = "标题";
    o.picture = "https://img/x.png";
    o.category = "女装";
    o.create_time = "2024-05-01 10:00:00";
    o.settle_time = "2024-05-02 11:00:00";
    o.quantity = 2;
    o.pay_amount = "19.9";
    o.commission = "1.5";
    o.fl_user = "0.75";
    o.fl_agent = "0.25";
    o.wxid = "wxid_solo";
    o.nickname = "独行侠";
    return o;
  };
  rows.orders_of(velora_sim::Platform::taobao) = {order("T1", "T1-1", "i1")};
  rows.orders_of(velora_sim::Platform::jd) = {order("J1", "J1-1", "i2")};
  auto pdd = order("P1", "P1", "i3");
  pdd.create_time = "1640995200";
  pdd.settle_time = "1641081600";
  pdd.pay_amount = "1999";
  pdd.commission = "150";
  rows.orders_of(velora_sim::Platform::pinduoduo) = {pdd};
  auto dy = order("D1", "i4", "i4");
  dy.pay_amount = "1250";
  dy.commission = "0";
  rows.orders_of(velora_sim::Platform::douyin) = {dy};
  rows.orders_of(velora_sim::Platform::vipshop) = {order("V1", "V1-1", "i5")};
  rows.withdrawals = {{"hash-1", "2024-06-01 09:00:00", "2024-06-01 09:05:00", "8.80", 102},
                      {"hash-2", "2024-06-02 09:00:00", "2024-06-02 09:05:00", "1.00", 424242}};
  std::string error;
  auto data = velora_sim::StoredDataset::from_rows(rows, &error);
  ASSERT_TRUE(data) << error;
  serve(std::shared_ptr<const velora_sim::Dataset>(std::move(data)));
  const RunOutcome outcome = migrate();
  EXPECT_TRUE(outcome.completed) << view.log();

  EXPECT_EQ(table("SELECT wxid, wx_name, ktx_money, ztx_money, zcg_number, record FROM member"),
            (Rows{"wxid_child|O'Neil|0.1|0.0|0|", "wxid_solo|独行侠😀|12.5|3.0|4|"}));
  EXPECT_EQ(table("SELECT sj_wxid, xj_wxid, channel, config FROM fission"),
            (Rows{"wxid_boss|wxid_child|Velora转移|{}"}))
      << "a relation is stored also when the upline is not in the list";
  EXPECT_EQ(query("SELECT count(*) FROM member WHERE wxid = 'wxid_boss'"), "0");
  EXPECT_EQ(query("SELECT "
                  "creation_time||'|'||settling_time||'|'||pay_price||'|'||union_yj||'|'||order_main||'|'||"
                  "order_vice "
                  "FROM register_order WHERE platform = '拼多多'"),
            "2022-01-01 08:00:00|2022-01-02 08:00:00|19.99|1.5|P1|P1");
  EXPECT_EQ(query("SELECT numbers||'|'||pay_price||'|'||union_yj||'|'||order_vice FROM register_order WHERE "
                  "platform = '抖音'"),
            "1|12.5|0.0|i4");
  EXPECT_EQ(query("SELECT picture||'|'||category FROM register_order WHERE platform = '京东'"), "|");
  EXPECT_EQ(query("SELECT category FROM register_order WHERE platform = '淘宝'"), "女装");
  EXPECT_EQ(query("SELECT category FROM register_order WHERE platform = '唯品会'"), "");
  EXPECT_EQ(
      query("SELECT count(*) FROM register_order WHERE client = 'Velora转移' AND order_state = '交易成功'"),
      "5");
  EXPECT_EQ(table("SELECT order_main, order_vice, wxid, wx_name, t_money, t_type, t_source, t_mode, staff, "
                  "config FROM income"),
            (Rows{"hash-1|hash-1|wxid_child|O'Neil|8.8|提现成功|Velora转移|Velora转移|Velora转移|{}",
                  "hash-2|hash-2|||1.0|提现成功|Velora转移|Velora转移|Velora转移|{}"}))
      << "a withdrawal of an unknown user is stored with an empty chat id and name";
  expect_consistent_file();
}

TEST_F(Migration, DuplicatesAreLoggedAndKeyCollisionsAreNotCounted) {
  velora_sim::DatasetRows rows;
  rows.members = {{1, "wxid_a", "A", "0", "0", 0, std::nullopt}};
  velora_sim::Order t;
  t.order_main = "T9";
  t.order_vice = "T9-1";
  t.wxid = "wxid_a";
  rows.orders_of(velora_sim::Platform::taobao) = {t, t};  // the same line twice
  velora_sim::Order d1, d2;
  d1.order_main = "D1";
  d2.order_main = "D2";
  d1.order_vice = d1.item_id = d2.order_vice = d2.item_id = "product-7";  // two orders of one product
  d1.wxid = d2.wxid = "wxid_a";
  rows.orders_of(velora_sim::Platform::douyin) = {d1, d2};
  std::string error;
  auto data = velora_sim::StoredDataset::from_rows(rows, &error);
  ASSERT_TRUE(data) << error;
  serve(std::shared_ptr<const velora_sim::Dataset>(std::move(data)));
  const RunOutcome outcome = migrate();
  EXPECT_EQ(view.count_lines_with("--->>>>>疑似存在相同订单订单[T9] 子订单[T9-1]\r\n"), 1);
  EXPECT_EQ(view.count_lines_with("写入失败 register_order"), 1) << view.log();
  EXPECT_EQ(view.count_lines_with("未能写入：会员0条，上下级0条，订单1条，提现0条"), 1) << view.log();
  EXPECT_EQ(query("SELECT count(*) FROM register_order"), "2");
  EXPECT_EQ(view.caption(CounterKind::order), "订单数量：2") << "only stored rows are counted";
  EXPECT_FALSE(outcome.completed) << "a row that could not be stored makes the run incomplete";
  expect_consistent_file();
}

TEST_F(Migration, EmptyAnswersErrorsAndRateLimitsAreRetriedUntilEveryRowIsStored) {
  velora_sim::SimOptions options;
  options.set_fault_share("empty", 0.2);
  options.set_fault_share("error", 0.05);
  options.set_fault_share("rate-limit", 0.02);
  options.set_fault_share("malformed", 0.03);
  options.fault_seed = 11;
  serve(generated(150, 80, 80), options);
  const RunOutcome outcome = migrate();
  EXPECT_TRUE(outcome.completed) << view.log();
  EXPECT_GT(sim->counters().fault_count("empty"), 0u);
  expect_all_rows_stored();
  expect_consistent_file();
}

TEST_F(Migration, APlatformThatStaysDownEndsTheRunIncompleteWithTheMissingPagesNamed) {
  serve(generated(50, 10, 10));
  state->platform.retry = {10, 50, 300};
  state->platform.api_base = "http://127.0.0.1:1";  // nothing listens there
  const RunOutcome outcome = migrate();
  ASSERT_TRUE(outcome.started);
  EXPECT_FALSE(outcome.completed);
  EXPECT_GE(view.count_lines_with("会员列表 第1页无法获取"), 1) << view.log();
  EXPECT_EQ(view.count_lines_with("未完整转移：会员列表 缺少第1,2,3,4,5,6,7,8,9,10页，且没有读到列表末尾"), 1)
      << view.log();
  EXPECT_NE(view.lines().back().find("--->>>>>数据库已保存："), std::string::npos);
  expect_consistent_file();
}

TEST_F(Migration, ARefusedTokenIsShownOncePerList) {
  serve(generated(30, 5, 5));
  const RunOutcome outcome = migrate("", "wrong-token");
  EXPECT_FALSE(outcome.completed);
  EXPECT_EQ(view.count_lines_with("平台拒绝了会员列表的请求：登录已过期,请重新登录"), 1) << view.log();
  EXPECT_EQ(view.count_lines_with("平台拒绝了淘宝订单的请求：登录已过期,请重新登录"), 1);
  EXPECT_EQ(view.count_lines_with("wrong-token"), 0) << "the token never appears in the log";
  EXPECT_EQ(query("SELECT count(*) FROM member"), "0");
}

TEST_F(Migration, BadInputIsRefusedAndNothingIsWritten) {
  serve(generated(5, 1, 1));
  for (const char* sub_id : {"", "../../etc/passwd", "a b", "1&page=2"}) {
    auto thread = start_run(*state, sub_id, sim->token(), folder);
    EXPECT_FALSE(thread) << sub_id;
    EXPECT_FALSE(state->running.load());
  }
  EXPECT_FALSE(start_run(*state, "10086", " \r\n", folder));
  EXPECT_FALSE(start_run(*state, "10086", "tok\r\nX-Evil: 1", folder));
  EXPECT_EQ(sim->counters().total_requests, 0u);
  EXPECT_TRUE(fs::is_empty(folder)) << "no file is written for refused input";
  EXPECT_EQ(view.count_lines_with("未开始转移"), 6);
}

TEST_F(Migration, AnUnwritableFolderIsReportedAndNothingStarts) {
  serve(generated(5, 1, 1));
  EXPECT_FALSE(start_run(*state, "10086", sim->token(), folder + "/missing/folder"));
  EXPECT_EQ(view.count_lines_with("无法写入数据库文件 " + folder + "/missing/folder/数据库_10086.db"), 1)
      << view.log();
  EXPECT_FALSE(view.outcome().started);
  EXPECT_EQ(sim->counters().total_requests, 0u);
}

TEST_F(Migration, AStopEndsTheRunCleanly) {
  velora_sim::SimOptions options;
  options.latency_ms = 20;
  serve(generated(400, 200, 100), options);
  auto thread = start_run(*state, sim->dataset().sub_id(), sim->token(), folder);
  ASSERT_TRUE(thread);
  const std::uint64_t until = port::tick_count_ms() + 60000;
  auto members_counted = [&] {
    state->member_lock.lock_write();  // the counter's own lock, as the workers take it
    const int n = state->member_count;
    state->member_lock.unlock_write();
    return n;
  };
  while (members_counted() < 20 && port::tick_count_ms() < until) port::sleep_ms(10);
  request_stop(*state);
  ASSERT_TRUE(thread->wait(60000));
  const RunOutcome outcome = view.outcome();
  EXPECT_TRUE(outcome.stopped);
  EXPECT_FALSE(outcome.completed);
  EXPECT_EQ(view.count_lines_with("转移已停止"), 1);
  EXPECT_LT(std::stoi(query("SELECT count(*) FROM member")), 400);
  EXPECT_EQ(query("SELECT count(*) FROM member"), std::to_string(state->member_count))
      << "every counted row is stored";
  expect_consistent_file();
}

TEST_F(Migration, ASecondRunStartsPagingAgainAndTheCountersGoOn) {
  serve(generated(120, 20, 10));
  ASSERT_TRUE(migrate().completed) << view.log();
  sim->reset_counters();
  ASSERT_TRUE(migrate().completed) << view.log();
  EXPECT_EQ(sim->counters().page_requests(Endpoint::member_list, 1), 1u);
  EXPECT_EQ(view.caption(CounterKind::member), "会员数量：240");
  EXPECT_EQ(stored_members(), expected_members()) << "the second run replaced the file";
  expect_consistent_file();
}

}  // namespace
}  // namespace shiftwell::testing
