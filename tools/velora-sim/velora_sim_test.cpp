#include "tools/velora-sim/velora_sim.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <rapidjson/document.h>
#include <rapidjson/pointer.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "tools/velora-sim/endpoints.h"
#include "tools/velora-sim/generator.h"

namespace velora_sim {
namespace {

struct Got {
  int status = 0;
  std::string body;
};

std::optional<Got> get(httplib::Client& client, const std::string& target,
                       std::optional<std::string> token = std::string(kDemoToken)) {
  httplib::Headers headers;
  if (token) headers.emplace("user-token", *token);
  const auto res = client.Get(target.c_str(), headers);
  if (!res) return std::nullopt;
  return Got{res->status, res->body};
}

rapidjson::Document parse(const std::string& body) {
  rapidjson::Document doc;
  doc.Parse(body.c_str());
  return doc;
}

const rapidjson::Value* at(const rapidjson::Value& root, const std::string& pointer) {
  return rapidjson::Pointer(pointer.c_str()).Get(root);
}

std::string member_page(int page, int size = 100, const char* sub_id = "10086") {
  return "/api/5cb07ea5d4413?&sub_id=" + std::string(sub_id) + "&page=" + std::to_string(page) +
         "&size=" + std::to_string(size);
}

std::string order_page(Platform platform, int page) {
  std::string query;
  for (const auto& [name, value] : order_endpoint(platform).fixed)
    query += std::string(name) + "=" + std::string(value) + "&";
  return std::string(order_endpoint(platform).path) + "?" + query +
         "sub_id=10086&page=" + std::to_string(page) + "&size=100";
}

std::string withdrawal_page(int page) {
  return "/api/5cb1cca8f1235?redpacket_state=1&search_condition=1&sub_id=10086&page=" + std::to_string(page) +
         "&size=100&type=1";
}

std::string detail(std::int64_t uid) {
  return "/api/5cb96c85a2f29?sub_id=10086&member_id=" + std::to_string(uid);
}

std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "velora_sim_test_" + name + "_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

class VeloraSimServer : public ::testing::Test {
 protected:
  static GeneratorParams default_params() {
    GeneratorParams p;
    p.members = 250;
    p.orders = {120, 5, 5, 5, 5};
    p.withdrawals = 30;
    return p;
  }

  // Starts a simulator on a free port of 127.0.0.1.
  std::unique_ptr<VeloraSim> start(SimOptions options = {}, GeneratorParams params = default_params()) {
    auto sim = std::make_unique<VeloraSim>(std::make_shared<GeneratedDataset>(params), options);
    std::string error;
    EXPECT_TRUE(sim->start(error)) << error;
    EXPECT_GT(sim->port(), 0);
    return sim;
  }

