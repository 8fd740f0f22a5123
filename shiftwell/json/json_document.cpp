#include "shiftwell/json/json_document.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>

#include "pelljson/pelljson.h"
#include "port/dynamic_library.h"
#include "port/program_path.h"

namespace shiftwell {

namespace {

// The entries of pelljson.so, bound by name.
struct Pelljson {
  decltype(&::parse) parse = nullptr;
  decltype(&::new_buffer) new_buffer = nullptr;
  decltype(&::delete_buffer) delete_buffer = nullptr;
  decltype(&::free_) free_ = nullptr;
  decltype(&::get_pointer_string) get_pointer_string = nullptr;
  decltype(&::pointer_get_value) pointer_get_value = nullptr;
  decltype(&::pointer_get_bool) pointer_get_bool = nullptr;
  decltype(&::pointer_get_double) pointer_get_double = nullptr;
  decltype(&::pointer_get_string) pointer_get_string = nullptr;
  decltype(&::object_get_key) object_get_key = nullptr;
  decltype(&::pointer_get_int64) pointer_get_int64 = nullptr;
  decltype(&::pointer_get_int) pointer_get_int = nullptr;
  decltype(&::pointer_get_type) pointer_get_type = nullptr;
  decltype(&::pointer_get_count) pointer_get_count = nullptr;
  decltype(&::pointer_erase_path) pointer_erase_path = nullptr;
  decltype(&::pointer_is_exist) pointer_is_exist = nullptr;
  decltype(&::pointer_set_object) pointer_set_object = nullptr;
  decltype(&::pointer_set_string) pointer_set_string = nullptr;
  decltype(&::pointer_set_bool) pointer_set_bool = nullptr;
  decltype(&::pointer_set_int) pointer_set_int = nullptr;
  decltype(&::pointer_set_double) pointer_set_double = nullptr;
};

struct Binding {
  std::unique_ptr<port::DynamicLibrary> library;
  Pelljson entries;
  std::string error;  // empty when every entry is bound
};

template <typename Fn>
void bind(const port::DynamicLibrary& library, const char* name, Fn& entry, std::string& missing) {
  void* address = library.symbol(name);
  if (address && port::is_code_address(address)) {
    entry = reinterpret_cast<Fn>(address);
  } else {
    missing += missing.empty() ? "" : ", ";
    missing += name;
  }
}

// All entries or none: a library lacking some is not the one this program
// was built for.
void load(Binding& b) {
  const std::string path = port::program_directory() + "/pelljson.so";
  std::string why;
  b.library = port::DynamicLibrary::load(path, &why);
  if (!b.library) {
    b.error = "pelljson: cannot load " + path + ": " + why + "; no JSON answer can be read";
    return;
  }
  std::string missing;
  Pelljson& e = b.entries;
  const port::DynamicLibrary& lib = *b.library;
  bind(lib, "parse", e.parse, missing);
  bind(lib, "new_buffer", e.new_buffer, missing);
  bind(lib, "delete_buffer", e.delete_buffer, missing);
  bind(lib, "free_", e.free_, missing);
  bind(lib, "get_pointer_string", e.get_pointer_string, missing);
  bind(lib, "pointer_get_value", e.pointer_get_value, missing);
  bind(lib, "pointer_get_bool", e.pointer_get_bool, missing);
  bind(lib, "pointer_get_double", e.pointer_get_double, missing);
  bind(lib, "pointer_get_string", e.pointer_get_string, missing);
  bind(lib, "object_get_key", e.object_get_key, missing);
  bind(lib, "pointer_get_int64", e.pointer_get_int64, missing);
  bind(lib, "pointer_get_int", e.pointer_get_int, missing);
  bind(lib, "pointer_get_type", e.pointer_get_type, missing);
  bind(lib, "pointer_get_count", e.pointer_get_count, missing);
  bind(lib, "pointer_erase_path", e.pointer_erase_path, missing);
  bind(lib, "pointer_is_exist", e.pointer_is_exist, missing);
  bind(lib, "pointer_set_object", e.pointer_set_object, missing);
  bind(lib, "pointer_set_string", e.pointer_set_string, missing);
  bind(lib, "pointer_set_bool", e.pointer_set_bool, missing);
  bind(lib, "pointer_set_int", e.pointer_set_int, missing);
  bind(lib, "pointer_set_double", e.pointer_set_double, missing);
  if (!missing.empty()) {
    b.error = "pelljson: " + path + " lacks the entries " + missing + "; no JSON answer can be read";
    b.entries = Pelljson{};
  }
}

// Never destroyed: workers may still run while the process ends.
const Binding& binding() {
  static std::once_flag once;
  static Binding* instance = nullptr;
  std::call_once(once, [] {
    auto* b = new Binding;
    load(*b);
    if (!b->error.empty()) std::fprintf(stderr, "%s\n", b->error.c_str());
    instance = b;
  });
  return *instance;
}

// Null when pelljson cannot be used.
const Pelljson* api() {
  const Binding& b = binding();
  return b.error.empty() ? &b.entries : nullptr;
}

// pelljson takes C texts: one with a NUL inside would be read cut short.
bool is_c_text(const std::string& text) { return text.find('\0') == std::string::npos; }

std::string copy_text(const char* text) { return text ? std::string(text) : std::string(); }

// Program text and pelljson's texts are both UTF-8, so each direction is the
// identity whatever flags and raw say.
const std::string& to_utf8(const std::string& text) { return text; }
std::string to_program_text(std::string utf8, bool /*raw*/) { return utf8; }

}  // namespace

std::string pelljson_load_error() { return binding().error; }

JsonDocument::~JsonDocument() { release(); }

bool JsonDocument::parse_text(const std::string& text, int flags) {
  release();
  const Pelljson* p = api();
  if (!p || text.empty() || !is_c_text(text)) return false;
  // Bit 0 of flags marks UTF-8 text; without it the text is program text,
  // which is UTF-8 as well, so both take the same path.
  const int32_t document = p->parse(to_utf8(text).c_str());
  document_ = document > 0 ? document : 0;
  return document_ > 0;
}

void JsonDocument::release() {
  const Pelljson* p = api();
  if (p && buffer_ > 0) p->delete_buffer(buffer_);
  if (p && document_ > 0) p->free_(document_);
  buffer_ = 0;
  document_ = 0;
}

std::string JsonDocument::read_text(const std::string& pointer, std::optional<int32_t> handle, bool raw) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  if (!p || h <= 0 || !is_c_text(pointer)) return {};
  if (buffer_ <= 0) {
    const int32_t buffer = p->new_buffer();
    buffer_ = buffer > 0 ? buffer : 0;
  }
  return to_program_text(copy_text(p->get_pointer_string(h, buffer_, to_utf8(pointer).c_str())), raw);
}

