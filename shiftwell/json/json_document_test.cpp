#include "shiftwell/json/json_document.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pelljson/pelljson.h"
#include "port/file.h"
#include "port/process.h"
#include "port/program_path.h"

namespace {

using shiftwell::JsonDocument;

// A member page as the platform answers it.
constexpr const char* kPage = R"({"code":0,"data":{"list":[
  {"uid":1250,"finished_orders_number":12,"money":12.5,"packet_hash":"a1b2","nickname":"张三😀",
   "trade_id":9223372036854775807,"diff":-42,"flag":true,"createdt":"2024-05-01 10:00:00"},
  {"uid":1251,"finished_orders_number":0,"money":"3.50"}],"total":2}})";

class Page : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(doc.parse_text(kPage, 1)) << shiftwell::pelljson_load_error(); }
  JsonDocument doc;
};

TEST_F(Page, CountsEndThePagingWhereThereIsNoList) {
  EXPECT_EQ(doc.read_count("/data/list"), 2);
  EXPECT_EQ(doc.read_count("/data/list/0"), 9);
  EXPECT_EQ(doc.read_count("/data/missing"), 0);
  EXPECT_EQ(doc.read_count("/data/total"), 0);

  JsonDocument empty;
  ASSERT_TRUE(empty.parse_text(R"({"code":0,"data":{"list":[]}})", 1));
  EXPECT_EQ(empty.read_count("/data/list"), 0);
  ASSERT_TRUE(empty.parse_text(R"({"code":401,"msg":"token expired"})", 1));
  EXPECT_EQ(empty.read_count("/data/list"), 0);
}

TEST_F(Page, TextAndStringReads) {
  const struct {
    const char* pointer;
    const char* text;    // read_text
    const char* string;  // read_string
  } cases[] = {
      {"/data/list/0/uid", "1250", ""},
      {"/data/list/0/money", "12.5", ""},
      {"/data/list/0/trade_id", "9223372036854775807", ""},
      {"/data/list/0/diff", "-42", ""},
      {"/data/list/0/flag", "true", ""},
      {"/data/list/0/packet_hash", "a1b2", "a1b2"},
      {"/data/list/0/createdt", "2024-05-01 10:00:00", "2024-05-01 10:00:00"},
      {"/data/list/0/nickname", "张三😀", "张三😀"},
      {"/data/list/1/money", "3.50", "3.50"},
      {"/data/list/1", R"({"uid":1251,"finished_orders_number":0,"money":"3.50"})", ""},
      {"/data/list/2/uid", "", ""},
      {"/data/nothing", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(doc.read_text(c.pointer), c.text) << c.pointer;
    EXPECT_EQ(doc.read_text(c.pointer, std::nullopt, true), c.text) << c.pointer;
    EXPECT_EQ(doc.read_string(c.pointer), c.string) << c.pointer;
  }
  EXPECT_EQ(doc.read_text(std::string("/data\0/x", 8)), "") << "a pointer cut short by NUL is refused";
}

TEST_F(Page, NumberAndBooleanReads) {
  EXPECT_EQ(doc.read_int("/data/list/0/finished_orders_number"), 12);
  EXPECT_EQ(doc.read_int("/data/list/0/money"), 0);
  EXPECT_EQ(doc.read_int("/data/list/1/money"), 0) << "a string is no number";
  EXPECT_EQ(doc.read_int64("/data/list/0/trade_id"), INT64_MAX);
  EXPECT_EQ(doc.read_double("/data/list/0/money"), 12.5);
  EXPECT_TRUE(doc.read_bool("/data/list/0/flag"));
  EXPECT_FALSE(doc.read_bool("/data/list/0/uid"));
  EXPECT_EQ(doc.read_type("/data/list"), PELLJSON_TYPE_ARRAY);
  EXPECT_EQ(doc.read_type("/data/list/0/uid"), PELLJSON_TYPE_INT);
  EXPECT_EQ(doc.read_type("/data/nothing"), PELLJSON_TYPE_NONE);
  EXPECT_NE(doc.exists_at("/data/total"), 0);
  EXPECT_EQ(doc.exists_at("/data/nothing"), 0);
  EXPECT_EQ(doc.erase_at("/data/total"), 1);
  EXPECT_EQ(doc.exists_at("/data/total"), 0);
}

TEST_F(Page, HandlesAndKeys) {
  const int32_t item = doc.read_value("/data/list/0");
  ASSERT_GT(item, 0);
  EXPECT_EQ(doc.read_text("/uid", item), "1250");
  EXPECT_EQ(doc.read_int("/finished_orders_number", item), 12);
  EXPECT_EQ(doc.read_key(item, 0), "uid");
  EXPECT_EQ(doc.read_key(std::nullopt, 1), "data");
  EXPECT_EQ(doc.read_key(item, 99), "");
  EXPECT_TRUE(doc.write_int("/seen", 1, item));
  EXPECT_EQ(doc.read_int("/data/list/0/seen"), 1);

  // Another document's handle reads that document.
  JsonDocument other;
  ASSERT_TRUE(other.parse_text(R"({"uid":77})"));
  EXPECT_EQ(doc.read_text("/uid", other.document_handle()), "77");

  // Once the document is gone its handles read nothing.
  doc.release();
  EXPECT_EQ(doc.document_handle(), 0);
  EXPECT_EQ(doc.read_text("/uid", item), "");
  EXPECT_EQ(doc.read_key(item, 0), "");
  EXPECT_EQ(doc.read_text("/uid", 0), "");
  EXPECT_EQ(doc.read_text("/uid", -5), "");
  EXPECT_EQ(doc.read_text("/uid", other.document_handle()), "77") << "a given handle needs no held document";
}

TEST_F(Page, ParsingAgainFreesTheFirstDocument) {
  const int32_t first = doc.document_handle();
  const int32_t item = doc.read_value("/data/list/0");
  EXPECT_EQ(doc.read_text("/data/list/0/uid"), "1250");  // the buffer exists now
  ASSERT_TRUE(doc.parse_text(R"({"data":{"list":[{"uid":2}]}})", 1));
  EXPECT_NE(doc.document_handle(), first);
  EXPECT_EQ(doc.read_count("", first), 0) << "the first document was freed";
  EXPECT_EQ(doc.read_text("/uid", item), "");
  EXPECT_EQ(doc.read_text("/data/list/0/uid"), "2") << "a fresh buffer serves the new document";
}

TEST(JsonDocumentParse, FailureLeavesTheObjectEmpty) {
  const char* const not_json[] = {"<html>502 Bad Gateway</html>", "{\"data\":", "", "{\"a\":1}}"};
  for (const char* text : not_json) {
    JsonDocument doc;
    ASSERT_TRUE(doc.parse_text(R"({"data":{"list":[1]}})", 1));
    EXPECT_FALSE(doc.parse_text(text, 1)) << text;
    EXPECT_EQ(doc.document_handle(), 0);
    EXPECT_EQ(doc.read_count("/data/list"), 0);
    EXPECT_EQ(doc.read_text("/data/list"), "");
    EXPECT_EQ(doc.read_string("/data/list"), "");
    EXPECT_EQ(doc.read_int("/data/list/0"), 0);
    EXPECT_EQ(doc.to_json_text(), "");
    EXPECT_FALSE(doc.write_int("/x", 1));
    EXPECT_FALSE(doc.write_number("/x", 1.5));
    EXPECT_FALSE(doc.write_object("/x", "{}", 1));
  }
  JsonDocument doc;
  EXPECT_FALSE(doc.parse_text(std::string("{}\0{", 4), 1)) << "text after a NUL must not be dropped silently";
}

TEST(JsonDocumentParse, BothFlagValuesReadTheSameUtf8) {
  JsonDocument plain, marked;
  ASSERT_TRUE(plain.parse_text(R"({"n":"张三"})", 0));
  ASSERT_TRUE(marked.parse_text(R"({"n":"张三"})", 1));
  EXPECT_EQ(plain.read_string("/n"), "张三");
  EXPECT_EQ(marked.read_string("/n"), "张三");
}

class Writes : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(doc.parse_text(R"({"a":1})", 1)); }
  JsonDocument doc;
};

