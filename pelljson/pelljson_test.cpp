#include "pelljson/pelljson.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// A page as the platform sends it, with every kind of value.
constexpr const char* kPage = R"({"code":0,"data":{"list":[
  {"uid":1250,"price":12.5,"small":1e-7,"whole":7.0,"neg":-42,"big":9007199254740993,
   "max64":9223372036854775807,"maxu64":18446744073709551615,"huge":1e300,
   "name":"张三","cat":"50012345","yes":true,"no":false,"nothing":null,
   "obj":{"a":[1,2],"b":"x"},"empty":[],"esc":"a/b~c\"d","a/b":1,"m~n":2},
  {"uid":1251}],"total":2}})";

std::string text_or_null(const char* s) { return s ? s : "<null>"; }

class Page : public ::testing::Test {
 protected:
  void SetUp() override {
    doc = parse(kPage);
    ASSERT_GT(doc, 0);
    buf = new_buffer();
    ASSERT_GT(buf, 0);
  }
  void TearDown() override {
    delete_buffer(buf);
    free_(doc);
  }
  std::string render(const char* pointer, int32_t handle = 0) {
    return text_or_null(get_pointer_string(handle ? handle : doc, buf, pointer));
  }

  int32_t doc = 0;
  int32_t buf = 0;
};

TEST_F(Page, RendersEachValueAsCallersReadIt) {
  const struct {
    const char* pointer;
    const char* text;
  } cases[] = {
      {"/data/list/0/uid", "1250"},
      {"/data/list/0/price", "12.5"},
      {"/data/list/0/small", "1e-7"},
      {"/data/list/0/whole", "7.0"},
      {"/data/list/0/neg", "-42"},
      {"/data/list/0/big", "9007199254740993"},
      {"/data/list/0/max64", "9223372036854775807"},
      {"/data/list/0/maxu64", "18446744073709551615"},
      {"/data/list/0/huge", "1e300"},
      {"/data/list/0/name", "张三"},
      {"/data/list/0/cat", "50012345"},
      {"/data/list/0/esc", "a/b~c\"d"},
      {"/data/list/0/yes", "true"},
      {"/data/list/0/no", "false"},
      {"/data/list/0/nothing", "null"},
      {"/data/list/0/obj", R"({"a":[1,2],"b":"x"})"},
      {"/data/list/0/empty", "[]"},
      {"/data/list/0/a~1b", "1"},
      {"/data/list/0/m~0n", "2"},
      {"#/data/list/1/uid", "1251"},
      {"/data/list/1", R"({"uid":1251})"},
      // Does not resolve, or is no JSON Pointer.
      {"/data/missing", "<null>"},
      {"/data/list/2", "<null>"},
      {"/data/list/-", "<null>"},
      {"/data/list/x", "<null>"},
      {"/data/list/0/uid/deeper", "<null>"},
      {"data/list", "<null>"},
      {"/data/list/0/a~2b", "<null>"},
  };
  for (const auto& c : cases) EXPECT_EQ(render(c.pointer), c.text) << c.pointer;
}

TEST_F(Page, EmptyPointerRendersTheWholeDocumentCompactly) {
  const int32_t small = parse(" { \"a\" : [ 1 , 2.5 , \"x\" ] , \"b\" : { } } ");
  EXPECT_EQ(text_or_null(get_pointer_string(small, buf, "")), R"({"a":[1,2.5,"x"],"b":{}})");
  free_(small);
}

TEST_F(Page, DoublesReadBackExactly) {
  // Numbers near the limits of a double, where a fast, imprecise parse and a
  // long-form print would both show.
  const char* const numbers[] = {
      "0.1",    "0.30000000000000004", "2.2250738585072014e-308", "1.7976931348623157e308",
      "5e-324", "123456.789",          "9007199254740993.5",      "-0.000123"};
  for (const char* n : numbers) {
    const std::string text = std::string("[") + n + "]";
    const int32_t d = parse(text.c_str());
    ASSERT_GT(d, 0) << n;
    const double expected = std::strtod(n, nullptr);
    EXPECT_EQ(pointer_get_double(d, "/0"), expected) << n;
    const std::string shown = text_or_null(get_pointer_string(d, buf, "/0"));
    EXPECT_EQ(std::strtod(shown.c_str(), nullptr), expected) << n << " shown as " << shown;
    EXPECT_LE(shown.size(), std::strlen(n) + 4) << shown;
    free_(d);
  }
}

