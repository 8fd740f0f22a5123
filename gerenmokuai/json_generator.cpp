#include "gerenmokuai/json_generator.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace GeRenMoKuai {

struct JsonGenerator::Document {
  rapidjson::Document value;
};

JsonGenerator::JsonGenerator() : document_(std::make_unique<Document>()) { start_object(); }

JsonGenerator::~JsonGenerator() = default;

void JsonGenerator::start_object() {
  document_->value = rapidjson::Document();
  document_->value.SetObject();
}

void JsonGenerator::add_int(const std::string& key, std::int64_t value) {
  auto& allocator = document_->value.GetAllocator();
  rapidjson::Value name(key.data(), static_cast<rapidjson::SizeType>(key.size()), allocator);
  document_->value.AddMember(name, rapidjson::Value(static_cast<int64_t>(value)), allocator);
}

void JsonGenerator::add_string(const std::string& key, const std::string& value) {
  auto& allocator = document_->value.GetAllocator();
  rapidjson::Value name(key.data(), static_cast<rapidjson::SizeType>(key.size()), allocator);
  rapidjson::Value text(value.data(), static_cast<rapidjson::SizeType>(value.size()), allocator);
  document_->value.AddMember(name, text, allocator);
}

std::string JsonGenerator::write() const {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  document_->value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace GeRenMoKuai
