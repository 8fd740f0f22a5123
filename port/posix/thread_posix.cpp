#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "port/thread.h"

namespace port {

std::uint32_t current_thread_id() {
  thread_local const std::uint32_t id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
  return id;
}

namespace {

struct State {
  std::function<void()> body;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
};

void* run(void* arg) {
  auto* holder = static_cast<std::shared_ptr<State>*>(arg);
  std::shared_ptr<State> state = std::move(*holder);
  delete holder;
  state->body();
  state->body = nullptr;
  {
    std::lock_guard<std::mutex> lock(state->m);
    state->done = true;
  }
  state->cv.notify_all();
  return nullptr;
}

class PosixThread : public Thread {
 public:
  explicit PosixThread(std::shared_ptr<State> s) : state_(std::move(s)) {}
  bool wait(int timeout_ms) override {
    std::unique_lock<std::mutex> lock(state_->m);
    if (timeout_ms < 0) {
      state_->cv.wait(lock, [&] { return state_->done; });
      return true;
    }
    return state_->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return state_->done; });
  }

 private:
  std::shared_ptr<State> state_;
};

}  // namespace

std::unique_ptr<Thread> Thread::start(std::function<void()> body, std::size_t stack_bytes,
                                      bool* out_of_memory) {
  if (out_of_memory) *out_of_memory = false;
  auto state = std::make_shared<State>();
  state->body = std::move(body);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (stack_bytes > 0) pthread_attr_setstacksize(&attr, stack_bytes);
  auto* holder = new std::shared_ptr<State>(state);
  pthread_t tid;
  const int rc = pthread_create(&tid, &attr, run, holder);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete holder;
    if (out_of_memory) *out_of_memory = rc == ENOMEM;
    return nullptr;
  }
  return std::make_unique<PosixThread>(std::move(state));
}

}  // namespace port
