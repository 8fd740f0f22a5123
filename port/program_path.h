// Where the running program lies. Any thread.
#pragma once

#include <string>

namespace port {

// Full path of the program file, '/' separators.
std::string program_path();
// Its folder without a trailing separator.
std::string program_directory();

}  // namespace port
