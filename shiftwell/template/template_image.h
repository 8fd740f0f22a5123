// The empty target database that every run starts from, carried inside the
// program as one constant image, and the routine that writes it out as a new
// database file. Any thread may call either; the image never changes.
#pragma once

#include <string>
#include <string_view>

namespace shiftwell {

// The whole database file: SQLite 3, pages of 4096 bytes, UTF-8, WAL mode.
std::string_view template_image();

// Creates the file at path, or truncates it if it exists, and writes the whole
// image in one piece. On failure returns false and, when error is given, the
// system's reason.
bool write_template(const std::string& path, std::string* error = nullptr);

}  // namespace shiftwell