TEST_F(Page, TypedReads) {
  const struct {
    const char* pointer;
    int32_t type;
    int32_t as_int;
    int64_t as_int64;
    double as_double;
    int32_t as_bool;
    int32_t count;
  } cases[] = {
      {"/data/list/0/uid", PELLJSON_TYPE_INT, 1250, 1250, 1250.0, 0, 0},
      {"/data/list/0/price", PELLJSON_TYPE_DOUBLE, 0, 0, 12.5, 0, 0},
      {"/data/list/0/whole", PELLJSON_TYPE_DOUBLE, 7, 7, 7.0, 0, 0},
      {"/data/list/0/neg", PELLJSON_TYPE_INT, -42, -42, -42.0, 0, 0},
      {"/data/list/0/big", PELLJSON_TYPE_INT, 0, 9007199254740993, 9007199254740992.0, 0, 0},
      {"/data/list/0/max64", PELLJSON_TYPE_INT, 0, INT64_MAX, 9223372036854775807.0, 0, 0},
      {"/data/list/0/maxu64", PELLJSON_TYPE_INT, 0, 0, 18446744073709551615.0, 0, 0},
      {"/data/list/0/huge", PELLJSON_TYPE_DOUBLE, 0, 0, 1e300, 0, 0},
      {"/data/list/0/cat", PELLJSON_TYPE_STRING, 0, 0, 0.0, 0, 0},
      {"/data/list/0/yes", PELLJSON_TYPE_BOOL, 0, 0, 0.0, 1, 0},
      {"/data/list/0/no", PELLJSON_TYPE_BOOL, 0, 0, 0.0, 0, 0},
      {"/data/list/0/nothing", PELLJSON_TYPE_NULL, 0, 0, 0.0, 0, 0},
      {"/data/list/0/obj", PELLJSON_TYPE_OBJECT, 0, 0, 0.0, 0, 2},
      {"/data/list/0/empty", PELLJSON_TYPE_ARRAY, 0, 0, 0.0, 0, 0},
      {"/data/list", PELLJSON_TYPE_ARRAY, 0, 0, 0.0, 0, 2},
      {"", PELLJSON_TYPE_OBJECT, 0, 0, 0.0, 0, 2},
      {"/data/missing", PELLJSON_TYPE_NONE, 0, 0, 0.0, 0, 0},
      {"bad", PELLJSON_TYPE_NONE, 0, 0, 0.0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pointer);
    EXPECT_EQ(pointer_get_type(doc, c.pointer), c.type);
    EXPECT_EQ(pointer_get_int(doc, c.pointer), c.as_int);
    EXPECT_EQ(pointer_get_int64(doc, c.pointer), c.as_int64);
    EXPECT_EQ(pointer_get_double(doc, c.pointer), c.as_double);
    EXPECT_EQ(pointer_get_bool(doc, c.pointer), c.as_bool);
    EXPECT_EQ(pointer_get_count(doc, c.pointer), c.count);
    EXPECT_EQ(pointer_is_exist(doc, c.pointer), c.type != PELLJSON_TYPE_NONE ? 1 : 0);
  }
}

TEST_F(Page, IntegerReadsRefuseWhatDoesNotFit) {
  const int32_t d = parse(R"([2147483647,-2147483648,2147483648,-2147483649,3e9,-9223372036854775808,
                              9223372036854775808,9.3e18,-2.5,"12"])");
  ASSERT_GT(d, 0);
  EXPECT_EQ(pointer_get_int(d, "/0"), INT32_MAX);
  EXPECT_EQ(pointer_get_int(d, "/1"), INT32_MIN);
  EXPECT_EQ(pointer_get_int(d, "/2"), 0);
  EXPECT_EQ(pointer_get_int(d, "/3"), 0);
  EXPECT_EQ(pointer_get_int(d, "/4"), 0);
  EXPECT_EQ(pointer_get_int64(d, "/4"), 3000000000);
  EXPECT_EQ(pointer_get_int64(d, "/5"), INT64_MIN);
  EXPECT_EQ(pointer_get_int64(d, "/6"), 0);
  EXPECT_EQ(pointer_get_int64(d, "/7"), 0);
  EXPECT_EQ(pointer_get_int(d, "/8"), 0);
  EXPECT_EQ(pointer_get_int(d, "/9"), 0);
  free_(d);
}

