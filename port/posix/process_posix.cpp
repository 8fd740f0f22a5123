#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "port/process.h"

extern char** environ;

namespace port {

namespace {

class PosixProcess : public Process {
 public:
  explicit PosixProcess(pid_t pid) : pid_(pid) {}
  ~PosixProcess() override {
    if (!reaped_) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }

  bool wait(int timeout_ms, int* exit_code) override {
    if (!reaped_) {
      int waited = 0;
      for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, timeout_ms < 0 ? 0 : WNOHANG);
        if (r == pid_) {
          reaped_ = true;
          code_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
          break;
        }
        if (r < 0 && errno != EINTR) return false;
        if (timeout_ms >= 0 && waited >= timeout_ms) return false;
        if (timeout_ms >= 0) {
          ::usleep(2000);
          waited += 2;
        }
      }
    }
    if (exit_code) *exit_code = code_;
    return true;
  }

  void kill_hard() override {
    if (!reaped_) ::kill(pid_, SIGKILL);
  }
  void request_stop() override {
    if (!reaped_) ::kill(pid_, SIGTERM);
  }
  int id() const override { return static_cast<int>(pid_); }

 private:
  pid_t pid_;
  bool reaped_ = false;
  int code_ = -1;
};

}  // namespace

std::unique_ptr<Process> Process::start(const std::string& program, const std::vector<std::string>& args,
                                        const std::string& stdout_path, const std::string& stderr_path) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!stdout_path.empty())
    posix_spawn_file_actions_addopen(&actions, 1, stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!stderr_path.empty())
    posix_spawn_file_actions_addopen(&actions, 2, stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return nullptr;
  return std::make_unique<PosixProcess>(pid);
}

}  // namespace port
