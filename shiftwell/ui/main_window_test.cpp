#include "shiftwell/ui/main_window.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "port/file.h"
#include "port/program_path.h"
#include "shiftwell/run/run_log.h"
#include "shiftwell/ui/window_services.h"
#include "tools/velora-sim/generator.h"
#include "tools/velora-sim/velora_sim.h"

namespace shiftwell {
namespace {

// One application object for the whole test program, on the offscreen platform.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    services_ = std::make_unique<WindowServices>(argc_, argv_);
  }
  void TearDown() override { services_.reset(); }

 private:
  int argc_ = 1;
  char name_[18] = "shiftwell_ui_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<WindowServices> services_;
};

::testing::Environment* const qt_environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Runs the event loop until done() holds; the bound only keeps a broken run from hanging the suite.
bool wait_until(const std::function<bool()>& done, int bound_ms = 180000) {
  for (int waited = 0; !done(); waited += 10) {
    if (waited >= bound_ms) return false;
    QTest::qWait(10);
  }
  return true;
}

template <class T>
T* control(QWidget& window, const char* name) {
  return window.findChild<T*>(QString::fromUtf8(name));
}

QStringList log_lines(QWidget& window) {
  return control<QPlainTextEdit>(window, "编辑框_日志")->toPlainText().split(QLatin1Char('\n'));
}

std::string last_log_line(QWidget& window) { return log_lines(window).last().toStdString(); }

// The value a counter label shows after its caption; 0 for the caption alone.
int shown_count(QWidget& window, const char* name, CounterKind kind) {
  const QString text = control<QLabel>(window, name)->text();
  const QString caption = QString::fromUtf8(counter_caption(kind));
  EXPECT_TRUE(text.startsWith(caption)) << text.toStdString();
  return text.mid(caption.size()).toInt();
}

struct CounterLabel {
  const char* name;
  CounterKind kind;
  const char* table;  // where the counted rows go
};
const CounterLabel kCounterLabels[] = {
    {"标签_会员数量", CounterKind::member, "member"},
    {"标签_上下级数量", CounterKind::relation, "fission"},
    {"标签_订单数量", CounterKind::order, "register_order"},
    {"标签_提现数量", CounterKind::withdrawal, "income"},
};

