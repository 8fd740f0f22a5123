// Drives the velora-sim program as scripts do: first line, answers, stop by signal, exit codes.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <thread>

#include "port/file.h"
#include "port/process.h"
#include "port/program_path.h"
#include "tools/velora-sim/dataset_json.h"
#include "tools/velora-sim/generator.h"

namespace velora_sim {
namespace {

std::string program() { return port::program_directory() + "/velora-sim"; }

std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "velora_sim_program_test_" + name + "_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

// Waits (bounded, only against hangs) for the first complete line of the file.
std::string first_line(const std::string& path) {
  for (int i = 0; i < 30000; ++i) {
    std::string text;
    if (port::read_file(path, text)) {
      if (const auto end = text.find('\n'); end != std::string::npos) return text.substr(0, end);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return {};
}

int port_of(const std::string& line) {
  const auto colon = line.rfind(':');
  return colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
}

TEST(VeloraSimProgram, PrintsItsPortServesAndStopsOnSignal) {
  struct Case {
    bool https;
    const char* scheme;
  };
  for (const Case c : {Case{false, "http"}, Case{true, "https"}}) {
    const std::string out = temp_path("stdout"), cert = temp_path("cert.pem");
    std::vector<std::string> args = {"--port", "0", "--generate", "members=120", "--token", "tok"};
    if (c.https) args.insert(args.end(), {"--https", "--cert-out", cert});
    auto process = port::Process::start(program(), args, out);
    ASSERT_TRUE(process);
    const std::string line = first_line(out);
    ASSERT_EQ(line.rfind("listening 127.0.0.1:", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.rfind(' ') + 1), c.scheme);
    const int port = port_of(line.substr(0, line.rfind(' ')));
    ASSERT_GT(port, 0);

    std::unique_ptr<httplib::ClientImpl> client;
    if (c.https) {
      auto tls = std::make_unique<httplib::SSLClient>("127.0.0.1", port);
      tls->set_ca_cert_path(cert.c_str());
      tls->enable_server_certificate_verification(true);
      client = std::move(tls);
    } else {
      client = std::make_unique<httplib::ClientImpl>("127.0.0.1", port);
    }
    const auto res = client->Get("/api/5cb07ea5d4413?&sub_id=10086&page=2&size=100", {{"user-token", "tok"}});
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_NE(res->body.find("\"total\":120"), std::string::npos) << res->body;

    process->request_stop();
    int exit_code = -1;
    ASSERT_TRUE(process->wait(60000, &exit_code));
    EXPECT_EQ(exit_code, 0);
    std::remove(out.c_str());
    std::remove(cert.c_str());
  }
}

TEST(VeloraSimProgram, DumpsTheDatasetItWouldServe) {
  const std::string dump = temp_path("dump.json");
  auto process = port::Process::start(program(), {"--generate", "members=40,orders=7,withdrawals=9,seed=5",
                                                  "--nasty", "--dump-dataset", dump, "--no-serve"});
  ASSERT_TRUE(process);
  int exit_code = -1;
  ASSERT_TRUE(process->wait(60000, &exit_code));
  EXPECT_EQ(exit_code, 0);

  DatasetRows rows;
  std::string error;
  ASSERT_TRUE(load_dataset_file(dump, rows, error)) << error;
  GeneratorParams params;
  params.members = 40;
  params.orders.fill(7);
  params.withdrawals = 9;
  params.seed = 5;
  params.nasty = true;
  EXPECT_EQ(rows, copy_rows(GeneratedDataset(params)));
  std::remove(dump.c_str());
}

TEST(VeloraSimProgram, BadInputEndsWithAnErrorCode) {
  const struct {
    std::vector<std::string> args;
    int exit_code;
  } cases[] = {
      {{"--bogus"}, 2},
      {{"--dataset", "/nonexistent/velora.json"}, 1},
      {{"--dump-dataset", "/nonexistent-dir/d.json", "--no-serve"}, 1},
  };
  for (const auto& c : cases) {
    auto process = port::Process::start(program(), c.args, "/dev/null", "/dev/null");
    ASSERT_TRUE(process);
    int exit_code = -1;
    ASSERT_TRUE(process->wait(60000, &exit_code));
    EXPECT_EQ(exit_code, c.exit_code) << c.args[0];
  }
}

}  // namespace
}  // namespace velora_sim
