#include "gerenmokuai/json_generator.h"

#include <gtest/gtest.h>

namespace GeRenMoKuai {
namespace {

TEST(JsonGenerator, WritesMembersCompactlyInInsertionOrder) {
  JsonGenerator json;
  json.start_object();
  json.add_int("type", 3);
  json.add_string("module", "m");
  json.add_string("method", "执行sql");
  json.add_string("sql", "SELECT \"a\" FROM t WHERE x='\\'");
  json.add_int("big", -4294967296LL);
  EXPECT_EQ(json.write(),
            "{\"type\":3,\"module\":\"m\",\"method\":\"执行sql\",\"sql\":\"SELECT \\\"a\\\" FROM t WHERE "
            "x='\\\\'\",\"big\":-4294967296}");
}

TEST(JsonGenerator, StartObjectDropsEarlierMembers) {
  JsonGenerator json;
  EXPECT_EQ(json.write(), "{}");
  json.add_string("a", "1");
  json.start_object();
  json.add_string("b", std::string("x\0y\n", 4));
  EXPECT_EQ(json.write(), "{\"b\":\"x\\u0000y\\n\"}");
}

}  // namespace
}  // namespace GeRenMoKuai