class Database {
 public:
  explicit Database(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "cannot open " << path;
      sqlite3_close(db_);
      db_ = nullptr;
    }
  }
  ~Database() { sqlite3_close(db_); }

  std::string text(const std::string& sql) {
    if (!db_) return "(no database)";
    sqlite3_stmt* st = nullptr;
    std::string out = "(error)";
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    else
      out += std::string(" ") + sqlite3_errmsg(db_);
    sqlite3_finalize(st);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

// What every run must leave behind, finished or stopped.
void expect_consistent_database(const std::string& path) {
  ASSERT_TRUE(port::file_exists(path)) << path;
  Database db(path);
  EXPECT_EQ(db.text("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(db.text("SELECT count(*) FROM member WHERE record <> ''"), "0");
  EXPECT_EQ(db.text("PRAGMA freelist_count"), "0");
}

void expect_no_run_thread(ProgramState& state, MainWindow& window) {
  EXPECT_FALSE(window.run_in_progress());
  EXPECT_FALSE(state.running.load());
  for (auto* group : {&state.member_threads, &state.order_threads, &state.withdrawal_threads})
    for (auto& thread : *group)
      if (thread) {
        EXPECT_TRUE(thread->wait(0)) << "a worker still runs";
      }
}

// A window over a fresh program-wide state, its runs written to a temporary
// folder, and the local platform serving a generated robot.
class WindowFixture : public ::testing::Test {
 protected:
  void start_platform(velora_sim::GeneratorParams params, int latency_ms) {
    velora_sim::SimOptions options;
    options.latency_ms = latency_ms;
    sim_ = std::make_unique<velora_sim::VeloraSim>(std::make_shared<velora_sim::GeneratedDataset>(params),
                                                   options);
    std::string error;
    ASSERT_TRUE(sim_->start(error)) << error;
    state_.platform.api_base = sim_->base_url();
  }

  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    window_ = std::make_unique<MainWindow>(state_);
    window_->set_database_folder(folder());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  void TearDown() override {
    window_.reset();  // before the state and the platform
    if (sim_) sim_->stop();
  }

  std::string folder() const { return folder_.path().toStdString(); }
  std::string database() const { return folder() + "/数据库_" + std::string(velora_sim::kDemoSubId) + ".db"; }
  QPushButton* start_button() { return control<QPushButton>(*window_, "按钮_启动"); }
  QPushButton* stop_button() { return control<QPushButton>(*window_, "按钮_停止"); }

  void type_input(const QString& sub_id, const QString& token) {
    auto* sub_edit = control<QLineEdit>(*window_, "编辑框_sub编号");
    auto* token_edit = control<QPlainTextEdit>(*window_, "编辑框_token");
    sub_edit->clear();
    token_edit->clear();
    QTest::keyClicks(sub_edit, sub_id);
    QTest::keyClicks(token_edit, token);
  }

  void type_demo_input() {
    type_input(QString::fromUtf8(velora_sim::kDemoSubId.data()),
               QString::fromUtf8(velora_sim::kDemoToken.data()));
  }

  bool run_ended() { return start_button()->isEnabled(); }

  // Waits until the members counter moved: the run is well under way.
  bool wait_for_first_rows() {
    return wait_until([&] { return shown_count(*window_, "标签_会员数量", CounterKind::member) > 0; });
  }

  QTemporaryDir folder_;
  ProgramState state_;
  std::unique_ptr<velora_sim::VeloraSim> sim_;
  std::unique_ptr<MainWindow> window_;
};

velora_sim::GeneratorParams small_robot() {
  velora_sim::GeneratorParams p;
  p.members = 230;
  p.orders = {120, 30, 15, 10, 5};
  p.withdrawals = 40;
  return p;
}

// Big and slow enough that a stop or a close always comes mid-run.
velora_sim::GeneratorParams big_robot() {
  velora_sim::GeneratorParams p;
  p.members = 5000;
  p.orders = {3000, 3000, 3000, 3000, 3000};
  p.withdrawals = 2000;
  return p;
}

using WindowLayout = WindowFixture;

TEST_F(WindowLayout, TitlePlaceAndClientSize) {
  EXPECT_EQ(window_->windowTitle().toStdString(), "Orvane-Velora网页转V2");
  EXPECT_EQ(window_->frameGeometry().topLeft(), QPoint(50, 50));
  EXPECT_EQ(window_->size(), QSize(572, 383));
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize())
      << "the layout is fixed; the window must not resize";
  // The client area is exactly what the log box fills.
  const QRect log = control<QWidget>(*window_, "编辑框_日志")->geometry();
  EXPECT_EQ(log.right() + 1, window_->width());
  EXPECT_EQ(log.bottom() + 1, window_->height());
}

TEST_F(WindowLayout, EveryControlAtItsPlaceWithItsPresetText) {
  struct {
    const char* name;
    const char* kind;
    QRect place;
    const char* preset;
  } cases[] = {
      {"标签1", "QLabel", {8, 8, 184, 16}, "网页sub_id(可理解为机器人编号)"},
      {"编辑框_sub编号", "QLineEdit", {192, 8, 64, 16}, ""},
      {"标签2", "QLabel", {8, 33, 56, 16}, "网页token"},
      {"编辑框_token", "QPlainTextEdit", {68, 33, 500, 47}, ""},
      {"按钮_启动", "QPushButton", {8, 96, 80, 32}, "开始转移"},
      {"标签_会员数量", "QLabel", {104, 89, 120, 16}, "会员数量："},
      {"标签_上下级数量", "QLabel", {240, 89, 120, 16}, "上下级数量："},
      {"标签_订单数量", "QLabel", {392, 89, 120, 16}, "订单数量："},
      {"标签_提现数量", "QLabel", {104, 120, 120, 16}, "提现数量："},
      {"编辑框_日志",
       "QPlainTextEdit",
       {0, 144, 572, 239},
       "会员信息：微信id  微信名称 余额 总提现金额  上下级关系\n"
       "提现记录：只转移提现成功并且已经领取的记录\n"
       "订单管理：只转移 已经结算的并且已返利的订单  其他不转移 因为不是通过我们平台下单的无法跟单"},
      {"按钮_停止", "QPushButton", {240, 116, 80, 24}, "停止转移"},
  };
  std::vector<QWidget*> all;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget* w = control<QWidget>(*window_, c.name);
    ASSERT_NE(w, nullptr);
    all.push_back(w);
    EXPECT_TRUE(w->inherits(c.kind)) << w->metaObject()->className();
    EXPECT_EQ(w->parentWidget(), window_.get());
    EXPECT_EQ(w->geometry(), c.place);
    EXPECT_TRUE(w->isVisible());
    QString text;
    if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
    if (auto* line = qobject_cast<QLineEdit*>(w)) text = line->text();
    if (auto* box = qobject_cast<QPlainTextEdit*>(w)) text = box->toPlainText();
    if (auto* button = qobject_cast<QPushButton*>(w)) text = button->text();
    EXPECT_EQ(text.toStdString(), c.preset);
  }
  for (std::size_t i = 0; i < all.size(); ++i)
    for (std::size_t j = i + 1; j < all.size(); ++j)
      EXPECT_FALSE(all[i]->geometry().intersects(all[j]->geometry()))
          << all[i]->objectName().toStdString() << " overlaps " << all[j]->objectName().toStdString();
}

TEST_F(WindowLayout, FieldsButtonsAndLogBox) {
  auto* token = control<QPlainTextEdit>(*window_, "编辑框_token");
  EXPECT_EQ(token->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(token->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_FALSE(token->isReadOnly());

  auto* log = control<QPlainTextEdit>(*window_, "编辑框_日志");
  EXPECT_TRUE(log->isReadOnly());
  EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(log->verticalScrollBar()->isVisible());
  EXPECT_EQ(log->palette().color(QPalette::Base), QColor(0, 0, 0));
  EXPECT_EQ(log->palette().color(QPalette::Text), QColor(255, 0, 0));
  EXPECT_EQ(log->document()->blockCount(), 3);

  EXPECT_TRUE(start_button()->isEnabled());
  EXPECT_FALSE(stop_button()->isEnabled()) << "nothing to stop while idle";
}

using RunDisplay = WindowFixture;

TEST_F(RunDisplay, LinesAndCaptionsFromManyThreadsArriveWholeInOrder) {
  constexpr int kThreads = 4, kLines = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kLines; ++i) {
        append_log(state_, "线程" + std::to_string(t) + "第" + std::to_string(i) + "行");
        add_to_counter(state_, static_cast<CounterKind>(t));
        add_to_counter(state_, CounterKind::order);
      }
    });
  }
  for (auto& t : threads) t.join();
  ASSERT_TRUE(wait_until([&] { return log_lines(*window_).size() == 3 + kThreads * kLines; }));
  QTest::qWait(50);  // captions were queued before the last line
  const QStringList lines = log_lines(*window_);
  std::map<int, int> next;
  for (int n = 3; n < lines.size(); ++n) {
    const std::string line = lines[n].toStdString();
    const auto arrow = line.find("--->>>>>线程");
    ASSERT_NE(arrow, std::string::npos) << line;
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str() + arrow, "--->>>>>线程%d第%d行", &t, &i), 2) << line;
    EXPECT_EQ(i, next[t]++) << "lines of one thread out of order: " << line;
  }
  // Captions are applied in the order the counters were raised: the last one shows the total.
  EXPECT_EQ(shown_count(*window_, "标签_会员数量", CounterKind::member), kLines);
  EXPECT_EQ(shown_count(*window_, "标签_上下级数量", CounterKind::relation), kLines);
  EXPECT_EQ(shown_count(*window_, "标签_订单数量", CounterKind::order), kThreads * kLines + kLines);
  EXPECT_EQ(shown_count(*window_, "标签_提现数量", CounterKind::withdrawal), kLines);
  QScrollBar* bar = control<QPlainTextEdit>(*window_, "编辑框_日志")->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum()) << "the newest line must be in view";
}

