// Whether a standard stream is an interactive terminal (for live status
// lines). Any thread.
#pragma once

namespace port {

bool stderr_is_terminal();

}  // namespace port
