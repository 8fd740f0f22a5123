#include "tools/velora-sim/command_line.h"

#include <charconv>
#include <cstdlib>

#include "tools/velora-sim/dataset_json.h"

namespace velora_sim {

namespace {

bool parse_int(const std::string& text, long long low, long long high, long long& out) {
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && ptr == text.data() + text.size() && !text.empty() && out >= low && out <= high;
}

bool parse_share(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && out >= 0.0 && out <= 1.0;
}

}  // namespace

std::string usage_text() {
  std::string text =
      "usage: velora-sim [--port N] [--https [--cert-out FILE]]\n"
      "                  [--dataset FILE | --generate SETTINGS] [--nasty] [--sub-id S] [--token T]\n"
      "                  [--latency-ms N] [--empty-share F] [--error-share F] [--rate-limit-share F]\n"
      "                  [--malformed-share F] [--fault NAME=F[:ARG]]... [--seed N]\n"
      "                  [--request-log FILE] [--dump-dataset FILE [--no-serve]] [--threads N]\n"
      "\n"
      "Serves the Velora API on 127.0.0.1 (plain HTTP unless --https) and prints\n"
      "\"listening 127.0.0.1:PORT http|https\" as its first line; SIGINT/SIGTERM stop it.\n"
      "SETTINGS: members=N,orders=N,withdrawals=N,upline=F,outside=F,unknown=F,seed=S,nasty=0|1\n"
      "      with per-platform counts taobao=N,jd=N,pinduoduo=N,douyin=N,vipshop=N.\n"
      "Without --dataset the generated defaults serve (members=250,orders=230,withdrawals=80).\n"
      "Fault kinds for --fault:\n";
  for (const auto& kind : fault_kinds())
    text += "  " + std::string(kind.name) + ": " + std::string(kind.help) + "\n";
  return text;
}

bool parse_command_line(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
  out = CommandLine{};
  bool generate_given = false;
  bool nasty = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string flag = args[i];
    std::optional<std::string> inline_value;
    if (const auto eq = flag.find('='); flag.rfind("--", 0) == 0 && eq != std::string::npos) {
      inline_value = flag.substr(eq + 1);
      flag.resize(eq);
    }
    const auto value = [&](std::string& into) {
      if (inline_value) {
        into = *inline_value;
        return true;
      }
      if (i + 1 >= args.size()) {
        error = flag + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    const auto bad = [&](const std::string& v, const char* what) {
      error = flag + ": \"" + v + "\" is not " + what;
      return false;
    };
    const auto no_value = [&] {
      if (inline_value) error = flag + " takes no value";
      return !inline_value;
    };
    std::string v;
    long long number = 0;
    double share = 0;
    if (flag == "--help" || flag == "-h") {
      out.help = true;
    } else if (flag == "--https") {
      if (!no_value()) return false;
      out.sim.https = true;
    } else if (flag == "--nasty") {
      if (!no_value()) return false;
      nasty = true;
    } else if (flag == "--no-serve") {
      if (!no_value()) return false;
      out.no_serve = true;
    } else if (flag == "--port") {
      if (!value(v)) return false;
      if (!parse_int(v, 0, 65535, number)) return bad(v, "a port number (0 for any)");
      out.sim.port = static_cast<int>(number);
    } else if (flag == "--cert-out") {
      if (!value(out.sim.cert_out)) return false;
    } else if (flag == "--dataset") {
      if (!value(out.dataset_file)) return false;
    } else if (flag == "--generate") {
      if (!value(v)) return false;
      generate_given = true;
      if (!parse_generator_settings(v, out.generator, error)) return false;
    } else if (flag == "--sub-id") {
      if (!value(v)) return false;
      out.sub_id = v;
    } else if (flag == "--token") {
      if (!value(v)) return false;
      if (v.empty()) return bad(v, "a token");
      out.token = v;
    } else if (flag == "--latency-ms") {
      if (!value(v)) return false;
      if (!parse_int(v, 0, 3600000, number)) return bad(v, "a count of milliseconds");
      out.sim.latency_ms = static_cast<int>(number);
    } else if (flag == "--empty-share" || flag == "--error-share" || flag == "--rate-limit-share" ||
               flag == "--malformed-share") {
      if (!value(v)) return false;
      if (!parse_share(v, share)) return bad(v, "a share from 0 to 1");
      out.sim.set_fault_share(flag.substr(2, flag.size() - 2 - 6), share);
    } else if (flag == "--fault") {
      if (!value(v)) return false;
      FaultSetting setting;
      if (!parse_fault_setting(v, setting, error)) return false;
      if (!find_fault_kind(setting.name)) {
        error = "--fault: unknown fault kind \"" + setting.name + "\"";
        return false;
      }
      out.sim.set_fault_share(setting.name, setting.share);
      out.sim.faults.back().arg = setting.arg;
    } else if (flag == "--seed") {
      if (!value(v)) return false;
      unsigned long long seed = 0;
      const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), seed);
      if (ec != std::errc() || ptr != v.data() + v.size() || v.empty()) return bad(v, "a seed number");
      out.sim.fault_seed = seed;
    } else if (flag == "--request-log") {
      if (!value(out.sim.request_log)) return false;
    } else if (flag == "--dump-dataset") {
      if (!value(out.dump_dataset)) return false;
    } else if (flag == "--threads") {
      if (!value(v)) return false;
      if (!parse_int(v, 1, 1024, number)) return bad(v, "a thread count from 1 to 1024");
      out.sim.threads = static_cast<int>(number);
    } else {
      error = "unknown option \"" + args[i] + "\"";
      return false;
    }
  }
  if (nasty) out.generator.nasty = true;
  if (generate_given && !out.dataset_file.empty()) {
    error = "--dataset and --generate exclude each other";
    return false;
  }
  if (nasty && !out.dataset_file.empty()) {
    error = "--nasty applies to generated datasets only";
    return false;
  }
  if (out.no_serve && out.dump_dataset.empty()) {
    error = "--no-serve makes sense only with --dump-dataset";
    return false;
  }
  if (!out.sim.cert_out.empty() && !out.sim.https) {
    error = "--cert-out needs --https";
    return false;
  }
  return true;
}

std::shared_ptr<const Dataset> make_dataset(const CommandLine& command_line, std::string& error) {
  if (command_line.dataset_file.empty()) {
    GeneratorParams params = command_line.generator;
    if (command_line.sub_id) params.sub_id = *command_line.sub_id;
    if (command_line.token) params.token = *command_line.token;
    return std::make_shared<GeneratedDataset>(std::move(params));
  }
  DatasetRows rows;
  if (!load_dataset_file(command_line.dataset_file, rows, error)) return nullptr;
  if (command_line.sub_id) rows.sub_id = *command_line.sub_id;
  if (command_line.token) rows.token = *command_line.token;
  return StoredDataset::from_rows(std::move(rows), &error);
}

}  // namespace velora_sim
