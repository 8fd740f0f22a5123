#include "tools/velora-sim/platform_api.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <rapidjson/pointer.h>

#include "tools/velora-sim/generator.h"

namespace velora_sim {
namespace {

// Splits "a=1&b=2" as the server's query parser would (no decoding needed here).
std::multimap<std::string, std::string> query(std::string_view text) {
  std::multimap<std::string, std::string> params;
  while (!text.empty()) {
    const auto amp = text.find('&');
    const auto item = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (item.empty()) continue;
    const auto eq = item.find('=');
    params.emplace(std::string(item.substr(0, eq)),
                   eq == std::string_view::npos ? std::string() : std::string(item.substr(eq + 1)));
  }
  return params;
}

class VeloraSimPlatformApi : public ::testing::Test {
 protected:
  VeloraSimPlatformApi() : dataset_(make_params()), api_(dataset_, std::string(kDemoToken)) {}

  static GeneratorParams make_params() {
    GeneratorParams p;
    p.members = 250;
    p.orders = {30, 0, 30, 30, 30};
    p.withdrawals = 10;
    return p;
  }

  ApiAnswer get(const std::string& path, const std::string& q,
                std::optional<std::string> token = std::string(kDemoToken)) const {
    ApiRequest request;
    request.path = path;
    request.params = query(q);
    request.token = std::move(token);
    return api_.answer(request);
  }

  static rapidjson::Document parse(const std::string& body) {
    rapidjson::Document doc;
    doc.Parse(body.c_str());
    EXPECT_FALSE(doc.HasParseError()) << body;
    return doc;
  }

  static std::string list_query(std::string_view fixed, std::string_view sub, int page, int size) {
    return std::string(fixed) + "&sub_id=" + std::string(sub) + "&page=" + std::to_string(page) +
           "&size=" + std::to_string(size);
  }

