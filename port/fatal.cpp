#include "port/fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace port {
namespace {
std::atomic<FatalHandler> g_handler{nullptr};
}

void set_fatal_handler(FatalHandler handler) { g_handler.store(handler); }

void fatal_error(const std::string& message) {
  if (FatalHandler handler = g_handler.load()) {
    handler(message);
  } else {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
  }
  std::abort();
}

}  // namespace port
