#include "port/process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

TEST(Process, ExitCodeAndOutput) {
  const std::string out = "/tmp/port-process-" + std::to_string(std::rand());
  auto p = port::Process::start("/bin/sh", {"-c", "echo hi; exit 3"}, out);
  ASSERT_TRUE(p);
  int code = -1;
  ASSERT_TRUE(p->wait(10000, &code));
  EXPECT_EQ(code, 3);
  std::stringstream text;
  text << std::ifstream(out).rdbuf();
  EXPECT_EQ(text.str(), "hi\n");
}

TEST(Process, KillHardAndStop) {
  auto p = port::Process::start("/bin/sleep", {"30"});
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->wait(20));
  p->kill_hard();
  int code = 0;
  ASSERT_TRUE(p->wait(10000, &code));
  EXPECT_EQ(code, 128 + 9);
  auto q = port::Process::start("/bin/sleep", {"30"});
  q->request_stop();
  ASSERT_TRUE(q->wait(10000, &code));
  EXPECT_EQ(code, 128 + 15);
}

TEST(Process, MissingProgram) { EXPECT_FALSE(port::Process::start("/nonexistent/program", {})); }
