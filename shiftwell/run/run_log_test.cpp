#include "shiftwell/run/run_log.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace shiftwell {
namespace {

port::LocalDateTime at(int h, int m, int s) {
  port::LocalDateTime t;
  t.year = 2026;
  t.month = 3;
  t.day = 30;
  t.hour = h;
  t.minute = m;
  t.second = s;
  return t;
}

TEST(LogLine, TimePartInItsShortestForm) {
  struct {
    int h, m, s;
    const char* text;
  } cases[] = {
      {8, 17, 55, "2026年3月30日8时17分55秒"}, {9, 0, 0, "2026年3月30日9时"},
      {9, 5, 0, "2026年3月30日9时5分"},        {0, 0, 0, "2026年3月30日"},
      {0, 0, 7, "2026年3月30日0时0分7秒"},     {0, 30, 0, "2026年3月30日0时30分"},
  };
  for (const auto& c : cases) EXPECT_EQ(log_date_time_text(at(c.h, c.m, c.s)), c.text);
  EXPECT_EQ(log_line(at(8, 17, 55), "会员信息开始转移"),
            "2026年3月30日8时17分55秒--->>>>>会员信息开始转移\r\n");
}

// Counters of different kinds arrive under different locks, so the view
// guards itself, as every view must.
class RecordingView : public RunView {
 public:
  void append_log_text(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
  }
  void set_counter_caption(CounterKind kind, const std::string& caption) override {
    std::lock_guard<std::mutex> lock(mutex);
    captions.emplace_back(kind, caption);
  }
  void run_finished(const RunOutcome&) override {}
  std::vector<std::string> lines;
  std::vector<std::pair<CounterKind, std::string>> captions;
  std::mutex mutex;
};

TEST(AppendLog, WholeLinesFromManyThreadsAndGrowingCaptions) {
  ProgramState state;
  RecordingView view;
  state.view = &view;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        append_log(state, "线程" + std::to_string(t));
        add_to_counter(state, t % 2 ? CounterKind::order : CounterKind::member);
      }
    });
  for (auto& th : threads) th.join();
  ASSERT_EQ(view.lines.size(), 800u);
  for (const auto& line : view.lines) {
    EXPECT_NE(line.find("--->>>>>线程"), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
  }
  EXPECT_EQ(state.member_count, 400);
  EXPECT_EQ(state.order_count, 400);
  int last_member = 0;
  for (const auto& [kind, caption] : view.captions) {
    if (kind != CounterKind::member) continue;
    const int value = std::stoi(caption.substr(std::string("会员数量：").size()));
    EXPECT_EQ(value, last_member + 1) << "captions must only grow, one by one";
    last_member = value;
  }
}

}  // namespace
}  // namespace shiftwell
