// pelljson.so over RapidJSON: a table of handles to parsed documents, text
// buffers and places inside documents, and the entries of pelljson.h. The
// table has its own reader/writer lock; each document and buffer has a mutex
// of its own, taken only after the table lock has been let go.

#include "pelljson/pelljson.h"

#include <rapidjson/document.h>
#include <rapidjson/pointer.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>

namespace {

using rapidjson::SizeType;
using Value = rapidjson::Value;
using Document = rapidjson::Document;
using Pointer = rapidjson::Pointer;

constexpr unsigned kParseFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag;
// Nulls a write may add to reach an array index; a mistyped index must not
// take all memory.
constexpr std::size_t kMaxPadding = 65536;

// ---- UTF-8 ----

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at p, 0 when there is none.
std::size_t utf8_sequence(const unsigned char* p, std::size_t left) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return left >= 2 && is_continuation(p[1]) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (left < 3 || !is_continuation(p[1]) || !is_continuation(p[2])) return 0;
    if (c == 0xE0 && p[1] < 0xA0) return 0;   // overlong
    if (c == 0xED && p[1] >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (left < 4 || !is_continuation(p[1]) || !is_continuation(p[2]) || !is_continuation(p[3])) return 0;
    if (c == 0xF0 && p[1] < 0x90) return 0;   // overlong
    if (c == 0xF4 && p[1] >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

bool is_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t left = text.size();
  while (left > 0) {
    // Plain ASCII runs are the bulk of every API answer.
    if (*p < 0x80) {
      ++p;
      --left;
      continue;
    }
    const std::size_t n = utf8_sequence(p, left);
    if (n == 0) return false;
    p += n;
    left -= n;
  }
  return true;
}

// Each byte that starts no well-formed sequence becomes U+FFFD.
std::string repair_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 64);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t left = text.size();
  while (left > 0) {
    const std::size_t n = utf8_sequence(p, left);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++p;
      --left;
    } else {
      out.append(reinterpret_cast<const char*>(p), n);
      p += n;
      left -= n;
    }
  }
  return out;
}

// ---- parsing ----

// Passes the reader's events on to the document and stops the parse once
// the nesting goes past the limit: the reader is iterative, but copying and
// writing a document later recurse once per level.
class DepthLimitedHandler {
 public:
  explicit DepthLimitedHandler(Document& document) : document_(document) {}

  bool Null() { return document_.Null(); }
  bool Bool(bool b) { return document_.Bool(b); }
  bool Int(int i) { return document_.Int(i); }
  bool Uint(unsigned u) { return document_.Uint(u); }
  bool Int64(int64_t i) { return document_.Int64(i); }
  bool Uint64(uint64_t u) { return document_.Uint64(u); }
  bool Double(double d) { return document_.Double(d); }
  bool RawNumber(const char* s, SizeType n, bool copy) { return document_.RawNumber(s, n, copy); }
  bool String(const char* s, SizeType n, bool copy) { return document_.String(s, n, copy); }
  bool Key(const char* s, SizeType n, bool copy) { return document_.Key(s, n, copy); }
  bool StartObject() { return enter() && document_.StartObject(); }
  bool EndObject(SizeType members) {
    --depth_;
    return document_.EndObject(members);
  }
  bool StartArray() { return enter() && document_.StartArray(); }
  bool EndArray(SizeType elements) {
    --depth_;
    return document_.EndArray(elements);
  }

  int max_depth() const { return max_depth_; }

 private:
  bool enter() {
    if (++depth_ > PELLJSON_MAX_DEPTH) return false;
    max_depth_ = std::max(max_depth_, depth_);
    return true;
  }

  Document& document_;
  int depth_ = 0;
  int max_depth_ = 0;
};

// Generator for Document::Populate.
struct ParseText {
  const char* text;
  bool ok = false;
  int max_depth = 0;

  bool operator()(Document& document) {
    DepthLimitedHandler handler(document);
    rapidjson::Reader reader;
    rapidjson::StringStream in(text);
    ok = !reader.Parse<kParseFlags>(in, handler).IsError();
    max_depth = handler.max_depth();
    return ok;
  }
};

// ---- the handle table ----

