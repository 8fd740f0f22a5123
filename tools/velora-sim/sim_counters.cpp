#include "tools/velora-sim/sim_counters.h"

namespace velora_sim {

std::uint64_t SimCounters::page_requests(Endpoint endpoint, std::int64_t page) const {
  const auto found = per_page.find({endpoint, page});
  return found == per_page.end() ? 0 : found->second;
}

std::uint64_t SimCounters::fault_count(const std::string& kind) const {
  const auto found = faults.find(kind);
  return found == faults.end() ? 0 : found->second;
}

void CounterBoard::record(Endpoint endpoint, std::optional<std::int64_t> page, const std::string& remote_addr,
                          int remote_port, const std::string& fault, int status) {
  std::string connection = remote_addr + ":" + std::to_string(remote_port);
  std::lock_guard<std::mutex> lock(mutex_);
  ++counters_.total_requests;
  ++counters_.per_endpoint[static_cast<std::size_t>(endpoint)];
  if (page) ++counters_.per_page[{endpoint, *page}];
  if (!fault.empty()) ++counters_.faults[fault];
  ++counters_.statuses[status];
  if (connections_.insert(std::move(connection)).second) ++counters_.distinct_connections;
}

SimCounters CounterBoard::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_;
}

void CounterBoard::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  counters_ = SimCounters{};
  connections_.clear();
}

}  // namespace velora_sim