TEST_F(Writes, NumbersGoAsIntegersWhenWithinATenMillionthOfOne) {
  const struct {
    double value;
    int32_t type;
    const char* text;
  } cases[] = {
      {7.0, PELLJSON_TYPE_INT, "7"},
      {7.25, PELLJSON_TYPE_DOUBLE, "7.25"},
      {3.00000001, PELLJSON_TYPE_INT, "3"},
      {-3.00000001, PELLJSON_TYPE_INT, "-3"},
      {2.5, PELLJSON_TYPE_DOUBLE, "2.5"},
      {-0.5, PELLJSON_TYPE_DOUBLE, "-0.5"},
      {2147483647.0, PELLJSON_TYPE_INT, "2147483647"},
      {-2147483648.0, PELLJSON_TYPE_INT, "-2147483648"},
      {1e10, PELLJSON_TYPE_DOUBLE, "10000000000.0"},
      {2.9999999, PELLJSON_TYPE_DOUBLE, "2.9999999"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    ASSERT_TRUE(doc.write_number("/n", c.value));
    EXPECT_EQ(doc.read_type("/n"), c.type);
    EXPECT_EQ(doc.read_text("/n"), c.text);
  }
  EXPECT_FALSE(doc.write_number("/n", std::nan("")));
  EXPECT_FALSE(doc.write_number("/n", INFINITY));
}

TEST_F(Writes, ScalarsAndObjects) {
  EXPECT_TRUE(doc.write_string("/s", "张三"));
  EXPECT_TRUE(doc.write_bool("/b", true));
  EXPECT_TRUE(doc.write_int("/i/j", -5));
  EXPECT_TRUE(doc.write_object("/o", R"({"x":[1,"y"]})", 1));
  EXPECT_TRUE(doc.write_object("/p", R"([true])"));
  EXPECT_EQ(doc.to_json_text(), R"({"a":1,"s":"张三","b":true,"i":{"j":-5},"o":{"x":[1,"y"]},"p":[true]})");
  EXPECT_EQ(doc.to_json_text(true), doc.to_json_text());

  EXPECT_FALSE(doc.write_object("/q", "{broken", 1));
  EXPECT_FALSE(doc.write_object("/q", "", 1));
  EXPECT_EQ(doc.exists_at("/q"), 0) << "a failed write leaves nothing";
  EXPECT_FALSE(doc.write_int("/a/deeper", 1)) << "a number stands in the way";
  EXPECT_FALSE(doc.write_string("/s2", std::string("a\0b", 3)));
  EXPECT_EQ(doc.read_int("/a"), 1);

  JsonDocument target;
  ASSERT_TRUE(target.parse_text("{}"));
  EXPECT_TRUE(doc.write_object("/copy", doc.to_json_text(), 1, target.document_handle()));
  EXPECT_EQ(target.read_text("/copy/i/j"), "-5");
}

// The reads and writes of one worker, on its own object; false on the first
// difference.
bool worker_round(JsonDocument& doc, int worker, int round) {
  const std::string uid = std::to_string(worker * 1000000 + round);
  const std::string page = R"({"code":0,"data":{"list":[{"uid":)" + uid + R"(,"nickname":"会员)" + uid +
                           R"(","finished_orders_number":)" + std::to_string(round) + "}]}}";
  if (!doc.parse_text(page, 1) || doc.read_count("/data/list") != 1) return false;
  if (doc.read_text("/data/list/0/uid") != uid) return false;
  if (doc.read_string("/data/list/0/nickname") != "会员" + uid) return false;
  if (doc.read_int("/data/list/0/finished_orders_number") != round) return false;
  const int32_t item = doc.read_value("/data/list/0");
  if (!doc.write_number("/w", worker + 0.5, item) || doc.read_double("/data/list/0/w") != worker + 0.5)
    return false;
  return doc.read_count("/data/list/1") == 0;
}