  static httplib::Client client_of(const VeloraSim& sim) {
    httplib::Client client("127.0.0.1", sim.port());
    client.set_read_timeout(30, 0);
    return client;
  }
};

enum class Json { string, number, integer };

struct FieldCheck {
  const char* pointer;  // relative to the item
  Json type;
};

void expect_fields(const rapidjson::Value& item, std::initializer_list<FieldCheck> fields, const char* what) {
  for (const auto& f : fields) {
    const rapidjson::Value* v = at(item, f.pointer);
    ASSERT_NE(v, nullptr) << what << " lacks " << f.pointer;
    switch (f.type) {
      case Json::string:
        EXPECT_TRUE(v->IsString()) << what << f.pointer;
        break;
      case Json::number:
        EXPECT_TRUE(v->IsNumber()) << what << f.pointer;
        break;
      case Json::integer:
        EXPECT_TRUE(v->IsInt64()) << what << f.pointer;
        break;
    }
  }
}

TEST_F(VeloraSimServer, EveryEndpointAnswersInTheShapeTheClientReads) {
  const auto sim = start();
  auto client = client_of(*sim);
  const Dataset& d = sim->dataset();
  const auto S = Json::string, N = Json::number, I = Json::integer;

  const auto members = get(client, member_page(1));
  ASSERT_TRUE(members);
  EXPECT_EQ(members->status, 200);
  const auto mdoc = parse(members->body);
  EXPECT_EQ(mdoc["code"].GetInt(), 200);
  EXPECT_STREQ(mdoc["msg"].GetString(), "success");
  expect_fields(mdoc["data"]["list"][0], {{"/uid", I}, {"/finished_orders_number", I}}, "member item");
  EXPECT_EQ(mdoc["data"]["list"][0]["uid"].GetInt64(), d.member(0).uid);

  std::optional<Member> with_upline;
  for (std::size_t i = 0; i < d.member_count() && !with_upline; ++i) {
    if (d.member(i).upline_uid) with_upline = d.member(i);
  }
  ASSERT_TRUE(with_upline);
  const auto ddoc = parse(get(client, detail(with_upline->uid))->body);
  expect_fields(
      ddoc["data"],
      {{"/wxid", S}, {"/nickname", S}, {"/balance", S}, {"/withdraw_amount", S}, {"/superiors_info/uid", I}},
      "detail");
  EXPECT_EQ(ddoc["data"]["wxid"].GetString(), with_upline->wxid);
  EXPECT_EQ(ddoc["data"]["balance"].GetString(), with_upline->balance);
  const auto updoc = parse(get(client, detail(*with_upline->upline_uid))->body);
  EXPECT_EQ(updoc["data"]["wxid"].GetString(), d.find_member(*with_upline->upline_uid)->wxid);

  const std::initializer_list<FieldCheck> common = {
      {"/fl_user", N}, {"/fl_agent", N}, {"/wxid", S}, {"/user_info/nickname", S}};
  struct PlatformShape {
    Platform platform;
    std::initializer_list<FieldCheck> fields;
    const char* main;
    const char* vice;
  };
  const PlatformShape shapes[] = {
      {Platform::taobao,
       {{"/tk_create_time", S},
        {"/tk_earning_time", S},
        {"/item_title", S},
        {"/item_id", S},
        {"/item_img", S},
        {"/trade_parent_id", S},
        {"/trade_id", S},
        {"/item_num", N},
        {"/pay_price", N},
        {"/pub_share_fee", N},
        {"/item_category_name", S}},
       "/trade_parent_id",
       "/trade_id"},
      {Platform::jd,
       {{"/orderTime", S},
        {"/finishTime", S},
        {"/skuName", S},
        {"/itemId", S},
        {"/orderId", S},
        {"/uniqueId", S},
        {"/skuNum", N},
        {"/estimateCosPrice", N},
        {"/estimateFee", N}},
       "/orderId",
       "/uniqueId"},
      {Platform::pinduoduo,
       {{"/order_pay_time", I},
        {"/order_settle_time", S},
        {"/goods_name", S},
        {"/goods_id", S},
        {"/goods_thumbnail_url", S},
        {"/order_sn", S},
        {"/goods_quantity", N},
        {"/order_amount", I},
        {"/promotion_amount", I}},
       "/order_sn",
       "/order_sn"},
      {Platform::douyin,
       {{"/create_time", S},
        {"/update_time", S},
        {"/productName", S},
        {"/productId", S},
        {"/productImg", S},
        {"/orderId", S},
        {"/totalPayAmount", I},
        {"/estimatedCommission", I}},
       "/orderId",
       "/productId"},
      {Platform::vipshop,
       {{"/create_time", S},
        {"/update_time", S},
        {"/goodsName", S},
        {"/goodsId", S},
        {"/goodsThumb", S},
        {"/orderSn", S},
        {"/uni_id", S},
        {"/goodsCount", N},
        {"/goodsFinalPrice", N},
        {"/commission", N}},
       "/orderSn",
       "/uni_id"},
  };
  for (const auto& shape : shapes) {
    const auto got = get(client, order_page(shape.platform, 1));
    ASSERT_TRUE(got);
    const auto doc = parse(got->body);
    ASSERT_FALSE(doc.HasParseError());
    const auto& item = doc["data"]["list"][0];
    const std::string name(platform_key(shape.platform));
    expect_fields(item, shape.fields, name.c_str());
    expect_fields(item, common, name.c_str());
    const Order o = d.order(shape.platform, 0);
    EXPECT_EQ(at(item, shape.main)->GetString(), o.order_main) << name;
    EXPECT_EQ(at(item, shape.vice)->GetString(), o.order_vice) << name;
    EXPECT_EQ(item["wxid"].GetString(), o.wxid);
    EXPECT_EQ(item["user_info"]["nickname"].GetString(), o.nickname);
  }
  const auto pdd = parse(get(client, order_page(Platform::pinduoduo, 1))->body);
  const Order pdd0 = d.order(Platform::pinduoduo, 0);
  EXPECT_EQ(std::to_string(pdd["data"]["list"][0]["order_amount"].GetInt64()), pdd0.pay_amount);
  EXPECT_EQ(std::to_string(pdd["data"]["list"][0]["order_pay_time"].GetInt64()), pdd0.create_time);
  EXPECT_EQ(pdd["data"]["list"][0]["order_settle_time"].GetString(), pdd0.settle_time);

  const auto wdoc = parse(get(client, withdrawal_page(1))->body);
  expect_fields(wdoc["data"]["list"][0],
                {{"/packet_hash", S}, {"/createdt", S}, {"/changedt", S}, {"/money", S}, {"/userid", I}},
                "withdrawal");
  EXPECT_EQ(wdoc["data"]["list"][0]["packet_hash"].GetString(), d.withdrawal(0).packet_hash);
  EXPECT_EQ(wdoc["data"]["list"].Size(), 30u);
}

TEST_F(VeloraSimServer, MemberPagesOverHttpAndTheTokenCheck) {
  const auto sim = start();
  auto client = client_of(*sim);
  const rapidjson::SizeType sizes[] = {100, 100, 50, 0};
  for (int page = 1; page <= 4; ++page) {
    const auto got = get(client, member_page(page));
    ASSERT_TRUE(got);
    const auto doc = parse(got->body);
    ASSERT_TRUE(doc["data"]["list"].IsArray());
    EXPECT_EQ(doc["data"]["list"].Size(), sizes[page - 1]) << "page " << page;
  }
  for (const auto& token : {std::optional<std::string>(), std::optional<std::string>("wrong")}) {
    const auto got = get(client, member_page(1), token);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->status, 200);
    const auto doc = parse(got->body);
    EXPECT_EQ(doc["code"].GetInt(), 401);
    EXPECT_EQ(at(doc, "/data/list"), nullptr);
  }
}

TEST_F(VeloraSimServer, TokenOptionReplacesTheDatasetToken) {
  SimOptions options;
  options.token = "other-token";
  const auto sim = start(options);
  auto client = client_of(*sim);
  EXPECT_EQ(parse(get(client, member_page(1))->body)["code"].GetInt(), 401);
  EXPECT_EQ(parse(get(client, member_page(1), "other-token")->body)["code"].GetInt(), 200);
}

TEST_F(VeloraSimServer, HttpsAnswersWithTheWrittenCertificateTrusted) {
  SimOptions options;
  options.https = true;
  options.cert_out = temp_path("cert.pem");
  const auto sim = start(options);
  EXPECT_EQ(sim->base_url().rfind("https://127.0.0.1:", 0), 0u);

  std::ifstream in(options.cert_out);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(pem, sim->certificate_pem());
  EXPECT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----", 0), 0u);

  for (const char* host : {"127.0.0.1", "localhost"}) {
    httplib::SSLClient client(host, sim->port());
    client.set_ca_cert_path(options.cert_out.c_str());
    client.enable_server_certificate_verification(true);
    const auto res = client.Get(member_page(1).c_str(), {{"user-token", std::string(kDemoToken)}});
    ASSERT_TRUE(res) << host << ": " << httplib::to_string(res.error());
    EXPECT_EQ(parse(res->body)["data"]["list"].Size(), 100u);
  }

  // The trust is real: without the certificate the check fails.
  httplib::SSLClient untrusting("127.0.0.1", sim->port());
  untrusting.set_ca_cert_path("/nonexistent-ca.pem");
  untrusting.enable_server_certificate_verification(true);
  EXPECT_FALSE(untrusting.Get(member_page(1).c_str()));
  std::remove(options.cert_out.c_str());
}

enum class Outcome { ok, empty, error, rate_limited, malformed, lost };

std::vector<Outcome> outcomes(VeloraSim& sim, int requests) {
  auto client = httplib::Client("127.0.0.1", sim.port());
  std::vector<Outcome> seen;
  for (int i = 0; i < requests; ++i) {
    const auto got = get(client, member_page(1));
    if (!got) {
      seen.push_back(Outcome::lost);
    } else if (got->status >= 500) {
      seen.push_back(Outcome::error);
    } else if (got->status == 429) {
      seen.push_back(Outcome::rate_limited);
    } else if (got->body.empty()) {
      seen.push_back(Outcome::empty);
    } else {
      const auto doc = parse(got->body);
      seen.push_back(doc.HasParseError() ? Outcome::malformed : Outcome::ok);
    }
  }
  return seen;
}

TEST_F(VeloraSimServer, FaultSharesAreAsSeededAndRepeatable) {
  SimOptions options;
  options.set_fault_share("empty", 0.2);
  options.set_fault_share("error", 0.1);
  options.set_fault_share("rate-limit", 0.1);
  options.set_fault_share("malformed", 0.1);
  options.fault_seed = 3;
  constexpr int kRequests = 400;

  const auto sim = start(options);
  const auto first = outcomes(*sim, kRequests);
  std::map<Outcome, int> count;
  for (Outcome o : first) ++count[o];
  EXPECT_NEAR(count[Outcome::empty] / double(kRequests), 0.2, 0.06);
  EXPECT_NEAR(count[Outcome::error] / double(kRequests), 0.1, 0.05);
  EXPECT_NEAR(count[Outcome::rate_limited] / double(kRequests), 0.1, 0.05);
  EXPECT_NEAR(count[Outcome::malformed] / double(kRequests), 0.1, 0.05);
  EXPECT_EQ(count[Outcome::lost], 0);
  const auto counters = sim->counters();
  EXPECT_EQ(counters.fault_count("empty"), static_cast<std::uint64_t>(count[Outcome::empty]));
  EXPECT_EQ(counters.fault_count("error"), static_cast<std::uint64_t>(count[Outcome::error]));
  EXPECT_EQ(counters.fault_count("rate-limit"), static_cast<std::uint64_t>(count[Outcome::rate_limited]));
  EXPECT_EQ(counters.fault_count("malformed"), static_cast<std::uint64_t>(count[Outcome::malformed]));

  const auto same_seed = start(options);
  EXPECT_EQ(outcomes(*same_seed, kRequests), first);
  options.fault_seed = 4;
  const auto other_seed = start(options);
  EXPECT_NE(outcomes(*other_seed, kRequests), first);
}

TEST_F(VeloraSimServer, ResetFaultDropsTheConnectionMidBody) {
  SimOptions options;
  options.set_fault_share("reset", 1.0);
  const auto sim = start(options);
  auto client = client_of(*sim);
  EXPECT_FALSE(get(client, member_page(1)));
  EXPECT_EQ(sim->counters().fault_count("reset"), 1u);
}

TEST_F(VeloraSimServer, CountersCountEndpointsPagesAndConnections) {
  const auto sim = start();
  {
    auto keep_alive = client_of(*sim);
    keep_alive.set_keep_alive(true);
    ASSERT_TRUE(get(keep_alive, member_page(1)));
    ASSERT_TRUE(get(keep_alive, member_page(2)));
    ASSERT_TRUE(get(keep_alive, detail(sim->dataset().member(0).uid)));
  }
  auto one_shot = client_of(*sim);
  ASSERT_TRUE(get(one_shot, order_page(Platform::douyin, 3)));
  ASSERT_TRUE(get(one_shot, member_page(1), std::nullopt));
  ASSERT_TRUE(get(one_shot, "/api/unknown"));

  auto c = sim->counters();
  EXPECT_EQ(c.total_requests, 6u);
  EXPECT_EQ(c.requests(Endpoint::member_list), 3u);
  EXPECT_EQ(c.requests(Endpoint::member_detail), 1u);
  EXPECT_EQ(c.requests(Endpoint::orders_douyin), 1u);
  EXPECT_EQ(c.requests(Endpoint::unknown), 1u);
  EXPECT_EQ(c.page_requests(Endpoint::member_list, 1), 2u);
  EXPECT_EQ(c.page_requests(Endpoint::member_list, 2), 1u);
  EXPECT_EQ(c.page_requests(Endpoint::orders_douyin, 3), 1u);
  EXPECT_EQ(c.page_requests(Endpoint::orders_douyin, 1), 0u);
  EXPECT_EQ(c.statuses[200], 5u);
  EXPECT_EQ(c.statuses[404], 1u);
  // One kept-alive connection, then one connection per request without keep-alive.
  EXPECT_EQ(c.distinct_connections, 4u);

  sim->reset_counters();
  c = sim->counters();
  EXPECT_EQ(c.total_requests, 0u);
  EXPECT_EQ(c.requests(Endpoint::member_list), 0u);
  EXPECT_TRUE(c.per_page.empty());
  EXPECT_EQ(c.distinct_connections, 0u);
  ASSERT_TRUE(get(one_shot, member_page(1)));
  EXPECT_EQ(sim->counters().distinct_connections, 1u);
}

TEST_F(VeloraSimServer, RequestLogHasOneJsonLinePerRequest) {
  SimOptions options;
  options.request_log = temp_path("requests.log");
  options.set_fault_share("empty", 0.0);
  const auto sim = start(options);
  auto client = client_of(*sim);
  const auto first = get(client, member_page(1));
  const auto second = get(client, member_page(2), std::nullopt);
  ASSERT_TRUE(first && second);

  std::ifstream in(options.request_log);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u);
  const auto one = parse(lines[0]);
  ASSERT_FALSE(one.HasParseError()) << lines[0];
  EXPECT_STREQ(one["method"].GetString(), "GET");
  EXPECT_EQ(one["target"].GetString(), member_page(1));
  EXPECT_STREQ(one["endpoint"].GetString(), "member_list");
  EXPECT_TRUE(one["had_token"].GetBool());
  EXPECT_EQ(one["status"].GetInt(), 200);
  EXPECT_EQ(one["bytes"].GetUint64(), first->body.size());
  EXPECT_GT(one["remote_port"].GetInt(), 0);
  EXPECT_TRUE(one["fault"].IsNull());
  EXPECT_EQ(std::string(one["time"].GetString()).size(), 24u);  // 2024-05-01T02:00:00.123Z
  const auto two = parse(lines[1]);
  EXPECT_FALSE(two["had_token"].GetBool());
  EXPECT_EQ(two["bytes"].GetUint64(), second->body.size());
  std::remove(options.request_log.c_str());
}

