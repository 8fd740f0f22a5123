#include "tools/velora-sim/faults.h"

#include <array>
#include <charconv>
#include <cstdlib>

#include "tools/velora-sim/answers.h"

namespace velora_sim {

namespace {

std::uint64_t mix64(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

void empty_body(Reply& reply, std::uint64_t, std::int64_t) {
  reply.status = 200;
  reply.body.clear();
}

void server_error(Reply& reply, std::uint64_t dice, std::int64_t) {
  static constexpr std::array<std::pair<int, std::string_view>, 3> kErrors = {{
      {500, "Internal Server Error"},
      {502, "<html><head><title>502 Bad Gateway</title></head><body><h1>502 Bad Gateway</h1></body></html>"},
      {503, "Service Temporarily Unavailable"},
  }};
  const auto& [status, body] = kErrors[dice % kErrors.size()];
  reply.status = status;
  reply.body = body;
  reply.content_type = "text/html";
}

void rate_limited(Reply& reply, std::uint64_t, std::int64_t) {
  reply.status = 429;
  reply.body = error_answer(429, "请求过于频繁,请稍后再试");
}

// A proper, non-empty prefix of a JSON object is never valid JSON.
void malformed(Reply& reply, std::uint64_t dice, std::int64_t) {
  if (reply.body.size() < 2) {
    reply.body = "{\"code\":200,\"data\":{\"list\":[";
    return;
  }
  reply.body.resize(1 + dice % (reply.body.size() - 1));
}

void slow(Reply& reply, std::uint64_t, std::int64_t arg) { reply.delay_ms = static_cast<int>(arg); }

void reset_mid_body(Reply& reply, std::uint64_t, std::int64_t) { reply.cut_after = reply.body.size() / 2; }

constexpr FaultKind kKinds[] = {
    {"empty", "HTTP 200 with an empty body", 0, empty_body},
    {"error", "HTTP 500, 502 or 503 with a short non-JSON body", 0, server_error},
    {"rate-limit", "HTTP 429 with an error object", 0, rate_limited},
    {"malformed", "the normal answer cut short: truncated JSON", 0, malformed},
    {"slow", "the normal answer after ARG milliseconds (default 20000)", 20000, slow},
    {"reset", "headers and half the body, then the connection is dropped", 0, reset_mid_body},
};

bool parse_share(std::string_view text, double& out) {
  const std::string copy(text);
  char* end = nullptr;
  out = std::strtod(copy.c_str(), &end);
  return !copy.empty() && end == copy.c_str() + copy.size() && out >= 0.0 && out <= 1.0;
}

}  // namespace

std::span<const FaultKind> fault_kinds() { return kKinds; }

const FaultKind* find_fault_kind(std::string_view name) {
  for (const auto& kind : kKinds) {
    if (kind.name == name) return &kind;
  }
  return nullptr;
}

bool parse_fault_setting(std::string_view text, FaultSetting& out, std::string& error) {
  const auto eq = text.find('=');
  if (eq == std::string_view::npos) {
    error = "fault \"" + std::string(text) + "\" must be NAME=SHARE or NAME=SHARE:ARG";
    return false;
  }
  out.name = std::string(text.substr(0, eq));
  std::string_view value = text.substr(eq + 1);
  out.arg.reset();
  if (const auto colon = value.find(':'); colon != std::string_view::npos) {
    const std::string_view arg = value.substr(colon + 1);
    std::int64_t number = 0;
    const auto [ptr, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), number);
    if (ec != std::errc() || ptr != arg.data() + arg.size() || arg.empty() || number < 0) {
      error = "fault \"" + out.name + "\": bad argument \"" + std::string(arg) + "\"";
      return false;
    }
    out.arg = number;
    value = value.substr(0, colon);
  }
  if (!parse_share(value, out.share)) {
    error = "fault \"" + out.name + "\": share \"" + std::string(value) + "\" is not a number from 0 to 1";
    return false;
  }
  return true;
}

bool FaultPlan::make(const std::vector<FaultSetting>& settings, std::uint64_t seed, FaultPlan& out,
                     std::string& error) {
  FaultPlan plan;
  plan.seed_ = seed;
  double upto = 0;
  for (const auto& setting : settings) {
    const FaultKind* kind = find_fault_kind(setting.name);
    if (!kind) {
      error = "unknown fault \"" + setting.name + "\"";
      return false;
    }
    if (!(setting.share >= 0.0 && setting.share <= 1.0)) {
      error = "fault \"" + setting.name + "\": share must lie between 0 and 1";
      return false;
    }
    if (setting.share == 0.0) continue;
    upto += setting.share;
    plan.entries_.push_back({kind, upto, setting.arg.value_or(kind->default_arg)});
  }
  if (upto > 1.0 + 1e-9) {
    error = "fault shares add up to more than 1";
    return false;
  }
  out = std::move(plan);
  return true;
}

std::optional<FaultPlan::Draw> FaultPlan::draw(std::uint64_t request_number) const {
  if (entries_.empty()) return std::nullopt;
  const std::uint64_t bits = mix64(seed_ ^ mix64(request_number));
  const double roll = static_cast<double>(bits >> 11) * 0x1.0p-53;
  for (const auto& entry : entries_) {
    if (roll < entry.upto) return Draw{entry.kind, entry.arg, mix64(bits)};
  }
  return std::nullopt;
}

}  // namespace velora_sim
