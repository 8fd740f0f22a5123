#include "tests/migration_fixture.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "shiftwell/run/run_migration.h"

namespace fs = std::filesystem;

namespace shiftwell::testing {

void RecordingView::append_log_text(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(line);
}

void RecordingView::set_counter_caption(CounterKind kind, const std::string& caption) {
  std::lock_guard<std::mutex> lock(mutex_);
  captions_[static_cast<int>(kind)] = caption;
}

void RecordingView::run_finished(const RunOutcome& outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  outcome_ = outcome;
}

std::vector<std::string> RecordingView::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::string RecordingView::log() const {
  std::string all;
  for (const auto& l : lines()) all += l;
  return all;
}

int RecordingView::count_lines_with(const std::string& text) const {
  int n = 0;
  for (const auto& l : lines()) n += l.find(text) != std::string::npos;
  return n;
}

std::string RecordingView::caption(CounterKind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return captions_[static_cast<int>(kind)];
}

RunOutcome RecordingView::outcome() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outcome_;
}

void MigrationTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  folder = (fs::temp_directory_path() /
            ("shiftwell-e2e-" + std::string(info->test_suite_name()) + "-" + info->name()))
               .string();
  fs::remove_all(folder);
  fs::create_directories(folder);
  state = std::make_unique<ProgramState>();
  state->view = &view;
  state->platform.retry = {10, 200, 20000};
}

void MigrationTest::TearDown() {
  if (sim) sim->stop();
  state.reset();
  fs::remove_all(folder);
}

void MigrationTest::serve(std::shared_ptr<const velora_sim::Dataset> dataset,
                          velora_sim::SimOptions options) {
  sim = std::make_unique<velora_sim::VeloraSim>(std::move(dataset), std::move(options));
  std::string error;
  ASSERT_TRUE(sim->start(error)) << error;
  state->platform.api_base = sim->base_url();
}

RunOutcome MigrationTest::migrate(const std::string& sub_id, const std::string& token) {
  auto thread = start_run(*state, sub_id.empty() ? sim->dataset().sub_id() : sub_id,
                          token.empty() ? sim->token() : token, folder);
  if (thread) thread->wait(-1);
  return view.outcome();
}

namespace {

struct Db {
  explicit Db(const std::string& path, bool memory = false) {
    sqlite3_open_v2(memory ? ":memory:" : path.c_str(), &db,
                    memory ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY, nullptr);
  }
  ~Db() { sqlite3_close(db); }
  Rows rows(const std::string& sql, const std::vector<std::string>& params = {}) const {
    Rows out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
      return out;
    }
    for (std::size_t i = 0; i < params.size(); ++i)
      sqlite3_bind_text(st, static_cast<int>(i + 1), params[i].data(), static_cast<int>(params[i].size()),
                        SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (c) row += '|';
        const auto* text = sqlite3_column_text(st, c);
        row += text ? reinterpret_cast<const char*>(text) : "<null>";
      }
      out.push_back(row);
    }
    sqlite3_finalize(st);
    return out;
  }
  void exec(const std::string& sql) const {
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  }
  sqlite3* db = nullptr;
};

// Expected values pass through a table with the target's declared types, so
// that they get the same type affinity (text "12.50" in a real column reads
// back as 12.5) as the stored ones.
Rows through_affinity(const std::string& columns, const std::vector<std::vector<std::string>>& values) {
  Db mem("", true);
  mem.exec("CREATE TABLE t(" + columns + ")");
  std::string marks;
  const std::size_t n = values.empty() ? 0 : values.front().size();
  for (std::size_t i = 0; i < n; ++i) marks += i ? ",?" : "?";
  for (const auto& row : values) mem.rows("INSERT INTO t VALUES(" + marks + ")", row);
  Rows out = mem.rows("SELECT * FROM t");
  std::sort(out.begin(), out.end());
  return out;
}

Rows sorted(Rows rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::string utc8_text(const std::string& unix_seconds) {
  std::time_t t = static_cast<std::time_t>(std::atoll(unix_seconds.c_str()) + 8 * 3600);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", std::gmtime(&t));
  return buf;
}

std::string cents(const std::string& text) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.13g", std::strtod(text.c_str(), nullptr) / 100.0);
  return buf;
}

const char* kMemberColumns =
    "wxid text, wx_name text, ktx_money real, ztx_money real, zcg_number integer, record text";
