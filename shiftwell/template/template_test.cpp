#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "port/file.h"
#include "shiftwell/template/template_image.h"

namespace shiftwell {
namespace {

namespace fs = std::filesystem;

// Fields of the SQLite 3 file header that the image must carry.
struct HeaderField {
  const char* what;
  int offset, size;
  std::uint32_t value;
};

std::uint32_t big_endian(std::string_view bytes, int offset, int size) {
  std::uint32_t value = 0;
  for (int i = 0; i < size; ++i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

TEST(TemplateImage, HeaderCarriesTheFileSettings) {
  const std::string_view image = template_image();
  ASSERT_GE(image.size(), 100u);
  EXPECT_EQ(image.substr(0, 16), std::string_view("SQLite format 3\0", 16));
  const HeaderField fields[] = {
      {"page size", 16, 2, 4096},
      {"file format write version (WAL)", 18, 1, 2},
      {"file format read version (WAL)", 19, 1, 2},
      {"reserved bytes per page", 20, 1, 0},
      {"schema format number", 44, 4, 4},
      {"default page cache size", 48, 4, 0},
      {"auto-vacuum", 52, 4, 0},
      {"text encoding (UTF-8)", 56, 4, 1},
      {"user version", 60, 4, 0},
      {"incremental vacuum", 64, 4, 0},
      {"application id", 68, 4, 0},
  };
  for (const HeaderField& f : fields) EXPECT_EQ(big_endian(image, f.offset, f.size), f.value) << f.what;
  // The page count in the header must describe the whole image.
  EXPECT_EQ(image.size(), std::size_t{big_endian(image, 28, 4)} * 4096);
}

struct Column {
  const char* name;
  const char* type;
  bool not_null;
  int pk;  // position in the primary key, 0 when not part of it
};

const Column kRegisterOrder[] = {
    {"creation_time", "text", false, 0}, {"settling_time", "text", false, 0},
    {"freeze_time", "text", false, 0},   {"platform", "text", false, 0},
    {"wx_name", "text", false, 0},       {"wx_remarks", "text", false, 0},
    {"title", "text", false, 0},         {"id", "text", false, 0},
    {"picture", "text", false, 0},       {"order_main", "text", false, 0},
    {"order_vice", "text", true, 1},     {"numbers", "integer", false, 0},
    {"pay_price", "real", false, 0},     {"union_yj", "real", false, 0},
    {"union_yj_rate", "real", false, 0}, {"user_yj", "real", false, 0},
    {"user_yj_rate", "text", false, 0},  {"royalty_one", "real", false, 0},
    {"royalty_two", "real", false, 0},   {"royalty_three", "real", false, 0},
    {"royalty_rate", "text", false, 0},  {"income", "real", false, 0},
    {"union_branch", "text", false, 0},  {"client", "text", false, 0},
    {"order_state", "text", false, 0},   {"pid", "text", false, 0},
    {"category", "text", false, 0},      {"wxid", "text", true, 0},
    {"g_wxid", "text", false, 0},        {"seller_nick", "text", false, 0},
    {"mb_data", "text", false, 0},       {"my_wxid", "text", false, 0},
    {"agent_yj", "real", false, 0},      {"agent_rate", "real", false, 0},
    {"robot_income", "real", false, 0},  {"agent_data", "text", false, 0},
    {"source", "text", false, 0},
};
const Column kMember[] = {
    {"id", "integer", false, 0},         {"wxid", "text", true, 1},
    {"wx_user", "text", false, 0},       {"grade", "integer", false, 0},
    {"wx_name", "text", false, 0},       {"wx_remarks", "text", false, 0},
    {"name", "text", false, 0},          {"zfb", "text", false, 0},
    {"ztx_money", "real", false, 0},     {"ktx_money", "real", false, 0},
    {"wsh_money", "real", false, 0},     {"ycs_money", "real", false, 0},
    {"zcg_number", "integer", false, 0}, {"zth_number", "integer", false, 0},
    {"zwq_number", "integer", false, 0}, {"qd_number", "integer", false, 0},
    {"qd_money", "integer", false, 0},   {"qd_time", "text", false, 0},
    {"royalty_one", "real", false, 0},   {"royalty_two", "real", false, 0},
    {"royalty_three", "real", false, 0}, {"royalty_total", "real", false, 0},
    {"rebate_type", "text", false, 0},   {"royalty_type", "text", false, 0},
    {"pid", "text", false, 0},           {"adding_time", "text", false, 0},
    {"due_time", "text", false, 0},      {"shopping_time", "text", false, 0},
    {"configure", "text", false, 0},     {"gzh_id", "text", false, 0},
    {"record", "text", false, 0},        {"my_wxid", "text", false, 0},
};
const Column kFission[] = {
    {"creation_time", "text", false, 0},   {"sj_wxid", "text", false, 0},
    {"xj_wxid", "text", true, 1},          {"channel", "text", false, 0},
    {"my_wxid", "text", false, 0},         {"xj_num", "integer", false, 0},
    {"xj_num_two", "integer", false, 0},   {"xj_num_three", "integer", false, 0},
    {"xj_money_one", "real", false, 0},    {"xj_money_two", "real", false, 0},
    {"xj_money_three", "real", false, 0},  {"xj_order_one", "integer", false, 0},
    {"xj_order_two", "integer", false, 0}, {"xj_order_three", "integer", false, 0},
    {"config", "text", false, 0},
};
const Column kIncome[] = {
    {"order_main", "text", true, 1},     {"order_vice", "text", false, 0},
    {"creation_time", "text", false, 0}, {"settling_time", "text", false, 0},
    {"wxid", "text", false, 0},          {"wx_user", "text", false, 0},
    {"wx_name", "text", false, 0},       {"wx_remarks", "text", false, 0},
    {"name", "text", false, 0},          {"zfb", "text", false, 0},
    {"t_money", "real", false, 0},       {"t_type", "text", false, 0},
    {"t_source", "text", false, 0},      {"t_mode", "text", false, 0},
    {"staff", "text", false, 0},         {"g_wxid", "text", false, 0},
    {"my_wxid", "text", false, 0},       {"config", "text", false, 0},
};

struct RepairRow {
  std::int64_t id;
  const char* content;
  const char* update_time;
};

// Two contents carry a backslash followed by n, not line breaks; three end in a blank.
const RepairRow kRepairRows[] = {
    {202309090, "1.修复正式版佣金比例错误以及预估收入错误", "2025-09-26 10:33:16"},
    {202310091, "1.修复合并数据库后订单重复问题", "2025-09-26 10:33:16"},
    {202310280,
     "1.修复公众号自动插入新用户微信id数据错误问题\\n2.修复未计算预计收入问题\\n3.修复统计错误问题 ",
     "2025-09-26 10:33:16"},
    {202311070, "1.清除售后中和退货中两个类型 ", "2025-09-26 10:33:16"},
    {202311140, "1.修复成员信息成员详细没有市区问题 ", "2025-09-26 10:33:16"},
    {202311180, "1.检测表并创建platform_replace", "2025-09-26 10:33:16"},
    {202311220, "1.修复获取gf_gzh没有头像绑定以及微信好友插入成员类型为gf_gzh问题", "2025-09-26 10:33:16"},
    {202312130, "1.修复部分数据库无索引问题,2.修复代理提成json格式错误问题", "2025-09-26 10:34:26"},
    {202312160,
     "1.屏蔽拼多多独立pid 2.修复转移后的member独立pid不是json格式问题 "
     "3.register_order表增加索引以及Invalid_order表增加索引",
     "2025-09-26 10:33:16"},
    {202312280, "1.修复部分群成员为空的问题 2.修复商城成员重复以及公众号成员重复绑定问题",
     "2025-09-26 10:33:16"},
    {202312310, "1.修复数据库失效订单时间显示错误问题", "2025-09-26 10:33:16"},
    {202401040, "1.修复红包记录表清除主键", "2025-09-26 10:33:16"},
    {202401150, "1.查询记录增加查询账号id", "2025-09-26 10:33:16"},
    {202402220, "1.重置统计上下级的数据无法精准统计好数据", "2025-09-26 10:33:16"},
    {202403030, "1.重置统计上下级的数据无法精准统计好数据", "2025-09-26 10:33:16"},
    {202404170, "1.补充聚合支付字段", "2025-09-26 10:33:16"},
    {202405190, "1.增加是失效订单失效时间索引[sxdd_freeze_time]", "2025-09-26 10:33:16"},
    {202405311, "1.优化修复数据库索引", "2025-09-26 10:33:16"},
    {202505130, "1.单账号版本切换到多账户版本", "2025-09-26 10:33:18"},
    {202507190, "1.配置表新增字段", "2025-09-26 10:33:16"},
};

// Each test writes the image to a file of its own and reads it back through
// SQLite, read-only, as any client of the finished file would.
class WrittenTemplate : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("template_test_" + std::string(info->name()) + "_" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ASSERT_TRUE(fs::create_directories(dir_));
    path_ = (dir_ / "数据库_12345.db").string();
  }
  void TearDown() override {
    if (db_) sqlite3_close(db_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void open_written() {
    std::string error;
    ASSERT_TRUE(write_template(path_, &error)) << error;
    ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db_);
  }

  // All rows of a query as text; NULL reads as "(null)".
  std::vector<std::vector<std::string>> rows(const std::string& sql) {
    std::vector<std::vector<std::string>> result;
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db_);
    if (!stmt) return result;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::vector<std::string>& row = result.emplace_back();
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        row.emplace_back(text ? std::string(text, sqlite3_column_bytes(stmt, i)) : "(null)");
      }
    }
    EXPECT_EQ(rc, SQLITE_DONE) << sql << ": " << sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return result;
  }

