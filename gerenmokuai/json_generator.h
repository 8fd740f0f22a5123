// The module's JSON text builder: one document with an object root, members
// added in order, written as compact text. Used by Dbwarden's report records.
// One object per thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace GeRenMoKuai {

class JsonGenerator {
 public:
  JsonGenerator();
  ~JsonGenerator();
  JsonGenerator(const JsonGenerator&) = delete;
  JsonGenerator& operator=(const JsonGenerator&) = delete;

  // Drops whatever the document held and makes its root an empty object.
  void start_object();
  void add_int(const std::string& key, std::int64_t value);
  // value is UTF-8.
  void add_string(const std::string& key, const std::string& value);
  // Compact UTF-8 text, keys in the order they were added.
  std::string write() const;

 private:
  struct Document;
  std::unique_ptr<Document> document_;
};

}  // namespace GeRenMoKuai