int32_t JsonDocument::read_value(const std::string& pointer, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) ? p->pointer_get_value(h, to_utf8(pointer).c_str()) : 0;
}

bool JsonDocument::read_bool(const std::string& pointer, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) && p->pointer_get_bool(h, to_utf8(pointer).c_str()) != 0;
}

double JsonDocument::read_double(const std::string& pointer, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) ? p->pointer_get_double(h, to_utf8(pointer).c_str()) : 0.0;
}

std::string JsonDocument::read_string(const std::string& pointer, std::optional<int32_t> handle, bool raw) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  if (!p || h <= 0 || !is_c_text(pointer)) return {};
  return to_program_text(copy_text(p->pointer_get_string(h, to_utf8(pointer).c_str())), raw);
}

std::string JsonDocument::read_key(std::optional<int32_t> handle, int32_t index) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  if (!p || h <= 0) return {};
  return to_program_text(copy_text(p->object_get_key(h, index)), false);
}

int64_t JsonDocument::read_int64(const std::string& pointer, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) ? p->pointer_get_int64(h, to_utf8(pointer).c_str()) : 0;
}

int32_t JsonDocument::read_int(const std::string& pointer, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) ? p->pointer_get_int(h, to_utf8(pointer).c_str()) : 0;
}

int32_t JsonDocument::read_type(const std::string& pointer, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) ? p->pointer_get_type(h, to_utf8(pointer).c_str()) : 0;
}

int32_t JsonDocument::read_count(const std::string& pointer, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) ? p->pointer_get_count(h, to_utf8(pointer).c_str()) : 0;
}

int32_t JsonDocument::erase_at(const std::string& pointer, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) ? p->pointer_erase_path(h, to_utf8(pointer).c_str()) : 0;
}

int32_t JsonDocument::exists_at(const std::string& pointer, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) ? p->pointer_is_exist(h, to_utf8(pointer).c_str()) : 0;
}

bool JsonDocument::write_object(const std::string& pointer, const std::string& json_text, int flags,
                                std::optional<int32_t> handle) {
  JsonDocument value;
  const bool parsed = value.parse_text(json_text, flags);
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  if (!p || h <= 0 || !parsed || !is_c_text(pointer)) return false;
  return p->pointer_set_object(h, 0, to_utf8(pointer).c_str(), value.document_handle()) != 0;
}

bool JsonDocument::write_string(const std::string& pointer, const std::string& value,
                                std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  if (!p || h <= 0 || !is_c_text(pointer) || !is_c_text(value)) return false;
  return p->pointer_set_string(h, 0, to_utf8(pointer).c_str(), to_utf8(value).c_str()) != 0;
}

bool JsonDocument::write_bool(const std::string& pointer, bool value, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) &&
         p->pointer_set_bool(h, 0, to_utf8(pointer).c_str(), value ? 1 : 0) != 0;
}

bool JsonDocument::write_int(const std::string& pointer, int32_t value, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  return p && h > 0 && is_c_text(pointer) && p->pointer_set_int(h, 0, to_utf8(pointer).c_str(), value) != 0;
}

bool JsonDocument::write_number(const std::string& pointer, double value, std::optional<int32_t> handle) {
  const int32_t h = handle.value_or(document_);
  const Pelljson* p = api();
  if (!p || h <= 0 || !is_c_text(pointer)) return false;
  // Outside the 32-bit range (or NaN) there is no whole to compare with: the
  // value goes as a double, and pelljson refuses NaN and infinities.
  const bool fits = value >= -2147483648.0 && value < 2147483648.0;
  const double whole = fits ? std::trunc(value) : 0.0;
  if (fits && std::fabs(value - whole) <= 1e-7)
    return p->pointer_set_int(h, 0, to_utf8(pointer).c_str(), static_cast<int32_t>(whole)) != 0;
  return p->pointer_set_double(h, 0, to_utf8(pointer).c_str(), value) != 0;
}

std::string JsonDocument::to_json_text(bool raw) { return read_text("", document_, raw); }

}  // namespace shiftwell
