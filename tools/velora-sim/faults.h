// Fault injection of the simulated platform: a table of fault kinds (empty
// body, server error, rate limit, malformed JSON, slow answer, connection
// reset mid-body) and a seeded plan that draws, per request number, whether
// and which fault replaces the normal reply. New kinds are one row in the
// table of faults.cpp plus, when they need it, a field of Reply that the
// server honours. FaultPlan is immutable after make; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velora_sim {

// What the server sends for one request.
struct Reply {
  int status = 200;
  std::string body;
  std::string content_type = "application/json; charset=utf-8";
  int delay_ms = 0;                      // pause before answering, on top of the latency setting
  std::optional<std::size_t> cut_after;  // send this many body bytes, then drop the connection
};

struct FaultKind {
  std::string_view name;
  std::string_view help;
  std::int64_t default_arg;  // used when a setting gives none
  // dice: random bits of this request for the fault's own choices.
  void (*apply)(Reply& reply, std::uint64_t dice, std::int64_t arg);
};

// "empty", "error", "rate-limit", "malformed", "slow" (arg: ms), "reset".
std::span<const FaultKind> fault_kinds();
const FaultKind* find_fault_kind(std::string_view name);

struct FaultSetting {
  std::string name;  // a kind of fault_kinds()
  double share = 0;  // of all requests
  std::optional<std::int64_t> arg;
};

// "NAME=SHARE" or "NAME=SHARE:ARG", as the command line gives it.
bool parse_fault_setting(std::string_view text, FaultSetting& out, std::string& error);

class FaultPlan {
 public:
  FaultPlan() = default;  // no faults
  // False with *error for an unknown kind, a share outside 0..1 or shares summing above 1.
  static bool make(const std::vector<FaultSetting>& settings, std::uint64_t seed, FaultPlan& out,
                   std::string& error);

  struct Draw {
    const FaultKind* kind;
    std::int64_t arg;
    std::uint64_t dice;
  };
  // The same seed and request number always draw the same fault.
  std::optional<Draw> draw(std::uint64_t request_number) const;
  bool empty() const { return entries_.empty(); }

 private:
  struct Entry {
    const FaultKind* kind;
    double upto;  // cumulative share
    std::int64_t arg;
  };
  std::vector<Entry> entries_;
  std::uint64_t seed_ = 0;
};

}  // namespace velora_sim