const char* kRelationColumns = "sj_wxid text, xj_wxid text, channel text, config text";
const char* kOrderColumns =
    "creation_time text, settling_time text, platform text, wx_name text, title text, id text, picture text, "
    "order_main text, order_vice text, numbers integer, pay_price real, union_yj real, user_yj real, "
    "royalty_one real, client text, order_state text, category text, wxid text";
const char* kWithdrawalColumns =
    "order_main text, order_vice text, creation_time text, settling_time text, wxid text, wx_name text, "
    "t_money real, t_type text, t_source text, t_mode text, staff text, config text";

}  // namespace

std::string MigrationTest::query(const std::string& sql) const {
  Rows r = Db(database()).rows(sql);
  return r.empty() ? "" : r.front();
}

Rows MigrationTest::table(const std::string& sql) const { return sorted(Db(database()).rows(sql)); }

Rows MigrationTest::stored_members() const {
  return table("SELECT wxid, wx_name, ktx_money, ztx_money, zcg_number, record FROM member");
}
Rows MigrationTest::stored_relations() const {
  return table("SELECT sj_wxid, xj_wxid, channel, config FROM fission");
}
Rows MigrationTest::stored_orders() const {
  return table(
      "SELECT creation_time, settling_time, platform, wx_name, title, id, picture, order_main, order_vice, "
      "numbers, "
      "pay_price, union_yj, user_yj, royalty_one, client, order_state, category, wxid FROM register_order");
}
Rows MigrationTest::stored_withdrawals() const {
  return table(
      "SELECT order_main, order_vice, creation_time, settling_time, wxid, wx_name, t_money, t_type, "
      "t_source, "
      "t_mode, staff, config FROM income");
}

Rows MigrationTest::expected_members() const {
  const auto& d = sim->dataset();
  std::vector<std::vector<std::string>> v;
  for (std::size_t i = 0; i < d.member_count(); ++i) {
    const auto m = d.member(i);
    v.push_back(
        {m.wxid, m.nickname, m.balance, m.withdraw_amount, std::to_string(m.finished_orders_number), ""});
  }
  return through_affinity(kMemberColumns, v);
}

Rows MigrationTest::expected_relations() const {
  const auto& d = sim->dataset();
  std::vector<std::vector<std::string>> v;
  for (std::size_t i = 0; i < d.member_count(); ++i) {
    const auto m = d.member(i);
    if (!m.upline_uid) continue;
    const auto up = d.find_member(*m.upline_uid);
    if (up && !up->wxid.empty()) v.push_back({up->wxid, m.wxid, "Velora转移", "{}"});
  }
  return through_affinity(kRelationColumns, v);
}

Rows MigrationTest::expected_orders() const {
  using velora_sim::Platform;
  const auto& d = sim->dataset();
  std::vector<std::vector<std::string>> v;
  for (Platform p : velora_sim::kPlatforms) {
    for (std::size_t i = 0; i < d.order_count(p); ++i) {
      const auto o = d.order(p, i);
      const bool pdd = p == Platform::pinduoduo, douyin = p == Platform::douyin;
      v.push_back({pdd ? utc8_text(o.create_time) : o.create_time,
                   pdd ? utc8_text(o.settle_time) : o.settle_time, std::string(velora_sim::platform_text(p)),
                   o.nickname, o.title, o.item_id, p == Platform::jd ? "" : o.picture, o.order_main,
                   o.order_vice, douyin ? "1" : std::to_string(o.quantity),
                   pdd || douyin ? cents(o.pay_amount) : o.pay_amount,
                   pdd || douyin ? cents(o.commission) : o.commission, o.fl_user, o.fl_agent, "Velora转移",
                   "交易成功", p == Platform::taobao ? o.category : "", o.wxid});
    }
  }
  return through_affinity(kOrderColumns, v);
}

Rows MigrationTest::expected_withdrawals() const {
  const auto& d = sim->dataset();
  std::vector<std::vector<std::string>> v;
  for (std::size_t i = 0; i < d.withdrawal_count(); ++i) {
    const auto w = d.withdrawal(i);
    std::string wxid, name;
    for (std::size_t k = 0; k < d.member_count(); ++k) {
      const auto m = d.member(k);
      if (m.uid == w.userid) {
        wxid = m.wxid;
        name = m.nickname;
        break;
      }
    }
    v.push_back({w.packet_hash, w.packet_hash, w.createdt, w.changedt, wxid, name, w.money, "提现成功",
                 "Velora转移", "Velora转移", "Velora转移", "{}"});
  }
  return through_affinity(kWithdrawalColumns, v);
}

}  // namespace shiftwell::testing
