#include "tools/velora-sim/command_line.h"

#include <gtest/gtest.h>

namespace velora_sim {
namespace {

TEST(VeloraSimCommandLine, FlagsFillTheOptions) {
  CommandLine cl;
  std::string error;
  ASSERT_TRUE(parse_command_line({"--port",
                                  "8443",
                                  "--https",
                                  "--cert-out=/tmp/c.pem",
                                  "--generate",
                                  "members=10,orders=3",
                                  "--nasty",
                                  "--sub-id",
                                  "777",
                                  "--token",
                                  "T0k",
                                  "--latency-ms",
                                  "15",
                                  "--empty-share",
                                  "0.1",
                                  "--error-share=0.05",
                                  "--rate-limit-share",
                                  "0.02",
                                  "--malformed-share",
                                  "0.03",
                                  "--fault",
                                  "slow=0.01:30000",
                                  "--empty-share",
                                  "0.2",
                                  "--seed",
                                  "99",
                                  "--request-log",
                                  "/tmp/r.log",
                                  "--dump-dataset",
                                  "/tmp/d.json",
                                  "--threads",
                                  "8"},
                                 cl, error))
      << error;
  EXPECT_EQ(cl.sim.port, 8443);
  EXPECT_TRUE(cl.sim.https);
  EXPECT_EQ(cl.sim.cert_out, "/tmp/c.pem");
  EXPECT_EQ(cl.generator.members, 10u);
  EXPECT_EQ(cl.generator.orders[4], 3u);
  EXPECT_TRUE(cl.generator.nasty);
  EXPECT_EQ(cl.sub_id, "777");
  EXPECT_EQ(cl.token, "T0k");
  EXPECT_EQ(cl.sim.latency_ms, 15);
  EXPECT_EQ(cl.sim.fault_seed, 99u);
  EXPECT_EQ(cl.sim.request_log, "/tmp/r.log");
  EXPECT_EQ(cl.dump_dataset, "/tmp/d.json");
  EXPECT_EQ(cl.sim.threads, 8);
  std::map<std::string, double> shares;
  for (const auto& f : cl.sim.faults) shares[f.name] = f.share;
  // A repeated flag replaces the earlier share.
  EXPECT_EQ(shares,
            (std::map<std::string, double>{
                {"empty", 0.2}, {"error", 0.05}, {"rate-limit", 0.02}, {"malformed", 0.03}, {"slow", 0.01}}));
  EXPECT_EQ(cl.sim.faults.size(), 5u);

  const auto dataset = make_dataset(cl, error);
  ASSERT_TRUE(dataset) << error;
  EXPECT_EQ(dataset->sub_id(), "777");
  EXPECT_EQ(dataset->token(), "T0k");
  EXPECT_EQ(dataset->member_count(), 10u);
}

TEST(VeloraSimCommandLine, DefaultsServeTheGeneratedDemo) {
  CommandLine cl;
  std::string error;
  ASSERT_TRUE(parse_command_line({}, cl, error)) << error;
  EXPECT_EQ(cl.sim.port, 0);
  EXPECT_FALSE(cl.sim.https);
  EXPECT_TRUE(cl.sim.faults.empty());
  const auto dataset = make_dataset(cl, error);
  ASSERT_TRUE(dataset);
  EXPECT_EQ(dataset->token(), kDemoToken);
  EXPECT_EQ(dataset->member_count(), 250u);
}

TEST(VeloraSimCommandLine, DatasetFileWithOverrides) {
  CommandLine cl;
  std::string error;
  ASSERT_TRUE(parse_command_line({"--dataset", VELORA_SIM_SOURCE_DIR "/examples/demo.json", "--token", "abc"},
                                 cl, error));
  const auto dataset = make_dataset(cl, error);
  ASSERT_TRUE(dataset) << error;
  EXPECT_EQ(dataset->member_count(), 3u);
  EXPECT_EQ(dataset->token(), "abc");

  ASSERT_TRUE(parse_command_line({"--dataset", "/nonexistent.json"}, cl, error));
  EXPECT_FALSE(make_dataset(cl, error));
  EXPECT_NE(error.find("/nonexistent.json"), std::string::npos);
}

TEST(VeloraSimCommandLine, BadCommandLinesAreRefused) {
  const std::vector<std::vector<std::string>> cases = {
      {"--port"},
      {"--port", "70000"},
      {"--port", "x"},
      {"--bogus"},
      {"--https=1"},
      {"--empty-share", "1.5"},
      {"--error-share", "abc"},
      {"--fault", "teapot=0.1"},
      {"--fault", "slow"},
      {"--generate", "members=x"},
      {"--dataset", "a.json", "--generate", "members=1"},
      {"--dataset", "a.json", "--nasty"},
      {"--no-serve"},
      {"--cert-out", "c.pem"},
      {"--latency-ms", "-1"},
      {"--threads", "0"},
      {"--token", ""},
      {"--seed", "-3"},
  };
  for (const auto& args : cases) {
    CommandLine cl;
    std::string error;
    EXPECT_FALSE(parse_command_line(args, cl, error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

}  // namespace
}  // namespace velora_sim