struct DocumentEntry {
  std::mutex mutex;
  Document document;  // guarded by mutex
  // Upper bound of the nesting depth (writes only raise it); guarded by mutex.
  int depth = 0;
  // Value handles already given out, by canonical pointer; guarded by the
  // table's lock, so that freeing the document can withdraw them.
  std::unordered_map<std::string, int32_t> places;
};

struct BufferEntry {
  std::mutex mutex;
  std::string text;  // guarded by mutex
};

struct Place {
  int32_t document_handle;
  std::shared_ptr<DocumentEntry> document;
  std::string path;  // canonical JSON Pointer from the root
};

using Entry = std::variant<std::shared_ptr<DocumentEntry>, std::shared_ptr<BufferEntry>, Place>;

// What a handle addresses: a document and the path of a place in it ("" for
// the root). Empty document when the handle is refused.
struct Target {
  int32_t document_handle = 0;
  std::shared_ptr<DocumentEntry> document;
  std::string base;
};

class HandleTable {
 public:
  // 0 when no handle is free.
  int32_t add(Entry entry) {
    std::unique_lock lock(mutex_);
    return add_locked(std::move(entry));
  }

  Target target(int32_t handle) const {
    std::shared_lock lock(mutex_);
    Target t;
    auto it = entries_.find(handle);
    if (it == entries_.end()) return t;
    if (auto* doc = std::get_if<std::shared_ptr<DocumentEntry>>(&it->second)) {
      t.document_handle = handle;
      t.document = *doc;
    } else if (auto* place = std::get_if<Place>(&it->second)) {
      t.document_handle = place->document_handle;
      t.document = place->document;
      t.base = place->path;
    }
    return t;
  }

  std::shared_ptr<BufferEntry> buffer(int32_t handle) const {
    std::shared_lock lock(mutex_);
    auto it = entries_.find(handle);
    if (it == entries_.end()) return nullptr;
    auto* buf = std::get_if<std::shared_ptr<BufferEntry>>(&it->second);
    return buf ? *buf : nullptr;
  }

  // The value handle of path in the document of document_handle; 0 when that
  // document has been freed meanwhile.
  int32_t place(int32_t document_handle, const std::shared_ptr<DocumentEntry>& document,
                const std::string& path) {
    std::unique_lock lock(mutex_);
    auto it = entries_.find(document_handle);
    if (it == entries_.end()) return 0;
    auto* doc = std::get_if<std::shared_ptr<DocumentEntry>>(&it->second);
    if (!doc || *doc != document) return 0;
    auto [known, inserted] = document->places.try_emplace(path, 0);
    if (!inserted) return known->second;
    const int32_t handle = add_locked(Place{document_handle, document, path});
    if (handle == 0)
      document->places.erase(known);
    else
      known->second = handle;
    return handle;
  }

  void free_document(int32_t handle) {
    std::shared_ptr<DocumentEntry> doomed;  // destroyed after the lock is let go
    std::unique_lock lock(mutex_);
    auto it = entries_.find(handle);
    if (it == entries_.end()) return;
    auto* doc = std::get_if<std::shared_ptr<DocumentEntry>>(&it->second);
    if (!doc) return;
    doomed = std::move(*doc);
    entries_.erase(it);
    for (const auto& [path, place] : doomed->places) entries_.erase(place);
    doomed->places.clear();
  }

  void delete_buffer(int32_t handle) {
    std::shared_ptr<BufferEntry> doomed;
    std::unique_lock lock(mutex_);
    auto it = entries_.find(handle);
    if (it == entries_.end()) return;
    auto* buf = std::get_if<std::shared_ptr<BufferEntry>>(&it->second);
    if (!buf) return;
    doomed = std::move(*buf);
    entries_.erase(it);
  }

 private:
  int32_t add_locked(Entry entry) {
    if (entries_.size() >= static_cast<std::size_t>(INT32_MAX) - 1) return 0;
    for (;;) {
      const int32_t handle = next_;
      next_ = next_ == INT32_MAX ? 1 : next_ + 1;
      if (entries_.try_emplace(handle, std::move(entry)).second) return handle;
    }
  }

  mutable std::shared_mutex mutex_;
  std::unordered_map<int32_t, Entry> entries_;
  int32_t next_ = 1;
};

