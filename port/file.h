// Writing, appending and testing files. Paths are UTF-8 with '/'.
// Any thread; callers serialise writes to one file themselves.
#pragma once

#include <string>
#include <string_view>

namespace port {

// Creates or truncates the file and writes the bytes in one piece. On
// failure returns false and, when error is given, the system's reason.
bool write_file(const std::string& path, std::string_view bytes, std::string* error = nullptr);
// Opens for appending (creating when missing, keeping the content), writes
// the bytes at the end. False when it cannot open or the write fails.
bool append_file(const std::string& path, std::string_view bytes);
bool read_file(const std::string& path, std::string& bytes);
bool file_exists(const std::string& path);
bool directory_exists(const std::string& path);

}  // namespace port