TEST_F(Page, StringsAndKeys) {
  EXPECT_EQ(text_or_null(pointer_get_string(doc, "/data/list/0/name")), "张三");
  EXPECT_EQ(text_or_null(pointer_get_string(doc, "/data/list/0/cat")), "50012345");
  EXPECT_EQ(pointer_get_string(doc, "/data/list/0/uid"), nullptr);
  EXPECT_EQ(pointer_get_string(doc, "/data/list/0/nothing"), nullptr);
  EXPECT_EQ(pointer_get_string(doc, "/data/list/0/obj"), nullptr);
  EXPECT_EQ(pointer_get_string(doc, "/data/missing"), nullptr);

  const int32_t obj = pointer_get_value(doc, "/data/list/0/obj");
  ASSERT_GT(obj, 0);
  EXPECT_EQ(text_or_null(object_get_key(obj, 0)), "a");
  EXPECT_EQ(text_or_null(object_get_key(obj, 1)), "b");
  EXPECT_EQ(object_get_key(obj, 2), nullptr);
  EXPECT_EQ(object_get_key(obj, -1), nullptr);
  EXPECT_EQ(text_or_null(object_get_key(doc, 0)), "code");
  EXPECT_EQ(object_get_key(pointer_get_value(doc, "/data/list"), 0), nullptr);
}

TEST_F(Page, ValueHandlesAddressFromTheirPlace) {
  const int32_t item = pointer_get_value(doc, "/data/list/0");
  ASSERT_GT(item, 0);
  EXPECT_NE(item, doc);
  EXPECT_EQ(pointer_get_value(doc, "/data/list/0"), item) << "same place, same handle";
  EXPECT_EQ(pointer_get_value(doc, "#/data/list/0"), item);
  EXPECT_EQ(pointer_get_int(item, "/uid"), 1250);
  EXPECT_EQ(render("/obj/a", item), "[1,2]");
  EXPECT_EQ(render("", item).substr(0, 11), R"({"uid":1250)");

  const int32_t a = pointer_get_value(item, "/obj/a");
  ASSERT_GT(a, 0);
  EXPECT_EQ(a, pointer_get_value(doc, "/data/list/0/obj/a"));
  EXPECT_EQ(pointer_get_int(a, "/1"), 2);
  EXPECT_EQ(pointer_get_value(doc, "/data/list/7"), 0);
  EXPECT_EQ(pointer_get_value(item, "uid"), 0) << "an invalid relative pointer is not joined to the place";

  // The handle names the place: after the first item goes, it reads the next.
  ASSERT_EQ(pointer_erase_path(doc, "/data/list/0"), 1);
  EXPECT_EQ(pointer_get_int(item, "/uid"), 1251);
  ASSERT_EQ(pointer_erase_path(doc, "/data/list/0"), 1);
  EXPECT_EQ(pointer_get_type(item, ""), PELLJSON_TYPE_NONE);
  EXPECT_EQ(get_pointer_string(item, buf, ""), nullptr);
}

TEST_F(Page, BufferTextLastsUntilTheBufferIsWrittenAgain) {
  const char* first = get_pointer_string(doc, buf, "/data/list/0/uid");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(get_pointer_string(doc, buf, "/data/missing"), nullptr);
  EXPECT_STREQ(first, "1250") << "a failed render leaves the buffer as it was";
  const int32_t other = new_buffer();
  EXPECT_STREQ(get_pointer_string(doc, other, "/data/list/1/uid"), "1251");
  EXPECT_STREQ(first, "1250") << "buffers are separate";
  delete_buffer(other);
}

