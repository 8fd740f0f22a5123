#include <unistd.h>

#include "port/terminal.h"

namespace port {

bool stderr_is_terminal() { return ::isatty(2) == 1; }

}  // namespace port