  std::string value(const std::string& sql) {
    const auto result = rows(sql);
    return result.empty() || result[0].empty() ? "(no row)" : result[0][0];
  }

  std::vector<std::string> table_names() {
    std::vector<std::string> names;
    for (const auto& row : rows("SELECT name FROM sqlite_master WHERE type = 'table'"))
      names.push_back(row[0]);
    return names;
  }

  void expect_columns(const std::string& table, const Column* begin, const Column* end) {
    SCOPED_TRACE(table);
    const auto info = rows("SELECT name, type, \"notnull\", pk FROM pragma_table_info('" + table + "')");
    ASSERT_EQ(info.size(), static_cast<std::size_t>(end - begin));
    for (std::size_t i = 0; i < info.size(); ++i) {
      const Column& c = begin[i];
      SCOPED_TRACE(testing::Message() << "column " << i + 1 << " " << c.name);
      EXPECT_EQ(info[i][0], c.name);
      EXPECT_TRUE(sqlite3_stricmp(info[i][1].c_str(), c.type) == 0) << info[i][1];
      EXPECT_EQ(info[i][2], c.not_null ? "1" : "0");
      EXPECT_EQ(info[i][3], std::to_string(c.pk));
    }
  }

  fs::path dir_;
  std::string path_;
  sqlite3* db_ = nullptr;
};

TEST_F(WrittenTemplate, FileIsTheImageExactly) {
  std::string error;
  ASSERT_TRUE(write_template(path_, &error)) << error;
  std::string bytes;
  ASSERT_TRUE(port::read_file(path_, bytes));
  EXPECT_TRUE(bytes == template_image()) << "written " << bytes.size() << " of " << template_image().size();
}

TEST_F(WrittenTemplate, OverwritingALargerFileLeavesOnlyTheImage) {
  const std::string earlier(template_image().size() + 100000, 'x');
  ASSERT_TRUE(port::write_file(path_, earlier));
  ASSERT_TRUE(write_template(path_));
  std::string bytes;
  ASSERT_TRUE(port::read_file(path_, bytes));
  EXPECT_EQ(bytes.size(), template_image().size());
  EXPECT_TRUE(bytes == template_image());
}

TEST_F(WrittenTemplate, FolderThatDoesNotExistFailsWithAReason) {
  std::string error;
  EXPECT_FALSE(write_template((dir_ / "missing" / "数据库_1.db").string(), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(write_template((dir_ / "missing" / "数据库_1.db").string(), nullptr));
}

TEST_F(WrittenTemplate, FileSettingsAsSQLiteReportsThem) {
  ASSERT_NO_FATAL_FAILURE(open_written());
  EXPECT_EQ(value("PRAGMA page_size"), "4096");
  EXPECT_EQ(value("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(value("PRAGMA encoding"), "UTF-8");
  EXPECT_EQ(value("PRAGMA auto_vacuum"), "0");
  EXPECT_EQ(value("PRAGMA user_version"), "0");
  EXPECT_EQ(value("PRAGMA application_id"), "0");
  EXPECT_EQ(value("PRAGMA integrity_check"), "ok");
}

TEST_F(WrittenTemplate, HoldsTheTablesAndOnlySqlRepairHasRows) {
  ASSERT_NO_FATAL_FAILURE(open_written());
  const std::vector<std::string> names = table_names();
  EXPECT_EQ(names.size(), 38u);
  const std::set<std::string> distinct(names.begin(), names.end());
  EXPECT_EQ(distinct.size(), names.size());
  for (const char* expected :
       {"sqlite_sequence", "register_order", "member", "fission", "income", "sql_repair", "Invalid_order",
        "register_order_history", "anypay", "reward", "anypay_whitelist"})
    EXPECT_TRUE(distinct.count(expected)) << expected;

  for (const std::string& table : names) {
    const std::string count = value("SELECT count(*) FROM \"" + table + "\"");
    EXPECT_EQ(count, table == "sql_repair" ? "20" : "0") << table;
  }
}

TEST_F(WrittenTemplate, IntegerKeysAliasTheRowidAndTwoTablesCountUp) {
  ASSERT_NO_FATAL_FAILURE(open_written());
  // A rowid alias needs no index of its own; any other key has an automatic one.
  EXPECT_EQ(value("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name IN "
                  "('sql_repair', 'image_template', 'anypay', 'reward')"),
            "0");
  for (const char* table : {"sql_repair", "image_template", "anypay", "reward"}) {
    EXPECT_EQ(value(std::string("SELECT type || ' ' || \"notnull\" || ' ' || pk FROM pragma_table_info('") +
                    table + "') WHERE name = 'id'"),
              "INTEGER 1 1")
        << table;
  }
  const auto autoincrement = rows(
      "SELECT name FROM sqlite_master WHERE type = 'table' AND sql LIKE '%AUTOINCREMENT%' ORDER BY name");
  EXPECT_EQ(autoincrement, (std::vector<std::vector<std::string>>{{"anypay"}, {"reward"}}));
}

TEST_F(WrittenTemplate, HoldsTheNamedIndexesAllPlain) {
  ASSERT_NO_FATAL_FAILURE(open_written());
  EXPECT_EQ(value("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"), "117");
  EXPECT_EQ(value("SELECT count(*) FROM sqlite_master AS m, pragma_index_list(m.name) AS i "
                  "WHERE m.type = 'table' AND i.origin = 'c' AND i.\"unique\" = 0"),
            "117");
}

TEST_F(WrittenTemplate, IndexesCoverTheirColumnsInTheirDirections) {
  ASSERT_NO_FATAL_FAILURE(open_written());
  struct IndexCase {
    const char* name;
    const char* table;
    std::vector<std::vector<std::string>> columns;  // name and 1 for descending
  };
  const std::vector<std::vector<std::string>> wpos = {
      {"wxid", "0"}, {"platform", "0"}, {"settling_time", "1"}, {"order_state", "0"}};
  const IndexCase cases[] = {
      {"ddgl_lhsy_wpos", "register_order", wpos},
      {"ddgl_h_lhsy_wpos", "register_order_history", wpos},
      {"sxdd_lhsy_wpos", "Invalid_order", wpos},
      {"ddgl_lhsy_ps", "register_order", {{"platform", "0"}, {"settling_time", "1"}}},
      {"ddgl_freeze_time", "register_order", {{"freeze_time", "0"}}},
      {"sxdd_freeze_time", "Invalid_order", {{"freeze_time", "1"}}},
      {"txsq_creation_time", "income", {{"creation_time", "1"}}},
      {"hyxx_grade", "member", {{"grade", "1"}}},
      {"hyxx_zfb", "member", {{"zfb", "0"}}},
      {"lbgl_sj_wxid", "fission", {{"sj_wxid", "0"}}},
      {"tild_my_wxid", "add_friends", {{"my_wxid", "0"}}},
      {"qzgl_g_Invoice", "wxgroup", {{"g_Invoice", "0"}}},
      {"hygl_data_v1", "friend", {{"data_v1", "0"}}},
      {"cxjl_id", "query_share", {{"id", "0"}}},
  };
  for (const IndexCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(value(std::string("SELECT tbl_name FROM sqlite_master WHERE type = 'index' AND name = '") +
                    c.name + "'"),
              c.table);
    EXPECT_EQ(rows(std::string("SELECT name, desc FROM pragma_index_xinfo('") + c.name + "') WHERE key = 1"),
              c.columns);
  }
}

TEST_F(WrittenTemplate, SqlRepairHoldsItsTwentyRowsExactly) {
  ASSERT_NO_FATAL_FAILURE(open_written());
  const auto stored = rows("SELECT id, typeof(id), content, update_time FROM sql_repair ORDER BY id");
  ASSERT_EQ(stored.size(), std::size(kRepairRows));
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const RepairRow& expected = kRepairRows[i];
    SCOPED_TRACE(expected.id);
    EXPECT_EQ(stored[i][0], std::to_string(expected.id));
    EXPECT_EQ(stored[i][1], "integer");
    EXPECT_EQ(stored[i][2], expected.content);
    EXPECT_EQ(stored[i][3], expected.update_time);
  }
}

TEST_F(WrittenTemplate, WrittenTablesHaveTheirColumnsInOrder) {
  ASSERT_NO_FATAL_FAILURE(open_written());
  expect_columns("register_order", std::begin(kRegisterOrder), std::end(kRegisterOrder));
  expect_columns("member", std::begin(kMember), std::end(kMember));
  expect_columns("fission", std::begin(kFission), std::end(kFission));
  expect_columns("income", std::begin(kIncome), std::end(kIncome));
}

TEST_F(WrittenTemplate, OrderCopiesShareTheOrderColumns) {
  ASSERT_NO_FATAL_FAILURE(open_written());
  expect_columns("register_order_history", std::begin(kRegisterOrder), std::end(kRegisterOrder));
  // Invalid orders are the same except that wxid may be NULL.
  std::vector<Column> invalid(std::begin(kRegisterOrder), std::end(kRegisterOrder));
  for (Column& c : invalid)
    if (std::string(c.name) == "wxid") c.not_null = false;
  expect_columns("Invalid_order", invalid.data(), invalid.data() + invalid.size());
}

}  // namespace
}  // namespace shiftwell