TEST(Handles, RefusedWhenUnknownStaleOrOfTheWrongKind) {
  const int32_t doc = parse(R"({"a":{"b":[1,2,3]}})");
  const int32_t buf = new_buffer();
  const int32_t value = pointer_get_value(doc, "/a");
  ASSERT_GT(doc, 0);
  ASSERT_GT(buf, 0);
  ASSERT_GT(value, 0);
  EXPECT_EQ(pointer_get_count(buf, "/a/b"), 0) << "a buffer is no document";
  EXPECT_EQ(get_pointer_string(doc, doc, "/a/b"), nullptr) << "a document is no buffer";
  EXPECT_EQ(get_pointer_string(doc, value, "/a/b"), nullptr);
  free_(buf);    // wrong kind: ignored
  free_(value);  // wrong kind: ignored
  delete_buffer(doc);
  EXPECT_STREQ(get_pointer_string(doc, buf, "/a/b"), "[1,2,3]");
  EXPECT_STREQ(get_pointer_string(value, buf, "/b/2"), "3");

  free_(doc);
  const int32_t next = parse("[1]");
  EXPECT_NE(next, doc) << "handles are not reused at once";
  for (const int32_t stale : {doc, value, 0, -1, 987654321}) {
    SCOPED_TRACE(stale);
    EXPECT_EQ(pointer_get_count(stale, ""), 0);
    EXPECT_EQ(pointer_get_type(stale, ""), PELLJSON_TYPE_NONE);
    EXPECT_EQ(pointer_is_exist(stale, ""), 0);
    EXPECT_EQ(get_pointer_string(stale, buf, ""), nullptr);
    EXPECT_EQ(pointer_get_string(stale, ""), nullptr);
    EXPECT_EQ(object_get_key(stale, 0), nullptr);
    EXPECT_EQ(pointer_get_value(stale, ""), 0);
    EXPECT_EQ(pointer_set_int(stale, 0, "/x", 1), 0);
    EXPECT_EQ(pointer_set_object(next, 0, "/1", stale), 0);
    EXPECT_EQ(pointer_erase_path(stale, "/a"), 0);
    free_(stale);  // harmless
  }
  EXPECT_STREQ(get_pointer_string(next, buf, ""), "[1]");
  delete_buffer(buf);
  EXPECT_EQ(get_pointer_string(next, buf, ""), nullptr) << "deleted buffer";
  free_(next);
}

TEST(Parse, RefusesWhatIsNotOneJsonValue) {
  const char* const texts[] = {"",   " ",     "{",       "[1,]",          R"({"a":1} x)",  "nul",    "NaN",
                               "01", "[1 2]", "{'a':1}", "\"tab\there\"", "[\"\\ud800\"]", "// c\n1"};
  for (const char* t : texts) EXPECT_EQ(parse(t), 0) << t;
  EXPECT_EQ(parse(nullptr), 0);
  for (const char* t : {"0", "\"s\"", "null", "[]", "{}", " true "}) {
    const int32_t d = parse(t);
    EXPECT_GT(d, 0) << t;
    free_(d);
  }
}

std::string nested(int depth, const char* open, const char* close) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += open;
  s += "1";
  for (int i = 0; i < depth; ++i) s += close;
  return s;
}

TEST(Parse, DeepNestingIsRefusedBeyondTheLimitWithoutCrashing) {
  EXPECT_EQ(parse(nested(100000, "[", "]").c_str()), 0);
  EXPECT_EQ(parse(nested(100000, "{\"a\":", "}").c_str()), 0);
  EXPECT_EQ(parse(std::string(100000, '[').c_str()), 0) << "unclosed";
  EXPECT_EQ(parse(nested(PELLJSON_MAX_DEPTH + 1, "[", "]").c_str()), 0);

  // At the limit the document is whole: it renders and copies.
  const std::string deepest = nested(PELLJSON_MAX_DEPTH, "{\"a\":", "}");
  const int32_t d = parse(deepest.c_str());
  ASSERT_GT(d, 0);
  const int32_t buf = new_buffer();
  EXPECT_EQ(text_or_null(get_pointer_string(d, buf, "")), deepest);
  const int32_t target = parse("{}");
  EXPECT_EQ(pointer_set_object(target, 0, "", d), 1);
  EXPECT_EQ(pointer_set_object(target, 0, "/x", d), 0) << "would pass the limit";
  EXPECT_EQ(pointer_set_object(d, 0, "/a", d), 0) << "would pass the limit";
  EXPECT_EQ(text_or_null(get_pointer_string(target, buf, "")), deepest);
  free_(target);
  free_(d);
  delete_buffer(buf);
}

TEST(Parse, FiftyMegabyteTextParses) {
  std::string text = "[";
  const std::string item =
      R"({"trade_id":"1234567890123456789","title":")" + std::string(60, 'x') + R"(","n":12.5},)";
  int items = 0;
  while (text.size() < 50u * 1024 * 1024) {
    text += item;
    ++items;
  }
  text.back() = ']';
  const int32_t d = parse(text.c_str());
  ASSERT_GT(d, 0);
  EXPECT_EQ(pointer_get_count(d, ""), items);
  const std::string last = "/" + std::to_string(items - 1) + "/n";
  EXPECT_EQ(pointer_get_double(d, last.c_str()), 12.5);
  const int32_t buf = new_buffer();
  const char* whole = get_pointer_string(d, buf, "");
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(std::strlen(whole), text.size());
  delete_buffer(buf);
  free_(d);
}

