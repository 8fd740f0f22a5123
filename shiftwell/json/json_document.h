// One parsed JSON document of pelljson.so, read and written by JSON Pointer
// (RFC 6901): how the workers read the platform's answers. Each object
// belongs to the thread that uses it (it has no lock); any number of threads
// may use objects of their own at once. pelljson.so is loaded from the
// program's folder on first need, once per process.
//
// Texts are program text, which is UTF-8, as pelljson's are: the conversion
// to and from program text is the identity, so flags bit 0 ("already UTF-8")
// and raw change nothing (both paths hand pelljson the same bytes).
//
// Handles: where an operation takes an optional handle, a given one (a
// document handle, or a value handle from read_value) is used in place of the
// held document. A refused handle, or no document, gives the empty text, 0 or
// false. A text or pointer holding a NUL character is refused the same way,
// since pelljson would see only the part before it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace shiftwell {

// Why pelljson.so cannot be used: the library or one of its entries is
// missing. Empty when it is in use. Loads the library if that has not
// happened yet, so callers may ask at start-up. Any thread.
std::string pelljson_load_error();

class JsonDocument {
 public:
  JsonDocument() = default;
  ~JsonDocument();
  // The object owns its two handles; a copy would free them twice.
  JsonDocument(const JsonDocument&) = delete;
  JsonDocument& operator=(const JsonDocument&) = delete;

  // Frees what is held, then parses text. True when a document is held.
  bool parse_text(const std::string& text, int flags = 0);
  // Frees the buffer and the document; the object is empty again.
  void release();

  // The value rendered by pelljson: a number as its literal ("1250", "12.5"),
  // a string as its characters, true/false/null as those words, an array or
  // object as compact JSON, the empty pointer the whole document.
  std::string read_text(const std::string& pointer, std::optional<int32_t> handle = std::nullopt,
                        bool raw = false);
  // A value handle for the value at pointer, usable as handle argument while
  // its document lives; 0 when it does not resolve.
  int32_t read_value(const std::string& pointer, std::optional<int32_t> handle = std::nullopt);
  bool read_bool(const std::string& pointer, std::optional<int32_t> handle = std::nullopt);
  double read_double(const std::string& pointer, std::optional<int32_t> handle = std::nullopt);
  // A string value; the empty text for any other type.
  std::string read_string(const std::string& pointer, std::optional<int32_t> handle = std::nullopt,
                          bool raw = false);
  // Name of member index of the object at handle (or of the held document).
  std::string read_key(std::optional<int32_t> handle, int32_t index);
  // Whole numbers in range; 0 for anything else.
  int64_t read_int64(const std::string& pointer, std::optional<int32_t> handle = std::nullopt);
  int32_t read_int(const std::string& pointer, std::optional<int32_t> handle = std::nullopt);
  // One of pelljson's PELLJSON_TYPE_* codes (0: nothing there).
  int32_t read_type(const std::string& pointer, std::optional<int32_t> handle = std::nullopt);
  // Elements of an array or members of an object; 0 when unresolved.
  int32_t read_count(const std::string& pointer, std::optional<int32_t> handle = std::nullopt);
  // 1 when the value was removed.
  int32_t erase_at(const std::string& pointer, std::optional<int32_t> handle = std::nullopt);
  // Nonzero when the pointer resolves.
  int32_t exists_at(const std::string& pointer, std::optional<int32_t> handle = std::nullopt);

  // Parses json_text (flags as for parse_text) and copies the value to
  // pointer. False, with nothing written, when either fails.
  bool write_object(const std::string& pointer, const std::string& json_text, int flags = 0,
                    std::optional<int32_t> handle = std::nullopt);
  // The handle of the held document; 0 when none.
  int32_t document_handle() const { return document_; }
  // Writes create the path as needed.
  bool write_string(const std::string& pointer, const std::string& value,
                    std::optional<int32_t> handle = std::nullopt);
  bool write_bool(const std::string& pointer, bool value, std::optional<int32_t> handle = std::nullopt);
  bool write_int(const std::string& pointer, int32_t value, std::optional<int32_t> handle = std::nullopt);
  // A value within 1e-7 of a 32-bit integer is written as that integer
  // (3.00000001 as 3), any other as a double (2.5).
  bool write_number(const std::string& pointer, double value, std::optional<int32_t> handle = std::nullopt);
  // Compact JSON text of the whole held document.
  std::string to_json_text(bool raw = false);

 private:
  int32_t document_ = 0;
  int32_t buffer_ = 0;
};

}  // namespace shiftwell