using StartClick = WindowFixture;

TEST_F(StartClick, RunsToTheSavedFileAndASecondClickStartsNothing) {
  start_platform(small_robot(), 5);
  type_demo_input();
  QTest::mouseClick(start_button(), Qt::LeftButton);
  EXPECT_FALSE(start_button()->isEnabled()) << "disabled before the click returns";
  QTest::mouseClick(start_button(), Qt::LeftButton);
  start_button()->click();
  EXPECT_TRUE(stop_button()->isEnabled());
  EXPECT_TRUE(window_->run_in_progress());

  std::map<std::string, int> last;
  bool grew_only = true;
  ASSERT_TRUE(wait_until([&] {
    for (const auto& c : kCounterLabels) {
      const int n = shown_count(*window_, c.name, c.kind);
      if (n < last[c.name]) grew_only = false;
      last[c.name] = n;
    }
    return run_ended();
  }));
  EXPECT_TRUE(grew_only) << "a counter caption went backwards";
  EXPECT_FALSE(stop_button()->isEnabled());
  expect_no_run_thread(state_, *window_);

  EXPECT_EQ(last_log_line(*window_).substr(last_log_line(*window_).find("--->>>>>")),
            "--->>>>>数据库已保存：" + database());
  const QStringList lines = log_lines(*window_);
  EXPECT_EQ(lines.filter(QString::fromUtf8("会员信息开始转移")).size(), 1) << "one click, one run";
  EXPECT_EQ(lines.filter(QString::fromUtf8("数据获取完毕")).size(), 1);

  expect_consistent_database(database());
  Database db(database());
  for (const auto& c : kCounterLabels) {
    SCOPED_TRACE(c.name);
    const std::string rows = db.text(std::string("SELECT count(*) FROM ") + c.table);
    EXPECT_EQ(std::to_string(shown_count(*window_, c.name, c.kind)), rows);
  }
  EXPECT_EQ(shown_count(*window_, "标签_会员数量", CounterKind::member), 230);
  EXPECT_EQ(shown_count(*window_, "标签_订单数量", CounterKind::order), 180);
}