// Never destroyed: a thread may still call in while the process ends.
HandleTable& table() {
  static HandleTable* instance = new HandleTable;
  return *instance;
}

// ---- pointers ----

std::string canonical(const Pointer& pointer) {
  rapidjson::StringBuffer out;
  pointer.Stringify(out);
  return std::string(out.GetString(), out.GetSize());
}

// The pointer from the document's root to what pointer names below base; an
// invalid pointer (one whose Pointer is not IsValid) when pointer is null or
// not a JSON Pointer.
Pointer full_pointer(const std::string& base, const char* pointer) {
  if (!pointer) return Pointer("x", 1);  // no leading '/': invalid
  Pointer relative(pointer, std::strlen(pointer));
  if (base.empty() || !relative.IsValid()) return relative;
  const std::string joined = base + canonical(relative);
  return Pointer(joined.data(), joined.size());
}

// True when creating pointer below root overwrites nothing on the way and
// pads no array by more than kMaxPadding nulls. Only the last token may
// replace what is there: that is the write itself.
bool path_writable(const Value& root, const Pointer& pointer) {
  const Value* v = &root;
  for (std::size_t i = 0; i < pointer.GetTokenCount(); ++i) {
    const Pointer::Token& t = pointer.GetTokens()[i];
    const bool is_index = t.index != rapidjson::kPointerInvalidIndex;
    if (!v || v->IsNull()) {  // new ground: an object or array is made here
      if (is_index && t.index > kMaxPadding) return false;
      v = nullptr;
    } else if (v->IsObject()) {
      const Value name(rapidjson::StringRef(t.name, t.length));
      auto m = v->FindMember(name);
      v = m == v->MemberEnd() ? nullptr : &m->value;
    } else if (v->IsArray()) {
      if (t.length == 1 && t.name[0] == '-') {
        v = nullptr;
      } else {
        // A member name would turn the array into an object.
        if (!is_index || t.index > v->Size() + kMaxPadding) return false;
        v = t.index < v->Size() ? &(*v)[t.index] : nullptr;
      }
    } else {
      return false;  // a string, number or boolean stands in the way
    }
  }
  return true;
}

// ---- entry helpers ----

// Calls read(value) for the value at pointer below handle, under the
// document's lock; refused when anything does not resolve.
template <typename R, typename Read>
R read_at(int32_t handle, const char* pointer, R refused, Read read) {
  try {
    const Target t = table().target(handle);
    if (!t.document) return refused;
    const Pointer p = full_pointer(t.base, pointer);
    if (!p.IsValid()) return refused;
    std::lock_guard lock(t.document->mutex);
    const Value* v = p.Get(t.document->document);
    return v ? read(*v) : refused;
  } catch (...) {
    return refused;
  }
}

// Stores make(allocator) at pointer below handle; value_depth is the
// nesting depth of the value made.
template <typename Make>
int32_t write_at(int32_t handle, const char* pointer, int value_depth, Make make) {
  try {
    const Target t = table().target(handle);
    if (!t.document) return 0;
    const Pointer p = full_pointer(t.base, pointer);
    if (!p.IsValid()) return 0;
    const int depth = static_cast<int>(std::min<std::size_t>(p.GetTokenCount(), INT_MAX / 2)) + value_depth;
    if (depth > PELLJSON_MAX_DEPTH) return 0;
    std::lock_guard lock(t.document->mutex);
    Document& doc = t.document->document;
    if (!path_writable(doc, p)) return 0;
    Value value = make(doc.GetAllocator());
    p.Set(doc, value);
    t.document->depth = std::max(t.document->depth, depth);
    return 1;
  } catch (...) {
    return 0;
  }
}

// A std::string as RapidJSON's output stream.
struct StringOutput {
  using Ch = char;
  std::string& text;
  void Put(char c) { text.push_back(c); }
  void Flush() {}
};

bool whole_in_range(double d, double low, double high) { return d >= low && d < high && std::trunc(d) == d; }

}  // namespace