TEST(Parse, MalformedUtf8BytesBecomeReplacementCharacters) {
  const struct {
    const char* json;
    const char* value;
  } cases[] = {
      {"[\"a\xFF"
       "b\"]",
       "a\xEF\xBF\xBD"
       "b"},
      {"[\"\xC0\xAF\"]", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong '/'
      {"[\"\xED\xA0\x80\"]", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"[\"\xE5\xBC\"]", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // cut short
      {"[\"\xF4\x90\x80\x80\"]", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"[\"\xE5\xBC\xA0\xF0\x9F\x98\x80\"]", "\xE5\xBC\xA0\xF0\x9F\x98\x80"},  // well-formed stays
  };
  for (const auto& c : cases) {
    const int32_t d = parse(c.json);
    ASSERT_GT(d, 0) << c.json;
    EXPECT_EQ(text_or_null(pointer_get_string(d, "/0")), c.value) << c.json;
    free_(d);
  }
  EXPECT_EQ(parse("[1]\xFF"), 0) << "outside a string a stray byte is still an error";
}

TEST(Parse, StringWithNulIsKeptButCStringsStopThere) {
  const int32_t d = parse(R"({"s":"a\u0000b"})");
  ASSERT_GT(d, 0);
  EXPECT_STREQ(pointer_get_string(d, "/s"), "a");
  const int32_t buf = new_buffer();
  EXPECT_STREQ(get_pointer_string(d, buf, ""), R"({"s":"a\u0000b"})");
  delete_buffer(buf);
  free_(d);
}

class Writes : public ::testing::Test {
 protected:
  void SetUp() override {
    doc = parse(R"({"list":[1,2],"n":5,"s":"x"})");
    buf = new_buffer();
    ASSERT_GT(doc, 0);
  }
  void TearDown() override {
    delete_buffer(buf);
    free_(doc);
  }
  std::string whole() { return text_or_null(get_pointer_string(doc, buf, "")); }

  int32_t doc = 0;
  int32_t buf = 0;
};

TEST_F(Writes, ScalarsCreateTheirPath) {
  EXPECT_EQ(pointer_set_int(doc, 0, "/a/b", 7), 1);
  EXPECT_EQ(pointer_set_double(doc, 0, "/a/c", 7.25), 1);
  EXPECT_EQ(pointer_set_double(doc, 0, "/a/d", 7.0), 1);
  EXPECT_EQ(pointer_set_string(doc, 0, "/a/e", "张三"), 1);
  EXPECT_EQ(pointer_set_bool(doc, 0, "/a/f", 5), 1);
  EXPECT_EQ(pointer_set_int(doc, 0, "/list/-", 3), 1);
  EXPECT_EQ(pointer_set_int(doc, 0, "/list/5", 6), 1);
  EXPECT_EQ(pointer_set_int(doc, 0, "/n", 9), 1) << "the last token replaces";
  EXPECT_EQ(pointer_set_int(doc, 0, "/new/0/x", 1), 1);
  EXPECT_EQ(whole(),
            R"({"list":[1,2,3,null,null,6],"n":9,"s":"x","a":{"b":7,"c":7.25,"d":7.0,"e":"张三","f":true},)"
            R"("new":[{"x":1}]})");
  EXPECT_EQ(pointer_get_type(doc, "/a/b"), PELLJSON_TYPE_INT);
  EXPECT_EQ(pointer_get_type(doc, "/a/d"), PELLJSON_TYPE_DOUBLE);
  EXPECT_EQ(pointer_set_int(doc, 0, "", 4), 1) << "the root itself";
  EXPECT_EQ(whole(), "4");
}

TEST_F(Writes, RefusedWritesChangeNothing) {
  const std::string before = whole();
  EXPECT_EQ(pointer_set_int(doc, 0, "/n/x", 1), 0) << "a number in the way";
  EXPECT_EQ(pointer_set_int(doc, 0, "/s/0", 1), 0) << "a string in the way";
  EXPECT_EQ(pointer_set_int(doc, 0, "/list/x", 1), 0) << "a name into an array";
  EXPECT_EQ(pointer_set_int(doc, 0, "/list/4000000000", 1), 0);
  EXPECT_EQ(pointer_set_int(doc, 0, "/list/70000", 1), 0) << "beyond the padding limit";
  EXPECT_EQ(pointer_set_int(doc, 0, "/fresh/70000", 1), 0);
  EXPECT_EQ(pointer_set_int(doc, 0, "no-slash", 1), 0);
  EXPECT_EQ(pointer_set_int(doc, 0, nullptr, 1), 0);
  EXPECT_EQ(pointer_set_double(doc, 0, "/d", std::nan("")), 0);
  EXPECT_EQ(pointer_set_double(doc, 0, "/d", INFINITY), 0);
  EXPECT_EQ(pointer_set_string(doc, 0, "/t", "bad\xFF"), 0);
  EXPECT_EQ(pointer_set_string(doc, 0, "/t", nullptr), 0);
  std::string deep;
  for (int i = 0; i < PELLJSON_MAX_DEPTH + 1; ++i) deep += "/a";
  EXPECT_EQ(pointer_set_int(doc, 0, deep.c_str(), 1), 0) << "too deep";
  EXPECT_EQ(whole(), before);
}

TEST_F(Writes, ThroughAValueHandle) {
  const int32_t list = pointer_get_value(doc, "/list");
  EXPECT_EQ(pointer_set_int(list, 0, "/0", 10), 1);
  EXPECT_EQ(pointer_set_string(list, 0, "/-", "y"), 1);
  EXPECT_EQ(whole(), R"({"list":[10,2,"y"],"n":5,"s":"x"})");
}

TEST_F(Writes, SetObjectCopiesTheValue) {
  int32_t source = parse(R"({"k":[1,{"z":"w"}]})");
  EXPECT_EQ(pointer_set_object(doc, 0, "/o/p", source), 1);
  EXPECT_EQ(pointer_set_object(doc, 0, "/q", pointer_get_value(source, "/k/1")), 1);
  free_(source);
  EXPECT_EQ(whole(), R"({"list":[1,2],"n":5,"s":"x","o":{"p":{"k":[1,{"z":"w"}]}},"q":{"z":"w"}})");
  EXPECT_EQ(text_or_null(pointer_get_string(doc, "/o/p/k/1/z")), "w");

  // Into itself, below the copied value.
  EXPECT_EQ(pointer_set_object(doc, 0, "/q/again", pointer_get_value(doc, "/q")), 1);
  EXPECT_EQ(text_or_null(get_pointer_string(doc, buf, "/q")), R"({"z":"w","again":{"z":"w"}})");
  EXPECT_EQ(pointer_set_object(doc, 0, "/n/x", doc), 0) << "a number in the way";
}

TEST_F(Writes, Erase) {
  EXPECT_EQ(pointer_erase_path(doc, "/list/0"), 1);
  EXPECT_EQ(pointer_erase_path(doc, "/s"), 1);
  EXPECT_EQ(pointer_erase_path(doc, "/s"), 0);
  EXPECT_EQ(pointer_erase_path(doc, "/list/5"), 0);
  EXPECT_EQ(pointer_erase_path(doc, ""), 0);
  EXPECT_EQ(pointer_erase_path(doc, "bad"), 0);
  EXPECT_EQ(whole(), R"({"list":[2],"n":5})");
}

TEST(Concurrency, TwentyThreadsWorkOnTheirOwnDocuments) {
  constexpr int kThreads = 20;
  constexpr int kRounds = 200;
  std::atomic<int> failures{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures, &go] {
      while (!go.load()) std::this_thread::yield();
      const int32_t buf = new_buffer();
      for (int r = 0; r < kRounds; ++r) {
        const std::string uid = std::to_string(t * 100000 + r);
        const std::string text = R"({"data":{"list":[{"uid":)" + uid + R"(,"name":"n)" + uid + R"("}]}})";
        const int32_t d = parse(text.c_str());
        const int32_t item = pointer_get_value(d, "/data/list/0");
        bool ok = d > 0 && pointer_get_count(d, "/data/list") == 1 &&
                  text_or_null(get_pointer_string(d, buf, "/data/list/0/uid")) == uid &&
                  text_or_null(pointer_get_string(item, "/name")) == "n" + uid &&
                  pointer_set_int(item, 0, "/extra", r) == 1 && pointer_get_int(d, "/data/list/0/extra") == r;
        free_(d);
        ok = ok && pointer_get_int(item, "/uid") == 0;
        if (!ok) failures.fetch_add(1);
      }
      delete_buffer(buf);
    });
  }
  go.store(true);
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
