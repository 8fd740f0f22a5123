#include "shiftwell/run/headless.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>

#include "port/file.h"
#include "port/program_path.h"
#include "port/terminal.h"
#include "shiftwell/run/program_state.h"
#include "shiftwell/run/run_log.h"
#include "shiftwell/run/run_migration.h"

namespace shiftwell {

namespace {

const char* const kUsage =
    "用法 / usage:\n"
    "  shiftwell                      打开窗口 (open the window)\n"
    "  shiftwell --headless --sub-id ID (--token TOKEN | --token-file FILE) [options]\n"
    "\n"
    "把一个机器人的数据从 Velora 平台转移到新的数据库文件 DIR/数据库_ID.db，\n"
    "与窗口中点击\"开始转移\"完全相同；日志逐行写到标准输出。\n"
    "Moves one robot's data from the Velora platform into DIR/数据库_ID.db, exactly\n"
    "as a click on the start button does; log lines go to standard output, and the\n"
    "four counters to a live status line when standard error is a terminal.\n"
    "\n"
    "  --sub-id ID         robot number (letters, digits, '-', '_')\n"
    "  --token TOKEN       the platform's web login token\n"
    "  --token-file FILE   read the token from FILE ('-': standard input); keeps it\n"
    "                      out of the process list\n"
    "  --out-dir DIR       folder of the database file (default: the program's folder)\n"
    "  --api-base URL      platform address (default: $SHIFTWELL_API_BASE, else the\n"
    "                      built-in address)\n"
    "  --ca-file FILE      trust the certificates in FILE (PEM) instead of the system's\n"
    "  --insecure          do not verify the platform's TLS certificate (the token can\n"
    "                      then be read by anyone on the path; a warning is logged)\n"
    "  --retry-limit SECS  how long one request is repeated before its page counts as\n"
    "                      missing (default 180)\n"
    "  --help              this text\n"
    "\n"
    "Exit codes: 0 completed; 3 incomplete (the log names what is missing) or stopped\n"
    "(Ctrl+C / SIGTERM stop the run cleanly); 2 bad arguments; 1 the database file\n"
    "could not be written or opened.\n";

class HeadlessView : public RunView {
 public:
  HeadlessView() : live_(port::stderr_is_terminal()) {}

  void append_log_text(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text = line;
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
    if (live_) std::fputs("\r\033[K", stderr);
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
    draw();
  }

  void set_counter_caption(CounterKind kind, const std::string& caption) override {
    std::lock_guard<std::mutex> lock(mutex_);
    captions_[static_cast<int>(kind)] = caption;
    draw();
  }

  void run_finished(const RunOutcome& o) override {
    std::lock_guard<std::mutex> lock(mutex_);
    outcome = o;
    if (live_) std::fputs("\n", stderr);
  }

  RunOutcome outcome;  // read after the run's thread has ended

 private:
  void draw() {
    if (!live_) return;
    std::fprintf(stderr, "\r\033[K%s  %s  %s  %s", captions_[0].c_str(), captions_[1].c_str(),
                 captions_[2].c_str(), captions_[3].c_str());
    std::fflush(stderr);
  }

  std::mutex mutex_;
  bool live_;
  std::string captions_[4] = {counter_caption(CounterKind::member), counter_caption(CounterKind::relation),
                              counter_caption(CounterKind::order), counter_caption(CounterKind::withdrawal)};
};

ProgramState* g_state = nullptr;

extern "C" void on_stop_signal(int) {
  if (g_state) request_stop(*g_state);  // an atomic store only
}

struct Arguments {
  std::string sub_id, token, token_file, out_dir, api_base, ca_file;
  bool insecure = false, help = false;
  int retry_seconds = -1;
};

bool parse(int argc, char** argv, Arguments& a, std::string& why) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        why = arg + " 缺少参数值 (needs a value)";
        return false;
      }
      out = argv[++i];
      return true;
    };
    if (arg == "--headless") {
    } else if (arg == "--help" || arg == "-h") {
      a.help = true;
    } else if (arg == "--sub-id") {
      if (!value(a.sub_id)) return false;
    } else if (arg == "--token") {
      if (!value(a.token)) return false;
      // Hide the token from the process list as soon as it is copied.
      std::memset(argv[i], 'x', std::strlen(argv[i]));
    } else if (arg == "--token-file") {
      if (!value(a.token_file)) return false;
    } else if (arg == "--out-dir") {
      if (!value(a.out_dir)) return false;
    } else if (arg == "--api-base") {
      if (!value(a.api_base)) return false;
    } else if (arg == "--ca-file") {
      if (!value(a.ca_file)) return false;
    } else if (arg == "--insecure") {
      a.insecure = true;
    } else if (arg == "--retry-limit") {
      std::string v;
      if (!value(v)) return false;
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end || n < 0 || n > 86400) {
        why = "--retry-limit 需要 0 到 86400 之间的秒数";
        return false;
      }
      a.retry_seconds = static_cast<int>(n);
    } else {
      why = "未知参数 (unknown argument): " + arg;
      return false;
    }
  }
  return true;
}

}  // namespace

bool wants_headless(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (!std::strcmp(argv[i], "--headless") || !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
      return true;
  return false;
}

int run_headless(ProgramState& state, int argc, char** argv) {
  Arguments a;
  std::string why;
  if (!parse(argc, argv, a, why)) {
    std::fprintf(stderr, "shiftwell: %s\n\n%s", why.c_str(), kUsage);
    return 2;
  }
  if (a.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!a.token_file.empty()) {
    if (a.token_file == "-") {
      std::getline(std::cin, a.token, '\0');
    } else if (!port::read_file(a.token_file, a.token)) {
      std::fprintf(stderr, "shiftwell: 无法读取 token 文件 %s\n", a.token_file.c_str());
      return 2;
    }
  }
  std::string cleaned;
  if (!clean_sub_id(a.sub_id, cleaned, &why) || !clean_token(a.token, cleaned, &why)) {
    std::fprintf(stderr, "shiftwell: %s\n\n%s", why.c_str(), kUsage);
    return 2;
  }

  HeadlessView view;
  state.view = &view;
  if (!a.api_base.empty()) state.platform.api_base = a.api_base;
  state.platform.ignore_certificate_errors = a.insecure;
  state.platform.ca_file = a.ca_file;
  if (a.retry_seconds >= 0) state.platform.retry.bound_ms = a.retry_seconds * 1000;
  if (a.insecure) append_log(state, "警告：已关闭证书校验，token 可能被网络上的他人截获");

  g_state = &state;
  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);

  const std::string folder = a.out_dir.empty() ? port::program_directory() : a.out_dir;
  auto thread = start_run(state, a.sub_id, a.token, folder);
  if (thread) thread->wait(-1);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  g_state = nullptr;
  state.view = nullptr;
  if (!view.outcome.started) return 1;
  return view.outcome.completed ? 0 : 3;
}

}  // namespace shiftwell