extern "C" {

int32_t parse(const char* json) {
  try {
    if (!json) return 0;
    const std::string_view text(json);
    std::string repaired;
    if (!is_utf8(text)) {
      repaired = repair_utf8(text);
      json = repaired.c_str();
    }
    auto entry = std::make_shared<DocumentEntry>();
    ParseText generator{json};
    entry->document.Populate(generator);
    if (!generator.ok) return 0;
    entry->depth = generator.max_depth;
    return table().add(std::move(entry));
  } catch (...) {
    return 0;
  }
}

int32_t new_buffer(void) {
  try {
    return table().add(std::make_shared<BufferEntry>());
  } catch (...) {
    return 0;
  }
}

void delete_buffer(int32_t buffer) {
  try {
    table().delete_buffer(buffer);
  } catch (...) {
  }
}

void free_(int32_t document) {
  try {
    table().free_document(document);
  } catch (...) {
  }
}

const char* get_pointer_string(int32_t handle, int32_t buffer, const char* pointer) {
  try {
    const Target t = table().target(handle);
    const std::shared_ptr<BufferEntry> buf = table().buffer(buffer);
    if (!t.document || !buf) return nullptr;
    const Pointer p = full_pointer(t.base, pointer);
    if (!p.IsValid()) return nullptr;
    std::scoped_lock lock(t.document->mutex, buf->mutex);
    const Value* v = p.Get(t.document->document);
    if (!v) return nullptr;
    if (v->IsString()) {
      buf->text.assign(v->GetString(), v->GetStringLength());
    } else {
      std::string text;
      StringOutput out{text};
      rapidjson::Writer<StringOutput> writer(out);
      if (!v->Accept(writer)) return nullptr;
      buf->text.swap(text);
    }
    return buf->text.c_str();
  } catch (...) {
    return nullptr;
  }
}

int32_t pointer_get_value(int32_t handle, const char* pointer) {
  try {
    const Target t = table().target(handle);
    if (!t.document) return 0;
    const Pointer p = full_pointer(t.base, pointer);
    if (!p.IsValid()) return 0;
    {
      std::lock_guard lock(t.document->mutex);
      if (!p.Get(t.document->document)) return 0;
    }
    return table().place(t.document_handle, t.document, canonical(p));
  } catch (...) {
    return 0;
  }
}

int32_t pointer_get_bool(int32_t handle, const char* pointer) {
  return read_at<int32_t>(handle, pointer, 0, [](const Value& v) { return v.IsTrue() ? 1 : 0; });
}

double pointer_get_double(int32_t handle, const char* pointer) {
  return read_at<double>(handle, pointer, 0.0,
                         [](const Value& v) { return v.IsNumber() ? v.GetDouble() : 0.0; });
}

const char* pointer_get_string(int32_t handle, const char* pointer) {
  return read_at<const char*>(handle, pointer, nullptr,
                              [](const Value& v) { return v.IsString() ? v.GetString() : nullptr; });
}

const char* object_get_key(int32_t handle, int32_t index) {
  return read_at<const char*>(handle, "", nullptr, [index](const Value& v) -> const char* {
    if (!v.IsObject() || index < 0 || static_cast<SizeType>(index) >= v.MemberCount()) return nullptr;
    return (v.MemberBegin() + index)->name.GetString();
  });
}

int64_t pointer_get_int64(int32_t handle, const char* pointer) {
  return read_at<int64_t>(handle, pointer, 0, [](const Value& v) -> int64_t {
    if (v.IsInt64()) return v.GetInt64();
    if (v.IsDouble() && whole_in_range(v.GetDouble(), -0x1p63, 0x1p63))
      return static_cast<int64_t>(v.GetDouble());
    return 0;
  });
}

int32_t pointer_get_int(int32_t handle, const char* pointer) {
  return read_at<int32_t>(handle, pointer, 0, [](const Value& v) -> int32_t {
    if (v.IsInt()) return v.GetInt();
    if (v.IsDouble() && whole_in_range(v.GetDouble(), -0x1p31, 0x1p31))
      return static_cast<int32_t>(v.GetDouble());
    return 0;
  });
}

int32_t pointer_get_type(int32_t handle, const char* pointer) {
  return read_at<int32_t>(handle, pointer, PELLJSON_TYPE_NONE, [](const Value& v) -> int32_t {
    switch (v.GetType()) {
      case rapidjson::kNullType:
        return PELLJSON_TYPE_NULL;
      case rapidjson::kFalseType:
      case rapidjson::kTrueType:
        return PELLJSON_TYPE_BOOL;
      case rapidjson::kObjectType:
        return PELLJSON_TYPE_OBJECT;
      case rapidjson::kArrayType:
        return PELLJSON_TYPE_ARRAY;
      case rapidjson::kStringType:
        return PELLJSON_TYPE_STRING;
      case rapidjson::kNumberType:
        return v.IsInt64() || v.IsUint64() ? PELLJSON_TYPE_INT : PELLJSON_TYPE_DOUBLE;
    }
    return PELLJSON_TYPE_NONE;
  });
}

int32_t pointer_get_count(int32_t handle, const char* pointer) {
  return read_at<int32_t>(handle, pointer, 0, [](const Value& v) -> int32_t {
    const SizeType n = v.IsArray() ? v.Size() : v.IsObject() ? v.MemberCount() : 0;
    return static_cast<int32_t>(std::min<SizeType>(n, INT32_MAX));
  });
}

int32_t pointer_erase_path(int32_t handle, const char* pointer) {
  try {
    const Target t = table().target(handle);
    if (!t.document) return 0;
    const Pointer p = full_pointer(t.base, pointer);
    if (!p.IsValid()) return 0;
    std::lock_guard lock(t.document->mutex);
    return p.Erase(t.document->document) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int32_t pointer_is_exist(int32_t handle, const char* pointer) {
  return read_at<int32_t>(handle, pointer, 0, [](const Value&) { return 1; });
}

int32_t pointer_set_object(int32_t handle, int32_t reserved, const char* pointer, int32_t value_handle) {
  try {
    const Target t = table().target(handle);
    const Target s = table().target(value_handle);
    if (!t.document || !s.document) return 0;
    const Pointer p = full_pointer(t.base, pointer);
    const Pointer source = full_pointer(s.base, "");
    if (!p.IsValid() || !source.IsValid()) return 0;
    std::unique_lock target_lock(t.document->mutex, std::defer_lock);
    std::unique_lock source_lock(s.document->mutex, std::defer_lock);
    if (t.document == s.document)
      target_lock.lock();
    else
      std::lock(target_lock, source_lock);
    const Value* from = source.Get(s.document->document);
    if (!from) return 0;
    // The value at a place k levels down nests at most depth - k deep.
    const int value_depth = std::max(0, s.document->depth - static_cast<int>(source.GetTokenCount()));
    const int depth = static_cast<int>(std::min<std::size_t>(p.GetTokenCount(), INT_MAX / 2)) + value_depth;
    Document& doc = t.document->document;
    if (depth > PELLJSON_MAX_DEPTH || !path_writable(doc, p)) return 0;
    // Copied before the target changes: the source may lie inside it.
    Value copy(*from, doc.GetAllocator());
    p.Set(doc, copy);
    t.document->depth = std::max(t.document->depth, depth);
    return 1;
  } catch (...) {
    return 0;
  }
}

int32_t pointer_set_string(int32_t handle, int32_t reserved, const char* pointer, const char* value) {
  if (!value) return 0;
  const std::string_view text(value);
  if (!is_utf8(text)) return 0;
  return write_at(handle, pointer, 0, [text](Document::AllocatorType& allocator) {
    return Value(text.data(), static_cast<SizeType>(text.size()), allocator);
  });
}

int32_t pointer_set_bool(int32_t handle, int32_t reserved, const char* pointer, int32_t value) {
  return write_at(handle, pointer, 0, [value](Document::AllocatorType&) { return Value(value != 0); });
}

int32_t pointer_set_int(int32_t handle, int32_t reserved, const char* pointer, int32_t value) {
  return write_at(handle, pointer, 0, [value](Document::AllocatorType&) { return Value(value); });
}

int32_t pointer_set_double(int32_t handle, int32_t reserved, const char* pointer, double value) {
  if (!std::isfinite(value)) return 0;
  return write_at(handle, pointer, 0, [value](Document::AllocatorType&) { return Value(value); });
}

}  // extern "C"
