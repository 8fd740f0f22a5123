// Ends the program after a fault it cannot go on from (for example a missing
// library). The message goes to the hook a window layer set, else to
// standard error. Any thread.
#pragma once

#include <string>

namespace port {

using FatalHandler = void (*)(const std::string& message);

void set_fatal_handler(FatalHandler handler);
[[noreturn]] void fatal_error(const std::string& message);

}  // namespace port
