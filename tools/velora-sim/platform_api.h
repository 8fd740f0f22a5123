// The simulated platform's request handling without HTTP: checks the token,
// the robot number and the parameters of one request and renders its answer
// from the dataset. Faults, latency and counting are the server's business
// (velora_sim.h). Immutable after construction; any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "tools/velora-sim/dataset.h"
#include "tools/velora-sim/endpoints.h"

namespace velora_sim {

inline constexpr std::int64_t kMaxPageSize = 100;
inline constexpr std::string_view kTokenExpiredMsg = "登录已过期,请重新登录";

struct ApiRequest {
  std::string method = "GET";
  std::string path;
  std::multimap<std::string, std::string> params;  // decoded query parameters
  std::optional<std::string> token;                // the "user-token" header, when sent
};

struct ApiAnswer {
  int http_status = 200;
  std::string body;
  Endpoint endpoint = Endpoint::unknown;
  std::optional<std::int64_t> page;  // list requests with a valid page
};

class PlatformApi {
 public:
  // token: the one the platform accepts.
  PlatformApi(const Dataset& dataset, std::string token) : dataset_(dataset), token_(std::move(token)) {}

  ApiAnswer answer(const ApiRequest& request) const;
  const std::string& token() const { return token_; }

 private:
  const Dataset& dataset_;
  std::string token_;
};

}  // namespace velora_sim
