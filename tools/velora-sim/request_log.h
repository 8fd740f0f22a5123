// The request log of the simulated platform: one JSON object per line and
// request, written before the answer is sent, e.g.
// {"time":"2024-05-01T02:00:00.123Z","method":"GET","target":"/api/...?...",
//  "endpoint":"member_list","had_token":true,"status":200,"bytes":5123,
//  "remote_port":40312,"fault":null}
// Handler threads write concurrently; lines never interleave.
#pragma once

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>

namespace velora_sim {

struct RequestLogEntry {
  std::string method;
  std::string target;  // path and query as received
  std::string endpoint;
  bool had_token = false;
  int status = 0;
  std::uint64_t bytes = 0;  // body bytes sent (for a reset: those before the cut)
  int remote_port = 0;
  std::string fault;  // empty: none
};

class RequestLog {
 public:
  // Creates or truncates the file. False with *error when it cannot.
  bool open(const std::string& path, std::string& error);
  bool is_open() const { return out_.is_open(); }
  void write(const RequestLogEntry& entry);

 private:
  std::mutex mutex_;
  std::ofstream out_;
};

}  // namespace velora_sim
