// A local stand-in for the Velora platform: an HTTP or HTTPS server on
// 127.0.0.1 that answers the eight API endpoints from a Dataset, with seeded
// fault injection, an optional pause per answer, a request log and counters.
// Tests start it in-process on port 0; the velora-sim program wraps it.
// start, stop and the destructor belong to the owning thread; port, counters,
// reset_counters and dataset may be called from any thread while it runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/velora-sim/dataset.h"
#include "tools/velora-sim/faults.h"
#include "tools/velora-sim/sim_counters.h"

namespace velora_sim {

struct SimOptions {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
  bool https = false;
  std::string cert_out;  // HTTPS: where to write the certificate PEM; empty: not written
  std::string token;     // the accepted "user-token"; empty: the dataset's token
  int latency_ms = 0;    // pause before each answer
  std::vector<FaultSetting> faults;
  std::uint64_t fault_seed = 1;
  std::string request_log;  // JSON lines file; empty: no log
  int threads = 32;         // handler threads (each open connection holds one)
  int keep_alive_seconds = 2;

  // Sets the share of one fault kind, replacing an earlier setting of it.
  void set_fault_share(const std::string& kind, double share);
};

class VeloraSim {
 public:
  VeloraSim(std::shared_ptr<const Dataset> dataset, SimOptions options);
  ~VeloraSim();  // stops
  VeloraSim(const VeloraSim&) = delete;
  VeloraSim& operator=(const VeloraSim&) = delete;

  // Binds, writes the certificate (HTTPS) and starts serving. False with
  // *error (bad fault settings, port taken, unwritable file, ...).
  bool start(std::string& error);
  // Ends pauses in progress, closes the listener and joins every thread.
  // Idempotent; also fine when start failed or never ran.
  void stop();

  int port() const;                            // the bound port; 0 before start
  std::string base_url() const;                // "http://127.0.0.1:PORT" or "https://..."
  const std::string& certificate_pem() const;  // HTTPS only
  const std::string& token() const;
  const Dataset& dataset() const;
  const SimOptions& options() const;

  SimCounters counters() const;
  void reset_counters();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velora_sim