  GeneratedDataset dataset_;
  PlatformApi api_;
};

TEST_F(VeloraSimPlatformApi, WrongOrMissingTokenGetsAnErrorObjectWithoutList) {
  for (const std::optional<std::string>& token :
       {std::optional<std::string>(), std::optional<std::string>(""), std::optional<std::string>("nope"),
        std::optional<std::string>(std::string(kDemoToken) + "x")}) {
    for (const auto& info : endpoint_table()) {
      const auto answer = get(std::string(info.path), "sub_id=10086&page=1&size=100&member_id=1", token);
      EXPECT_EQ(answer.http_status, 200);
      const auto doc = parse(answer.body);
      EXPECT_EQ(doc["code"].GetInt(), 401) << info.name;
      EXPECT_STREQ(doc["msg"].GetString(), "登录已过期,请重新登录");
      EXPECT_TRUE(doc["data"].IsNull());
      EXPECT_EQ(rapidjson::Pointer("/data/list").Get(doc), nullptr);
    }
  }
}

TEST_F(VeloraSimPlatformApi, MissingOrWrongParametersGetAnErrorObject) {
  struct Case {
    const char* path;
    const char* query;
    const char* complaint;
  };
  const Case cases[] = {
      {"/api/5ff7b79eb13e7", "rebate_condition=1&sub_id=10086&page=1&size=100", "order_condition"},
      {"/api/5ff7b79eb13e7", "order_condition=5&rebate_condition=1&sub_id=10086&page=1&size=100",
       "order_condition"},
      {"/api/5ff7bc80027d5", "order_condition=17&rebate_condition=0&sub_id=10086&page=1&size=100",
       "rebate_condition"},
      {"/api/61ce585b77e1b", "order_condition=settle&rebate_condition=1&sub_id=10086&page=1&size=100",
       "order_condition"},
      {"/api/6066b9ce306d0", "order_condition=5&sub_id=10086&page=1&size=100", "rebate_condition"},
      {"/api/5cb1cca8f1235", "redpacket_state=1&search_condition=1&sub_id=10086&page=1&size=100", "type"},
      {"/api/5cb1cca8f1235", "redpacket_state=2&search_condition=1&sub_id=10086&page=1&size=100&type=1",
       "redpacket_state"},
      {"/api/5cb1cca8f1235", "redpacket_state=1&sub_id=10086&page=1&size=100&type=1", "search_condition"},
      {"/api/5cb07ea5d4413", "page=1&size=100", "sub_id"},
      {"/api/5cb07ea5d4413", "sub_id=10086&size=100", "page"},
      {"/api/5cb07ea5d4413", "sub_id=10086&page=0&size=100", "page"},
      {"/api/5cb07ea5d4413", "sub_id=10086&page=-1&size=100", "page"},
      {"/api/5cb07ea5d4413", "sub_id=10086&page=1x&size=100", "page"},
      {"/api/5cb07ea5d4413", "sub_id=10086&page=1", "size"},
      {"/api/5cb07ea5d4413", "sub_id=10086&page=1&size=0", "size"},
      {"/api/5cb96c85a2f29", "sub_id=10086", "member_id"},
      {"/api/5cb96c85a2f29", "sub_id=10086&member_id=abc", "member_id"},
      {"/api/5cb96c85a2f29", "member_id=1", "sub_id"},
  };
  for (const auto& c : cases) {
    const auto answer = get(c.path, c.query);
    const auto doc = parse(answer.body);
    EXPECT_EQ(doc["code"].GetInt(), 400) << c.path << "?" << c.query;
    EXPECT_EQ(std::string(doc["msg"].GetString()), std::string("参数错误: ") + c.complaint) << c.query;
    EXPECT_EQ(rapidjson::Pointer("/data/list").Get(doc), nullptr);
  }
}

TEST_F(VeloraSimPlatformApi, PagesCoverTheListOnceInOrderAndEndEmpty) {
  std::vector<std::int64_t> uids;
  const int expected_sizes[] = {100, 100, 50, 0, 0};
  for (int page = 1; page <= 5; ++page) {
    const auto answer = get("/api/5cb07ea5d4413", list_query("", "10086", page, 100));
    EXPECT_EQ(answer.page, page);
    const auto doc = parse(answer.body);
    const auto& list = doc["data"]["list"];
    ASSERT_TRUE(list.IsArray());
    EXPECT_EQ(list.Size(), static_cast<rapidjson::SizeType>(expected_sizes[page - 1])) << "page " << page;
    EXPECT_EQ(doc["data"]["total"].GetInt(), 250);
    for (const auto& item : list.GetArray()) uids.push_back(item["uid"].GetInt64());
  }
  ASSERT_EQ(uids.size(), 250u);
  for (std::size_t i = 0; i < uids.size(); ++i) EXPECT_EQ(uids[i], dataset_.member(i).uid);
}

TEST_F(VeloraSimPlatformApi, SizeAbove100IsCappedAndFarPagesAreEmpty) {
  const auto capped = parse(get("/api/5cb07ea5d4413", list_query("", "10086", 1, 500)).body);
  EXPECT_EQ(capped["data"]["list"].Size(), 100u);
  EXPECT_EQ(capped["data"]["size"].GetInt(), 100);
  const auto small = parse(get("/api/5cb07ea5d4413", list_query("", "10086", 3, 7)).body);
  EXPECT_EQ(small["data"]["list"][0]["uid"].GetInt64(), dataset_.member(14).uid);
  const auto far = parse(get("/api/5cb07ea5d4413", "sub_id=10086&page=999999999999999999&size=100").body);
  EXPECT_EQ(far["data"]["list"].Size(), 0u);
}

TEST_F(VeloraSimPlatformApi, WrongRobotNumberGetsEmptyListsAndNoDetails) {
  for (const auto& info : endpoint_table()) {
    if (!info.paged) continue;
    std::string fixed;
    for (const auto& [name, value] : info.fixed) fixed += std::string(name) + "=" + std::string(value) + "&";
    const auto doc = parse(get(std::string(info.path), fixed + "sub_id=99999&page=1&size=100").body);
    EXPECT_EQ(doc["code"].GetInt(), 200) << info.name;
    EXPECT_EQ(doc["data"]["list"].Size(), 0u) << info.name;
    EXPECT_EQ(doc["data"]["total"].GetInt(), 0);
  }
  const auto uid = std::to_string(dataset_.member(0).uid);
  EXPECT_EQ(parse(get("/api/5cb96c85a2f29", "sub_id=99999&member_id=" + uid).body)["code"].GetInt(), 404);
  EXPECT_EQ(parse(get("/api/5cb96c85a2f29", "sub_id=10086&member_id=" + uid).body)["code"].GetInt(), 200);
}

TEST_F(VeloraSimPlatformApi, UnknownMemberPathAndMethodAreRefused) {
  const auto unknown_member = parse(get("/api/5cb96c85a2f29", "sub_id=10086&member_id=1").body);
  EXPECT_EQ(unknown_member["code"].GetInt(), 404);
  EXPECT_TRUE(unknown_member["data"].IsNull());

  const auto unknown_path = get("/api/nothing", "sub_id=10086");
  EXPECT_EQ(unknown_path.http_status, 404);
  EXPECT_EQ(unknown_path.endpoint, Endpoint::unknown);

  ApiRequest post;
  post.method = "POST";
  post.path = "/api/5cb07ea5d4413";
  post.params = query(list_query("", "10086", 1, 100));
  post.token = std::string(kDemoToken);
  EXPECT_EQ(api_.answer(post).http_status, 405);
}

TEST_F(VeloraSimPlatformApi, DetailShowsUplineOrAnEmptyArray) {
  std::optional<Member> with_upline, without_upline;
  for (std::size_t i = 0; i < dataset_.member_count() && !(with_upline && without_upline); ++i) {
    const Member m = dataset_.member(i);
    (m.upline_uid ? with_upline : without_upline) = m;
  }
  ASSERT_TRUE(with_upline && without_upline);

  const auto up =
      parse(get("/api/5cb96c85a2f29", "sub_id=10086&member_id=" + std::to_string(with_upline->uid)).body);
  EXPECT_EQ(up["data"]["wxid"].GetString(), with_upline->wxid);
  EXPECT_EQ(up["data"]["superiors_info"]["uid"].GetInt64(), *with_upline->upline_uid);

  const auto none =
      parse(get("/api/5cb96c85a2f29", "sub_id=10086&member_id=" + std::to_string(without_upline->uid)).body);
  ASSERT_TRUE(none["data"]["superiors_info"].IsArray());
  EXPECT_EQ(none["data"]["superiors_info"].Size(), 0u);
  EXPECT_EQ(rapidjson::Pointer("/data/superiors_info/uid").Get(none), nullptr);
}

TEST_F(VeloraSimPlatformApi, EmptyPlatformListEndsAtPageOne) {
  const auto doc = parse(
      get("/api/5ff7bc80027d5", list_query("order_condition=17&rebate_condition=1", "10086", 1, 100)).body);
  EXPECT_EQ(doc["data"]["list"].Size(), 0u);
  EXPECT_EQ(doc["data"]["total"].GetInt(), 0);
}

}  // namespace
}  // namespace velora_sim
