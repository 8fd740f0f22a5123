// velora-sim: the simulated Velora platform as a program for demos, scripts
// and benchmarks. See usage_text() and README.md.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/velora-sim/command_line.h"
#include "tools/velora-sim/dataset_json.h"
#include "tools/velora-sim/velora_sim.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void on_stop_signal(int) { stop_requested = 1; }

}  // namespace

int main(int argc, char** argv) {
  using namespace velora_sim;
  CommandLine command_line;
  std::string error;
  if (!parse_command_line(std::vector<std::string>(argv + 1, argv + argc), command_line, error)) {
    std::fprintf(stderr, "velora-sim: %s\n(--help shows the options)\n", error.c_str());
    return 2;
  }
  if (command_line.help) {
    std::fputs(usage_text().c_str(), stdout);
    return 0;
  }
  const auto dataset = make_dataset(command_line, error);
  if (!dataset) {
    std::fprintf(stderr, "velora-sim: %s\n", error.c_str());
    return 1;
  }
  if (!command_line.dump_dataset.empty() && !write_dataset_file(*dataset, command_line.dump_dataset, error)) {
    std::fprintf(stderr, "velora-sim: %s\n", error.c_str());
    return 1;
  }
  if (command_line.no_serve) return 0;

  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
  VeloraSim sim(dataset, command_line.sim);
  if (!sim.start(error)) {
    std::fprintf(stderr, "velora-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("listening %s:%d %s\n", command_line.sim.host.c_str(), sim.port(),
              command_line.sim.https ? "https" : "http");
  std::fflush(stdout);
  std::size_t orders = 0;
  for (Platform p : kPlatforms) orders += dataset->order_count(p);
  std::fprintf(stderr, "velora-sim: sub_id %s, token %s, %zu members, %zu orders, %zu withdrawals\n",
               dataset->sub_id().c_str(), sim.token().c_str(), dataset->member_count(), orders,
               dataset->withdrawal_count());

  while (!stop_requested) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  sim.stop();
  std::fprintf(stderr, "velora-sim: stopped after %llu requests\n",
               static_cast<unsigned long long>(sim.counters().total_requests));
  return 0;
}
