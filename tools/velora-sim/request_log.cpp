#include "tools/velora-sim/request_log.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "tools/velora-sim/time_text.h"

namespace velora_sim {

bool RequestLog::open(const std::string& path, std::string& error) {
  out_.open(path, std::ios::binary | std::ios::trunc);
  if (!out_) {
    error = "cannot create request log " + path;
    return false;
  }
  return true;
}

void RequestLog::write(const RequestLogEntry& e) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  const auto str = [&w](const char* key, const std::string& value) {
    w.Key(key);
    w.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
  };
  w.StartObject();
  str("time", utc_now_iso_ms());
  str("method", e.method);
  str("target", e.target);
  str("endpoint", e.endpoint);
  w.Key("had_token");
  w.Bool(e.had_token);
  w.Key("status");
  w.Int(e.status);
  w.Key("bytes");
  w.Uint64(e.bytes);
  w.Key("remote_port");
  w.Int(e.remote_port);
  w.Key("fault");
  if (e.fault.empty()) {
    w.Null();
  } else {
    w.String(e.fault.data(), static_cast<rapidjson::SizeType>(e.fault.size()));
  }
  w.EndObject();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!out_.is_open()) return;
  out_.write(buffer.GetString(), static_cast<std::streamsize>(buffer.GetSize()));
  out_.put('\n');
  out_.flush();
}

}  // namespace velora_sim