TEST(JsonDocumentConcurrency, TwentyWorkersParseAndReadTheirOwnDocuments) {
  // The first reads here also load the library, from all threads at once.
  constexpr int kWorkers = 20;
  constexpr int kRounds = 300;
  std::atomic<int> ready{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([w, &ready, &failures] {
      ready.fetch_add(1);
      while (ready.load() < kWorkers) std::this_thread::yield();
      JsonDocument doc;
      for (int r = 0; r < kRounds; ++r)
        if (!worker_round(doc, w, r)) failures.fetch_add(1);
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_EQ(failures.load(), 0) << shiftwell::pelljson_load_error();
  EXPECT_EQ(shiftwell::pelljson_load_error(), "");
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Run from a copy of this program in a folder without a usable pelljson.so:
// everything reads as "no document" and the reason can be asked for.
void expect_unusable_library(const std::string& reason_part) {
  EXPECT_NE(shiftwell::pelljson_load_error().find(reason_part), std::string::npos)
      << shiftwell::pelljson_load_error();
  JsonDocument doc;
  EXPECT_FALSE(doc.parse_text(R"({"data":{"list":[1]}})", 1));
  EXPECT_EQ(doc.read_count("/data/list"), 0);
  EXPECT_EQ(doc.read_text("/data/list"), "");
  EXPECT_EQ(doc.read_text("", 1), "");
  EXPECT_EQ(doc.read_int("/x", 1), 0);
  EXPECT_FALSE(doc.write_int("/x", 1, 1));
  EXPECT_FALSE(doc.write_object("/x", "{}", 1, 1));
  doc.release();
}

TEST(JsonDocumentWithoutLibrary, EveryReadIsEmptyAndTheReasonIsKept) {
  const std::string here = port::program_directory();
  if (ends_with(here, "/no_pelljson")) return expect_unusable_library("cannot load " + here + "/pelljson.so");
  if (ends_with(here, "/partial_pelljson"))
    return expect_unusable_library("lacks the entries new_buffer, delete_buffer");

  namespace fs = std::filesystem;
  const fs::path root =
      fs::temp_directory_path() /
      ("json_document_test_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  const fs::path self = port::program_path();
  for (const char* folder : {"no_pelljson", "partial_pelljson"}) {
    SCOPED_TRACE(folder);
    const fs::path dir = root / folder;
    fs::create_directories(dir);
    fs::copy_file(self, dir / self.filename());
    if (std::string(folder) == "partial_pelljson")
      fs::copy_file(fs::path(here) / "pelljson_partial_for_test.so", dir / "pelljson.so");
    const std::string out = (root / (std::string(folder) + ".out")).string();
    auto child = port::Process::start((dir / self.filename()).string(),
                                      {"--gtest_filter=JsonDocumentWithoutLibrary.*"}, out, out);
    ASSERT_TRUE(child);
    int code = -1;
    ASSERT_TRUE(child->wait(120000, &code));
    std::string output;
    port::read_file(out, output);
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
  }
  fs::remove_all(root);
}

}  // namespace