TEST_F(StartClick, RefusedStartIsLoggedAndTheButtonEnabledAgain) {
  const std::string token(velora_sim::kDemoToken);
  struct {
    const char* what;
    std::string sub_id, token, folder, line_start;
    bool reason_follows;  // the system's reason after the fixed text
  } cases[] = {
      {"empty robot number", "", token, folder(), "未开始转移：请输入网页sub_id", false},
      {"robot number with a path", "../x", token, folder(), "未开始转移：网页sub_id只能由", false},
      {"empty token", "10086", "", folder(), "未开始转移：请输入网页token", false},
      {"folder that cannot hold the file", "10086", token, folder() + "/missing",
       "未开始转移：无法写入数据库文件 " + folder() + "/missing/数据库_10086.db：", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    window_->set_database_folder(c.folder);
    type_input(QString::fromStdString(c.sub_id), QString::fromStdString(c.token));
    QTest::mouseClick(start_button(), Qt::LeftButton);
    EXPECT_FALSE(start_button()->isEnabled());
    ASSERT_TRUE(wait_until([&] { return run_ended(); }));
    const std::string line = last_log_line(*window_);
    const auto arrow = line.find("--->>>>>");
    ASSERT_NE(arrow, std::string::npos) << line;
    const std::string message = line.substr(arrow + 8);
    EXPECT_EQ(message.substr(0, c.line_start.size()), c.line_start);
    if (c.reason_follows) {
      EXPECT_GT(message.size(), c.line_start.size()) << "the reason is missing";
    }
    EXPECT_FALSE(stop_button()->isEnabled());
    expect_no_run_thread(state_, *window_);
  }
  EXPECT_EQ(log_lines(*window_).filter(QString::fromUtf8("会员信息开始转移")).size(), 0);
}

// Both ways of ending a run early: the stop control, and closing the window.
using EarlyEnd = WindowFixture;

TEST_F(EarlyEnd, StopControlLeavesAConsistentDatabase) {
  start_platform(big_robot(), 20);
  type_demo_input();
  QTest::mouseClick(start_button(), Qt::LeftButton);
  ASSERT_TRUE(wait_for_first_rows());
  ASSERT_FALSE(run_ended()) << "the run ended before it could be stopped";
  QTest::mouseClick(stop_button(), Qt::LeftButton);
  EXPECT_FALSE(stop_button()->isEnabled());
  ASSERT_TRUE(wait_until([&] { return run_ended(); }));
  expect_no_run_thread(state_, *window_);
  EXPECT_EQ(log_lines(*window_).filter(QString::fromUtf8("转移已停止")).size(), 1);
  EXPECT_LT(shown_count(*window_, "标签_会员数量", CounterKind::member), 5000) << "the stop came too late";
  EXPECT_NE(last_log_line(*window_).find("数据库已保存：" + database()), std::string::npos);
  expect_consistent_database(database());
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(EarlyEnd, ClosingMidRunAsksThenStopsAndCloses) {
  start_platform(big_robot(), 20);
  int asked = 0;
  bool answer = false;
  window_->set_close_confirmation([&] {
    ++asked;
    return answer;
  });
  type_demo_input();
  QTest::mouseClick(start_button(), Qt::LeftButton);
  ASSERT_TRUE(wait_for_first_rows());

  EXPECT_FALSE(window_->close()) << "answered no";
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(window_->run_in_progress());
  EXPECT_FALSE(state_.stop_requested.load()) << "no means the run goes on";

  answer = true;
  window_->close();
  window_->close();  // a second close while stopping asks nothing more
  EXPECT_EQ(asked, 2);
  ASSERT_TRUE(wait_until([&] { return !window_->isVisible(); }));
  expect_no_run_thread(state_, *window_);
  EXPECT_EQ(log_lines(*window_).filter(QString::fromUtf8("转移已停止")).size(), 1);
  EXPECT_NE(last_log_line(*window_).find("数据库已保存："), std::string::npos)
      << "the lines queued at the end arrived";
  expect_consistent_database(database());
}

TEST_F(EarlyEnd, ClosingWhenIdleAsksNothing) {
  int asked = 0;
  window_->set_close_confirmation([&] {
    ++asked;
    return false;
  });
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(asked, 0);
}

// Leaves a picture of the window after a demo run beside the test programs,
// for a person to look at.
using Screenshot = WindowFixture;

TEST_F(Screenshot, AfterADemoRun) {
  start_platform(small_robot(), 0);
  type_demo_input();
  QTest::mouseClick(start_button(), Qt::LeftButton);
  ASSERT_TRUE(wait_until([&] { return run_ended(); }));
  const QString path = QString::fromStdString(port::program_directory() + "/shiftwell-window.png");
  ASSERT_TRUE(window_->grab().save(path, "PNG"));
  QImage image(path);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(572, 383));
  // Red log text on black: some pure red pixels inside the log box.
  int red = 0;
  for (int y = 150; y < 380; y += 2)
    for (int x = 4; x < 550; x += 2)
      if (image.pixelColor(x, y) == QColor(255, 0, 0)) ++red;
  EXPECT_GT(red, 100);
}

}  // namespace
}  // namespace shiftwell
