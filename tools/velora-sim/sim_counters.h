// Request counters of a running simulated platform: per endpoint, per page
// of each list, in total, by injected fault and the distinct client
// connections seen (distinct remote address:port pairs; the system may reuse
// a port for a later connection, so this counts a lower bound). CounterBoard
// is shared by the server's handler threads and the thread that reads it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>

#include "tools/velora-sim/endpoints.h"

namespace velora_sim {

struct SimCounters {
  std::uint64_t total_requests = 0;
  std::array<std::uint64_t, kEndpointCount> per_endpoint{};             // indexed by Endpoint
  std::map<std::pair<Endpoint, std::int64_t>, std::uint64_t> per_page;  // list requests with a valid page
  std::map<std::string, std::uint64_t> faults;                          // by fault kind name
  std::map<int, std::uint64_t> statuses;                                // by HTTP status sent
  std::uint64_t distinct_connections = 0;

  std::uint64_t requests(Endpoint endpoint) const { return per_endpoint[static_cast<std::size_t>(endpoint)]; }
  std::uint64_t page_requests(Endpoint endpoint, std::int64_t page) const;
  std::uint64_t fault_count(const std::string& kind) const;
};

class CounterBoard {
 public:
  // fault: the injected kind's name, empty for none.
  void record(Endpoint endpoint, std::optional<std::int64_t> page, const std::string& remote_addr,
              int remote_port, const std::string& fault, int status);
  SimCounters snapshot() const;
  void reset();

 private:
  mutable std::mutex mutex_;
  SimCounters counters_;
  std::unordered_set<std::string> connections_;
};

}  // namespace velora_sim