TEST_F(VeloraSimServer, StopEndsPausesInProgressAndIsIdempotent) {
  SimOptions options;
  options.latency_ms = 600000;
  const auto sim = start(options);
  std::atomic<bool> answered{false};
  std::thread caller([&] {
    auto client = client_of(*sim);
    client.set_read_timeout(600, 0);
    get(client, member_page(1));
    answered = true;
  });
  for (int i = 0; i < 10000 && sim->counters().total_requests == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(sim->counters().total_requests, 1u);
  sim->stop();
  caller.join();
  EXPECT_TRUE(answered);
  sim->stop();

  VeloraSim never_started(std::make_shared<GeneratedDataset>(GeneratorParams{}), SimOptions{});
  never_started.stop();
}

TEST_F(VeloraSimServer, StartReportsBadSettings) {
  const auto dataset = std::make_shared<GeneratedDataset>(GeneratorParams{});
  struct Case {
    const char* what;
    SimOptions options;
  };
  std::vector<Case> cases(3);
  cases[0].what = "unknown fault";
  cases[0].options.set_fault_share("teapot", 0.5);
  cases[1].what = "certificate file";
  cases[1].options.https = true;
  cases[1].options.cert_out = "/nonexistent-dir/cert.pem";
  cases[2].what = "request log";
  cases[2].options.request_log = "/nonexistent-dir/requests.log";
  for (const auto& c : cases) {
    VeloraSim sim(dataset, c.options);
    std::string error;
    EXPECT_FALSE(sim.start(error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

}  // namespace
}  // namespace velora_sim
